#pragma once

#include <QPointer>
#include <QWidget>

#include <functional>

class QMenuBar;

namespace app {
class AppViewModel;
}
namespace glass {
class StyleStore;
}
namespace platform {
class DesktopServices;
}
namespace stage {
class BackgroundSettings;
class SkinStore;
}

namespace window {

class ActionRegistry;
class ContentView;
class EscapeDispatcher;
class FramelessResize;
class QuitQuestion;
class SettingsHost;

// The main window: "Moonshelf Mac", at least 1100 x 700, first 1280 x 800
// centred on its screen. Without the window manager's frame (unless
// MOONSHELF_SYSTEM_FRAME=1) its own title strip over the stage moves and
// resizes it. It holds the commands, the menu bar, the settings window and
// the Escape dispatcher; closing it quits, after asking when the last save
// failed.
class MainWindow : public QWidget {
    Q_OBJECT
public:
    struct Services {
        app::AppViewModel &app;
        glass::StyleStore &styles;
        stage::SkinStore &skins;
        stage::BackgroundSettings &background;
        platform::DesktopServices &desktop;
    };
    // systemFrame: the window manager draws the frame and the title.
    MainWindow(Services services, bool systemFrame, QWidget *parent = nullptr);
    ~MainWindow() override;

    static QString title() { return QStringLiteral("Moonshelf Mac"); }
    static QSize minimumWindowSize() { return {1100, 700}; }
    static QSize defaultWindowSize() { return {1280, 800}; }
    // MOONSHELF_SYSTEM_FRAME=1 asks for the window manager's frame.
    static bool systemFrameRequested();

    ActionRegistry &actions() const { return *m_actions; }
    ContentView *content() const { return m_content; }
    QMenuBar *menuBar() const { return m_menuBar; }
    SettingsHost &settings() const { return *m_settings; }

    // What a quit now would lose (empty: nothing), asked before closing.
    using UnsavedWork = std::function<QString()>;
    void setUnsavedWork(UnsavedWork unsaved) { m_unsaved = std::move(unsaved); }
    // Shown, restored from minimised, raised and given the keyboard.
    void bringToFront();
    // Puts the window at its default size in the middle of its screen.
    void placeDefault();

signals:
    void aboutShown(QWidget *panel);
    void quitQuestionShown(QWidget *question);
    // The window closed (after any question): there is one main window, so
    // the application ends with it, the settings window included.
    void closedForGood();

protected:
    void closeEvent(QCloseEvent *event) override;
    void changeEvent(QEvent *event) override;
    void showEvent(QShowEvent *event) override;
    bool focusNextPrevChild(bool next) override;

private:
    void buildMenus();
    void showAbout();
    void shareCommandsWith(QWidget *other);
    void takeKeyboardBack();

    app::AppViewModel &m_app;
    glass::StyleStore &m_styles;
    platform::DesktopServices &m_desktop;
    bool m_systemFrame = false;
    ActionRegistry *m_actions = nullptr;
    QMenuBar *m_menuBar = nullptr;
    ContentView *m_content = nullptr;
    SettingsHost *m_settings = nullptr;
    EscapeDispatcher *m_escape = nullptr;
    FramelessResize *m_resize = nullptr;
    UnsavedWork m_unsaved;
    bool m_quitConfirmed = false;
    QuitQuestion *m_quitQuestion = nullptr;
};

} // namespace window
