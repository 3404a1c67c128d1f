// The chat pane's memory as replies come: 50 replies of 20,000 characters
// (prose, a list and a code block), each streamed from a loopback service
// through the app's view model, its session store (saving to disk) and its
// message list into the real pane at 1280 x 800. Each run is a child process
// of its own with a fresh HOME (cold), once with the pane shown and painted
// after every reply, and once with it never shown (the same replies, stored
// and listed, nothing drawn: what the rest of the app holds; the list still
// lays out the rows at its bottom, the short ones whole, and the rendered-
// message cache keeps them until it is full). After every reply the allocator gives back what it can
// (malloc_trim) before the process is measured, so freed pages do not count
// and none are hidden. Prints the medians of five runs and the worst run,
// one figure a line (with "_pane_hidden" for the second mode):
//   chat_memory.reply_text                the text of one reply as UTF-16:
//                                         what a stored reply costs at least
//   chat_memory.rss_before_replies        RSS with the pane, empty
//   chat_memory.rss_after_50_replies      RSS after the 50th reply
//   chat_memory.rss_growth_per_reply      the least-squares slope of RSS over
//                                         the last 25 replies (the rendered-
//                                         message cache is full by then)
//   chat_memory.rss_growth_per_reply_worst the worst run's slope
//   chat_memory.heap_growth_per_reply     the same slope of the bytes malloc
//                                         has handed out and not got back
//   chat_memory.render_cache_growth_per_reply the same slope of what the
//                                         rendered-message cache counts it
//                                         holds: it fills up to its bound
//   chat_memory.render_cache_account      what that cache counts at the end
#include "app/AppViewModel.h"
#include "chat/ChatView.h"
#include "glass/look/Styles.h"
#include "model/AttachmentTempStore.h"
#include "stage/BackgroundSettings.h"
#include "stage/SkinStore.h"
#include "support/ChatServicePeer.h"
#include "support/KeySignIn.h"
#include "support/TestEnvironment.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QNetworkAccessManager>
#include <QProcess>
#include <QScopeGuard>
#include <QTemporaryDir>
#include <QThread>
#include <QTimer>

#include <malloc.h>

#include <algorithm>
#include <cstdio>
#include <vector>

namespace {

constexpr int kReplies = 50;
constexpr int kRuns = 5;

double rssMb()
{
    QFile f(QStringLiteral("/proc/self/status"));
    if (!f.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray &line : f.readAll().split('\n'))
        if (line.startsWith("VmRSS:"))
            return line.mid(6).trimmed().split(' ').first().toDouble() / 1024.0;
    return -1;
}

// What the process holds after the allocator gave back its free pages.
struct Sample {
    double rssMb = 0;
    double heapMb = 0; // handed out by malloc and not freed, mapped chunks included
};

Sample sample()
{
    malloc_trim(0);
    const struct mallinfo2 info = mallinfo2();
    return {rssMb(), double(info.uordblks + info.hblkhd) / (1024 * 1024)};
}

// Least-squares slope of the last samples, in kB a reply: one sample alone
// carries whatever happened to be in flight when it was taken.
double slopeKb(const std::vector<double> &mb, size_t last)
{
    const size_t from = mb.size() - last;
    double sx = 0, sy = 0, sxx = 0, sxy = 0;
    for (size_t i = from; i < mb.size(); ++i) {
        const double x = double(i);
        sx += x;
        sy += mb[i];
        sxx += x * x;
        sxy += x * mb[i];
    }
    const double n = double(last);
    return (n * sxy - sx * sy) / (n * sxx - sx * sx) * 1024.0;
}

// About 20,000 characters of a reply: paragraphs, a list, a code block.
QString reply(int n)
{
    QString out;
    for (int i = 0; out.size() < 20'000; ++i) {
        const QString k = QString::number(n * 1000 + i);
        switch (i % 10) {
        case 3:
            out += QStringLiteral("- step %1: run `make test` and read the **first** failure\n"
                                  "- step %1b: fix it, then run the suite again\n\n").arg(k);
            break;
        case 7:
            out += QStringLiteral("```cpp\nint total%1 = 0;\nfor (int v : values)\n    total%1 += v * %1;\n```\n\n")
                       .arg(k);
            break;
        default:
            out += QStringLiteral("The build of part %1 fails because the header moved; this patch updates the "
                                  "include path, reruns the tests and keeps the old path for the packaging "
                                  "scripts, which [the guide](https://example.com/%1) still names.\n\n")
                       .arg(k);
        }
    }
    return out;
}

bool waitUntil(const std::function<bool()> &done, int ms = 60'000)
{
    QElapsedTimer clock;
    clock.start();
    while (!done()) {
        if (clock.elapsed() > ms)
            return false;
        QEventLoop loop;
        QTimer::singleShot(5, &loop, &QEventLoop::quit);
        loop.exec();
    }
    return true;
}

void settle(int ms)
{
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
}

int runChild(bool shown, const QUrl &endpoint)
{
    QNetworkAccessManager network;
    QTemporaryDir stageDir, stagingDir;
    model::AttachmentTempStore staging(stagingDir.path());
    stage::BackgroundSettings::Config config;
    config.supportDirectory = stageDir.path();
    config.network = &network;
    config.randomImageBase = QUrl(QStringLiteral("http://127.0.0.1:9"));
    stage::BackgroundSettings background(config);
    app::AppServices services;
    services.signIn = std::make_unique<testsupport::KeySignIn>();
    services.network = &network;
    services.endpoint = endpoint;
    services.staging = &staging;
    services.background = &background;
    app::AppViewModel vm(std::move(services));
    stage::SkinStore skins(stage::SkinStore::Sources{QStringLiteral(":/skins"), stageDir.filePath(QStringLiteral("skins"))});
    glass::StyleStore styles(skins);
    int status = 0;
    {
        chat::ChatView view(vm, styles);
        view.resize(1280, 800);
        if (shown)
            view.show();
        settle(300);
        if (shown)
            view.grab();
        std::vector<double> rss, heap, cache;
        const auto note = [&] {
            const Sample now = sample();
            rss.push_back(now.rssMb);
            heap.push_back(now.heapMb);
            cache.push_back(double(view.renderCache().bytes()) / (1024 * 1024));
        };
        note();
        for (int i = 0; i < kReplies; ++i) {
            vm.setDraft(QStringLiteral("Question %1: why does the build fail?").arg(i));
            vm.send();
            if (!waitUntil([&] { return !vm.isRunning(); })) {
                std::fprintf(stderr, "reply %d did not end\n", i);
                status = 1;
                break;
            }
            settle(100); // the finished row laid out in idle slices
            if (shown)
                view.grab();
            note();
        }
        if (status == 0)
            std::printf("%.2f %.2f %.2f %.2f %.2f %.2f\n", rss.front(), rss.back(), slopeKb(rss, kReplies / 2),
                        slopeKb(heap, kReplies / 2), slopeKb(cache, kReplies / 2), cache.back());
    }
    return status;
}

double median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return v.empty() ? -1 : v[v.size() / 2];
}

} // namespace

int main(int argc, char **argv)
{
    if (argc > 2 && (qstrcmp(argv[1], "run") == 0 || qstrcmp(argv[1], "run-hidden") == 0)) {
        testsupport::isolateHome();
        QApplication app(argc, argv);
        return runChild(qstrcmp(argv[1], "run") == 0, QUrl(QString::fromLocal8Bit(argv[2])));
    }
    QCoreApplication app(argc, argv);
    // The service lives here, not in the measured process: it keeps every
    // request it was sent, and each holds the whole session.
    QThread peerThread;
    peerThread.start();
    auto *peer = new testsupport::ChatServicePeer;
    peer->moveToThread(&peerThread);
    bool listening = false;
    QMetaObject::invokeMethod(peer, [&] { listening = peer->listen(); }, Qt::BlockingQueuedConnection);
    if (!listening)
        return 1;
    const auto stopPeer = qScopeGuard([&] {
        QMetaObject::invokeMethod(peer, &QObject::deleteLater);
        peerThread.quit();
        peerThread.wait();
    });
    for (const char *mode : {"run", "run-hidden"}) {
        std::vector<double> before, after, growth, heapGrowth, cacheGrowth, cache;
        for (int run = 0; run < kRuns; ++run) {
            QProcess p;
            QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
            env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
            env.remove(QStringLiteral("OVU_API_KEY"));
            p.setProcessEnvironment(env);
            p.setProcessChannelMode(QProcess::ForwardedErrorChannel);
            for (int i = 0; i < kReplies; ++i)
                peer->enqueue(testsupport::ChatServicePeer::textReply(reply(i), 200));
            p.start(QCoreApplication::applicationFilePath(),
                    {QString::fromLatin1(mode), peer->endpoint().toString()});
            // A child that hangs is a failed measurement, not a hung bench.
            if (!p.waitForFinished(600'000) || p.exitCode() != 0) {
                p.kill();
                p.waitForFinished(5000);
                std::fprintf(stderr, "%s %d failed\n", mode, run);
                return 1;
            }
            const QList<QByteArray> figures = p.readAllStandardOutput().trimmed().split(' ');
            if (figures.size() != 6)
                return 1;
            before.push_back(figures[0].toDouble());
            after.push_back(figures[1].toDouble());
            growth.push_back(figures[2].toDouble());
            heapGrowth.push_back(figures[3].toDouble());
            cacheGrowth.push_back(figures[4].toDouble());
            cache.push_back(figures[5].toDouble());
        }
        const char *suffix = qstrcmp(mode, "run") == 0 ? "" : "_pane_hidden";
        if (!*suffix)
            std::printf("chat_memory.reply_text %.0f kB\n", double(reply(0).size()) * 2 / 1024);
        std::printf("chat_memory.rss_before_replies%s %.1f MB\n", suffix, median(before));
        std::printf("chat_memory.rss_after_50_replies%s %.1f MB\n", suffix, median(after));
        std::printf("chat_memory.rss_growth_per_reply%s %.0f kB\n", suffix, median(growth));
        std::printf("chat_memory.rss_growth_per_reply_worst%s %.0f kB\n", suffix,
                    *std::max_element(growth.cbegin(), growth.cend()));
        std::printf("chat_memory.heap_growth_per_reply%s %.0f kB\n", suffix, median(heapGrowth));
        std::printf("chat_memory.render_cache_growth_per_reply%s %.0f kB\n", suffix, median(cacheGrowth));
        std::printf("chat_memory.render_cache_account%s %.1f MB\n", suffix, median(cache));
        std::fflush(stdout);
    }
    return 0;
}
