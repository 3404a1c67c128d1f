#include "glass/look/Motion.h"

#include "glass/look/Styles.h"

namespace glass {

namespace {

QEasingCurve bezier(QPointF c1, QPointF c2)
{
    QEasingCurve curve(QEasingCurve::BezierSpline);
    curve.addCubicBezierSegment(c1, c2, QPointF(1, 1));
    return curve;
}

} // namespace

QEasingCurve Motion::easeOut()
{
    return bezier({0, 0}, {0.58, 1});
}

QEasingCurve Motion::easeInOut()
{
    return bezier({0.42, 0}, {0.58, 1});
}

int Motion::duration(const StyleStore &styles, int ms)
{
    return styles.reduceMotion() ? 0 : ms;
}

} // namespace glass
