#pragma once

#include <QPainterPath>
#include <QRectF>

namespace chat {

// The four-pointed star of the activity marks: tall and narrow, its side
// points reaching 0.4 of the radius.
namespace SparkleStar {
QPainterPath path(const QRectF &rect);
}

} // namespace chat
