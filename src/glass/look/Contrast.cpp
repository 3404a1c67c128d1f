#include "glass/look/Contrast.h"

#include <algorithm>
#include <cmath>

namespace glass::Contrast {

namespace {

double linear(double channel)
{
    return channel <= 0.04045 ? channel / 12.92 : std::pow((channel + 0.055) / 1.055, 2.4);
}

QColor mix(const QColor &a, const QColor &b, double t)
{
    return QColor::fromRgbF(float(a.redF() + (b.redF() - a.redF()) * t), float(a.greenF() + (b.greenF() - a.greenF()) * t),
                            float(a.blueF() + (b.blueF() - a.blueF()) * t));
}

} // namespace

double luminance(const QColor &c)
{
    const QColor rgb = c.toRgb();
    return 0.2126 * linear(rgb.redF()) + 0.7152 * linear(rgb.greenF()) + 0.0722 * linear(rgb.blueF());
}

double ratio(const QColor &a, const QColor &b)
{
    const double la = luminance(a);
    const double lb = luminance(b);
    return (std::max(la, lb) + 0.05) / (std::min(la, lb) + 0.05);
}

QColor over(const QColor &top, const QColor &base)
{
    const QColor t = top.toRgb();
    const QColor b = base.toRgb();
    const double a = t.alphaF();
    return QColor::fromRgbF(float(t.redF() * a + b.redF() * (1 - a)), float(t.greenF() * a + b.greenF() * (1 - a)),
                            float(t.blueF() * a + b.blueF() * (1 - a)));
}

QColor ensure(const QColor &fg, const QColor &bg, double minRatio)
{
    const QColor base = over(bg, Qt::black);
    const QColor start = over(fg, base);
    if (ratio(start, base) >= minRatio)
        return start;
    // Away from the background: towards white over a dark one, black over a light one.
    const QColor white(255, 255, 255);
    const QColor black(0, 0, 0);
    const QColor target = ratio(white, base) >= ratio(black, base) ? white : black;
    if (ratio(target, base) < minRatio)
        return target;
    double lo = 0, hi = 1;
    for (int i = 0; i < 24; ++i) {
        const double mid = (lo + hi) / 2;
        (ratio(mix(start, target, mid), base) >= minRatio ? hi : lo) = mid;
    }
    // One step past the threshold so rounding to 8 bits never falls short.
    QColor result = mix(start, target, std::min(1.0, hi + 1.0 / 255));
    return result;
}

} // namespace glass::Contrast
