// Prints, one figure a line:
//   window.startup_first_frame_<n>mb    from creating the stores and the window
//                                       to the end of its first painted frame,
//                                       with n MB of history on disk
//   window.startup_built_<n>mb          of that, until the stores, controller and
//                                       window exist (the history is loaded)
//   window.export_<n>mb_time            building and writing one session of n MB
//   window.export_<n>mb_peak_extra      the most memory the export took on top of
//                                       what the session already held, in MB
//   window.export_<n>mb_peak_ratio      that, divided by the file written
// Each measurement runs in a child process of its own (a fresh HOME, fresh
// singletons, a fresh peak-memory mark), offscreen.

#include "BenchHistory.h"

#include "app/SessionExport.h"
#include "model/ChatRecords.h"
#include "platform/AtomicFile.h"
#include "window/AppRoot.h"
#include "window/ContentView.h"
#include "window/MainWindow.h"
#include "glass/stageview/StageBackground.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTimer>

#include <cstdio>

namespace {

void print(const QString &name, double value, const char *unit)
{
    std::printf("%s %.2f %s\n", qPrintable(name), value, unit);
    std::fflush(stdout);
}

qint64 statusKb(const char *field)
{
    QFile f(QStringLiteral("/proc/self/status"));
    if (!f.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray &line : f.readAll().split('\n')) {
        if (line.startsWith(field))
            return line.mid(qstrlen(field)).trimmed().split(' ').first().toLongLong();
    }
    return -1;
}

int startupChild()
{
    // The history was written by the parent into this HOME.
    QElapsedTimer clock;
    clock.start();
    double firstFrame = -1;
    window::AppRoot root(false);
    const double built = clock.nsecsElapsed() / 1e6;
    window::MainWindow &w = root.window();
    struct FirstPaint : QObject {
        std::function<void()> onPaint;
        bool eventFilter(QObject *, QEvent *e) override
        {
            if (e->type() == QEvent::Paint && onPaint)
                std::exchange(onPaint, nullptr)();
            return false;
        }
    } watcher;
    watcher.onPaint = [&] {
        // Posted from inside the first paint, so it runs once the frame is done.
        QTimer::singleShot(0, &w, [&] {
            firstFrame = clock.nsecsElapsed() / 1e6;
            QCoreApplication::quit();
        });
    };
    // The stage is painted first in every frame of the window.
    w.content()->findChild<glass::StageBackground *>(QStringLiteral("stage"))->installEventFilter(&watcher);
    w.show();
    QTimer::singleShot(60'000, qApp, &QCoreApplication::quit);
    QApplication::exec();
    std::printf("%.2f %.2f\n", firstFrame, built);
    return firstFrame < 0 ? 1 : 0;
}

int exportChild(int megabytes)
{
    const QList<model::Conversation> sessions = bench::history(megabytes, 1);
    const model::Conversation &c = sessions.first();
    QTemporaryDir out;
    const QString path = out.filePath(QStringLiteral("session.md"));
    // Peak memory from here on (writing 5 to clear_refs resets the mark).
    QFile clear(QStringLiteral("/proc/self/clear_refs"));
    if (clear.open(QIODevice::WriteOnly)) {
        clear.write("5");
        clear.close();
    }
    const qint64 before = statusKb("VmRSS:");
    QElapsedTimer clock;
    clock.start();
    const QByteArray bytes = app::SessionExport::markdown(c, QDateTime::currentDateTime(), QLocale());
    const QString failure = platform::writeFileAtomically(path, bytes);
    const double ms = clock.nsecsElapsed() / 1e6;
    const qint64 peak = statusKb("VmHWM:");
    if (!failure.isEmpty()) {
        std::fprintf(stderr, "%s\n", qPrintable(failure));
        return 1;
    }
    std::printf("%.2f %.2f %.2f\n", ms, (peak - before) / 1024.0, QFileInfo(path).size() / 1e6);
    return 0;
}

// Runs this program again with args in a fresh HOME; its first stdout line.
QString child(const QStringList &args, const QString &home)
{
    QProcess p;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("HOME"), home);
    env.insert(QStringLiteral("XDG_DATA_HOME"), home + QStringLiteral("/share"));
    env.insert(QStringLiteral("XDG_CONFIG_HOME"), home + QStringLiteral("/config"));
    env.insert(QStringLiteral("XDG_CACHE_HOME"), home + QStringLiteral("/cache"));
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    env.remove(QStringLiteral("OVU_API_KEY"));
    p.setProcessEnvironment(env);
    p.start(QCoreApplication::applicationFilePath(), args);
    // A child that hangs is a failed measurement, not a hung bench.
    if (!p.waitForFinished(120'000)) {
        p.kill();
        p.waitForFinished(5000);
        return {};
    }
    return QString::fromLocal8Bit(p.readAllStandardOutput()).section(QLatin1Char('\n'), 0, 0).trimmed();
}

} // namespace

int main(int argc, char **argv)
{
    if (argc > 1 && qstrcmp(argv[1], "startup") == 0) {
        QApplication app(argc, argv);
        return startupChild();
    }
    if (argc > 2 && qstrcmp(argv[1], "export") == 0) {
        QCoreApplication app(argc, argv);
        return exportChild(std::atoi(argv[2]));
    }

    QCoreApplication app(argc, argv);
    for (int megabytes : {5, 50}) {
        QTemporaryDir home;
        const qint64 bytes = bench::writeHome(home.path(), megabytes);
        if (bytes < 0)
            return 1;
        const QStringList ms = child({QStringLiteral("startup")}, home.path()).split(QLatin1Char(' '));
        print(QStringLiteral("window.history_%1mb_file").arg(megabytes), bytes / 1e6, "MB");
        print(QStringLiteral("window.startup_first_frame_%1mb").arg(megabytes), ms.size() == 2 ? ms[0].toDouble() : -1,
              "ms");
        // Of that: the stores, the controller and the window made (history loaded).
        print(QStringLiteral("window.startup_built_%1mb").arg(megabytes), ms.size() == 2 ? ms[1].toDouble() : -1, "ms");
    }

    QTemporaryDir home;
    const QStringList figures = child({QStringLiteral("export"), QStringLiteral("50")}, home.path()).split(' ');
    if (figures.size() == 3) {
        print(QStringLiteral("window.export_50mb_file"), figures[2].toDouble(), "MB");
        print(QStringLiteral("window.export_50mb_time"), figures[0].toDouble(), "ms");
        print(QStringLiteral("window.export_50mb_peak_extra"), figures[1].toDouble(), "MB");
        print(QStringLiteral("window.export_50mb_peak_ratio"), figures[1].toDouble() / figures[2].toDouble(), "x");
    } else {
        std::fprintf(stderr, "the export measurement failed\n");
        return 1;
    }
    return 0;
}
