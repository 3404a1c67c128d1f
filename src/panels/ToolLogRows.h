#pragma once

#include "model/RunRecords.h"

#include <QColor>
#include <QFont>
#include <QRect>
#include <QString>

namespace glass {
struct Styles;
}

namespace panels {

// What a tool log row shows and where, for one entry at one width. Pure,
// so the delegate, the hit tests and the tests share one layout.
namespace ToolLogRows {

inline constexpr int argumentLines = 3;
inline constexpr int resultLines = 8;

QString statusBadge(model::ToolLogEntry::Status status);
QColor color(model::ToolLogEntry::Status status, const glass::Styles &styles);

// The lines of text as shown: wrapped anywhere at `columns` characters,
// cut to `maxLines`.
QStringList wrapped(const QString &text, int columns, int maxLines);

struct Layout {
    QRect name, badge, arguments, result, reveal;
    int height = 0;
};
struct Fonts {
    QFont name, badge, mono, reveal;
};
Layout layout(const model::ToolLogEntry &entry, bool hasPath, int width, const Fonts &fonts);

} // namespace ToolLogRows
} // namespace panels
