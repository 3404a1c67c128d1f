#pragma once

#include <QRect>

#include <functional>

class QPainter;

namespace glass {

// Large fills and blends painted in bands of a few dozen rows. Qt's raster
// engine hands each fill of more rows than that to its thread pool and
// waits for it; for a stage frame or a cached surface, waking and waiting
// for the pool cost more than the work it shares out.
void paintInBands(QPainter &painter, const QRect &area, const std::function<void(const QRect &band)> &paint);

} // namespace glass
