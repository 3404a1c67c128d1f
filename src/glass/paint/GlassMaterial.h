#pragma once

#include <QImage>
#include <QPainterPath>

#include <functional>

class QPainter;

namespace glass {

// The part of the material that keeps text legible: whatever lies behind,
// the glass is held within its band (QirvTheme::materialBand). A pixel
// beyond the band's edge is mixed with just enough black (dark material)
// or white (light material) to come back to the edge; a pixel within the band is left alone. So
// the fill is thick over a bright wallpaper (dark material) or a dark one
// (light material) and thin where the wallpaper already suits the text.
namespace GlassMaterial {

// How much black or white a grey pixel of this luminance needs (0 to 1).
double holdOpacity(double luminance, bool light);

// Every pixel of image (any format; converted to premultiplied ARGB) held
// within the band.
void holdInBand(QImage &image, bool light);

// Paints layers offscreen at the painter's resolution, holds the result in
// the band and draws it clipped to clip.
void paintHeld(QPainter &painter, const QPainterPath &clip, bool light, const std::function<void(QPainter &)> &layers);

} // namespace GlassMaterial
} // namespace glass
