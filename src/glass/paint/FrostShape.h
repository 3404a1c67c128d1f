#pragma once

#include <QPainterPath>
#include <QRectF>
#include <QRegion>

namespace glass {

// The insettable shapes glass surfaces take: a rectangle, a rounded
// rectangle, a capsule or a circle.
struct FrostShape {
    enum class Kind { rectangle, roundedRectangle, capsule, circle };
    Kind kind = Kind::rectangle;
    qreal cornerRadius = 0; // rounded rectangles only

    static FrostShape rectangle() { return {}; }
    static FrostShape roundedRectangle(qreal radius) { return {Kind::roundedRectangle, radius}; }
    static FrostShape capsule() { return {Kind::capsule, 0}; }
    static FrostShape circle() { return {Kind::circle, 0}; }

    QPainterPath path(const QRectF &rect) const;
    // The same shape moved inwards by amount on every side (corner radii shrink with it).
    QPainterPath inset(const QRectF &rect, qreal amount) const;
    // The whole pixels the shape covers in rect, its antialiased edge and
    // corners left out: what it hides completely when filled opaque.
    QRegion solidRegion(const QRect &rect) const;

    friend bool operator==(const FrostShape &, const FrostShape &) = default;
};

} // namespace glass
