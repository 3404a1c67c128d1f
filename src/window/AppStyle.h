#pragma once

class QStyle;

namespace glass {
class StyleStore;
}

namespace window {

// The application's widget style: Fusion, with scroll bars that lie over
// the content as a thin handle shown while scrolling, so no opaque grey
// track with arrow buttons stands over the stage and the glass.
QStyle *makeAppStyle();

// Gives the whole application the skin's palette, now and whenever the
// skin changes: menus, dialogs, tooltips and the stock widgets light under
// a light skin, dark under a dark one.
void followSkinPalette(glass::StyleStore &styles);

} // namespace window
