#include "glass/paint/FrostShape.h"

#include <algorithm>
#include <cmath>

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

QRegion FrostShape::solidRegion(const QRect &rect) const
{
    if (rect.isEmpty())
        return {};
    const qreal w = rect.width(), h = rect.height();
    // Rounded shapes: two bands across the straight edges, clear of the
    // corners, and a square inside the arc's 45-degree point at each
    // corner; a pixel's row of antialiasing more stays out.
    qreal r = 0;
    switch (kind) {
    case Kind::rectangle:
        return QRegion(rect.adjusted(1, 1, -1, -1));
    case Kind::roundedRectangle:
        r = std::clamp(cornerRadius, 0.0, std::min(w, h) / 2);
        break;
    case Kind::capsule:
        r = std::min(w, h) / 2;
        break;
    case Kind::circle: {
        // The square inscribed in the circle.
        const qreal d = std::min(w, h);
        const int half = int(std::floor(d / 2 / std::sqrt(2.0))) - 1;
        if (half <= 0)
            return {};
        const QPoint c(rect.x() + int(std::lround(w / 2)), rect.y() + int(std::lround(h / 2)));
        return QRegion(QRect(c - QPoint(half, half), c + QPoint(half - 1, half - 1)));
    }
    }
    const int edge = int(std::ceil(r)) + 1;
    const int arc = int(std::ceil(r * (1 - 1 / std::sqrt(2.0)))) + 1;
    QRegion solid;
    solid += rect.adjusted(edge, 1, -edge, -1);
    solid += rect.adjusted(1, edge, -1, -edge);
    solid += rect.adjusted(arc, arc, -arc, -arc);
    return solid;
}

} // namespace glass
