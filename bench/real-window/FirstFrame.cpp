// The real moonshelf executable, from exec to its first painted frame, with
// 0, 5 and 50 MB of history. Run under an X server of its own:
//   xvfb-run -a -s "-screen 0 1600x1000x24" dbus-run-session bench_first_frame [moonshelf] [runs]
// Each run starts the app in a HOME of its size and watches the X server with the
// Damage extension: every top-level window gets a damage object as it is
// created (before it can be mapped or drawn), and the first damage reported
// is the first frame the app put on the screen. Prints, one figure a line,
// the median of the runs:
//   real_window.first_frame_<n>mb       wall time, exec to first frame
//   real_window.first_frame_<n>mb_cpu   CPU time of the app (all threads)
//                                       until then
//   real_window.first_frame_<n>mb_main_cpu   of that, the main thread's
//   real_window.first_frame_<n>mb_main_waiting_for_cpu   time the main
//                                       thread was ready to run but had no
//                                       CPU (what a busy machine adds)
#include "BenchHistory.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <xcb/damage.h>
#include <xcb/xcb.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <fstream>
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
};

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

    // Starts the app and waits for its first frame (or the timeout).
    Frame run(const char *app, char *const *env, double timeoutMs)
    {
        Frame frame;
        pid_t pid = 0;
        char *const argv[] = {const_cast<char *>(app), nullptr};
        const double start = nowMs();
        if (posix_spawn(&pid, app, nullptr, nullptr, argv, env) != 0)
            return frame;
        const int fd = xcb_get_file_descriptor(m_conn);
        while (frame.wallMs < 0 && nowMs() - start < timeoutMs) {
            pollfd p{fd, POLLIN, 0};
            poll(&p, 1, 20);
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
                } else if (type == m_damageEvent && frame.wallMs < 0) {
                    frame.wallMs = nowMs() - start;
                    frame.sched = processSched(pid);
                }
                free(event);
            }
            if (xcb_connection_has_error(m_conn))
                break;
        }
        // Ours to end: the app was started here.
        kill(pid, SIGTERM);
        int status = 0;
        waitpid(pid, &status, 0);
        return frame;
    }

private:
    xcb_connection_t *m_conn = nullptr;
    xcb_window_t m_root = 0;
    int m_damageEvent = 0;
};

// The environment for one run: this one's, with HOME and the XDG folders
// pointing into home, no credentials, and the X platform.
std::vector<std::string> environmentFor(const QString &home)
{
    std::vector<std::string> out;
    const std::vector<std::string> replaced{"HOME=", "XDG_RUNTIME_DIR=", "XDG_DATA_HOME=", "XDG_CONFIG_HOME=",
                                           "XDG_CACHE_HOME=", "QT_QPA_PLATFORM=", "OVU_API_KEY="};
    for (char **e = environ; *e; ++e) {
        const std::string var(*e);
        if (std::none_of(replaced.begin(), replaced.end(), [&](const std::string &p) { return var.rfind(p, 0) == 0; }))
            out.push_back(var);
    }
    const std::string h = home.toStdString();
    out.push_back("HOME=" + h);
    out.push_back("XDG_RUNTIME_DIR=" + h + "/run");
    out.push_back("XDG_DATA_HOME=" + h + "/share");
    out.push_back("XDG_CONFIG_HOME=" + h + "/config");
    out.push_back("XDG_CACHE_HOME=" + h + "/cache");
    out.push_back("QT_QPA_PLATFORM=xcb");
    return out;
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication application(argc, argv);
    const std::string app = argc > 1 ? argv[1] : MOONSHELF_EXECUTABLE;
    const int runs = argc > 2 ? std::max(1, std::atoi(argv[2])) : 7;
    DamageWatcher watcher;
    if (!watcher.connect()) {
        std::fprintf(stderr, "no X server with the Damage extension: run under xvfb-run -a\n");
        return 2;
    }
    if (!std::getenv("DBUS_SESSION_BUS_ADDRESS"))
        std::fprintf(stderr, "no session bus: the app starts one of its own on each run (use dbus-run-session)\n");
    for (int megabytes : {0, 5, 50}) {
        // One home for all runs, as for someone who starts the app every
        // day; the first run, not counted, makes what a first start makes.
        QTemporaryDir home;
        if (bench::writeHome(home.path(), megabytes) < 0)
            return 1;
        QDir(home.path()).mkdir(QStringLiteral("run"));
        QFile::setPermissions(home.filePath(QStringLiteral("run")),
                              QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
        std::vector<std::string> env = environmentFor(home.path());
        std::vector<char *> envp;
        for (std::string &s : env)
            envp.push_back(s.data());
        envp.push_back(nullptr);
        std::vector<double> wall, cpu, mainCpu, mainWait;
        for (int i = 0; i <= runs; ++i) {
            const Frame frame = watcher.run(app.c_str(), envp.data(), 30'000);
            if (frame.wallMs < 0) {
                std::fprintf(stderr, "no frame from %s within 30 s (%d MB)\n", app.c_str(), megabytes);
                return 1;
            }
            if (i > 0) {
                wall.push_back(frame.wallMs);
                cpu.push_back(frame.sched.allRunMs);
                mainCpu.push_back(frame.sched.main.runMs);
                mainWait.push_back(frame.sched.main.waitMs);
            }
        }
        std::printf("real_window.first_frame_%dmb %.1f ms\n", megabytes, median(wall));
        std::printf("real_window.first_frame_%dmb_cpu %.1f ms\n", megabytes, median(cpu));
        std::printf("real_window.first_frame_%dmb_main_cpu %.1f ms\n", megabytes, median(mainCpu));
        std::printf("real_window.first_frame_%dmb_main_waiting_for_cpu %.1f ms\n", megabytes, median(mainWait));
        std::fflush(stdout);
    }
    return 0;
}
