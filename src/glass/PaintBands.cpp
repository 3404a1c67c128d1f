#include "glass/PaintBands.h"

#include <QPainter>

namespace glass {

// The engine shares out a fill of more than about 96 spans (rows, for a
// plain fill).
void paintInBands(QPainter &painter, const QRect &area, const std::function<void(const QRect &band)> &paint,
                  int bandRows)
{
    if (area.isEmpty())
        return;
    // Rows are device rows: a scaled painter (high-DPI) gets thinner bands.
    const qreal scale = std::max<qreal>(1.0, painter.deviceTransform().m22());
    const int rows = std::max(1, int(bandRows / scale));
    for (int top = area.top(); top <= area.bottom(); top += rows) {
        const QRect band(area.left(), top, area.width(), std::min(rows, area.bottom() + 1 - top));
        painter.save();
        painter.setClipRect(band, Qt::IntersectClip);
        paint(band);
        painter.restore();
    }
}

} // namespace glass
