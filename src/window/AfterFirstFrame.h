#pragma once

#include <functional>

class QWidget;

namespace window {

// Runs `work` once, on the UI thread, after `window` has painted its first
// frame: for start-up work the first frame does not show. Nothing runs when
// the window goes away first.
void afterFirstFrame(QWidget &window, std::function<void()> work);

} // namespace window
