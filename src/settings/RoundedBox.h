#pragma once

class QColor;
class QPainter;
class QRect;

namespace settings {

// The settings' boxed surfaces (cards, banners, fields, segment tracks): a
// rounded rectangle inside bounds, filled and edged with a 1-pixel line on
// the pixel grid. Leaves the painter's pen on the edge colour.
void paintRoundedBox(QPainter &p, const QRect &bounds, double radius, const QColor &fill, const QColor &stroke);

} // namespace settings
