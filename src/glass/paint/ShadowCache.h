#pragma once

#include "glass/paint/FrostShape.h"

#include <QColor>
#include <QHash>
#include <QImage>
#include <QPainter>
#include <functional>
#include <QObject>

namespace glass {

class StyleStore;


// Pre-rendered soft shadows and halos, keyed by size, shape, colour and
// blur. One cache lives with each style store and empties itself when the
// skin changes, so nothing baked in the old colours survives.
class ShadowCache : public QObject {
    Q_OBJECT
public:
    explicit ShadowCache(QObject *parent = nullptr);

    // The cache that belongs to styles (made on first use, owned by the store).
    static ShadowCache &forStyles(StyleStore &styles);

    // The shadow of shape over a rect of size (logical), blurred by radius,
    // rendered for the device pixel ratio dpr. Its top-left lies
    // BackdropBlur::softMargin(radius * dpr) device pixels up and left of the rect.
    QImage shadow(QSizeF size, const FrostShape &shape, const QColor &color, qreal radius, qreal dpr);
    // The same made afresh, in device pixels (what shadow() caches).
    static QImage stretchedShadow(QSize px, const FrostShape &deviceShape, const QColor &color, qreal deviceRadius);
    // Any image made by make(), remembered under key.
    QImage cached(const QString &key, const std::function<QImage()> &make);

    void clear();
    qsizetype count() const { return m_images.size(); }

private:
    QHash<QString, QImage> m_images;
};

// Paints a cached shadow of shape under rect, moved by offset.
void paintShadow(QPainter &painter, ShadowCache *cache, const QRectF &rect, const FrostShape &shape,
                 const QColor &color, qreal radius, QPointF offset);

} // namespace glass
