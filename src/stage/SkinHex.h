#pragma once

#include <QColor>
#include <QStringView>

namespace stage {

// The one conversion of a skin colour string ("#RRGGBB" or "#RRGGBBAA",
// number sign optional, case and surrounding white space ignored) into an
// sRGB colour. A text of any other length gives the fallback colour
// (0.05, 0.05, 0.06); non-hex digits keep the value of the leading ones.
// Every view that colours itself from a skin goes through here.
QColor colorFromSkinHex(QStringView text);

// The colour given for a string of the wrong length.
QColor skinHexFallbackColor();

} // namespace stage
