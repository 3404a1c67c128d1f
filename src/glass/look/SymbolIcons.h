#pragma once

#include <QBrush>
#include <QIcon>
#include <QImage>
#include <QPixmap>
#include <QSizeF>

namespace glass {

// Our own line-art symbols (resources/icons), named like the symbols the
// views ask for: "hammer.fill", "star.fill", "photo.badge.plus", "film",
// "shuffle", "arrow.uturn.backward", "trash", "xmark.circle.fill".
namespace SymbolIcons {

bool exists(const QString &name);

// The symbol filled with brush, in an image of size (logical) for the
// device pixel ratio dpr. Null, without a warning, for an empty or unknown name.
QImage render(const QString &name, QSizeF size, const QBrush &brush, qreal dpr = 1.0);

// render() of a square symbol in one colour, as a pixmap (for a QLabel).
QPixmap pixmap(const QString &name, int size, const QColor &color, qreal dpr);

// An icon of the symbol in one colour (for buttons).
QIcon icon(const QString &name, const QColor &color, int size = 16);

} // namespace SymbolIcons
} // namespace glass
