#include "window/AppRoot.h"
#include "window/AppStyle.h"

#include "app/AppServices.h"
#include "app/AppViewModel.h"
#include "chat/transcript/TranscriptAccess.h"
#include "glass/sheets/ReaderAccess.h"
#include "glass/look/Styles.h"
#include "platform/DesktopServices.h"
#include "platform/MotionPreference.h"
#include "platform/SharedNetwork.h"
#include "stage/BackgroundSettings.h"
#include "stage/SkinStore.h"
#include "window/AfterFirstFrame.h"
#include "window/MainWindow.h"
#include "window/UnsavedWork.h"
#include "model/ConversationStore.h"
#include "model/SettingsStore.h"
#include "window/WidgetFilePanels.h"

#include <QApplication>
#include <QScreen>

namespace window {

namespace {

// The wallpaper is decoded off the UI thread, so the window's first frame
// waits for nothing: big enough to fill the largest screen with the drift's
// zoom (6 %) and shift to spare, never larger than it is.
stage::BackgroundSettings::Config backgroundConfig()
{
    stage::BackgroundSettings::Config config = stage::BackgroundSettings::defaultConfig();
    config.startupImageInBackground = true;
    QSize largest;
    for (const QScreen *screen : QGuiApplication::screens())
        largest = largest.expandedTo((QSizeF(screen->size()) * screen->devicePixelRatio() * 1.1).toSize());
    config.startupImageFit = largest.isEmpty() ? QSize() : largest;
    return config;
}

} // namespace

AppRoot::AppRoot(bool systemFrame, QObject *parent) : QObject(parent)
{
    m_skins = std::make_unique<stage::SkinStore>(stage::SkinStore::defaultSources());
    // Before the wallpaper's decoding starts on a worker: Qt makes one plugin
    // list at a time, and the worker's (every image plugin's) is slow, so the
    // network's, made later here, would wait for it.
    platform::sharedNetwork();
    m_background = std::make_unique<stage::BackgroundSettings>(backgroundConfig());
    m_styles = std::make_unique<glass::StyleStore>(*m_skins);
    m_desktop = std::make_unique<platform::SystemDesktopServices>();
    m_panels = std::make_unique<WidgetFilePanels>();

    // Before any view exists, so no scroll area gets Qt's interface first.
    glass::installReaderAccess();
    chat::installTranscriptAccess();
    QApplication::setStyle(makeAppStyle());
    followSkinPalette(*m_styles);

    app::AppServices services = app::AppServices::live();
    services.background = m_background.get();
    services.panels = m_panels.get();
    services.desktop = m_desktop.get();
    m_app = std::make_unique<app::AppViewModel>(std::move(services));

    m_window = std::make_unique<MainWindow>(
        MainWindow::Services{*m_app, *m_styles, *m_skins, *m_background, *m_desktop}, systemFrame);
    m_panels->setParentWindow(m_window.get());
    m_window->setUnsavedWork([this] {
        // The newest state goes to disk first; its result comes back as a
        // queued call, delivered here before the stores are asked.
        m_app->conversations().flush();
        QCoreApplication::sendPostedEvents(&m_app->conversations(), QEvent::MetaCall);
        return describeUnsavedWork(m_app->conversations().lastSaveFailure(),
                                   m_app->settingsStore().lastSaveFailure());
    });
    connect(m_window.get(), &MainWindow::closedForGood, this, [this] { quitOnceRunsEnded(); });

    // The motion preference waits for the first frame: connecting to the
    // session bus for it waits on the bus. Until its answer motion is on, as
    // it was while the answer was on its way.
    afterFirstFrame(*m_window, [this] {
        m_motion = std::make_unique<platform::MotionPreference>();
        connect(m_motion.get(), &platform::MotionPreference::reduceMotionChanged, m_styles.get(),
                &glass::StyleStore::setReduceMotion);
    });
}

QCoro::Task<> AppRoot::quitOnceRunsEnded()
{
    // A run still going ends as Stop ends it, its text kept. A command it
    // runs gets its grace period to end before the app leaves anyway.
    co_await m_app->endRuns(std::chrono::seconds(3));
    QMetaObject::invokeMethod(qApp, &QCoreApplication::quit, Qt::QueuedConnection);
}

AppRoot::~AppRoot()
{
    // Views go before the controller and the stores they show.
    m_window.reset();
    m_app.reset();
}

} // namespace window
