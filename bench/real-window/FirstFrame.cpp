// The real moonshelf executable, from exec to its first frame that shows the
// window drawn, with 0, 5 and 50 MB of history, and beside it, in the same
// run, a plain Qt window (this program started with --plain-window: a list
// and a text, the least a window with a sidebar and a transcript draws).
// Run under an X server of its own:
//   xvfb-run -a -s "-screen 0 1600x1000x24" dbus-run-session bench_first_frame [moonshelf] [runs]
// Each run starts the app in a HOME of its size and watches the X server with
// the Damage extension: every top-level window gets a damage object as it is
// created (before it can be mapped or drawn). After each damage report the
// window's sidebar column and its middle (the transcript) are read back from
// the server; the frame counts once both show drawn content (many colours,
// not one flat fill: a black or stage-coloured window is not drawn). The
// time is taken when that read-back arrives, which is later than the frame,
// never earlier. The first run in each HOME is a first start (nothing on
// disk yet) and is reported on its own; the rest are reported as median and
// slowest. Each start of the app goes beside a start of the plain window,
// in turn before and after it. After the first frame the two columns are
// read back after each frame for 2.5 s more, for when the window settles:
// the history's sessions listed and the open session shown, which may come
// after the first frame. With MOONSHELF_FIRST_FRAME_SHOTS=<dir>, each run
// also saves the frame found and the window 1.5 s after it settled as PNG
// files there.
// Prints, one figure a line:
//   real_window.first_frame_<n>mb_first_start   wall time, exec to first drawn frame, first start
//   real_window.first_frame_<n>mb               the same, median of the later starts
//   real_window.first_frame_<n>mb_slowest       and the slowest of them
//   real_window.first_frame_<n>mb_cpu           CPU time of the app (all threads) until then, median
//   real_window.first_frame_<n>mb_main_cpu      of that, the main thread's
//   real_window.first_frame_<n>mb_main_waiting_for_cpu   time the main thread was ready to run
//                                               but had no CPU (what a busy machine adds)
//   real_window.first_frame_<n>mb_settled       exec to the first frame from which on both
//                                               columns stay as they finally are, median
//   real_window.first_frame_<n>mb_plain_qt_beside   the plain window's median, started beside
//   real_window.first_frame_<n>mb_vs_plain_qt   the app's median against that
//   real_window.plain_qt_first_frame_first_start, real_window.plain_qt_first_frame
//                                               the plain Qt window over all its starts
//   real_window.first_frame_cjk_paragraph...      the same figures for a history of one
//                                               session whose reply is one 100,000-character
//                                               paragraph of CJK (thousands of distinct
//                                               characters), opened at its end on start
//                                               (with a CJK font installed: fonts-noto-cjk)
#include "BenchHistory.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QHBoxLayout>
#include <QImage>
#include <QListWidget>
#include <QTemporaryDir>
#include <QTextEdit>
#include <QTimer>

#include <xcb/damage.h>
#include <xcb/xcb.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <fstream>
#include <optional>
#include <unordered_map>
#include <unordered_set>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace {

double nowMs()
{
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return ts.tv_sec * 1e3 + ts.tv_nsec / 1e6;
}

// From /proc/<pid>/task/<tid>/schedstat: time on a CPU and time waiting
// for one (runnable, not running), in milliseconds.
struct Sched {
    double runMs = 0;
    double waitMs = 0;
};

Sched threadSched(const std::string &taskDir)
{
    std::ifstream stat(taskDir + "/schedstat");
    unsigned long long run = 0, wait = 0;
    stat >> run >> wait;
    return {run / 1e6, wait / 1e6};
}

// The main thread's, and the CPU time of all threads alive (threads that
// ended before are not counted: the app's start has none of note).
struct ProcessSched {
    Sched main;
    double allRunMs = 0;
};

ProcessSched processSched(pid_t pid)
{
    ProcessSched out;
    const std::string proc = "/proc/" + std::to_string(pid);
    out.main = threadSched(proc + "/task/" + std::to_string(pid));
    for (const QString &tid : QDir(QString::fromStdString(proc + "/task")).entryList(QDir::Dirs | QDir::NoDotAndDotDot))
        out.allRunMs += threadSched(proc + "/task/" + tid.toStdString()).runMs;
    return out;
}

double median(std::vector<double> v)
{
    if (v.empty())
        return -1;
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

struct Frame {
    double wallMs = -1;
    ProcessSched sched;
    xcb_window_t window = 0;
    // When the sidebar and the transcript first showed what they show once
    // the start has settled (the history's sessions and the open session).
    double settledMs = -1;
};

// Pixels that differ strongly: a line of text come or gone, not the
// wallpaper's drift of a pixel or two under glass.
qsizetype strongChanges(const QImage &a, const QImage &b)
{
    if (a.size() != b.size())
        return qsizetype(a.width()) * a.height();
    qsizetype n = 0;
    for (int y = 0; y < a.height(); ++y) {
        const auto *la = reinterpret_cast<const quint32 *>(a.constScanLine(y));
        const auto *lb = reinterpret_cast<const quint32 *>(b.constScanLine(y));
        for (int x = 0; x < a.width(); ++x) {
            const int dr = std::abs(qRed(la[x]) - qRed(lb[x]));
            const int dg = std::abs(qGreen(la[x]) - qGreen(lb[x]));
            const int db = std::abs(qBlue(la[x]) - qBlue(lb[x]));
            if (std::max({dr, dg, db}) > 64)
                ++n;
        }
    }
    return n;
}

class DamageWatcher {
public:
    bool connect()
    {
        m_conn = xcb_connect(nullptr, nullptr);
        if (xcb_connection_has_error(m_conn))
            return false;
        const xcb_query_extension_reply_t *ext = xcb_get_extension_data(m_conn, &xcb_damage_id);
        if (!ext || !ext->present)
            return false;
        m_damageEvent = ext->first_event + XCB_DAMAGE_NOTIFY;
        free(xcb_damage_query_version_reply(m_conn, xcb_damage_query_version(m_conn, 1, 1), nullptr));
        m_root = xcb_setup_roots_iterator(xcb_get_setup(m_conn)).data->root;
        const uint32_t mask = XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY;
        xcb_change_window_attributes(m_conn, m_root, XCB_CW_EVENT_MASK, &mask);
        xcb_flush(m_conn);
        return true;
    }
    ~DamageWatcher()
    {
        if (m_conn)
            xcb_disconnect(m_conn);
    }

    // Starts argv[0] and waits for its first drawn frame (or the timeout).
    // With settleMs, then watches that long for when it settles.
    Frame run(char *const *argv, char *const *env, double timeoutMs, const QString &shots, double settleMs = 0)
    {
        Frame frame;
        pid_t pid = 0;
        const double start = nowMs();
        if (posix_spawn(&pid, argv[0], nullptr, nullptr, argv, env) != 0)
            return frame;
        const int fd = xcb_get_file_descriptor(m_conn);
        std::vector<xcb_window_t> damaged;
        while (frame.wallMs < 0 && nowMs() - start < timeoutMs) {
            pollfd p{fd, POLLIN, 0};
            poll(&p, 1, 20);
            damaged.clear();
            while (xcb_generic_event_t *event = xcb_poll_for_event(m_conn)) {
                const int type = event->response_type & 0x7f;
                if (type == XCB_CREATE_NOTIFY) {
                    // Top-level windows only; the app draws into nothing else.
                    auto *created = reinterpret_cast<xcb_create_notify_event_t *>(event);
                    if (created->parent == m_root) {
                        xcb_damage_create(m_conn, xcb_generate_id(m_conn), created->window,
                                          XCB_DAMAGE_REPORT_LEVEL_NON_EMPTY);
                        xcb_flush(m_conn);
                    }
                } else if (type == m_damageEvent) {
                    auto *damage = reinterpret_cast<xcb_damage_notify_event_t *>(event);
                    // Seen: the damage object reports again only after a subtract.
                    xcb_damage_subtract(m_conn, damage->damage, XCB_NONE, XCB_NONE);
                    if (std::find(damaged.begin(), damaged.end(), damage->drawable) == damaged.end())
                        damaged.push_back(damage->drawable);
                }
                free(event);
            }
            for (xcb_window_t window : damaged) {
                if (isDrawn(window)) {
                    frame.wallMs = nowMs() - start;
                    frame.sched = processSched(pid);
                    frame.window = window;
                    break;
                }
            }
            if (xcb_connection_has_error(m_conn))
                break;
        }
        // The frame found, read back at once (it may be gone after the settling).
        const QImage firstShot = frame.wallMs >= 0 && !shots.isEmpty() ? grab(frame.window) : QImage();
        if (frame.wallMs >= 0 && settleMs > 0)
            frame.settledMs = settle(frame, start, settleMs);
        if (frame.wallMs >= 0 && !shots.isEmpty()) {
            const QString name = QStringLiteral("%1/%2").arg(shots).arg(m_shot++);
            firstShot.save(name + QStringLiteral("-first.png"));
            usleep(1'500'000);
            grab(frame.window).save(name + QStringLiteral("-later.png"));
        }
        // Ours to end: the app was started here.
        kill(pid, SIGTERM);
        int status = 0;
        waitpid(pid, &status, 0);
        return frame;
    }

private:
    struct Columns {
        QImage sidebar, middle;
    };

    // The sidebar column and the middle of the window (the transcript).
    std::optional<Columns> columns(xcb_window_t window)
    {
        xcb_get_geometry_reply_t *geometry = xcb_get_geometry_reply(m_conn, xcb_get_geometry(m_conn, window), nullptr);
        if (!geometry)
            return std::nullopt;
        const int w = geometry->width, h = geometry->height;
        free(geometry);
        if (w < 600 || h < 400)
            return std::nullopt; // not the main window
        return Columns{grab(window, QRect(8, 60, 240, h - 120)), grab(window, QRect(w * 2 / 5, 60, w * 2 / 5, h - 120))};
    }

    // Both columns read back must hold drawn content, not one flat colour.
    bool isDrawn(xcb_window_t window)
    {
        const std::optional<Columns> c = columns(window);
        return c && showsContent(c->sidebar) && showsContent(c->middle);
    }

    static bool near(const Columns &a, const Columns &b)
    {
        return strongChanges(a.sidebar, b.sidebar) * 100 < qsizetype(a.sidebar.width()) * a.sidebar.height()
               && strongChanges(a.middle, b.middle) * 50 < qsizetype(a.middle.width()) * a.middle.height();
    }

    // Reads the columns back after each frame for settleMs; the time of the
    // first frame from which on they stay near what they finally show.
    double settle(const Frame &first, double start, double settleMs)
    {
        std::vector<std::pair<double, Columns>> seen;
        if (std::optional<Columns> c = columns(first.window))
            seen.emplace_back(first.wallMs, *c);
        const int fd = xcb_get_file_descriptor(m_conn);
        while (nowMs() - start < first.wallMs + settleMs) {
            pollfd p{fd, POLLIN, 0};
            poll(&p, 1, 20);
            bool damaged = false;
            while (xcb_generic_event_t *event = xcb_poll_for_event(m_conn)) {
                if ((event->response_type & 0x7f) == m_damageEvent) {
                    auto *damage = reinterpret_cast<xcb_damage_notify_event_t *>(event);
                    xcb_damage_subtract(m_conn, damage->damage, XCB_NONE, XCB_NONE);
                    damaged |= damage->drawable == first.window;
                }
                free(event);
            }
            if (damaged)
                if (std::optional<Columns> c = columns(first.window))
                    seen.emplace_back(nowMs() - start, *c);
        }
        if (seen.empty())
            return -1;
        const Columns &last = seen.back().second;
        std::size_t from = seen.size() - 1;
        while (from > 0 && near(seen[from - 1].second, last))
            --from;
        return seen[from].first;
    }

    static bool showsContent(const QImage &image)
    {
        if (image.isNull())
            return false;
        qsizetype most = 0;
        std::unordered_map<quint32, qsizetype> counts;
        for (int y = 0; y < image.height(); ++y) {
            const auto *line = reinterpret_cast<const quint32 *>(image.constScanLine(y));
            for (int x = 0; x < image.width(); ++x) {
                const quint32 c = line[x] & 0xffffff;
                most = std::max(most, ++counts[c]);
            }
        }
        const qsizetype all = qsizetype(image.width()) * image.height();
        // Text and controls: a few dozen shades, and more than a speck of them.
        return counts.size() >= 16 && all - most >= all / 200;
    }

    QImage grab(xcb_window_t window, QRect area = QRect())
    {
        if (area.isNull()) {
            xcb_get_geometry_reply_t *g = xcb_get_geometry_reply(m_conn, xcb_get_geometry(m_conn, window), nullptr);
            if (!g)
                return {};
            area = QRect(0, 0, g->width, g->height);
            free(g);
        }
        xcb_get_image_reply_t *reply = xcb_get_image_reply(
            m_conn,
            xcb_get_image(m_conn, XCB_IMAGE_FORMAT_Z_PIXMAP, window, qint16(area.x()), qint16(area.y()),
                          quint16(area.width()), quint16(area.height()), ~0u),
            nullptr);
        if (!reply)
            return {};
        QImage image;
        if (xcb_get_image_data_length(reply) >= area.width() * area.height() * 4)
            image = QImage(xcb_get_image_data(reply), area.width(), area.height(), area.width() * 4,
                           QImage::Format_RGB32)
                        .copy();
        free(reply);
        return image;
    }

    int m_shot = 0;
    xcb_connection_t *m_conn = nullptr;
    xcb_window_t m_root = 0;
    int m_damageEvent = 0;
};

} // namespace

// The reference: what a plain Qt window with a list and a text takes to
// put its first drawn frame on the screen.
int plainWindow(int argc, char **argv)
{
    QApplication application(argc, argv);
    QWidget window;
    window.resize(1280, 800);
    auto *layout = new QHBoxLayout(&window);
    auto *list = new QListWidget;
    list->setFixedWidth(260);
    for (int i = 0; i < 30; ++i)
        list->addItem(QStringLiteral("Session %1").arg(i + 1));
    auto *text = new QTextEdit;
    QString body;
    for (int i = 0; i < 20; ++i)
        body += QStringLiteral("<p>A paragraph of the transcript, number %1, long enough to wrap across the "
                               "column at least once, as replies do.</p>")
                    .arg(i + 1);
    text->setHtml(body);
    layout->addWidget(list);
    layout->addWidget(text);
    window.show();
    return application.exec();
}

struct Figures {
    double firstStart = -1;
    std::vector<double> wall, cpu, mainCpu, mainWait, settled;
};

struct Start {
    char *const *argv;
    char *const *envp;
};

bool record(const Frame &frame, bool first, const char *what, Figures &out)
{
    if (frame.wallMs < 0) {
        std::fprintf(stderr, "no drawn frame from %s within 30 s\n", what);
        return false;
    }
    if (first) {
        if (out.firstStart < 0)
            out.firstStart = frame.wallMs;
        return true;
    }
    out.wall.push_back(frame.wallMs);
    out.cpu.push_back(frame.sched.allRunMs);
    out.mainCpu.push_back(frame.sched.main.runMs);
    out.mainWait.push_back(frame.sched.main.waitMs);
    if (frame.settledMs >= 0)
        out.settled.push_back(frame.settledMs);
    return true;
}

// Runs + 1 starts of the app in one HOME, each beside a start of the plain
// window (in turn before and after it), so that a change of the machine's
// load meets both alike. The first start of each is reported on its own.
bool measure(DamageWatcher &watcher, Start app, Start plain, int runs, const QString &shots, Figures &appOut,
             Figures &plainOut)
{
    constexpr double kSettleMs = 2500;
    for (int i = 0; i <= runs; ++i) {
        for (const bool appFirst : {i % 2 == 1, i % 2 == 0}) {
            const bool ok = appFirst ? record(watcher.run(app.argv, app.envp, 30'000, shots, kSettleMs), i == 0,
                                              app.argv[0], appOut)
                                     : record(watcher.run(plain.argv, plain.envp, 30'000, QString()), i == 0,
                                              "the plain window", plainOut);
            if (!ok)
                return false;
        }
    }
    return true;
}

namespace {

// A question and its answer: one paragraph of 100,000 CJK characters.
model::Conversation cjkSession()
{
    model::Conversation c;
    c.id = QUuid::createUuid();
    c.title = QStringLiteral("Translation");
    c.createdAt = QDateTime::currentDateTimeUtc().addDays(-1);
    c.updatedAt = c.createdAt;
    c.messages.append(model::ChatMessage::make(model::MessageRole::User, QStringLiteral("Translate the log.")));
    QString answer;
    std::uint32_t seed = 7;
    while (answer.size() < 100'000) {
        seed = seed * 1664525u + 1013904223u;
        answer += QChar(char16_t(0x4e00 + (seed >> 8) % 0x5000));
    }
    c.messages.append(model::ChatMessage::make(model::MessageRole::Assistant, answer));
    return c;
}

} // namespace

int main(int argc, char **argv)
{
    if (argc > 1 && std::string(argv[1]) == "--plain-window")
        return plainWindow(argc, argv);
    QCoreApplication application(argc, argv);
    const std::string app = argc > 1 ? argv[1] : MOONSHELF_EXECUTABLE;
    const int runs = argc > 2 ? std::max(1, std::atoi(argv[2])) : 7;
    const QString shots = qEnvironmentVariable("MOONSHELF_FIRST_FRAME_SHOTS");
    DamageWatcher watcher;
    if (!watcher.connect()) {
        std::fprintf(stderr, "no X server with the Damage extension: run under xvfb-run -a\n");
        return 2;
    }
    if (!std::getenv("DBUS_SESSION_BUS_ADDRESS"))
        std::fprintf(stderr, "no session bus: the app starts one of its own on each run (use dbus-run-session)\n");

    auto environment = [](const QString &home, std::vector<std::string> &env, std::vector<char *> &envp) {
        QDir(home).mkdir(QStringLiteral("run"));
        QFile::setPermissions(home + QStringLiteral("/run"),
                              QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
        env = bench::appEnvironment(home);
        for (std::string &s : env)
            envp.push_back(s.data());
        envp.push_back(nullptr);
    };

    // The reference, in a HOME of its own.
    QTemporaryDir plainHome;
    std::vector<std::string> plainEnv;
    std::vector<char *> plainEnvp;
    environment(plainHome.path(), plainEnv, plainEnvp);
    std::string self = QCoreApplication::applicationFilePath().toStdString();
    char plainFlag[] = "--plain-window";
    char *const plainArgv[] = {self.data(), plainFlag, nullptr};
    Figures plainAll;
    for (int megabytes : {0, 5, 50, -1}) {
        // One home for all runs, as for someone who starts the app every day.
        QTemporaryDir home;
        if ((megabytes >= 0 ? bench::writeHome(home.path(), megabytes) : bench::writeHome(home.path(), {cjkSession()})) <
            0)
            return 1;
        const std::string name = megabytes >= 0 ? std::to_string(megabytes) + "mb" : std::string("cjk_paragraph");
        std::vector<std::string> env;
        std::vector<char *> envp;
        environment(home.path(), env, envp);
        std::string appPath = app;
        char *const appArgv[] = {appPath.data(), nullptr};
        Figures f, plain;
        plain.firstStart = plainAll.firstStart;
        if (!measure(watcher, {appArgv, envp.data()}, {plainArgv, plainEnvp.data()}, runs, shots, f, plain))
            return 1;
        if (plainAll.firstStart < 0) {
            plainAll.firstStart = plain.firstStart;
            std::printf("real_window.plain_qt_first_frame_first_start %.1f ms\n", plain.firstStart);
        }
        plainAll.wall.insert(plainAll.wall.end(), plain.wall.begin(), plain.wall.end());
        const char *n = name.c_str();
        std::printf("real_window.first_frame_%s_first_start %.1f ms\n", n, f.firstStart);
        std::printf("real_window.first_frame_%s %.1f ms\n", n, median(f.wall));
        std::printf("real_window.first_frame_%s_slowest %.1f ms\n", n, *std::max_element(f.wall.begin(), f.wall.end()));
        std::printf("real_window.first_frame_%s_cpu %.1f ms\n", n, median(f.cpu));
        std::printf("real_window.first_frame_%s_main_cpu %.1f ms\n", n, median(f.mainCpu));
        std::printf("real_window.first_frame_%s_main_waiting_for_cpu %.1f ms\n", n, median(f.mainWait));
        std::printf("real_window.first_frame_%s_settled %.1f ms\n", n, median(f.settled));
        std::printf("real_window.first_frame_%s_plain_qt_beside %.1f ms\n", n, median(plain.wall));
        std::printf("real_window.first_frame_%s_vs_plain_qt %.2f x\n", n, median(f.wall) / median(plain.wall));
        std::fflush(stdout);
    }
    std::printf("real_window.plain_qt_first_frame %.1f ms\n", median(plainAll.wall));
    return 0;
}
