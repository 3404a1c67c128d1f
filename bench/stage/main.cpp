// A 1280 × 800 window: the stage (the shipped image drifting, then a 1080p
// video) under three glass panels, and the same without the glass. Prints
// frames per second reached, CPU seconds per second of wall time and, for
// the drift (drawn only when it has moved a visible step), the largest step
// between two frames in device pixels: the motion is smooth while it stays
// near half a pixel.
#include "stage/BackgroundSettings.h"
#include "glass/paint/FrostShapeBackground.h"
#include "glass/paint/GlassDecoration.h"
#include "glass/stageview/LoopingVideoBackground.h"
#include "glass/paint/SidebarGlassBackground.h"
#include "stage/SkinStore.h"
#include "glass/stageview/StageBackground.h"
#include "glass/look/Styles.h"
#include "support/TestVideo.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QElapsedTimer>
#include <QEvent>
#include <QLabel>
#include <QTemporaryDir>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <optional>
#include <ctime>

using namespace stage;
using namespace glass;

namespace {

double processCpuSeconds()
{
    timespec ts{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
    return double(ts.tv_sec) + double(ts.tv_nsec) / 1e9;
}

class PaintCounter : public QObject {
public:
    int frames = 0;
    qreal largestStep = 0;
    std::optional<KenBurnsPose> last;
protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (event->type() == QEvent::Paint) {
            ++frames;
            auto *stage = static_cast<StageBackground *>(watched);
            if (last)
                largestStep = std::max(largestStep, stage->stepBetween(*last, stage->shownPose()));
            last = stage->shownPose();
        }
        return false;
    }
};

// Runs the event loop idle for ms (no busy waiting: that would be measured too).
void waitFor(int ms)
{
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
}

struct Window {
    QWidget window;
    StageBackground *stage = nullptr;
    QList<QWidget *> glass;

    Window(BackgroundSettings &bg, StyleStore &skins)
    {
        window.resize(1280, 800);
        stage = new StageBackground(bg, skins, &window);
        stage->setGeometry(window.rect());
        auto *sidebar = new QWidget(&window);
        sidebar->setGeometry(0, 0, 260, 800);
        SidebarGlassBackground::install(sidebar, bg, skins);
        auto *tools = new QWidget(&window);
        tools->setGeometry(1000, 0, 280, 800);
        FrostPanelBackground::install(tools, QirvTheme::FrostRole::panel, skins);
        auto *card = new QLabel(&window);
        card->setGeometry(380, 560, 520, 180);
        GlassCard::apply(card, 18, QirvTheme::FrostRole::card, skins);
        glass = {sidebar, tools, card};
        window.show();
    }
    void showGlass(bool on)
    {
        // The pieces of a dressing are siblings of their host: hide them all.
        for (QWidget *w : window.findChildren<QWidget *>(Qt::FindDirectChildrenOnly))
            if (w != stage)
                w->setVisible(on);
    }
};

void measure(const char *name, Window &w, int ms)
{
    PaintCounter counter;
    w.stage->installEventFilter(&counter);
    waitFor(300); // settle
    counter.frames = 0;
    counter.largestStep = 0;
    const double cpu0 = processCpuSeconds();
    QElapsedTimer wall;
    wall.start();
    waitFor(ms);
    const double seconds = wall.elapsed() / 1000.0;
    const double cpu = processCpuSeconds() - cpu0;
    w.stage->removeEventFilter(&counter);
    std::printf("%s.fps %.1f fps\n", name, counter.frames / seconds);
    std::printf("%s.cpu %.3f cores\n", name, cpu / seconds);
    if (w.stage->media() == StageBackground::Media::image)
        std::printf("%s.largest_step %.2f px\n", name, counter.largestStep);
    std::fflush(stdout);
}

} // namespace

int main(int argc, char **argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QTemporaryDir home;
    qputenv("HOME", home.path().toLocal8Bit());
    qputenv("XDG_DATA_HOME", home.filePath(QStringLiteral("data")).toLocal8Bit());
    qputenv("XDG_CONFIG_HOME", home.filePath(QStringLiteral("config")).toLocal8Bit());
    QDir().mkpath(home.filePath(QStringLiteral("runtime")));
    QFile::setPermissions(home.filePath(QStringLiteral("runtime")), QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    qputenv("XDG_RUNTIME_DIR", home.filePath(QStringLiteral("runtime")).toLocal8Bit());
    QApplication app(argc, argv);
    const int ms = argc > 1 ? QString::fromLocal8Bit(argv[1]).toInt() : 4000;

    SkinStore skins({home.filePath(QStringLiteral("none")), home.filePath(QStringLiteral("skins"))});
    BackgroundSettings::Config config;
    config.supportDirectory = home.filePath(QStringLiteral("support"));
    config.firstRunImage = QStringLiteral(MOONSHELF_SOURCE_DIR "/resources/default-stage.webp");
    BackgroundSettings bg(config);
    StyleStore styles(skins);
    bg.setAnimateKenBurns(true);
    bg.setIsEnabled(true);

    {
        Window w(bg, styles);
        waitFor(500);
        measure("stage.image_kenburns_glass", w, ms);
        w.showGlass(false);
        measure("stage.image_kenburns_bare", w, ms);
    }

    const QString video = testsupport::makeTestVideo(QDir(home.path()).filePath(QStringLiteral("stage-1080p.mp4")),
                                                     QStringLiteral("testsrc2=size=1920x1080:rate=30"), 4);
    if (video.isEmpty()) {
        std::printf("stage.video skipped (no ffmpeg)\n");
        return 0;
    }
    auto task = bg.pickLocalVideo(video);
    for (int i = 0; i < 100 && !bg.useVideo(); ++i)
        waitFor(50);
    {
        Window w(bg, styles);
        waitFor(800);
        measure("stage.video1080p_glass", w, ms);
        w.showGlass(false);
        measure("stage.video1080p_bare", w, ms);
        if (w.stage->video())
            std::printf("stage.video1080p_frames_prepared %d frames\n", w.stage->video()->framesShown());
    }
    return 0;
}
