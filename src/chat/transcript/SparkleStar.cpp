#include "chat/transcript/SparkleStar.h"

namespace chat::SparkleStar {

QPainterPath path(const QRectF &rect)
{
    const QPointF c = rect.center();
    const qreal r = qMin(rect.width(), rect.height()) / 2;
    const qreal a = 0.4 * r;
    const qreal k = 0.13 * r;
    QPainterPath p;
    p.moveTo(c.x(), c.y() - r);
    p.lineTo(c.x() + k, c.y() - k);
    p.lineTo(c.x() + a, c.y());
    p.lineTo(c.x() + k, c.y() + k);
    p.lineTo(c.x(), c.y() + r);
    p.lineTo(c.x() - k, c.y() + k);
    p.lineTo(c.x() - a, c.y());
    p.lineTo(c.x() - k, c.y() - k);
    p.closeSubpath();
    return p;
}

} // namespace chat::SparkleStar
