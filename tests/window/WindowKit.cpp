#include "WindowKit.h"

#include "agent/files/WorkspaceManager.h"
#include "glass/look/Contrast.h"
#include "glass/stageview/StageBackground.h"
#include "glass/look/Styles.h"
#include "model/AttachmentTempStore.h"
#include "stage/BackgroundSettings.h"
#include "stage/SkinStore.h"
#include "window/AppStyle.h"
#include "window/ContentView.h"
#include "window/PanelSlot.h"
#include "window/TitleButton.h"
#include "support/NamedWidget.h"
#include "window/MainWindow.h"
#include "window/WidgetFilePanels.h"

#include <QApplication>
#include <QDir>
#include <QTest>
#include <QTimer>

#include <qcoro/qcorotimer.h>

namespace windowtest {

window::PanelSlot *panelSlot(const QObject *content, const QString &name)
{
    return content->findChild<window::PanelSlot *>(name);
}

window::TitleButton *titleButton(const QObject *strip, const QString &name)
{
    return testsupport::namedWidget<window::TitleButton>(strip, name);
}

QString brightImage(const QString &dir)
{
    QImage image(1600, 1000, QImage::Format_RGB32);
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            image.setPixel(x, y, qRgb(235 + (x % 20), 232 + (y % 20), 220));
    const QString path = QDir(dir).filePath(QStringLiteral("bright.png"));
    image.save(path);
    return path;
}

bool pickWallpaper(stage::BackgroundSettings &background, const QString &path)
{
    bool done = false;
    [](stage::BackgroundSettings &bg, QString file, bool &finished) -> QCoro::Task<> {
        co_await bg.pickLocalImage(file);
        finished = true;
    }(background, path, done);
    return QTest::qWaitFor([&] { return done; }, 20000);
}

double strongestContrast(const QImage &image, const QRect &area)
{
    QList<QRgb> pixels;
    for (int y = area.top(); y <= area.bottom(); ++y)
        for (int x = area.left(); x <= area.right(); ++x)
            pixels.append(image.pixel(x, y));
    const auto luminance = [](QRgb c) { return glass::Contrast::luminance(QColor(c)); };
    QList<QRgb> byLuminance = pixels;
    std::sort(byLuminance.begin(), byLuminance.end(), [&](QRgb a, QRgb b) { return luminance(a) < luminance(b); });
    const QRgb median = byLuminance.at(byLuminance.size() / 2);
    double best = 1;
    for (QRgb p : pixels)
        best = qMax(best, glass::Contrast::ratio(QColor(p), QColor(median)));
    return best;
}

namespace {
QCoro::Task<> aTurnLater()
{
    QTimer timer;
    timer.setSingleShot(true);
    timer.start(1);
    co_await timer;
}
} // namespace

QCoro::Task<std::optional<QString>> ScriptedPanels::chooseSaveFile(SaveRequest request)
{
    saves.append(request);
    const std::optional<QString> answer = saveAnswer;
    const std::function<void()> during = whileOpen;
    // Answer on a later turn, as a real panel does.
    co_await aTurnLater();
    if (during)
        during();
    co_return answer;
}

QCoro::Task<std::optional<QString>> ScriptedPanels::chooseFolder(FolderRequest request)
{
    folders.append(request);
    const std::optional<QString> answer = folderAnswer;
    co_await aTurnLater();
    co_return answer;
}

QCoro::Task<bool> RecordingDesktop::openUrl(QUrl url)
{
    calls.append(QStringLiteral("url ") + url.toString());
    co_return browserWorks;
}

QCoro::Task<bool> RecordingDesktop::revealFile(QString path)
{
    calls.append(QStringLiteral("reveal ") + path);
    co_return fileManagerWorks;
}

QCoro::Task<bool> RecordingDesktop::openTerminal(QString folder)
{
    calls.append(QStringLiteral("terminal ") + folder);
    co_return terminalWorks;
}

WindowKit::WindowKit(bool inProject, bool firstStart, Panels panels)
{
    apptest::Harness::removeStoreFiles();
    m_peer = std::make_unique<testsupport::ChatServicePeer>();
    if (!m_peer->listen())
        qFatal("the chat peer could not listen");
    m_skins = std::make_unique<stage::SkinStore>(
        stage::SkinStore::Sources{QStringLiteral(":/skins"), QDir(m_local.stagePath()).filePath(QStringLiteral("skins"))});
    m_styles = std::make_unique<glass::StyleStore>(*m_skins);
    window::followSkinPalette(*m_styles); // menus, dialogs and tooltips in the skin's kind, as the app has them

    app::AppServices services = m_local.services();
    services.signIn = std::make_unique<apptest::FakeSignIn>(m_script);
    services.endpoint = m_peer->endpoint();
    if (panels == Panels::real) {
        m_realPanels = std::make_unique<window::WidgetFilePanels>();
        services.panels = m_realPanels.get();
    } else {
        services.panels = &m_panels;
    }
    services.desktop = &m_desktop;
    m_vm = std::make_unique<app::AppViewModel>(std::move(services));
    if (inProject)
        m_vm->workspace().setWorkspace(m_project.path());
    // A fresh HOME would greet with the onboarding sheet; these tests start past it.
    m_vm->setShowOnboarding(firstStart);
    m_window = std::make_unique<window::MainWindow>(
        window::MainWindow::Services{*m_vm, *m_styles, *m_skins, m_local.background(), m_desktop}, false);
    if (m_realPanels)
        m_realPanels->setParentWindow(m_window.get());
}

WindowKit::~WindowKit()
{
    m_window.reset();
    m_vm.reset();
    QTest::qWait(20); // let released coroutines finish
}

bool WindowKit::show()
{
    m_window->show();
    return QTest::qWaitForWindowExposed(m_window.get());
}

bool WindowKit::showActive()
{
    if (!show())
        return false;
    m_window->activateWindow();
    return QTest::qWaitFor([this] { return QApplication::activeWindow() == m_window.get(); });
}

bool WindowKit::waitForStage()
{
    glass::StageBackground *stage = m_window->content()->findChild<glass::StageBackground *>(QStringLiteral("stage"));
    return QTest::qWaitFor([stage] { return stage->media() == glass::StageBackground::Media::image; }, 10000)
        && QTest::qWaitFor([stage] { return stage->isBackdropReady() && stage->mediaOpacity() > 0.99; }, 10000);
}

} // namespace windowtest
