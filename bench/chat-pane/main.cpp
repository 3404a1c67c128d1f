// A session of 2,000 messages in the chat list at 1280 x 800, with the stage
// wallpaper on and off. Prints, one figure a line: the first frame (list
// built, laid out and painted), the 95th percentile of a scroll frame
// (scrolled by a wheel step and the list's area of the window painted,
// the stage under it included), the row widgets and all widgets
// alive, and the cost of a width change at 200, 500, 1,000 and 2,000
// messages (it should stay flat); with the wallpaper on, the 95th
// percentile of a frame while the veil moves the bubbles' look, and while
// it makes them go and come. The
// list lies over the stage, as in the window, so the glass bubbles show
// the blurred wallpaper behind them.
#include "app/MessageListModel.h"
#include "chat/markdown/MarkdownRenderCache.h"
#include "chat/transcript/TranscriptView.h"
#include "chat/transcript/TurnFade.h"
#include "glass/stageview/StageBackground.h"
#include "glass/look/Styles.h"
#include "stage/BackgroundSettings.h"
#include "stage/SkinStore.h"

#include <QApplication>
#include <QEventLoop>
#include <QElapsedTimer>
#include <QImage>
#include <QPainter>
#include <QScrollBar>
#include <QTemporaryDir>
#include <QTimer>
#include <QVariantAnimation>

#include <algorithm>
#include <cstdio>
#include <ctime>

namespace {

QList<model::ChatMessage> session(int count)
{
    QList<model::ChatMessage> list;
    for (int i = 0; i < count; ++i) {
        model::ChatMessage m;
        m.id = QUuid::createUuid();
        m.role = i % 2 ? model::MessageRole::Assistant : model::MessageRole::User;
        if (i % 2 == 0)
            m.content = QStringLiteral("Question %1: how does the build find its tests?").arg(i);
        else if (i % 6 == 1)
            m.content = QStringLiteral("It reads the list:\n\n```cmake\nforeach(t ${tests})\n  add_test(${t})\n"
                                       "endforeach()\n```\n\nThen **ctest** runs each one.");
        else
            m.content = QStringLiteral("Answer %1. The build **compiles** `main.cpp`, links the app and runs the "
                                       "tests in order; each test gets its own home folder.\n\n- first\n- second")
                            .arg(i);
        list.append(m);
    }
    return list;
}

qint64 cpuNanoseconds()
{
    timespec ts{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
    return qint64(ts.tv_sec) * 1'000'000'000 + ts.tv_nsec;
}

double ms(qint64 ns)
{
    return double(ns) / 1e6;
}

void paint(QWidget *w, QImage &frame)
{
    frame.fill(Qt::black);
    QPainter p(&frame);
    w->render(&p);
}

void waitFor(int ms)
{
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
}

void run(bool stageOn, stage::BackgroundSettings &bg, glass::StyleStore &styles)
{
    bg.setIsEnabled(stageOn);
    // The window's stage under the list; its blurred copy is made off the UI thread.
    QWidget window;
    window.resize(1280, 800);
    auto *backdrop = new glass::StageBackground(bg, styles, &window);
    backdrop->setGeometry(window.rect());
    window.show();
    for (int i = 0; i < 200 && !backdrop->isBackdropReady(); ++i)
        waitFor(20);
    waitFor(300); // the fade in
    const char *tag = stageOn ? "stage_on" : "stage_off";
    chat::MarkdownRenderCache cache;
    app::MessageListModel model;
    QImage frame(1280, 800, QImage::Format_ARGB32_Premultiplied);

    QElapsedTimer t;
    t.start();
    auto *list = new chat::TranscriptView(chat::MessageRowContext{styles, bg, cache, nullptr}, &window);
    chat::TranscriptView &view = *list;
    view.resize(1280, 800);
    view.setBottomInset(86);
    model.showConversation(QUuid::createUuid(), session(2000));
    view.setModel(&model);
    view.show();
    view.scrollToBottom(false);
    paint(&view, frame);
    std::printf("chat_pane_first_frame_%s %.1f ms\n", tag, ms(t.nsecsElapsed()));

    // Upwards by wheel steps through the whole session: rows are new to
    // the view (and the cache) as they come in.
    QScrollBar *bar = view.verticalScrollBar();
    std::vector<double> frames, frameCpus;
    int most = view.rowWidgetCount();
    for (int v = bar->maximum(); v > 0 && frames.size() < 3000; v -= 120) {
        t.restart();
        const qint64 cpu = cpuNanoseconds();
        bar->setValue(v);
        // The list's area of the window: the stage under it is drawn again too.
        frame.fill(Qt::black);
        {
            QPainter p(&frame);
            window.render(&p, QPoint(), QRegion(view.viewport()->geometry()));
        }
        frames.push_back(ms(t.nsecsElapsed()));
        frameCpus.push_back(ms(cpuNanoseconds() - cpu));
        most = std::max(most, view.rowWidgetCount());
    }
    std::sort(frames.begin(), frames.end());
    std::printf("chat_pane_scroll_frame_p95_%s %.2f ms\n", tag, frames[size_t(frames.size() * 0.95)]);
    std::printf("chat_pane_scroll_frame_max_%s %.2f ms\n", tag, frames.back());
    // CPU of all threads (the raster engine shares large fills out): steadier
    // than the wall time on a busy machine.
    std::sort(frameCpus.begin(), frameCpus.end());
    std::printf("chat_pane_scroll_frame_cpu_p95_%s %.2f ms\n", tag, frameCpus[size_t(frameCpus.size() * 0.95)]);
    std::printf("chat_pane_row_widgets_alive_max_%s %d widgets\n", tag, most);
    std::printf("chat_pane_widgets_alive_%s %lld widgets\n", tag,
                qlonglong(view.findChildren<QWidget *>().size()));

    if (stageOn) {
        // The bubbles while the veil changes: their look moving (0.3 -> 0.1,
        // the glass drawn again each frame), then going and coming (0.6,
        // 0.1: one look, faded). Each frame steps the fades by 16 ms and
        // paints the list's area of the window.
        bar->setValue(bar->maximum());
        struct Frames {
            const char *name;
            std::vector<double> wall, cpu;
        } moving{"veil", {}, {}}, fading{"fade", {}, {}};
        for (const double veil : {0.3, 0.1, 0.6, 0.1}) {
            Frames &into = fading.wall.empty() && veil != 0.6 ? moving : fading;
            bg.setOverlayOpacity(veil);
            const QList<QVariantAnimation *> fades =
                view.findChild<chat::TurnFade *>()->findChildren<QVariantAnimation *>();
            for (QVariantAnimation *a : fades)
                if (a->state() == QAbstractAnimation::Running)
                    a->pause();
            waitFor(200); // the stage's own veil settles
            for (int at = 16; at <= 560; at += 16) {
                t.restart();
                const qint64 cpu = cpuNanoseconds();
                for (QVariantAnimation *a : fades)
                    if (a->state() == QAbstractAnimation::Paused)
                        a->setCurrentTime(std::min(at, a->duration()));
                frame.fill(Qt::black);
                {
                    QPainter p(&frame);
                    window.render(&p, QPoint(), QRegion(view.viewport()->geometry()));
                }
                into.wall.push_back(ms(t.nsecsElapsed()));
                into.cpu.push_back(ms(cpuNanoseconds() - cpu));
            }
            for (QVariantAnimation *a : fades)
                a->stop();
        }
        for (Frames *set : {&moving, &fading}) {
            std::sort(set->wall.begin(), set->wall.end());
            std::sort(set->cpu.begin(), set->cpu.end());
            std::printf("chat_pane_%s_frame_p95_%s %.2f ms\n", set->name, tag,
                        set->wall[size_t(set->wall.size() * 0.95)]);
            std::printf("chat_pane_%s_frame_cpu_p95_%s %.2f ms\n", set->name, tag,
                        set->cpu[size_t(set->cpu.size() * 0.95)]);
        }
    }

    for (int count : {200, 500, 1000, 2000}) {
        app::MessageListModel sized;
        sized.showConversation(QUuid::createUuid(), session(count));
        view.setModel(&sized);
        view.resize(1280, 800);
        view.scrollToBottom(false);
        paint(&view, frame);
        // Narrow by one pixel a step, as a dragged window edge does.
        std::vector<double> steps;
        for (int w = 1280; w > 1180; w -= 4) {
            t.restart();
            view.resize(w, 800);
            paint(view.viewport(), frame);
            steps.push_back(ms(t.nsecsElapsed()));
        }
        std::sort(steps.begin(), steps.end());
        std::printf("chat_pane_width_step_median_%d_%s %.2f ms\n", count, tag, steps[steps.size() / 2]);
        view.setModel(&model);
    }
}

} // namespace

int main(int argc, char **argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QTemporaryDir dir;
    stage::SkinStore skins(stage::SkinStore::Sources{QStringLiteral(":/skins"), dir.filePath(QStringLiteral("skins"))});
    glass::StyleStore styles(skins);
    stage::BackgroundSettings::Config config;
    config.supportDirectory = dir.filePath(QStringLiteral("support"));
    config.randomImageBase = QUrl(QStringLiteral("http://127.0.0.1:9"));
    stage::BackgroundSettings bg(config);
    run(false, bg, styles);
    run(true, bg, styles);
    return 0;
}
