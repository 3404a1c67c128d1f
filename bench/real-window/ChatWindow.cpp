// The real moonshelf executable under an X server, watched and driven from
// outside: keys go in through XTest, frames come back through the Damage
// extension and the pixels read from the server. Run under an X server of
// its own with the Damage and XTest extensions:
//   xvfb-run -a -s "-screen 0 1600x1000x24" dbus-run-session bench_real_window_chat [parts]
// Parts: keys, scroll (default both). Prints, one figure a line:
//   real_window.key_to_glyph_<ref>_p95/_median   a key sent to the X server
//       until the frame that shows its glyph is on the screen. <ref>: a plain
//       line edit (this program, --line-edit); stream_stage and
//       stream_no_stage: the app's composer while a 100,000-character reply
//       streams from a loopback service, over the default stage and without
//   real_window.stream_<stage>_cpu   the app's CPU per wall second meanwhile,
//       the median of three rounds (_idle_cpu: the same window at rest before)
//   real_window.stream_cpu_stage_over_no_stage   the ratio of the two: the
//       rounds alternate, stage and no stage; each pair gives a ratio (_pairN),
//       this is their median, with the lowest and highest (_min, _max)
//   real_window.scroll_<stage>_p95/_median   a session of 2,000 messages: a
//       wheel step until the frame that shows the list moved
#include "model/ConversationFile.h"
#include "platform/AppPaths.h"
#include "platform/AtomicFile.h"
#include "BenchHistory.h"
#include "support/ChatServicePeer.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QImage>
#include <QLineEdit>
#include <QTemporaryDir>
#include <QThread>

#include <xcb/damage.h>
#include <xcb/xcb.h>
#include <xcb/xtest.h>

#include <algorithm>
#include <cstring>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <fstream>
#include <functional>
#include <optional>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

extern char **environ;

namespace {

double nowMs()
{
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return ts.tv_sec * 1e3 + ts.tv_nsec / 1e6;
}

double percentile(std::vector<double> v, double p)
{
    if (v.empty())
        return -1;
    std::sort(v.begin(), v.end());
    return v[std::min(v.size() - 1, size_t(double(v.size()) * p))];
}

void print(const std::string &name, double value, const char *unit)
{
    std::printf("%s %.2f %s\n", name.c_str(), value, unit);
    std::fflush(stdout);
}

// CPU time of a process (all its threads), in seconds.
double processCpu(pid_t pid)
{
    std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
    std::string line;
    std::getline(stat, line);
    const size_t close = line.rfind(')');
    if (close == std::string::npos)
        return 0;
    std::vector<std::string> fields;
    std::string field;
    for (char c : line.substr(close + 2)) {
        if (c == ' ') {
            fields.push_back(field);
            field.clear();
        } else {
            field += c;
        }
    }
    if (fields.size() < 13)
        return 0;
    return double(std::stoull(fields[11]) + std::stoull(fields[12])) / double(sysconf(_SC_CLK_TCK));
}

struct Rect {
    int x = 0, y = 0, w = 0, h = 0;
    bool intersects(int ox, int oy, int ow, int oh) const
    {
        return ox < x + w && x < ox + ow && oy < y + h && y < oy + oh;
    }
};

using Pixels = std::vector<uint32_t>;

// Pixels whose colour moved far: glyph ink or moved text, not a slow drift
// of the blurred wallpaper behind the glass.
int strongChanges(const Pixels &a, const Pixels &b, Rect *box = nullptr, int width = 0)
{
    int n = 0;
    int x0 = 1 << 30, y0 = 1 << 30, x1 = -1, y1 = -1;
    for (size_t i = 0; i < std::min(a.size(), b.size()); ++i) {
        int most = 0;
        for (int shift : {0, 8, 16})
            most = std::max(most, std::abs(int((a[i] >> shift) & 0xff) - int((b[i] >> shift) & 0xff)));
        if (most > 80) {
            ++n;
            if (box) {
                const int x = int(i) % width, y = int(i) / width;
                x0 = std::min(x0, x), y0 = std::min(y0, y), x1 = std::max(x1, x), y1 = std::max(y1, y);
            }
        }
    }
    if (box && n > 0)
        *box = {x0, y0, x1 - x0 + 1, y1 - y0 + 1};
    return n;
}

class XSession {
public:
    bool connect()
    {
        m_conn = xcb_connect(nullptr, nullptr);
        if (xcb_connection_has_error(m_conn))
            return false;
        const xcb_query_extension_reply_t *damage = xcb_get_extension_data(m_conn, &xcb_damage_id);
        const xcb_query_extension_reply_t *test = xcb_get_extension_data(m_conn, &xcb_test_id);
        if (!damage || !damage->present || !test || !test->present)
            return false;
        m_damageEvent = damage->first_event + XCB_DAMAGE_NOTIFY;
        free(xcb_damage_query_version_reply(m_conn, xcb_damage_query_version(m_conn, 1, 1), nullptr));
        m_root = xcb_setup_roots_iterator(xcb_get_setup(m_conn)).data->root;
        loadKeymap();
        return true;
    }
    ~XSession()
    {
        if (m_conn)
            xcb_disconnect(m_conn);
    }

    // The largest mapped top-level window, once there is one at least w x h.
    std::optional<xcb_window_t> waitForWindow(int minWidth, int minHeight, double timeoutMs)
    {
        const double start = nowMs();
        while (nowMs() - start < timeoutMs) {
            xcb_query_tree_reply_t *tree = xcb_query_tree_reply(m_conn, xcb_query_tree(m_conn, m_root), nullptr);
            std::optional<xcb_window_t> best;
            int bestArea = 0;
            if (tree) {
                const xcb_window_t *children = xcb_query_tree_children(tree);
                for (int i = 0; i < xcb_query_tree_children_length(tree); ++i) {
                    auto *attrs = xcb_get_window_attributes_reply(
                        m_conn, xcb_get_window_attributes(m_conn, children[i]), nullptr);
                    auto *geo = xcb_get_geometry_reply(m_conn, xcb_get_geometry(m_conn, children[i]), nullptr);
                    if (attrs && geo && attrs->map_state == XCB_MAP_STATE_VIEWABLE && geo->width >= minWidth
                        && geo->height >= minHeight && geo->width * geo->height > bestArea) {
                        best = children[i];
                        bestArea = geo->width * geo->height;
                        m_window = {geo->x, geo->y, geo->width, geo->height};
                    }
                    free(attrs);
                    free(geo);
                }
                free(tree);
            }
            if (best) {
                m_target = *best;
                xcb_damage_create(m_conn, xcb_generate_id(m_conn), m_target, XCB_DAMAGE_REPORT_LEVEL_RAW_RECTANGLES);
                xcb_flush(m_conn);
                return best;
            }
            usleep(100'000);
        }
        return std::nullopt;
    }
    const Rect &window() const { return m_window; }

    Pixels grab(const Rect &r)
    {
        Pixels out;
        auto *image = xcb_get_image_reply(
            m_conn, xcb_get_image(m_conn, XCB_IMAGE_FORMAT_Z_PIXMAP, m_target, r.x, r.y, r.w, r.h, ~0u), nullptr);
        if (!image)
            return out;
        const int bytes = xcb_get_image_data_length(image);
        if (bytes == r.w * r.h * 4) {
            out.resize(size_t(r.w) * r.h);
            std::memcpy(out.data(), xcb_get_image_data(image), size_t(bytes));
        }
        free(image);
        return out;
    }

    void key(uint32_t keysym, bool withControl = false)
    {
        const xcb_keycode_t code = keycode(keysym);
        const xcb_keycode_t control = keycode(0xffe3);
        if (withControl)
            xcb_test_fake_input(m_conn, XCB_KEY_PRESS, control, XCB_CURRENT_TIME, m_root, 0, 0, 0);
        xcb_test_fake_input(m_conn, XCB_KEY_PRESS, code, XCB_CURRENT_TIME, m_root, 0, 0, 0);
        xcb_test_fake_input(m_conn, XCB_KEY_RELEASE, code, XCB_CURRENT_TIME, m_root, 0, 0, 0);
        if (withControl)
            xcb_test_fake_input(m_conn, XCB_KEY_RELEASE, control, XCB_CURRENT_TIME, m_root, 0, 0, 0);
        xcb_flush(m_conn);
    }
    void type(const std::string &text)
    {
        for (char c : text) {
            key(c == '\n' ? 0xff0d : uint32_t(uint8_t(c)));
            settle(30);
        }
    }
    // Window coordinates.
    void moveTo(int x, int y)
    {
        xcb_test_fake_input(m_conn, XCB_MOTION_NOTIFY, 0, XCB_CURRENT_TIME, m_root, int16_t(m_window.x + x),
                            int16_t(m_window.y + y), 0);
        xcb_flush(m_conn);
    }
    void button(uint8_t which)
    {
        xcb_test_fake_input(m_conn, XCB_BUTTON_PRESS, which, XCB_CURRENT_TIME, m_root, 0, 0, 0);
        xcb_test_fake_input(m_conn, XCB_BUTTON_RELEASE, which, XCB_CURRENT_TIME, m_root, 0, 0, 0);
        xcb_flush(m_conn);
    }

    // Lets the server and the app run for ms, dropping damage.
    void settle(double ms)
    {
        waitFor(ms, [](int, int, int, int) { return false; });
    }

    // Waits until done (called with each damaged rectangle) says so, or the
    // timeout; returns the time it said so (-1 on timeout).
    double waitFor(double timeoutMs, const std::function<bool(int, int, int, int)> &done)
    {
        const double start = nowMs();
        const int fd = xcb_get_file_descriptor(m_conn);
        while (nowMs() - start < timeoutMs) {
            pollfd p{fd, POLLIN, 0};
            poll(&p, 1, int(std::max(1.0, std::min(5.0, timeoutMs - (nowMs() - start)))));
            while (xcb_generic_event_t *event = xcb_poll_for_event(m_conn)) {
                const bool damage = (event->response_type & 0x7f) == m_damageEvent;
                xcb_rectangle_t area{};
                if (damage)
                    area = reinterpret_cast<xcb_damage_notify_event_t *>(event)->area;
                free(event);
                if (damage && done(area.x, area.y, area.width, area.height))
                    return nowMs();
            }
            if (xcb_connection_has_error(m_conn))
                return -1;
        }
        return -1;
    }

private:
    void loadKeymap()
    {
        const xcb_setup_t *setup = xcb_get_setup(m_conn);
        m_minKeycode = setup->min_keycode;
        const int count = setup->max_keycode - setup->min_keycode + 1;
        auto *map = xcb_get_keyboard_mapping_reply(
            m_conn, xcb_get_keyboard_mapping(m_conn, setup->min_keycode, uint8_t(count)), nullptr);
        if (!map)
            return;
        m_perCode = map->keysyms_per_keycode;
        const xcb_keysym_t *syms = xcb_get_keyboard_mapping_keysyms(map);
        m_keysyms.assign(syms, syms + xcb_get_keyboard_mapping_keysyms_length(map));
        free(map);
    }
    xcb_keycode_t keycode(uint32_t keysym) const
    {
        for (size_t i = 0; m_perCode > 0 && i < m_keysyms.size(); i += m_perCode)
            if (m_keysyms[i] == keysym) // unshifted only
                return xcb_keycode_t(m_minKeycode + i / m_perCode);
        return 0;
    }

    xcb_connection_t *m_conn = nullptr;
    xcb_window_t m_root = 0;
    xcb_window_t m_target = 0;
    Rect m_window;
    int m_damageEvent = 0;
    int m_minKeycode = 8;
    int m_perCode = 0;
    std::vector<xcb_keysym_t> m_keysyms;
};

// A child process of this benchmark, ended when this is.
class Child {
public:
    bool start(const std::vector<std::string> &argv, const std::vector<std::string> &env)
    {
        std::vector<char *> a, e;
        for (const std::string &s : argv)
            a.push_back(const_cast<char *>(s.c_str()));
        a.push_back(nullptr);
        for (const std::string &s : env)
            e.push_back(const_cast<char *>(s.c_str()));
        e.push_back(nullptr);
        return posix_spawn(&m_pid, a[0], nullptr, nullptr, a.data(), e.data()) == 0;
    }
    pid_t pid() const { return m_pid; }
    ~Child()
    {
        if (m_pid <= 0)
            return;
        // Ours to end: started above.
        kill(m_pid, SIGTERM);
        int status = 0;
        waitpid(m_pid, &status, 0);
    }

private:
    pid_t m_pid = 0;
};

// Where a typed glyph shows: the line of the field, found by typing one, and
// how many pixels it changes (half of that counts as shown: the caret's
// blinking changes far fewer).
struct GlyphLine {
    Rect band;
    int changes = 0;
};

std::optional<GlyphLine> findGlyphLine(XSession &x, const Rect &searched)
{
    // The first key also takes away the placeholder: the second one is measured.
    x.key('m');
    x.settle(600);
    const Pixels before = x.grab(searched);
    x.key('m');
    x.settle(400);
    Rect box;
    const int n = strongChanges(before, x.grab(searched), &box, searched.w);
    if (n < 20)
        return std::nullopt;
    GlyphLine line;
    line.band = {searched.x + std::max(0, box.x - 60), searched.y + std::max(0, box.y - 4), 0, box.h + 8};
    line.band.w = std::min(700, searched.x + searched.w - line.band.x);
    line.changes = n;
    return line;
}

// Types m every 97 ms for durationMs (or until count keys), each timed from
// the XTest request to the damage after which the glyph's pixels are on
// the screen. Clears the line every 30 keys (not timed).
std::vector<double> typeAndTime(XSession &x, const GlyphLine &line, double durationMs, int *missed)
{
    std::vector<double> out;
    const double start = nowMs();
    int onLine = 1;
    while (nowMs() - start < durationMs) {
        if (onLine >= 30) {
            for (; onLine > 0; --onLine)
                x.key(0xff08);
            x.settle(150);
        }
        const Pixels before = x.grab(line.band);
        const double sent = nowMs();
        x.key('m');
        ++onLine;
        const double shown = x.waitFor(1000, [&](int dx, int dy, int dw, int dh) {
            return line.band.intersects(dx, dy, dw, dh) && strongChanges(before, x.grab(line.band)) * 2 >= line.changes;
        });
        if (shown < 0)
            ++*missed;
        else
            out.push_back(shown - sent);
        x.settle(std::max(0.0, 97 - (nowMs() - sent)));
    }
    return out;
}

// An application folder past the first-run sheet, with the stage on (its
// default) or off, and optionally one session of messages.
bool writeHome(const QString &home, bool stage, const QList<model::ChatMessage> &messages)
{
    const QString support = home + QStringLiteral("/share/") + QLatin1String(platform::AppPaths::kAppFolderName);
    QDir().mkpath(support);
    QDir(home).mkdir(QStringLiteral("run"));
    QFile::setPermissions(home + QStringLiteral("/run"),
                          QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    QString err = platform::writeFileAtomically(support + QStringLiteral("/settings.json"),
                                                "{\"hasCompletedOnboarding\":true}");
    // Signed in as by the command-line tool, with a token the loopback service takes.
    QDir().mkpath(home + QStringLiteral("/.qirv"));
    if (err.isEmpty())
        err = platform::writeFileAtomically(home + QStringLiteral("/.qirv/auth.json"),
                                            "{\"access_token\":\"bench-token\",\"expires_at\":4102444800}");
    // Off: a wallpaper of its own on disk but switched off (with none, the
    // first start installs the default stage and switches it on).
    if (err.isEmpty() && !stage) {
        QImage still(64, 64, QImage::Format_RGB32);
        still.fill(QColor(40, 60, 90));
        if (!still.save(support + QStringLiteral("/wallpaper-current.jpg")))
            err = QStringLiteral("cannot write the wallpaper");
    }
    if (err.isEmpty() && !stage)
        err = platform::writeFileAtomically(
            support + QStringLiteral("/background.json"),
            "{\"isEnabled\":false,\"overlayOpacity\":0.35,\"customURLString\":\"\",\"animateKenBurns\":true,"
            "\"useVideo\":false,\"historyStack\":[],\"didFinishInitialSetup\":true}");
    if (err.isEmpty() && !messages.isEmpty()) {
        model::Conversation c;
        c.id = QUuid::createUuid();
        c.title = QStringLiteral("Long session");
        c.createdAt = QDateTime::currentDateTimeUtc().addDays(-1);
        c.updatedAt = c.createdAt;
        c.messages = messages;
        err = platform::writeFileAtomically(support + QStringLiteral("/conversations.json"),
                                            model::ConversationFileEncoder().encode({c}, c.id));
    }
    if (!err.isEmpty())
        std::fprintf(stderr, "cannot write the home: %s\n", qPrintable(err));
    return err.isEmpty();
}

QList<model::ChatMessage> longSession(int count)
{
    QList<model::ChatMessage> list;
    const QDateTime base = QDateTime::currentDateTimeUtc().addDays(-1);
    for (int i = 0; i < count; ++i) {
        QString text;
        if (i % 2 == 0)
            text = QStringLiteral("Question %1: how does the build find its tests?").arg(i);
        else if (i % 6 == 1)
            text = QStringLiteral("It reads the list:\n\n```cmake\nforeach(t ${tests})\n  add_test(${t})\n"
                                  "endforeach()\n```\n\nThen **ctest** runs each one.");
        else
            text = QStringLiteral("Answer %1. The build **compiles** `main.cpp`, links the app and runs the "
                                  "tests in order; each test gets its own home folder.\n\n- first\n- second")
                       .arg(i);
        model::ChatMessage m =
            model::ChatMessage::make(i % 2 ? model::MessageRole::Assistant : model::MessageRole::User, text);
        m.createdAt = base.addSecs(i);
        list.append(m);
    }
    return list;
}

// The peer in a thread of its own, so it answers while this one waits on X.
class PeerThread {
public:
    PeerThread()
    {
        m_thread.start();
        m_context.moveToThread(&m_thread);
        QMetaObject::invokeMethod(
            &m_context,
            [this] {
                m_peer = new testsupport::ChatServicePeer;
                m_peer->listen();
            },
            Qt::BlockingQueuedConnection);
    }
    ~PeerThread()
    {
        QMetaObject::invokeMethod(&m_context, [this] { delete m_peer; }, Qt::BlockingQueuedConnection);
        m_thread.quit();
        m_thread.wait();
    }
    testsupport::ChatServicePeer &peer() { return *m_peer; }

private:
    QThread m_thread;
    QObject m_context;
    testsupport::ChatServicePeer *m_peer = nullptr;
};

const std::string kApp = MOONSHELF_EXECUTABLE;

// With BENCH_SHOTS=<folder>: the window at each step, to see what was measured.
void shot(XSession &x, const char *name)
{
    const QByteArray folder = qgetenv("BENCH_SHOTS");
    if (folder.isEmpty())
        return;
    const Rect all{0, 0, x.window().w, x.window().h};
    Pixels p = x.grab(all);
    QImage(reinterpret_cast<const uchar *>(p.data()), all.w, all.h, QImage::Format_RGB32)
        .save(QString::fromLocal8Bit(folder) + u'/' + QLatin1String(name) + QStringLiteral(".png"));
}

// The composer's line: the lower part of the window, where it sits.
Rect composerArea(const Rect &window)
{
    return {window.w / 4, window.h * 3 / 5, window.w * 3 / 4 - 10, window.h * 2 / 5 - 10};
}

// What one case (over the stage or without) measured over its rounds.
struct StreamCase {
    std::vector<double> times, cpu, idle;
    int missed = 0;
};

// One round: the app started afresh, a glyph line found, the window at rest
// measured, then one long reply streamed while keys are typed for 8 s.
bool streamRound(XSession &x, PeerThread &peer, bool stage, StreamCase &out)
{
    const std::string tag = stage ? "stream_stage" : "stream_no_stage";
    QTemporaryDir home;
    if (!writeHome(home.path(), stage, {}))
        return false;
    Child app;
    if (!app.start({kApp}, bench::appEnvironment(home.path(), {"OVU_API_KEY=bench-key", "MOONSHELF_API_BASE=http://127.0.0.1:" + std::to_string(peer.peer().port())})))
        return false;
    if (!x.waitForWindow(600, 400, 30'000)) {
        std::fprintf(stderr, "no window from %s\n", kApp.c_str());
        return false;
    }
    x.moveTo(x.window().w / 2, x.window().h / 2);
    x.settle(3000); // started, the stage's image prepared and shown
    shot(x, "before-typing");
    std::optional<GlyphLine> line = findGlyphLine(x, composerArea(x.window()));
    shot(x, "typed");
    if (!line) {
        std::fprintf(stderr, "typing shows nothing in the composer (%s)\n", tag.c_str());
        return false;
    }
    // The same window at rest, for what the stream adds.
    const double idle0 = processCpu(app.pid());
    const double idleWall0 = nowMs();
    x.settle(3000);
    out.idle.push_back((processCpu(app.pid()) - idle0) / ((nowMs() - idleWall0) / 1000));

    testsupport::ChatServicePeer::Reply r = testsupport::ChatServicePeer::textReply(bench::longReply(), 12'500);
    r.pieceSize = r.body.size() / 400 + 1;
    r.pieceDelayMs = 25; // about ten seconds
    peer.peer().enqueue(r);
    const int asked = peer.peer().requestCount();
    x.type("m\n");
    for (int i = 0; i < 100 && peer.peer().requestCount() == asked; ++i)
        x.settle(50);
    x.settle(500); // the reply under way
    shot(x, stage ? "stream-stage" : "stream-no-stage");
    const double cpu0 = processCpu(app.pid());
    const double wall0 = nowMs();
    std::vector<double> some = typeAndTime(x, *line, 8000, &out.missed);
    out.cpu.push_back((processCpu(app.pid()) - cpu0) / ((nowMs() - wall0) / 1000));
    out.times.insert(out.times.end(), some.begin(), some.end());
    x.settle(2500); // the rest of the reply, so the peer is not cut off mid-stream
    return true;
}

void printCase(const std::string &tag, const StreamCase &c)
{
    print("real_window." + tag + "_idle_cpu", percentile(c.idle, 0.5), "cores");
    print("real_window.key_to_glyph_" + tag + "_p95", percentile(c.times, 0.95), "ms");
    print("real_window.key_to_glyph_" + tag + "_median", percentile(c.times, 0.5), "ms");
    print("real_window.key_to_glyph_" + tag + "_missed", c.missed, "keys");
    print("real_window." + tag + "_cpu", percentile(c.cpu, 0.5), "cores");
}

// The two cases in alternating rounds, so a change of the machine's load
// falls on both alike; each pair gives one ratio. The order within a pair
// alternates too: a slow drift of the load favours neither case.
bool keysWhileStreaming(XSession &x, PeerThread &peer)
{
    constexpr int kPairs = 3;
    StreamCase stage, noStage;
    std::vector<double> ratios;
    for (int pair = 0; pair < kPairs; ++pair) {
        for (const bool withStage : {pair % 2 == 0, pair % 2 != 0})
            if (!streamRound(x, peer, withStage, withStage ? stage : noStage))
                return false;
        const double s = stage.cpu.back(), n = noStage.cpu.back();
        ratios.push_back(n > 0 ? s / n : -1);
        print("real_window.stream_cpu_stage_over_no_stage_pair" + std::to_string(pair + 1), ratios.back(), "x");
    }
    printCase("stream_stage", stage);
    printCase("stream_no_stage", noStage);
    std::sort(ratios.begin(), ratios.end());
    print("real_window.stream_cpu_stage_over_no_stage", ratios[ratios.size() / 2], "x");
    print("real_window.stream_cpu_stage_over_no_stage_min", ratios.front(), "x");
    print("real_window.stream_cpu_stage_over_no_stage_max", ratios.back(), "x");
    return true;
}

bool keysInLineEdit(XSession &x)
{
    std::vector<std::string> env;
    for (char **e = environ; *e; ++e)
        env.emplace_back(*e);
    Child edit;
    if (!edit.start({QCoreApplication::applicationFilePath().toStdString(), "--line-edit"}, env))
        return false;
    if (!x.waitForWindow(500, 50, 20'000))
        return false;
    x.moveTo(x.window().w / 2, x.window().h / 2);
    x.settle(1000);
    std::optional<GlyphLine> line = findGlyphLine(x, {0, 0, x.window().w, x.window().h});
    if (!line) {
        std::fprintf(stderr, "typing shows nothing in the line edit\n");
        return false;
    }
    int missed = 0;
    const std::vector<double> times = typeAndTime(x, *line, 16'000, &missed);
    print("real_window.key_to_glyph_line_edit_p95", percentile(times, 0.95), "ms");
    print("real_window.key_to_glyph_line_edit_median", percentile(times, 0.5), "ms");
    return true;
}

bool scrolling(XSession &x, PeerThread &peer, bool stage)
{
    const std::string tag = stage ? "stage" : "no_stage";
    QTemporaryDir home;
    if (!writeHome(home.path(), stage, longSession(2000)))
        return false;
    Child app;
    if (!app.start({kApp}, bench::appEnvironment(home.path(), {"OVU_API_KEY=bench-key", "MOONSHELF_API_BASE=http://127.0.0.1:" + std::to_string(peer.peer().port())})))
        return false;
    if (!x.waitForWindow(600, 400, 30'000))
        return false;
    const Rect &w = x.window();
    const Rect list{w.w * 2 / 5, w.h / 5, w.w * 2 / 5, w.h * 2 / 5};
    x.moveTo(list.x + list.w / 2, list.y + list.h / 2);
    x.settle(4000); // the session open and painted
    std::vector<double> times;
    int missed = 0;
    for (int step = 0; step < 240; ++step) {
        const Pixels before = x.grab(list);
        const double sent = nowMs();
        x.button(step < 160 ? 4 : 5); // up through the session, then back down a way
        const double shown = x.waitFor(1000, [&](int dx, int dy, int dw, int dh) {
            return list.intersects(dx, dy, dw, dh) && strongChanges(before, x.grab(list)) > 300;
        });
        if (shown < 0)
            ++missed;
        else
            times.push_back(shown - sent);
        x.settle(std::max(0.0, 80 - (nowMs() - sent)));
    }
    print("real_window.scroll_" + tag + "_p95", percentile(times, 0.95), "ms");
    print("real_window.scroll_" + tag + "_median", percentile(times, 0.5), "ms");
    print("real_window.scroll_" + tag + "_missed", missed, "steps");
    return true;
}

int lineEdit(int argc, char **argv)
{
    QApplication app(argc, argv);
    QLineEdit edit;
    QFont font = edit.font();
    font.setPixelSize(14);
    edit.setFont(font);
    edit.resize(700, 60);
    edit.show();
    edit.activateWindow();
    edit.setFocus();
    return app.exec();
}

} // namespace

int main(int argc, char **argv)
{
    if (argc > 1 && std::string(argv[1]) == "--line-edit")
        return lineEdit(argc, argv);
    QCoreApplication application(argc, argv);
    const std::string parts = argc > 1 ? argv[1] : "keys,scroll";
    XSession x;
    if (!x.connect()) {
        std::fprintf(stderr, "no X server with the Damage and XTest extensions: run under xvfb-run -a\n");
        return 2;
    }
    if (!std::getenv("DBUS_SESSION_BUS_ADDRESS"))
        std::fprintf(stderr, "no session bus: the app starts one of its own on each run (use dbus-run-session)\n");
    PeerThread peer;
    testsupport::ChatServicePeer::Reply fallback = testsupport::ChatServicePeer::textReply(QStringLiteral("Done."));
    peer.peer().setFallback(fallback);
    if (parts.find("keys") != std::string::npos) {
        if (!keysInLineEdit(x))
            return 1;
        if (!keysWhileStreaming(x, peer))
            return 1;
    }
    if (parts.find("scroll") != std::string::npos)
        for (const bool stage : {true, false})
            if (!scrolling(x, peer, stage))
                return 1;
    return 0;
}
