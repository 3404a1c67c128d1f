#include "glass/FrostShape.h"

#include <algorithm>

namespace glass {

QPainterPath FrostShape::path(const QRectF &rect) const
{
    QPainterPath p;
    if (rect.isEmpty())
        return p;
    switch (kind) {
    case Kind::rectangle:
        p.addRect(rect);
        break;
    case Kind::roundedRectangle: {
        const qreal r = std::clamp(cornerRadius, 0.0, std::min(rect.width(), rect.height()) / 2);
        p.addRoundedRect(rect, r, r);
        break;
    }
    case Kind::capsule: {
        const qreal r = std::min(rect.width(), rect.height()) / 2;
        p.addRoundedRect(rect, r, r);
        break;
    }
    case Kind::circle: {
        const qreal d = std::min(rect.width(), rect.height());
        p.addEllipse(QRectF(rect.center() - QPointF(d / 2, d / 2), QSizeF(d, d)));
        break;
    }
    }
    return p;
}

QPainterPath FrostShape::inset(const QRectF &rect, qreal amount) const
{
    FrostShape smaller = *this;
    if (kind == Kind::roundedRectangle)
        smaller.cornerRadius = std::max(0.0, cornerRadius - amount);
    return smaller.path(rect.adjusted(amount, amount, -amount, -amount));
}

} // namespace glass
