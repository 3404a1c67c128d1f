#pragma once

#include <QColor>

namespace glass {

// Legibility arithmetic on sRGB colours (the WCAG definitions).
namespace Contrast {

// Relative luminance of an opaque colour, 0 (black) to 1 (white).
double luminance(const QColor &c);

// (lighter + 0.05) / (darker + 0.05), from 1 to 21.
double ratio(const QColor &a, const QColor &b);

// top composited over an opaque base: the colour the eye gets.
QColor over(const QColor &top, const QColor &base);

// fg (composited over bg first) moved towards white or black, whichever
// lies away from bg, just far enough to reach at least minRatio against
// bg. Hue is kept as far as the target allows.
QColor ensure(const QColor &fg, const QColor &bg, double minRatio);

} // namespace Contrast
} // namespace glass
