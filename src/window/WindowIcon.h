#pragma once

class QIcon;
class QWidget;

namespace window {

// The application's icon in the sizes a desktop shows it at (16 to 256 px),
// not the 1024 px master: decoding that and handing it to the window system
// costs the start tens of milliseconds.
QIcon windowIcon();

// Sets windowIcon() as the application's icon once `window` has painted its
// first frame, which does without it.
void setWindowIconAfterFirstFrame(QWidget &window);

} // namespace window
