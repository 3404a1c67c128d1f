#pragma once

#include <QObject>

#include <qcoro/qcorotask.h>

#include <memory>

namespace app {
class AppViewModel;
}
namespace glass {
class StyleStore;
}
namespace platform {
class DesktopServices;
class MotionPreference;
}
namespace stage {
class BackgroundSettings;
class SkinStore;
}

namespace window {

class MainWindow;
class WidgetFilePanels;

// Everything the application makes once, in order, and hands down: the
// skins, the stage state, the style values, the desktop services and file
// panels, the controller (which opens the conversation and settings stores)
// and the main window. Made by main() after the instance lock is held.
class AppRoot : public QObject {
    Q_OBJECT
public:
    explicit AppRoot(bool systemFrame, QObject *parent = nullptr);
    ~AppRoot() override;

    MainWindow &window() const { return *m_window; }
    app::AppViewModel &app() const { return *m_app; }

private:
    QCoro::Task<> quitOnceRunsEnded();

    std::unique_ptr<stage::SkinStore> m_skins;
    std::unique_ptr<stage::BackgroundSettings> m_background;
    std::unique_ptr<glass::StyleStore> m_styles;
    std::unique_ptr<platform::DesktopServices> m_desktop;
    std::unique_ptr<platform::MotionPreference> m_motion;
    std::unique_ptr<WidgetFilePanels> m_panels;
    std::unique_ptr<app::AppViewModel> m_app;
    std::unique_ptr<MainWindow> m_window;
};

} // namespace window
