#pragma once

#include <QObject>
#include <QPointer>

namespace app {
class AppViewModel;
}
namespace glass {
class SheetOverlay;
}

namespace window {

// The one owner of Escape in the main window. Escape goes to an open sheet
// first; else it denies the tool call an approval card waits on; else it
// stops the run in flight. The stop command's key lands here.
class EscapeDispatcher : public QObject {
    Q_OBJECT
public:
    enum class Outcome { sheet, denied, stopped, nothing };

    EscapeDispatcher(app::AppViewModel &app, glass::SheetOverlay *sheets, QObject *parent = nullptr);

    Outcome dispatch();

private:
    app::AppViewModel &m_app;
    QPointer<glass::SheetOverlay> m_sheets;
};

} // namespace window
