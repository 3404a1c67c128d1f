#include "stage/OverlayPercent.h"

#include <algorithm>
#include <cmath>

namespace stage {

namespace {
// Room for the slip of x 100 on a value that is meant as a whole percentage.
constexpr double kSlip = 1e-7;
} // namespace

QString overlayPercentText(double opacity)
{
    if (std::isnan(opacity))
        opacity = 0;
    opacity = std::clamp(opacity, 0.0, 1.0);
    const auto percent = static_cast<qint64>(std::floor(opacity * 100 + kSlip));
    return QString::number(std::min<qint64>(percent, 100)) + QLatin1Char('%');
}

} // namespace stage
