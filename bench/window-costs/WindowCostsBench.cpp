// The real main window (stage, sidebar, transcript, composer, title strip)
// over a controller on the loopback chat service, offscreen at its default
// size. Prints, one figure a line, each the median of several runs:
//   window_idle_<stage>[_sheet]   CPU seconds per wall second, nothing
//                                 happening, for the default stage (the
//                                 image drifting: the mean over one 24 s leg
//                                 of its drift, and its busiest two seconds),
//                                 a still image, a looping 1080p video and no
//                                 stage; "_sheet": with the first-run sheet up
//   window_stream_<stage>_cpu     CPU per wall second while a 100,000-
//                                 character reply streams in
//   window_stream_<stage>_frame_p95   the 95th percentile of a window frame
//                                 (everything dirty painted) meanwhile
//   window_stream_<stage>_key_to_glyph_p95/_median   a key typed into the
//                                 composer while the reply streams, until the
//                                 frame that shows it has painted
//   window_motion_<panel>_frame_p95   the 95th percentile of a window frame
//                                 while the sidebar slides out and in, or the
//                                 file peek moves in and out, over the
//                                 wallpaper and a session of 400 messages
#include "BenchHistory.h"
#include "WindowKit.h"

#include "app/AppViewModel.h"
#include "chat/ChatView.h"
#include "chat/composer/ComposerBar.h"
#include "chat/composer/ComposerField.h"
#include "model/ConversationStore.h"
#include "stage/BackgroundSettings.h"
#include "support/ChatServicePeer.h"
#include "support/TestEnvironment.h"
#include "support/TestVideo.h"
#include "window/ContentView.h"
#include "window/MainWindow.h"
#include "window/PanelSlot.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QKeyEvent>
#include <QTest>
#include <QTimer>

#include <algorithm>
#include <functional>
#include <cstdio>
#include <ctime>
#include <vector>

namespace {

constexpr int kRuns = 3;

double cpuSeconds()
{
    timespec ts{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
    return double(ts.tv_sec) + double(ts.tv_nsec) / 1e9;
}

double median(std::vector<double> v)
{
    if (v.empty())
        return -1;
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

double percentile(std::vector<double> v, double p)
{
    if (v.empty())
        return -1;
    std::sort(v.begin(), v.end());
    return v[std::min(v.size() - 1, size_t(double(v.size()) * p))];
}

void print(const QString &name, double value, const char *unit)
{
    std::printf("%s %.3f %s\n", qPrintable(name), value, unit);
    std::fflush(stdout);
}

// Times every frame of one window: the handling of its update request,
// which paints all that is dirty; and, for a key handed to a widget, the
// end of the first frame after it.
class FrameClockApp : public QApplication {
public:
    using QApplication::QApplication;
    QWidget *window = nullptr;
    QWidget *keyTarget = nullptr;
    bool recording = false;
    std::vector<double> frames;      // ms
    std::vector<double> keyToGlyph;  // ms
    QElapsedTimer clock;
    qint64 keyPostedAt = -1;
    bool keyHandled = false;

    bool notify(QObject *receiver, QEvent *event) override
    {
        const bool frame = window && receiver == window && event->type() == QEvent::UpdateRequest;
        const qint64 start = frame ? clock.nsecsElapsed() : 0;
        const bool result = QApplication::notify(receiver, event);
        if (keyTarget && receiver == keyTarget && event->type() == QEvent::KeyPress && keyPostedAt >= 0)
            keyHandled = true;
        if (frame) {
            const qint64 end = clock.nsecsElapsed();
            if (recording)
                frames.push_back((end - start) / 1e6);
            if (keyHandled) {
                keyToGlyph.push_back((end - keyPostedAt) / 1e6);
                keyPostedAt = -1;
                keyHandled = false;
            }
        }
        return result;
    }
};

FrameClockApp *frameClock()
{
    return static_cast<FrameClockApp *>(QCoreApplication::instance());
}

// CPU per wall second over ms of an idle event loop.
double idleCpu(int ms)
{
    const double cpu0 = cpuSeconds();
    QElapsedTimer wall;
    wall.start();
    QTest::qWait(ms);
    return (cpuSeconds() - cpu0) / (wall.nsecsElapsed() / 1e9);
}

// Over one whole leg of the drift (24 s: slow at its ends, fastest in the
// middle), in windows of two seconds: the mean and the busiest window.
std::pair<double, double> idleOverLeg()
{
    std::vector<double> windows;
    for (int i = 0; i < 12; ++i)
        windows.push_back(idleCpu(2000));
    double sum = 0;
    for (double w : windows)
        sum += w;
    return {sum / double(windows.size()), *std::max_element(windows.begin(), windows.end())};
}

double idleMedian(int ms)
{
    std::vector<double> runs;
    for (int i = 0; i < kRuns; ++i)
        runs.push_back(idleCpu(ms));
    return median(runs);
}

struct StreamFigures {
    double cpu = -1;
    double frameP95 = -1;
};

// Sends one message and streams the long reply back over about ten seconds;
// with keys, types into the composer every 97 ms meanwhile.
StreamFigures stream(windowtest::WindowKit &kit, bool typeKeys)
{
    static const QString reply = bench::longReply();
    constexpr int kFragments = 12'500;
    testsupport::ChatServicePeer::Reply r = testsupport::ChatServicePeer::textReply(reply, kFragments);
    r.pieceSize = r.body.size() / 400 + 1;
    r.pieceDelayMs = 25; // about ten seconds, 10,000 characters a second
    kit.peer().enqueue(r);

    app::AppViewModel &vm = kit.vm();
    FrameClockApp *app = frameClock();
    auto *chat = qobject_cast<chat::ChatView *>(kit.window().content()->findChild<window::PanelSlot *>(QStringLiteral("chat"))->view());
    QWidget *field = chat ? static_cast<QWidget *>(chat->composer()->field()) : nullptr;
    app->keyTarget = typeKeys ? field : nullptr;
    app->frames.clear();

    vm.setDraft(QStringLiteral("Explain the build."));
    vm.send();
    QElapsedTimer wait;
    wait.start();
    while (vm.streamingText().isEmpty() && vm.isRunning() && wait.elapsed() < 10'000)
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 5);
    QTimer keys;
    if (typeKeys && field) {
        field->setFocus();
        QObject::connect(&keys, &QTimer::timeout, field, [field, app] {
            if (app->keyPostedAt >= 0)
                return; // the last one has not shown yet
            app->keyPostedAt = app->clock.nsecsElapsed();
            app->keyHandled = false;
            QCoreApplication::postEvent(field, new QKeyEvent(QEvent::KeyPress, Qt::Key_A, Qt::NoModifier,
                                                             QStringLiteral("a")));
            QCoreApplication::postEvent(field, new QKeyEvent(QEvent::KeyRelease, Qt::Key_A, Qt::NoModifier,
                                                             QStringLiteral("a")));
        });
        keys.start(97);
    }
    app->recording = true;
    const double cpu0 = cpuSeconds();
    QElapsedTimer wall;
    wall.start();
    while (vm.isRunning() && wall.elapsed() < 60'000)
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 5);
    StreamFigures f;
    f.cpu = (cpuSeconds() - cpu0) / (wall.nsecsElapsed() / 1e9);
    app->recording = false;
    keys.stop();
    app->keyTarget = nullptr;
    app->keyPostedAt = -1;
    f.frameP95 = percentile(app->frames, 0.95);
    vm.setDraft(QString());
    QTest::qWait(300);
    return f;
}

// The window's frames while a panel moves in and out four times (only the
// frames of the motion itself).
std::vector<double> framesWhileMoving(window::PanelSlot *slot, const std::function<void(bool)> &show, bool startShown)
{
    FrameClockApp *app = frameClock();
    app->frames.clear();
    for (int i = 0; i < 4; ++i)
        for (const bool on : {!startShown, startShown}) {
            show(on);
            app->recording = true;
            QElapsedTimer t;
            t.start();
            while (slot->isAnimating() && t.elapsed() < 2000)
                QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 5);
            app->recording = false;
            QTest::qWait(100);
        }
    return app->frames;
}

} // namespace

int main(int argc, char **argv)
{
    testsupport::isolateHome();
    qputenv("QT_QPA_PLATFORM", "offscreen");
    FrameClockApp app(argc, argv);
    app.clock.start();
    const int ms = argc > 1 ? QString::fromLocal8Bit(argv[1]).toInt() : 2000;
    // Which parts to run: idle, stream, keys, video (default: all).
    const QString only = argc > 2 ? QString::fromLocal8Bit(argv[2]) : QString();
    const auto part = [&](const char *name) { return only.isEmpty() || only.contains(QLatin1String(name)); };

    windowtest::WindowKit kit;
    stage::BackgroundSettings &bg = kit.background();
    kit.window().resize(1280, 800);
    if (!kit.show())
        qFatal("the window did not show");
    app.window = &kit.window();
    QTest::qWait(1500); // the stage's image prepared, first frames painted

    // Idle.
    if (part("idle")) {
        bg.setIsEnabled(true);
        bg.setAnimateKenBurns(true);
        QTest::qWait(500);
        for (const bool sheet : {false, true}) {
            kit.vm().setShowOnboarding(sheet);
            QTest::qWait(300);
            const auto [mean, busiest] = idleOverLeg();
            const QString tag = sheet ? QStringLiteral("_sheet") : QString();
            print(QStringLiteral("window_idle_default_stage%1").arg(tag), mean, "cores");
            print(QStringLiteral("window_idle_default_stage%1_busiest_2s").arg(tag), busiest, "cores");
        }
        kit.vm().setShowOnboarding(false);
        bg.setAnimateKenBurns(false);
        QTest::qWait(500);
        print(QStringLiteral("window_idle_still_image"), idleMedian(ms), "cores");
        kit.vm().setShowOnboarding(true);
        QTest::qWait(500);
        print(QStringLiteral("window_idle_still_image_sheet"), idleMedian(ms), "cores");
        kit.vm().setShowOnboarding(false);
        bg.setIsEnabled(false);
        QTest::qWait(500);
        print(QStringLiteral("window_idle_no_stage"), idleMedian(ms), "cores");
    }

    // Streaming, over the drifting wallpaper and without one.
    for (const bool wallpaper : {true, false}) {
        if (!part("stream"))
            break;
        bg.setIsEnabled(wallpaper);
        bg.setAnimateKenBurns(true);
        QTest::qWait(500);
        std::vector<double> cpus, frames;
        for (int i = 0; i < kRuns; ++i) {
            const StreamFigures f = stream(kit, false);
            cpus.push_back(f.cpu);
            frames.push_back(f.frameP95);
        }
        const QString tag = wallpaper ? QStringLiteral("wallpaper") : QStringLiteral("no_stage");
        print(QStringLiteral("window_stream_%1_cpu").arg(tag), median(cpus), "cores");
        print(QStringLiteral("window_stream_%1_frame_p95").arg(tag), median(frames), "ms");
    }
    for (const bool wallpaper : {true, false}) {
        if (!part("keys"))
            break;
        bg.setIsEnabled(wallpaper);
        QTest::qWait(500);
        app.keyToGlyph.clear();
        for (int i = 0; i < kRuns; ++i)
            stream(kit, true);
        const QString tag = wallpaper ? QStringLiteral("wallpaper") : QStringLiteral("no_stage");
        print(QStringLiteral("window_stream_%1_key_to_glyph_median").arg(tag), median(app.keyToGlyph), "ms");
        print(QStringLiteral("window_stream_%1_key_to_glyph_p95").arg(tag), percentile(app.keyToGlyph, 0.95), "ms");
        print(QStringLiteral("window_stream_%1_keys_typed").arg(tag), double(app.keyToGlyph.size()), "keys");
    }
    // Panels moving over the wallpaper and a long session: the sidebar
    // sliding out and in, the file peek moving in and out.
    if (part("motion")) {
        bg.setIsEnabled(true);
        bg.setAnimateKenBurns(false);
        model::ConversationStore &store = kit.vm().conversations();
        store.newChat();
        QList<model::ChatMessage> messages;
        for (int i = 0; i < 400; ++i) {
            model::ChatMessage m;
            m.id = QUuid::createUuid();
            m.role = i % 2 ? model::MessageRole::Assistant : model::MessageRole::User;
            m.content = bench::longReply().left(i % 2 ? 600 : 80);
            messages.append(m);
        }
        store.replaceMessages(*store.selectedConversationID(), messages);
        QFile file(QDir(kit.projectPath()).filePath(QStringLiteral("notes.md")));
        if (file.open(QIODevice::WriteOnly))
            file.write(bench::longReply().left(3000).toUtf8());
        file.close();
        QTest::qWait(500);
        window::ContentView *content = kit.window().content();
        const std::vector<double> sidebar = framesWhileMoving(
            content->findChild<window::PanelSlot *>(QStringLiteral("sidebar")), [&](bool on) { kit.vm().setShowSidebar(on); }, true);
        print(QStringLiteral("window_motion_sidebar_frame_p95"), percentile(sidebar, 0.95), "ms");
        print(QStringLiteral("window_motion_sidebar_frames"), double(sidebar.size()), "frames");
        const QUrl peeked = QUrl::fromLocalFile(file.fileName());
        const std::vector<double> peek = framesWhileMoving(
            content->findChild<window::PanelSlot *>(QStringLiteral("filePeek")),
            [&](bool on) {
                if (on)
                    kit.vm().peekFile(peeked);
                else
                    kit.vm().setPeekedFile(std::nullopt);
            },
            false);
        print(QStringLiteral("window_motion_peek_frame_p95"), percentile(peek, 0.95), "ms");
        print(QStringLiteral("window_motion_peek_frames"), double(peek.size()), "frames");
    }
    if (!part("video"))
        return 0;
    bg.setIsEnabled(true);

    // Video last: the player keeps the file open.
    const QString video = testsupport::makeTestVideo(QDir::temp().filePath(QStringLiteral("stage-1080p.mp4")),
                                                     QStringLiteral("testsrc2=size=1920x1080:rate=30"), 4);
    if (video.isEmpty()) {
        std::printf("window_idle_video skipped (no ffmpeg)\n");
        return 0;
    }
    auto task = bg.pickLocalVideo(video);
    for (int i = 0; i < 100 && !bg.useVideo(); ++i)
        QTest::qWait(50);
    bg.setIsEnabled(true);
    QTest::qWait(1500);
    print(QStringLiteral("window_idle_video"), idleMedian(ms), "cores");
    QFile::remove(video);
    return 0;
}
