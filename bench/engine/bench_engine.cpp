// Prints one figure a line: "name value unit".
#include "EventPeer.h"
#include "agent/AgentRuntime.h"
#include "agent/SystemPrompt.h"
#include "agent/files/WorkspaceManager.h"
#include "agent/guard/PolicyEngine.h"
#include "agent/stream/OVUClient.h"
#include "agent/stream/RequestContext.h"
#include "agent/stream/SseAssembler.h"
#include "agent/tools/ToolRouter.h"
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

#include <algorithm>
#include <cstdio>
#include <optional>
#include <sys/resource.h>

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

// CPU time of the whole process (user + system, all threads), in ms.
double processCpuMs()
{
    rusage usage{};
    ::getrusage(RUSAGE_SELF, &usage);
    const auto ms = [](const timeval &t) { return t.tv_sec * 1e3 + t.tv_usec / 1e3; };
    return ms(usage.ru_utime) + ms(usage.ru_stime);
}

struct Cost {
    double wallMs = 0;
    double cpuMs = 0;
};

// The cheapest read of one reply: a plain socket drained in large blocks.
Cost rawDrainCost(const QUrl &url, qint64 expectedBytes)
{
    QElapsedTimer timer;
    timer.start();
    const double cpu = processCpuMs();
    const qint64 got = bench::rawDrain(url);
    const Cost cost{timer.nsecsElapsed() / 1e6, processCpuMs() - cpu};
    if (got < expectedBytes)
        std::fprintf(stderr, "raw drain read %lld bytes\n", static_cast<long long>(got));
    return cost;
}

double median(QList<double> values)
{
    std::sort(values.begin(), values.end());
    const qsizetype n = values.size();
    return n == 0 ? 0 : n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

// One streamed turn through the client, with the longest time the main
// thread went without turning its event loop (a 1 ms probe measures it).
struct StreamRun {
    Cost cost;
    double longestStallMs = 0;
    qint64 fragments = 0;
};

StreamRun streamThroughClient(QNetworkAccessManager &network, const QUrl &endpoint)
{
    agent::OVUClient client(network, endpoint);
    const QJsonArray messages{QJsonObject{{"role", "user"}, {"content", "hi"}}};
    StreamRun run;
    QTimer probe;
    probe.setTimerType(Qt::PreciseTimer);
    probe.setInterval(1);
    QElapsedTimer since;
    QObject::connect(&probe, &QTimer::timeout, &client, [&] {
        run.longestStallMs = std::max(run.longestStallMs, since.nsecsElapsed() / 1e6);
        since.restart();
    });
    QElapsedTimer timer;
    timer.start();
    const double cpu = processCpuMs();
    since.start();
    probe.start();
    const agent::TurnResult result = waitForTask(
        client.streamComplete("tok", "m", messages, {}, [&](const QString &) { ++run.fragments; }, {}));
    probe.stop();
    run.cost = {timer.nsecsElapsed() / 1e6, processCpuMs() - cpu};
    if (!result.ok())
        std::fprintf(stderr, "stream failed: %s\n", qPrintable(result.error().description()));
    return run;
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
    // Forked before any thread exists.
    bench::EventPeer events;
    if (!events.isRunning())
        std::fprintf(stderr, "event peer did not start\n");
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

    // 50,000 events of about 200 bytes, one write each on a TCP_NODELAY
    // socket, one HTTP chunk each: the client's CPU (all threads) beside a
    // raw drain of the same reply. Each run pairs a drain with a stream, back
    // to back, so both see the same load on the machine; the figures are
    // medians over the runs.
    {
        print("engine.sse_assembly_50k_service_events", assemblyRate(bench::EventPeer::body(50'000)), "MB/s");
        const qint64 bodyBytes = bench::EventPeer::body(50'000).size();
        constexpr int kRuns = 9;
        QList<double> drainWall, drainCpu, streamWall, streamCpu, ratio;
        for (int i = 0; i < kRuns; ++i) {
            const Cost drain = rawDrainCost(events.endpoint(50'000), bodyBytes);
            const StreamRun run = streamThroughClient(network, events.endpoint(50'000));
            if (run.fragments != 50'000)
                std::fprintf(stderr, "got %lld fragments\n", static_cast<long long>(run.fragments));
            drainWall.append(drain.wallMs);
            drainCpu.append(drain.cpuMs);
            streamWall.append(run.cost.wallMs);
            streamCpu.append(run.cost.cpuMs);
            ratio.append(run.cost.cpuMs / std::max(drain.cpuMs, 0.001));
        }
        print("engine.raw_drain_50k_events_wall", median(drainWall), "ms");
        print("engine.raw_drain_50k_events_cpu", median(drainCpu), "ms");
        print("engine.client_stream_50k_events_wall", median(streamWall), "ms");
        print("engine.client_stream_50k_events_cpu", median(streamCpu), "ms");
        print("engine.client_stream_50k_events_rate", bodyBytes / (median(streamWall) / 1e3) / 1e6, "MB/s");
        // Goal: 1.3 or less.
        print("engine.client_cpu_over_raw_drain", median(ratio), "x");

        const StreamRun closeDelimited = streamThroughClient(network, events.endpoint(50'000, false));
        print("engine.client_stream_50k_events_close_delimited_cpu", closeDelimited.cost.cpuMs, "ms");
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

    // The longest main-thread stall while the fragments stream in, one
    // event per write (goal: 16 ms or less, one frame).
    for (const int count : {10'000, 50'000}) {
        double longest = 0;
        for (int i = 0; i < 3; ++i) {
            const StreamRun run = streamThroughClient(network, events.endpoint(count));
            if (run.fragments != count)
                std::fprintf(stderr, "got %lld fragments\n", static_cast<long long>(run.fragments));
            longest = std::max(longest, run.longestStallMs);
        }
        print(count == 10'000 ? "engine.longest_stall_10k_fragments" : "engine.longest_stall_50k_fragments", longest,
              "ms");
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
