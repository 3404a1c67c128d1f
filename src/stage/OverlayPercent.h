#pragma once

#include <QString>

namespace stage {

// The stage's dimming as a whole percentage, as every view shows it:
// truncated, so 0.357 reads "35%" and 0.999 "99%", but a value meant as a
// whole percentage reads as that one (0.29 reads "29%", not the 28 a bare
// truncation of 0.29 x 100 gives). Values outside 0...1 read as the nearest
// end; a value that is not a number reads "0%".
QString overlayPercentText(double opacity);

} // namespace stage
