#pragma once

#include "AppTestKit.h"
#include "app/FilePanels.h"
#include "platform/DesktopServices.h"

#include <QImage>
#include <QStringList>
#include <QTemporaryDir>

#include <memory>
#include <optional>

namespace glass {
class StyleStore;
}
namespace stage {
class BackgroundSettings;
class SkinStore;
}
namespace window {
class MainWindow;
class PanelSlot;
class TitleButton;
class WidgetFilePanels;
}

namespace windowtest {

// The content view's slot for one panel, found by its object name.
window::PanelSlot *panelSlot(const QObject *content, const QString &name);
// The title strip's button a screen reader calls name.
window::TitleButton *titleButton(const QObject *strip, const QString &name);

// A bright, finely textured picture saved in dir, for a wallpaper.
QString brightImage(const QString &dir);
// Makes the picture the stage's wallpaper.
bool pickWallpaper(stage::BackgroundSettings &background, const QString &path);
// How much the pixel of the area that stands out most from the area's
// median stands out (a contrast ratio): is there legible ink on it?
double strongestContrast(const QImage &image, const QRect &area);

// File panels that answer from a script and note what they were asked.
class ScriptedPanels final : public app::FilePanels {
public:
    std::optional<QString> saveAnswer;   // none: cancelled
    std::optional<QString> folderAnswer; // none: cancelled
    QList<SaveRequest> saves;
    QList<FolderRequest> folders;
    // Run while the panel is "open", before it answers.
    std::function<void()> whileOpen;

    QCoro::Task<std::optional<QString>> chooseSaveFile(SaveRequest request) override;
    QCoro::Task<std::optional<QString>> chooseFolder(FolderRequest request) override;
};

// A desktop that records what it was asked and answers as told.
class RecordingDesktop final : public platform::DesktopServices {
public:
    QStringList calls; // "url <u>", "reveal <path>", "terminal <folder>"
    bool terminalWorks = true;
    bool fileManagerWorks = true;
    bool browserWorks = true;

    QCoro::Task<bool> openUrl(QUrl url) override;
    QCoro::Task<bool> revealFile(QString path) override;
    QCoro::Task<bool> openTerminal(QString folder) override;
};

// The main window over a controller on the loopback chat service, with its
// own stage folder, skins from the resources, scripted panels and a
// recording desktop. The stores live in the test's HOME, emptied first.
class WindowKit {
public:
    // The app's own file dialogs, or panels that answer from a script.
    enum class Panels { scripted, real };

    // firstStart: the settings say onboarding is not complete, so the
    // window opens with the welcome sheet as it does on a first start.
    explicit WindowKit(bool inProject = true, bool firstStart = false, Panels panels = Panels::scripted);
    ~WindowKit();

    app::AppViewModel &vm() { return *m_vm; }
    window::MainWindow &window() { return *m_window; }
    testsupport::ChatServicePeer &peer() { return *m_peer; }
    ScriptedPanels &panels() { return m_panels; }
    RecordingDesktop &desktop() { return m_desktop; }
    apptest::FakeSignIn::Script &signIn() { return *m_script; }
    glass::StyleStore &styles() { return *m_styles; }
    stage::SkinStore &skins() { return *m_skins; }
    stage::BackgroundSettings &background() { return m_local.background(); }
    QString projectPath() const { return m_project.path(); }

    // Shows the window at its default size and waits until it is exposed.
    bool show();
    // Shown and made the active window, as a person clicking on it would.
    bool showActive();
    // Waits until the stage shows its image, wholly, with its blurred copy.
    bool waitForStage();

private:
    apptest::LocalServices m_local;
    QTemporaryDir m_project;
    std::unique_ptr<testsupport::ChatServicePeer> m_peer;
    std::unique_ptr<stage::SkinStore> m_skins;
    std::unique_ptr<glass::StyleStore> m_styles;
    std::shared_ptr<apptest::FakeSignIn::Script> m_script = std::make_shared<apptest::FakeSignIn::Script>();
    ScriptedPanels m_panels;
    std::unique_ptr<window::WidgetFilePanels> m_realPanels;
    RecordingDesktop m_desktop;
    std::unique_ptr<app::AppViewModel> m_vm;
    std::unique_ptr<window::MainWindow> m_window;
};

} // namespace windowtest
