#pragma once

#include <QRegion>

class QWidget;

namespace glass {

// The part of stage (in its coordinates) that glass stacked above it hides
// behind opaque pixels: the solid regions of the visible glass surfaces in
// the siblings above it, clipped by their parents, left out where anything
// between could show the stage through (a graphics effect, such as a fade).
// A new video frame need not be drawn there, nor anything over that glass.
QRegion coveredByGlass(const QWidget *stage);
// The same within a part of the stage (its coordinates), for a paint of
// that part: glass elsewhere is not looked at.
QRegion coveredByGlass(const QWidget *stage, const QRect &within);

} // namespace glass
