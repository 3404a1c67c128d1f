#pragma once

#include <QObject>
#include <QPointer>

class QAction;
class QWidget;

namespace app {
class AppViewModel;
}
namespace glass {
class SheetOverlay;
}

namespace window {

// The one owner of Escape in the main window, wherever the keyboard is in
// it. Escape goes to an open sheet first (a tray popover takes it before
// any of this); else it closes the file peek; else it denies the tool call
// an approval card waits on, unless the composer holds a draft and the card
// does not hold the keyboard (then it does nothing: the key was meant for
// the draft); else it stops the run in flight. The stop
// command's key lands here while a run is on, the window's own at rest.
class EscapeDispatcher : public QObject {
    Q_OBJECT
public:
    enum class Outcome { sheet, peekClosed, denied, stopped, nothing };

    EscapeDispatcher(app::AppViewModel &app, glass::SheetOverlay *sheets, QObject *parent = nullptr);

    // Escape in window while stop is off (no run): one key, one shortcut
    // at a time, so neither is ever ambiguous.
    void listenWhileIdle(QWidget *window, QAction *stop);

    Outcome dispatch();

private:
    static bool approvalHoldsKeyboard();

    app::AppViewModel &m_app;
    QPointer<glass::SheetOverlay> m_sheets;
};

} // namespace window
