// Times the controller on the paths a user feels:
//  - send(): from the call until the first byte of the request reaches the
//    service, with 5 MB and 50 MB of history in the session and with 0 and
//    4 images attached (also how long send() itself holds the main thread);
//  - a reply of 10,000 fragments streamed through the controller: the
//    longest main-thread stall while it streams and the main thread's CPU
//    time per fragment;
//  - staging a dropped photo: on the main thread, and on a worker.
// Runs in a temporary HOME against loopback peers in threads of their own.
// Prints one figure a line: "name value unit".

#include "FirstBytePeer.h"

#include "app/AppViewModel.h"
#include "stage/BackgroundSettings.h"
#include "model/AttachmentTempStore.h"
#include "model/ConversationStore.h"
#include "support/ChatServicePeer.h"
#include "support/KeySignIn.h"
#include "support/TestEnvironment.h"

#include <QBuffer>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QImage>
#include <QNetworkAccessManager>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QThread>
#include <QTimer>

#include <cstdio>
#include <ctime>

namespace {

constexpr int kRuns = 3;
constexpr int kFragments = 10'000;

void print(const char *name, double value, const char *unit)
{
    std::printf("%s %.3f %s\n", name, value, unit);
    std::fflush(stdout);
}

// A 1 ms ticker on the main thread: the widest gap between its ticks is the
// longest stall.
class StallMeter {
public:
    StallMeter()
    {
        m_ticker.setInterval(1);
        m_ticker.setTimerType(Qt::PreciseTimer);
        QObject::connect(&m_ticker, &QTimer::timeout, &m_ticker, [this] {
            m_longestNs = std::max(m_longestNs, m_sinceTick.nsecsElapsed());
            m_sinceTick.restart();
        });
    }
    void start()
    {
        m_sinceTick.start();
        m_ticker.start();
    }
    void stop() { m_ticker.stop(); }
    double longestMs() const { return double(m_longestNs) / 1e6; }

private:
    QElapsedTimer m_sinceTick;
    QTimer m_ticker;
    qint64 m_longestNs = 0;
};

double threadCpuMs()
{
    timespec ts{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return double(ts.tv_sec) * 1e3 + double(ts.tv_nsec) / 1e6;
}

bool waitUntil(const std::function<bool()> &done, int timeoutMs = 120'000)
{
    QElapsedTimer t;
    t.start();
    while (!done() && t.elapsed() < timeoutMs)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    return done();
}

// One session of about `megabytes` of alternating user and assistant turns.
void writeHistory(int megabytes)
{
    QRandomGenerator rng(20261207);
    static const char *const kWords[] = {"the", "model", "reads", "file", "and", "writes", "patch", "src/main.c",
                                         "make", "test", "{ return 0; }", "über", "→"};
    QList<model::ChatMessage> messages;
    qint64 total = 0;
    while (total < qint64(megabytes) * 1024 * 1024) {
        QString text;
        while (text.size() < 2000) {
            text += QString::fromUtf8(kWords[rng.bounded(int(std::size(kWords)))]);
            text += u' ';
        }
        total += text.size();
        messages.append(model::ChatMessage::make(
            messages.size() % 2 ? model::MessageRole::Assistant : model::MessageRole::User, text));
    }
    model::ConversationStore store;
    store.newChat();
    store.replaceMessages(messages);
}

QByteArray photo(int seed)
{
    // Noise, so the staged copy is of realistic size.
    QImage image(1280, 960, QImage::Format_RGB32);
    QRandomGenerator rng(seed);
    for (int y = 0; y < image.height(); ++y) {
        auto *line = reinterpret_cast<QRgb *>(image.scanLine(y));
        for (int x = 0; x < image.width(); ++x)
            line[x] = (x / 40 + y / 40) % 2 ? rng.generate() : 0xff336699u;
    }
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "PNG");
    return bytes;
}

struct Fixture {
    QNetworkAccessManager network;
    QTemporaryDir stagingDir;
    QTemporaryDir stageDir;
    std::unique_ptr<model::AttachmentTempStore> staging;
    std::unique_ptr<stage::BackgroundSettings> background;

    Fixture()
    {
        staging = std::make_unique<model::AttachmentTempStore>(stagingDir.path());
        stage::BackgroundSettings::Config config;
        config.supportDirectory = stageDir.path();
        config.network = &network;
        background = std::make_unique<stage::BackgroundSettings>(config);
    }

    std::unique_ptr<app::AppViewModel> make(const QUrl &endpoint)
    {
        app::AppServices services;
        services.signIn = std::make_unique<testsupport::KeySignIn>();
        services.network = &network;
        services.endpoint = endpoint;
        services.staging = staging.get();
        services.background = background.get();
        return std::make_unique<app::AppViewModel>(std::move(services));
    }
};

void benchSend(Fixture &fixture, const QList<QByteArray> &photos)
{
    QThread peerThread;
    peerThread.start();
    auto *peer = new benchsupport::FirstBytePeer;
    peer->moveToThread(&peerThread);
    QMetaObject::invokeMethod(peer, &benchsupport::FirstBytePeer::listen, Qt::BlockingQueuedConnection);

    for (const int megabytes : {5, 50}) {
        writeHistory(megabytes);
        std::unique_ptr<app::AppViewModel> vm = fixture.make(peer->endpoint());
        for (const int images : {0, 4}) {
            double firstByte = 0;
            double sendCall = 0;
            for (int run = 0; run < kRuns; ++run) {
                for (int i = 0; i < images; ++i)
                    vm->attachImageData(photos.at(i), QStringLiteral("Screenshot.png"));
                vm->setDraft(QStringLiteral("Please look at this."));
                peer->resetClock();
                vm->send();
                sendCall += peer->elapsedMs();
                if (!waitUntil([&] { return peer->firstByteMs() >= 0; }))
                    qFatal("no request arrived");
                firstByte += peer->firstByteMs();
                waitUntil([&] { return !vm->isRunning(); });
            }
            const QByteArray suffix = QByteArray::number(megabytes) + "mb_" + QByteArray::number(images) + "img";
            print(("app.send_first_request_byte_" + suffix).constData(), firstByte / kRuns, "ms");
            print(("app.send_call_" + suffix).constData(), sendCall / kRuns, "ms");
        }
    }
    QMetaObject::invokeMethod(peer, &QObject::deleteLater);
    peerThread.quit();
    peerThread.wait();
}

void benchStream(Fixture &fixture)
{
    // A store of one small session: the figures are of the stream, not of
    // saving the big histories above.
    QFile::remove(model::ConversationStore().filePath());
    QThread peerThread;
    peerThread.start();
    auto *peer = new testsupport::ChatServicePeer;
    peer->moveToThread(&peerThread);
    bool listening = false;
    QMetaObject::invokeMethod(
        peer, [&] { listening = peer->listen(); }, Qt::BlockingQueuedConnection);
    if (!listening)
        qFatal("the stream peer could not listen");

    QByteArray body;
    for (int i = 0; i < kFragments; ++i)
        body += testsupport::ChatServicePeer::event(
            testsupport::ChatServicePeer::contentChunk(QStringLiteral("word%1 ").arg(i % 100)));
    body += testsupport::ChatServicePeer::event(testsupport::ChatServicePeer::finishChunk(QStringLiteral("stop")));
    body += testsupport::ChatServicePeer::doneEvent();
    testsupport::ChatServicePeer::Reply reply = testsupport::ChatServicePeer::sseReply(body);
    reply.pieceSize = 4096; // about 50 fragments a write, as a fast service sends them
    reply.pieceDelayMs = 1;
    peer->enqueue(reply);

    std::unique_ptr<app::AppViewModel> vm = fixture.make(peer->endpoint());
    qint64 fragments = 0;
    QObject::connect(vm.get(), &app::AppViewModel::streamingTextChanged, vm.get(), [&] { ++fragments; });

    StallMeter stalls;
    vm->setDraft(QStringLiteral("stream"));
    const double cpuBefore = threadCpuMs();
    stalls.start();
    vm->send();
    waitUntil([&] { return !vm->isRunning(); });
    stalls.stop();
    const double cpu = threadCpuMs() - cpuBefore;

    print("app.stream_fragments", double(fragments - 1), "count"); // the last change clears the text
    print("app.stream_longest_stall", stalls.longestMs(), "ms");
    print("app.stream_cpu_per_fragment", cpu * 1000.0 / kFragments, "us");
    vm.reset();
    QMetaObject::invokeMethod(peer, &QObject::deleteLater);
    peerThread.quit();
    peerThread.wait();
}

// A dropped 12-megapixel photo: how long staging it holds the main thread,
// staged there and on a worker.
void benchAttach(Fixture &fixture)
{
    QImage image(4000, 3000, QImage::Format_RGB32);
    QRandomGenerator rng(7);
    for (int y = 0; y < image.height(); ++y) {
        auto *line = reinterpret_cast<QRgb *>(image.scanLine(y));
        for (int x = 0; x < image.width(); ++x)
            line[x] = 0xff000000u | ((x * y) & 0xffffff) | (rng.generate() & 0x0f0f0f);
    }
    QByteArray jpeg;
    QBuffer buffer(&jpeg);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "JPEG", 90);

    std::unique_ptr<app::AppViewModel> vm = fixture.make(QUrl(QStringLiteral("http://127.0.0.1:9/")));
    QElapsedTimer timer;
    timer.start();
    vm->attachImageData(jpeg, QStringLiteral("Screenshot.jpg"));
    print("app.attach_photo_main_thread", double(timer.nsecsElapsed()) / 1e6, "ms");
    vm->clearAttachments();

    StallMeter stalls;
    stalls.start();
    bool done = false;
    [](QCoro::Task<bool> attach, bool &finished) -> QCoro::Task<> {
        co_await std::move(attach);
        finished = true;
    }(vm->attachImageDataAsync(jpeg, QStringLiteral("Screenshot.jpg")), done);
    waitUntil([&] { return done; });
    stalls.stop();
    print("app.attach_photo_async_longest_stall", stalls.longestMs(), "ms");
}

} // namespace

int main(int argc, char **argv)
{
    testsupport::isolateHome();
    QCoreApplication app(argc, argv);
    Fixture fixture;
    QList<QByteArray> photos;
    for (int i = 0; i < 4; ++i)
        photos.append(photo(i + 1));
    benchSend(fixture, photos);
    benchStream(fixture);
    benchAttach(fixture);
    return 0;
}
