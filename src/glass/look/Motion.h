#pragma once

#include <QEasingCurve>

namespace glass {

class StyleStore;

// The curves and durations of the app's motion. With the desktop asking
// for less motion nothing moves: durations are 0 and a change lands at once.
namespace Motion {

// The standard curves: ease-out starts fast and settles, ease-in-out
// starts and ends slowly.
QEasingCurve easeOut();
QEasingCurve easeInOut();
// ms, or 0 while the person asked for less motion.
int duration(const StyleStore &styles, int ms);

} // namespace Motion
} // namespace glass
