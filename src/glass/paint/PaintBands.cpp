#include "glass/paint/PaintBands.h"

#include <QPaintEngine>
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
    const QTransform &toDevice = painter.deviceTransform();
    const qreal scale = std::max<qreal>(1.0, toDevice.m22());
    const int rows = std::max(1, int(bandRows / scale));
    // A widget repainting part of itself (what a video frame leaves
    // uncovered) is clipped to a region of many rectangles, which the engine
    // fills span by span and shares out even in a thin band: each rectangle
    // in bands of its own is a plain rectangle clip again.
    QList<QRect> parts;
    const QRegion repainted = painter.paintEngine() ? painter.paintEngine()->systemClip() : QRegion();
    bool invertible = false;
    const QTransform fromDevice = toDevice.inverted(&invertible);
    if (!repainted.isEmpty() && invertible && toDevice.type() <= QTransform::TxScale) {
        const QRect within = painter.hasClipping() ? painter.clipBoundingRect().toAlignedRect() & area : area;
        for (const QRect &r : repainted)
            if (const QRect part = fromDevice.mapRect(QRectF(r)).toAlignedRect() & within; !part.isEmpty())
                parts.append(part);
    } else {
        parts.append(area);
    }
    for (const QRect &part : std::as_const(parts))
        for (int top = part.top(); top <= part.bottom(); top += rows) {
            const QRect band(part.left(), top, part.width(), std::min(rows, part.bottom() + 1 - top));
            painter.save();
            painter.setClipRect(band, Qt::IntersectClip);
            paint(band);
            painter.restore();
        }
}

} // namespace glass
