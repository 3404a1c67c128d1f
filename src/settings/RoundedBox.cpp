#include "settings/RoundedBox.h"

#include <QPainter>
#include <QPainterPath>

namespace settings {

void paintRoundedBox(QPainter &p, const QRect &bounds, double radius, const QColor &fill, const QColor &stroke)
{
    QPainterPath shape;
    shape.addRoundedRect(QRectF(bounds).adjusted(0.5, 0.5, -0.5, -0.5), radius, radius);
    p.fillPath(shape, fill);
    p.setPen(QPen(stroke, 1));
    p.drawPath(shape);
}

} // namespace settings
