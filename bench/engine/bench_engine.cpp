// Prints one figure a line: "name value unit".
#include "agent/AgentRuntime.h"
#include "agent/OVUClient.h"
#include "agent/PolicyEngine.h"
#include "agent/RequestContext.h"
#include "agent/SseAssembler.h"
#include "agent/SystemPrompt.h"
#include "agent/ToolRouter.h"
#include "agent/WorkspaceManager.h"
#include "support/ChatServicePeer.h"
#include "support/TaskWait.h"
#include "support/TestEnvironment.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QJsonDocument>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QTemporaryDir>
#include <QThread>
#include <QTimer>

#include <cstdio>
#include <optional>

using testsupport::ChatServicePeer;
using testsupport::waitForTask;

namespace {

void print(const char *name, double value, const char *unit)
{
    std::printf("%s %.3f %s\n", name, value, unit);
    std::fflush(stdout);
}

QByteArray smallFragmentsBody(int count)
{
    QByteArray body;
    const QByteArray one = ChatServicePeer::event(ChatServicePeer::contentChunk(QStringLiteral("word ")));
    body.reserve(one.size() * count + 200);
    for (int i = 0; i < count; ++i)
        body += one;
    body += ChatServicePeer::event(ChatServicePeer::finishChunk(QStringLiteral("stop")));
    body += ChatServicePeer::doneEvent();
    return body;
}

QByteArray bigArgumentBody(qsizetype argumentBytes, qsizetype delta)
{
    QByteArray body = ChatServicePeer::event(ChatServicePeer::toolCallChunk(0, "c", "write_file", QString()));
    const QString piece(delta, u'x');
    for (qsizetype sent = 0; sent < argumentBytes; sent += delta)
        body += ChatServicePeer::event(ChatServicePeer::toolCallChunk(0, QString(), QString(), piece));
    body += ChatServicePeer::event(ChatServicePeer::finishChunk(QStringLiteral("tool_calls")));
    body += ChatServicePeer::doneEvent();
    return body;
}

// MB/s of the assembler alone, fed in network-sized pieces.
double assemblyRate(const QByteArray &body)
{
    QElapsedTimer timer;
    timer.start();
    int rounds = 0;
    do {
        agent::SseAssembler assembler;
        for (qsizetype at = 0; at < body.size(); at += 16 * 1024)
            (void)assembler.feed(QByteArrayView(body).sliced(at, std::min<qsizetype>(16 * 1024, body.size() - at)));
        if (!assembler.finish().ok())
            std::fprintf(stderr, "assembly failed\n");
        ++rounds;
    } while (timer.elapsed() < 500);
    return double(body.size()) * rounds / (timer.nsecsElapsed() / 1e9) / 1e6;
}

// How fast the peer delivers a body over loopback, read and thrown away
// without any parsing.
double rawLoopbackRate(ChatServicePeer &peer, QNetworkAccessManager &network, const QByteArray &body, qsizetype piece)
{
    ChatServicePeer::Reply reply = ChatServicePeer::sseReply(body);
    reply.pieceSize = piece;
    peer.enqueue(reply);
    QNetworkRequest request(peer.endpoint());
    request.setHeader(QNetworkRequest::ContentTypeHeader, "application/json");
    QElapsedTimer timer;
    timer.start();
    QNetworkReply *raw = network.post(request, QByteArray("{}"));
    qint64 received = 0;
    QEventLoop loop;
    QObject::connect(raw, &QNetworkReply::readyRead, raw, [&] { received += raw->readAll().size(); });
    QObject::connect(raw, &QNetworkReply::finished, &loop, &QEventLoop::quit);
    loop.exec();
    received += raw->readAll().size();
    raw->deleteLater();
    return received / (timer.nsecsElapsed() / 1e9) / 1e6;
}

// A peer in a thread of its own, so its writing never counts as our stall.
struct ThreadedPeer {
    QThread thread;
    ChatServicePeer *peer = new ChatServicePeer;

    ThreadedPeer()
    {
        peer->moveToThread(&thread);
        thread.start();
        bool ok = false;
        QMetaObject::invokeMethod(peer, [this, &ok] { ok = peer->listen(); }, Qt::BlockingQueuedConnection);
        if (!ok)
            std::fprintf(stderr, "peer failed to listen\n");
    }
    ~ThreadedPeer()
    {
        QMetaObject::invokeMethod(peer, [this] { delete peer; }, Qt::BlockingQueuedConnection);
        thread.quit();
        thread.wait();
    }
};

} // namespace

int main(int argc, char **argv)
{
    testsupport::isolateHome();
    QCoreApplication app(argc, argv);

    // Assembly alone.
    const QByteArray small = smallFragmentsBody(50'000);
    const double smallRate = assemblyRate(small);
    print("engine.sse_assembly_50k_fragments", smallRate, "MB/s");
    const QByteArray big = bigArgumentBody(1'000'000, 256);
    print("engine.sse_assembly_1mb_tool_argument", assemblyRate(big), "MB/s");

    ThreadedPeer threaded;
    ChatServicePeer &peer = *threaded.peer;
    QNetworkAccessManager network;
    agent::OVUClient client(network, peer.endpoint());
    const QJsonArray messages{QJsonObject{{"role", "user"}, {"content", "hi"}}};

    // What the loopback peer can send: one event per write, as a service
    // streams, and in 16 KB writes, the most loopback carries.
    {
        const qsizetype eventSize = small.indexOf("\n\n") + 2;
        const double perEvent = rawLoopbackRate(peer, network, small, eventSize);
        const double bulk = rawLoopbackRate(peer, network, small, 16 * 1024);
        print("engine.loopback_send_per_event", perEvent, "MB/s");
        print("engine.loopback_send_bulk", bulk, "MB/s");
        print("engine.assembly_over_loopback_per_event", smallRate / perEvent, "x");
        print("engine.assembly_over_loopback_bulk", smallRate / bulk, "x");

        // The client end to end, bulk writes.
        ChatServicePeer::Reply reply = ChatServicePeer::sseReply(small);
        reply.pieceSize = 16 * 1024;
        peer.enqueue(reply);
        QElapsedTimer timer;
        timer.start();
        const agent::TurnResult result =
            waitForTask(client.streamComplete("tok", "m", messages, {}, [](const QString &) {}, {}));
        if (!result.ok())
            std::fprintf(stderr, "stream failed: %s\n", qPrintable(result.error().description()));
        print("engine.client_stream_50k_fragments", small.size() / (timer.nsecsElapsed() / 1e9) / 1e6, "MB/s");
    }

    // Time to first fragment.
    {
        double best = 1e9;
        for (int i = 0; i < 20; ++i) {
            peer.enqueue(ChatServicePeer::textReply("first", 1));
            QElapsedTimer timer;
            timer.start();
            double first = -1;
            (void)waitForTask(client.streamComplete("tok", "m", messages, {}, [&](const QString &) {
                if (first < 0)
                    first = timer.nsecsElapsed() / 1e6;
            }, {}));
            best = std::min(best, first);
        }
        print("engine.time_to_first_fragment", best, "ms");
    }

    // The longest main-thread stall while 10,000 fragments stream in.
    {
        ChatServicePeer::Reply reply = ChatServicePeer::sseReply(smallFragmentsBody(10'000));
        reply.pieceSize = 4 * 1024;
        reply.pieceDelayMs = 1;
        peer.enqueue(reply);
        QTimer probe;
        probe.setTimerType(Qt::PreciseTimer);
        probe.setInterval(1);
        QElapsedTimer since;
        double longest = 0;
        QObject::connect(&probe, &QTimer::timeout, &app, [&] {
            longest = std::max(longest, since.nsecsElapsed() / 1e6);
            since.restart();
        });
        qint64 fragments = 0;
        since.start();
        probe.start();
        (void)waitForTask(client.streamComplete("tok", "m", messages, {}, [&](const QString &) { ++fragments; }, {}));
        probe.stop();
        if (fragments != 10'000)
            std::fprintf(stderr, "got %lld fragments\n", static_cast<long long>(fragments));
        print("engine.longest_stall_10k_fragments", longest, "ms");
    }

    // Trimming and the request body for 500 messages.
    {
        QList<model::ChatMessage> history;
        for (int i = 0; i < 500; ++i) {
            if (i % 5 == 3) {
                model::ChatMessage m = model::ChatMessage::make(model::MessageRole::Assistant, QString());
                m.toolCalls = QList<model::ToolCallRecord>{{"c", "read_file", R"({"path":"src/main.cpp"})"}};
                history.append(m);
            } else if (i % 5 == 4) {
                model::ChatMessage m = model::ChatMessage::make(model::MessageRole::Tool, QString(3000, u't'));
                m.toolCallId = QStringLiteral("c");
                history.append(m);
            } else {
                history.append(model::ChatMessage::make(i % 2 ? model::MessageRole::Assistant : model::MessageRole::User,
                                                        QString(1500, u'm')));
            }
        }
        const model::ChatMessage system =
            model::ChatMessage::make(model::MessageRole::System, agent::systemPrompt(QStringLiteral("/p")));
        QElapsedTimer timer;
        timer.start();
        int rounds = 0;
        do {
            const QJsonArray payload = agent::RequestContext::buildPayload(system, agent::RequestContext::trimmedForAPI(history));
            (void)agent::OVUClient::requestBody("m", payload, {});
            ++rounds;
        } while (timer.elapsed() < 500);
        print("engine.trim_and_payload_500_messages", timer.nsecsElapsed() / 1e6 / rounds, "ms");
    }

    // A 25-round run, two calls per round; the calls do no work of their own.
    {
        QTemporaryDir project;
        agent::WorkspaceManager workspace;
        workspace.setWorkspace(project.path());
        agent::ToolRouter tools(&workspace);
        model::AppSettings settings;
        settings.toolGuardMode = model::ToolGuardMode::Yolo;
        agent::PolicyEngine policy(settings);
        agent::AgentRuntime runtime(tools, policy, network, peer.endpoint());
        for (int round = 0; round < 24; ++round)
            peer.enqueue(ChatServicePeer::toolCallReply({{"a", "noop", "{}"}, {"b", "noop", "{}"}}));
        peer.enqueue(ChatServicePeer::textReply("done"));
        agent::RunRequest request;
        request.runId = QUuid::createUuid();
        request.bearerToken = QStringLiteral("tok");
        request.model = QStringLiteral("m");
        request.history = {model::ChatMessage::make(model::MessageRole::User, "go")};
        request.maxIterations = 25;
        QElapsedTimer timer;
        timer.start();
        const agent::RunResult result = waitForTask(runtime.run(request));
        const double ms = timer.nsecsElapsed() / 1e6;
        if (!result.ok() || result.value().size() != 1 + 24 * 3 + 1)
            std::fprintf(stderr, "run did not complete as scripted\n");
        print("engine.run_25_rounds_total", ms, "ms");
        print("engine.run_per_round", ms / 25, "ms");
    }
    return 0;
}
