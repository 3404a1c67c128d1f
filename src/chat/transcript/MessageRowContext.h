#pragma once

namespace glass {
class StyleStore;
}
namespace stage {
class BackgroundSettings;
}
namespace platform {
class DesktopServices;
}

namespace chat {

class MarkdownRenderCache;
class TurnFade;

// What message rows and the live block are built with, passed down by the
// chat pane: the style values, the stage state that fades the bubbles, the
// pane's render cache, the desktop that opens links and how the bubbles
// are shown while the stage changes their visibility.
struct MessageRowContext {
    glass::StyleStore &styles;
    stage::BackgroundSettings &background;
    MarkdownRenderCache &cache;
    platform::DesktopServices *desktop = nullptr; // none: links do nothing
    TurnFade *fade = nullptr;                     // none: a new visibility shows at once
};

} // namespace chat
