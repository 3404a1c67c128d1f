#pragma once

#include <QRect>

#include <functional>

class QPainter;

namespace glass {

// Large fills and blends painted in bands of a few dozen rows. Qt's raster
// engine hands each fill of more rows than that to its thread pool and
// waits for it; for a stage frame or a cached surface, waking and waiting
// for the pool cost more than the work it shares out.
// An antialiased path makes several spans a row: paint those in thinner
// bands (kPathBandRows), or each band is still shared out.
inline constexpr int kFillBandRows = 64;
inline constexpr int kPathBandRows = 16;
void paintInBands(QPainter &painter, const QRect &area, const std::function<void(const QRect &band)> &paint,
                  int bandRows = kFillBandRows);

} // namespace glass
