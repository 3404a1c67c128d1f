#pragma once

#include <QWidget>

#include <functional>

class QMenuBar;

namespace app {
class AppViewModel;
}
namespace glass {
class SheetOverlay;
class StageBackground;
class StyleStore;
}
namespace stage {
class BackgroundSettings;
class SkinStore;
}

namespace window {

class ActionRegistry;
class ErrorAlert;
class WindowAlert;
class PanelSlot;
class TitleStrip;

// The main window's content: the stage behind everything, the title strip
// over its top, and one row of columns: sidebar (260), file tree (240), the
// chat (the rest, with the file peek above it) and the tool log (280), with
// 1-pixel lines between them; in a narrow window the file tree and the tool
// log step aside for the chat. It also shows the sheets (onboarding, command
// palette) and turns the controller's error text into the one alert.
class ContentView : public QWidget {
    Q_OBJECT
public:
    struct Stores {
        app::AppViewModel &app;
        glass::StyleStore &styles;
        stage::SkinStore &skins;
        stage::BackgroundSettings &background;
    };
    ContentView(Stores stores, ActionRegistry &actions, QMenuBar *menuBar, bool windowButtons,
                QWidget *parent = nullptr);

    TitleStrip *titleStrip() const { return m_titleStrip; }
    glass::SheetOverlay *sheets() const { return m_sheets; }
    // Shows the alert's sheet whenever it is wanted, before the error alert
    // and the flags' sheets (the quit question).
    void addAlert(WindowAlert *alert);
    // Where the keyboard belongs when nothing else holds it: the composer.
    QWidget *focusHome() const;
    // What Tab reaches in the window, in order: the title strip's buttons,
    // the sidebar, the file tree, the file peek, the chat, the tool log.
    QList<QWidget *> tabStops() const;
    // Whether w lies in one of those places (not in a sheet or a popover).
    bool ordersTabFor(const QWidget *w) const;

    static constexpr int kSidebarWidth = 260;
    static constexpr int kFileTreeWidth = 240;
    static constexpr int kToolLogWidth = 280;
    // The sidebar slides in from the leading edge (ease-in-out), the file
    // peek from the top over the chat (ease-out), both fading.
    static constexpr int kSidebarMs = 200;
    static constexpr int kPeekMs = 180;
    // A chat column narrower than this is hard to read: the file tree steps
    // aside first, then the tool log (the one opened last goes last), and
    // they come back when the room does.
    static constexpr int kMinChatWidth = 420;

protected:
    void resizeEvent(QResizeEvent *event) override;

private:
    void plugViews();
    void applyStyles();
    void syncPanels(bool animateSidebar);
    void fitSidePanels();
    void followSidebar(double progress);
    struct Room {
        bool fileTree = false;
        bool toolLog = false;
    };
    Room roomForPanels() const;
    void syncSheets();

    app::AppViewModel &m_app;
    glass::StyleStore &m_styles;
    glass::StageBackground *m_stage = nullptr;
    TitleStrip *m_titleStrip = nullptr;
    PanelSlot *m_sidebar = nullptr;
    PanelSlot *m_fileTree = nullptr;
    PanelSlot *m_peek = nullptr;
    PanelSlot *m_chat = nullptr;
    PanelSlot *m_toolLog = nullptr;
    glass::SheetOverlay *m_sheets = nullptr;
    ErrorAlert *m_alert = nullptr;
    // Which flag (or alert) the open sheet stands for.
    enum class Sheet { none, onboarding, palette, alert };
    Sheet m_openSheet = Sheet::none;
    QList<WindowAlert *> m_alerts; // the first wanted one shows
    WindowAlert *m_openAlert = nullptr;
    bool m_syncingSheets = false;
    bool m_toolLogStepsAsideFirst = false;
    // How far the columns beside the moving sidebar stand from where the
    // layout put them, and where that left them.
    struct Shift {
        int applied = 0;
        int placedX = 0;
    };
    struct {
        Shift fileTree, peek, chat;
    } m_besideSidebar;
    std::function<QWidget *(QWidget *parent)> m_onboardingSheet;
    QList<QAction *> m_commandActions; // what the palette offers of the window's commands
    std::function<QWidget *(QWidget *parent)> m_paletteSheet;
};

} // namespace window
