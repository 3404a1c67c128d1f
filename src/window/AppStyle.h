#pragma once

class QStyle;

namespace window {

// The application's widget style: Fusion, with scroll bars that lie over
// the content as a thin handle shown while scrolling, so no opaque grey
// track with arrow buttons stands over the stage and the glass.
QStyle *makeAppStyle();

} // namespace window
