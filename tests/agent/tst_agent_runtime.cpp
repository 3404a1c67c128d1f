#include "agent/AgentRuntime.h"
#include "agent/calls/ToolDefinitions.h"
#include "agent/files/WorkspaceManager.h"
#include "agent/guard/PolicyEngine.h"
#include "agent/stream/RequestContext.h"
#include "agent/tools/ToolRouter.h"
#include "platform/Graphemes.h"
#include "platform/OneShot.h"
#include "support/ChatServicePeer.h"
#include "support/TaskWait.h"
#include "support/TestMain.h"

#include <QNetworkAccessManager>
#include <QDir>
#include <QFileInfo>
#include <QTemporaryDir>

using agent::AgentRuntime;
using agent::RunResult;
using model::ChatMessage;
using model::MessageRole;
using model::ToolLogEntry;
using Status = model::ToolLogEntry::Status;
using testsupport::ChatServicePeer;
using Call = ChatServicePeer::ToolCall;

namespace {

// JSON written with single quotes, so it reads without escapes.
QString q(const char *text)
{
    return QString::fromUtf8(QByteArray(text).replace('\'', '"'));
}

QString statuses(const QList<ToolLogEntry> &entries, const QUuid &logId)
{
    QStringList out;
    for (const ToolLogEntry &e : entries) {
        if (e.id == logId)
            out.append(model::toRaw(e.status));
    }
    return out.join(' ');
}

QList<QUuid> logIds(const QList<ToolLogEntry> &entries)
{
    QList<QUuid> ids;
    for (const ToolLogEntry &e : entries) {
        if (!ids.contains(e.id))
            ids.append(e.id);
    }
    return ids;
}

QStringList roles(const QList<ChatMessage> &messages)
{
    QStringList out;
    for (const ChatMessage &m : messages)
        out.append(model::toRaw(m.role));
    return out;
}

} // namespace

class TestAgentRuntime : public QObject {
    Q_OBJECT

    QNetworkAccessManager m_network;
    std::unique_ptr<QTemporaryDir> m_project;
    std::unique_ptr<ChatServicePeer> m_peer;
    std::unique_ptr<agent::WorkspaceManager> m_workspace;
    std::unique_ptr<agent::ToolRouter> m_tools;
    std::unique_ptr<agent::PolicyEngine> m_policy;
    std::unique_ptr<AgentRuntime> m_runtime;

    QUuid m_runId;
    QList<ToolLogEntry> m_log;
    QList<std::pair<QUuid, QString>> m_deltas;
    QList<model::PendingApproval> m_approvals;
    QList<bool> m_answers;             // scripted answers, in order
    std::optional<platform::OneShot<bool>> m_held; // an approval nobody answers yet

    void setMode(model::ToolGuardMode mode)
    {
        model::AppSettings settings;
        settings.toolGuardMode = mode;
        settings.shellTimeoutSeconds = 20;
        m_policy->setSettings(settings);
    }

    RunResult run(const QList<ChatMessage> &history, qint64 maxIterations = 10)
    {
        agent::RunRequest request;
        request.runId = m_runId;
        request.bearerToken = QStringLiteral("tok");
        request.model = QStringLiteral("qirv-test");
        request.workspacePath = m_project->path();
        request.history = history;
        request.maxIterations = maxIterations;
        return testsupport::waitForTask(m_runtime->run(request));
    }

    static QList<ChatMessage> question(const QString &text = QStringLiteral("go"))
    {
        return {ChatMessage::make(MessageRole::User, text)};
    }

    void installApprovals()
    {
        m_runtime->setOnPendingApproval([this](QUuid runId, model::PendingApproval approval) -> QCoro::Task<bool> {
            if (runId != m_runId)
                co_return false;
            m_approvals.append(approval);
            if (!m_answers.isEmpty())
                co_return m_answers.takeFirst();
            m_held.emplace();
            const platform::OneShot<bool> held = *m_held;
            co_return co_await held;
        });
    }

private slots:
    void init()
    {
        m_project = std::make_unique<QTemporaryDir>();
        QFile file(m_project->filePath("a.txt"));
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write("alpha\n");
        file.close();
        m_peer = std::make_unique<ChatServicePeer>();
        QVERIFY(m_peer->listen());
        m_workspace = std::make_unique<agent::WorkspaceManager>();
        m_workspace->setWorkspace(m_project->path());
        m_tools = std::make_unique<agent::ToolRouter>(m_workspace.get());
        m_policy = std::make_unique<agent::PolicyEngine>();
        setMode(model::ToolGuardMode::Balanced);
        m_runtime = std::make_unique<AgentRuntime>(*m_tools, *m_policy, m_network, m_peer->endpoint());
        m_runId = QUuid::createUuid();
        m_log.clear();
        m_deltas.clear();
        m_approvals.clear();
        m_answers.clear();
        m_held.reset();
        m_runtime->setOnToolLog([this](const QUuid &runId, const ToolLogEntry &entry) {
            QCOMPARE(runId, m_runId);
            m_log.append(entry);
        });
        m_runtime->setOnStreamDelta([this](const QUuid &runId, const QString &f) { m_deltas.append({runId, f}); });
    }

    void cleanup()
    {
        if (m_held)
            m_held->set(false);
        m_runtime.reset();
        m_tools.reset();
        m_workspace.reset();
        m_peer.reset();
        QTest::qWait(10); // let released coroutines finish
    }

    // The texts the model and the user see, letter for letter (the other
    // tests compare against these constants).
    void exactTexts_data()
    {
        QTest::addColumn<QString>("actual");
        QTest::addColumn<QString>("expected");
        QTest::newRow("iteration-limit")
            << AgentRuntime::iterationLimitText()
            << "Stopped after maximum tool iterations. Send another message to continue.";
        QTest::newRow("user-denied") << AgentRuntime::userDeniedText() << "User denied this tool call.";
        QTest::newRow("denied-preview") << AgentRuntime::deniedByUserPreview() << "Denied by user";
        QTest::newRow("truncation-suffix") << agent::RequestContext::truncationSuffix()
                                           << QString::fromUtf8("\n\xe2\x80\xa6(truncated for context window)");
        QTest::newRow("omitted-tool-turn") << agent::RequestContext::omittedToolTurnText()
                                           << "(earlier tool turn omitted for context window)";
    }

    void exactTexts()
    {
        QFETCH(QString, actual);
        QFETCH(QString, expected);
        QCOMPARE(actual, expected);
    }

    void severalRoundsEndToEnd()
    {
        m_peer->enqueue(ChatServicePeer::toolCallReply(
            {{"c1", "list_dir", "{}"}, {"c2", "read_file", q("{'path':'a.txt'}")}}, "Looking."));
        m_peer->enqueue(ChatServicePeer::toolCallReply({{"c3", "read_file", q("{'path':'missing.txt'}")}}));
        m_peer->enqueue(ChatServicePeer::textReply("All done.", 3));
        QList<ChatMessage> history = question();
        history.prepend(ChatMessage::make(MessageRole::System, "old system"));

        const RunResult result = run(history);
        QVERIFY(result.ok());
        const QList<ChatMessage> &out = result.value();
        QCOMPARE(roles(out), (QStringList{"user", "assistant", "tool", "tool", "assistant", "tool", "assistant"}));
        QCOMPARE(out[1].content, QStringLiteral("Looking."));
        QCOMPARE(out[1].toolCalls->size(), 2);
        QCOMPARE(out[1].toolCalls->at(1), (model::ToolCallRecord{"c2", "read_file", q("{'path':'a.txt'}")}));
        QCOMPARE(out[2].toolCallId, QStringLiteral("c1"));
        QVERIFY(out[3].content.contains("alpha"));
        QCOMPARE(out[4].content, QString()); // a turn of tool calls only
        QCOMPARE(out[6].content, QStringLiteral("All done."));
        QVERIFY(out[6].toolCalls == std::nullopt);

        // Deltas carry the run and add up to the streamed texts.
        QString streamed;
        for (const auto &[id, f] : m_deltas) {
            QCOMPARE(id, m_runId);
            streamed += f;
        }
        QCOMPARE(streamed, QStringLiteral("Looking.All done."));

        // Log series: one id per call, pending -> running -> success/failure.
        const QList<QUuid> ids = logIds(m_log);
        QCOMPARE(ids.size(), 3);
        QCOMPARE(statuses(m_log, ids[0]), QStringLiteral("pending running success"));
        QCOMPARE(statuses(m_log, ids[1]), QStringLiteral("pending running success"));
        QCOMPARE(statuses(m_log, ids[2]), QStringLiteral("pending running failure"));
        QCOMPARE(m_log.last().resultPreview, out[5].content);

        // What was sent: system prompt first, the tools, the growing history.
        const auto requests = m_peer->requests();
        QCOMPARE(requests.size(), 3);
        const QJsonArray first = requests[0].json().value("messages").toArray();
        QCOMPARE(first.size(), 2);
        QCOMPARE(first[0].toObject().value("role").toString(), QStringLiteral("system"));
        QVERIFY(first[0].toObject().value("content").toString().contains(m_project->path()));
        QCOMPARE(requests[0].json().value("tools").toArray(), agent::ToolDefinitions::schemas());
        QCOMPARE(requests[0].json().value("tool_choice"), QJsonValue("auto"));
        QCOMPARE(requests[0].json().value("model"), QJsonValue("qirv-test"));
        QCOMPARE(requests[0].headers.value("authorization"), QByteArray("Bearer tok"));
        const QJsonArray third = requests[2].json().value("messages").toArray();
        QCOMPARE(third.size(), 7); // system + 6
        QCOMPARE(third[2].toObject().value("tool_calls").toArray().size(), 2);
        QCOMPARE(third[3].toObject().value("tool_call_id").toString(), QStringLiteral("c1"));
    }

    // A service that escapes what is not ASCII cuts a tool call's
    // arguments between the halves of a surrogate pair: the file written
    // holds the character, and a half that never meets its other half
    // (also one in another call) is a replacement character.
    void charactersCutBetweenEventsReachTheFile_data()
    {
        QTest::addColumn<QList<int>>("indexes"); // the call of each argument piece
        QTest::addColumn<QStringList>("pieces");
        QTest::addColumn<QByteArrayList>("files"); // f0.txt, f1.txt, ... as written
        const QString high(QChar(0xD83D));
        const QString low(QChar(0xDE00));
        const QString open = q("{'path':'f0.txt','content':'");
        QTest::newRow("pair cut between two pieces of one call")
            << QList<int>{0, 0} << QStringList{open + high, low + q("'}")} << QByteArrayList{"\xf0\x9f\x98\x80"};
        QTest::newRow("half that never meets its other half")
            << QList<int>{0, 0} << QStringList{open + "a" + high, q("b'}")} << QByteArrayList{"a\xef\xbf\xbd" "b"};
        QTest::newRow("halves in two calls stay apart")
            << QList<int>{1, 0, 1, 0}
            << QStringList{q("{'path':'f1.txt','content':'"), open + "a" + high, low + q("b'}"), q("'}")}
            << QByteArrayList{"a\xef\xbf\xbd", "\xef\xbf\xbd" "b"};
    }

    void charactersCutBetweenEventsReachTheFile()
    {
        QFETCH(QList<int>, indexes);
        QFETCH(QStringList, pieces);
        QFETCH(QByteArrayList, files);
        setMode(model::ToolGuardMode::Yolo);
        QByteArray body;
        QSet<int> named;
        for (qsizetype i = 0; i < pieces.size(); ++i) {
            const int index = indexes.at(i);
            const bool first = !named.contains(index);
            named.insert(index);
            body += ChatServicePeer::escapedEvent(ChatServicePeer::toolCallChunk(
                index, first ? QStringLiteral("w%1").arg(index) : QString(), first ? "write_file" : QString(), pieces.at(i)));
        }
        body += ChatServicePeer::event(ChatServicePeer::finishChunk("tool_calls")) + ChatServicePeer::doneEvent();
        m_peer->enqueue(ChatServicePeer::sseReply(body));
        m_peer->enqueue(ChatServicePeer::textReply("done"));

        const RunResult result = run(question());
        QVERIFY(result.ok());
        for (qsizetype i = 0; i < files.size(); ++i) {
            const QString name = QStringLiteral("f%1.txt").arg(i);
            QFile file(m_project->filePath(name));
            QVERIFY2(file.open(QIODevice::ReadOnly), qPrintable(name));
            QCOMPARE(file.readAll().toHex(' '), files.at(i).toHex(' '));
            // What the model is told matches what is on disk.
            const QString said = QStringLiteral("Wrote %1 bytes to ").arg(files.at(i).size());
            const auto told = std::find_if(result.value().begin(), result.value().end(), [&](const ChatMessage &m) {
                return m.toolCallId == QStringLiteral("w%1").arg(i);
            });
            QVERIFY(told != result.value().end());
            QVERIFY2(told->content.startsWith(said), qPrintable(told->content));
        }
    }

    void approvals()
    {
        setMode(model::ToolGuardMode::Ask);
        installApprovals();
        m_answers = {false, true};
        m_peer->enqueue(ChatServicePeer::toolCallReply({
            {"w1", "write_file", q("{'path':'denied.txt','content':'no'}")},
            {"w2", "write_file", q("{'path':'granted.txt','content':'yes'}")},
            {"r1", "read_file", q("{'path':'a.txt'}")},
        }));
        m_peer->enqueue(ChatServicePeer::textReply("ok"));
        const RunResult result = run(question());
        QVERIFY(result.ok());
        QCOMPARE(roles(result.value()), (QStringList{"user", "assistant", "tool", "tool", "tool", "assistant"}));
        QCOMPARE(result.value()[2].content, AgentRuntime::userDeniedText());
        QVERIFY(!QFile::exists(m_project->filePath("denied.txt")));
        QVERIFY(QFile::exists(m_project->filePath("granted.txt")));

        QCOMPARE(m_approvals.size(), 2); // the read ran without asking
        QCOMPARE(m_approvals[0].id, QStringLiteral("w1"));
        QCOMPARE(m_approvals[0].name, QStringLiteral("write_file"));
        QCOMPARE(m_approvals[0].risk, model::ToolRisk::Write);
        QVERIFY(!m_approvals[0].summary.isEmpty());

        const QList<QUuid> ids = logIds(m_log);
        QCOMPARE(ids.size(), 3);
        QCOMPARE(statuses(m_log, ids[0]), QStringLiteral("pending denied"));
        QCOMPARE(statuses(m_log, ids[1]), QStringLiteral("pending approved running success"));
        QCOMPARE(statuses(m_log, ids[2]), QStringLiteral("pending running success"));
        for (const ToolLogEntry &e : std::as_const(m_log)) {
            if (e.id == ids[0] && e.status == Status::Denied)
                QCOMPARE(e.resultPreview, AgentRuntime::deniedByUserPreview());
        }
    }

    // YOLO runs a look-alike at once and asks about commands of the guard's
    // classes, with the reason on the card. The asked commands would be
    // harmless even if they ran: they only spell "true" another way.
    void yoloAsksWhatTheWordCheckFlags()
    {
        setMode(model::ToolGuardMode::Yolo);
        installApprovals();
        m_answers = {false, false};
        m_peer->enqueue(ChatServicePeer::toolCallReply({
            {"s1", "run_shell", q("{'command':'echo shred a.txt'}")},
            {"s2", "run_shell", q("{'command':'X=true; $X'}")},
            {"s3", "run_shell", q("{'command':'echo dHJ1ZQ== | base64 -d | sh'}")},
        }));
        m_peer->enqueue(ChatServicePeer::textReply("ok"));
        const RunResult result = run(question());
        QVERIFY(result.ok());
        QCOMPARE(roles(result.value()), (QStringList{"user", "assistant", "tool", "tool", "tool", "assistant"}));
        QCOMPARE(result.value()[2].content, QStringLiteral("exit 0\nshred a.txt\n"));
        QCOMPARE(result.value()[3].content, AgentRuntime::userDeniedText());
        QCOMPARE(result.value()[4].content, AgentRuntime::userDeniedText());
        QCOMPARE(m_approvals.size(), 2);
        QCOMPARE(m_approvals[0].id, QStringLiteral("s2"));
        QVERIFY2(m_approvals[0].preview.startsWith(QStringLiteral("\u26a0 Command name is computed when it runs\n")), qPrintable(m_approvals[0].preview));
        QCOMPARE(m_approvals[1].id, QStringLiteral("s3"));
        QVERIFY2(m_approvals[1].preview.startsWith(QStringLiteral("\u26a0 Decoded text run by a shell or interpreter\n")), qPrintable(m_approvals[1].preview));
        QVERIFY(QFile::exists(m_project->filePath("a.txt")));
    }

    // YOLO asks where a write lands outside the project, in git's hooks or
    // settings, or at a credential place, naming the place; a write inside
    // runs. Declined, nothing is written (each would be harmless anyway).
    void yoloAsksWhereAWriteLands()
    {
        setMode(model::ToolGuardMode::Yolo);
        installApprovals();
        m_answers = {false, false, false};
        const QString sibling = QFileInfo(m_project->path()).fileName() + QStringLiteral("-sorted.txt");
        m_peer->enqueue(ChatServicePeer::toolCallReply({
            {"w1", "run_shell", q("{'command':'echo x | tee -a notes.txt'}")},
            {"w2", "run_shell", q("{'command':'sort -o ../%1 /dev/null'}").arg(sibling)},
            {"w3", "run_shell", q("{'command':'mkdir -p .git/hooks && echo true > .git/hooks/pre-commit'}")},
            {"w4", "run_shell", q("{'command':'touch ~/.qirv/auth.json'}")},
        }));
        m_peer->enqueue(ChatServicePeer::textReply("ok"));
        const RunResult result = run(question());
        QVERIFY(result.ok());
        QCOMPARE(result.value()[2].content, QStringLiteral("exit 0\nx\n"));
        QCOMPARE(m_approvals.size(), 3);
        const QStringList places{QStringLiteral("../") + sibling, QStringLiteral(".git/hooks/pre-commit"), QStringLiteral("~/.qirv/auth.json")};
        for (qsizetype i = 0; i < places.size(); ++i) {
            QVERIFY2(m_approvals[i].preview.startsWith(u'\u26a0') && m_approvals[i].preview.section(u'\n', 0, 0).contains(places[i]),
                     qPrintable(m_approvals[i].preview));
            QCOMPARE(result.value()[3 + i].content, AgentRuntime::userDeniedText());
        }
        QVERIFY(!QFile::exists(QFileInfo(m_project->path()).dir().filePath(sibling)));
        QVERIFY(!QFile::exists(m_project->filePath(QStringLiteral(".git/hooks/pre-commit"))));
    }

    void noApprovalCallbackDenies()
    {
        setMode(model::ToolGuardMode::Ask);
        m_peer->enqueue(ChatServicePeer::toolCallReply({{"s1", "run_shell", q("{'command':'echo hi'}")}}));
        m_peer->enqueue(ChatServicePeer::textReply("ok"));
        const RunResult result = run(question());
        QVERIFY(result.ok());
        QCOMPARE(result.value()[2].content, AgentRuntime::userDeniedText());
        QCOMPARE(statuses(m_log, logIds(m_log).value(0)), QStringLiteral("pending denied"));
    }

    void iterationLimit_data()
    {
        QTest::addColumn<qint64>("limit");
        QTest::addColumn<int>("requests");
        QTest::addColumn<QStringList>("roles");
        QTest::newRow("zero") << qint64(0) << 0 << QStringList{"user", "assistant"};
        QTest::newRow("negative-counts-as-zero") << qint64(-3) << 0 << QStringList{"user", "assistant"};
        QTest::newRow("one-with-tool-calls")
            << qint64(1) << 1 << QStringList{"user", "assistant", "tool", "tool", "assistant"};
    }

    void iterationLimit()
    {
        QFETCH(qint64, limit);
        QFETCH(int, requests);
        QFETCH(QStringList, roles);
        m_peer->enqueue(ChatServicePeer::toolCallReply({{"c1", "list_dir", "{}"}, {"c1", "list_dir", "{}"}}));
        m_peer->enqueue(ChatServicePeer::textReply("never"));
        QList<ChatMessage> history = question();
        history.prepend(ChatMessage::make(MessageRole::System, "s"));
        const RunResult result = run(history, limit);
        QVERIFY(result.ok());
        QCOMPARE(::roles(result.value()), roles);
        QCOMPARE(result.value().last().content, AgentRuntime::iterationLimitText());
        QCOMPARE(m_peer->requestCount(), requests);
        if (requests == 0) {
            QVERIFY(m_log.isEmpty());
            QVERIFY(m_deltas.isEmpty());
        } else {
            QCOMPARE(logIds(m_log).size(), 2); // same call id, two log ids
        }
    }

    void previewCaps()
    {
        setMode(model::ToolGuardMode::Yolo);
        const QString longArgument = QStringLiteral("{\"command\":\"printf '%02001d' 0\",\"x\":\"") + QString(480, u'p') + QStringLiteral("\"}");
        QVERIFY(longArgument.size() > 500);
        m_peer->enqueue(ChatServicePeer::toolCallReply({{"s1", "run_shell", longArgument}}));
        m_peer->enqueue(ChatServicePeer::textReply("ok"));
        const RunResult result = run(question());
        QVERIFY(result.ok());
        const QString output = result.value()[2].content;
        QVERIFY2(output.size() > 2000, qPrintable(output.left(200)));
        const ToolLogEntry done = m_log.last();
        QCOMPARE(done.status, Status::Success);
        QCOMPARE(done.argumentsPreview, longArgument.left(500));
        QCOMPARE(done.resultPreview, platform::Graphemes::prefix(output, 2000));
    }

    void failureKeepsCompletedRounds()
    {
        m_peer->enqueue(ChatServicePeer::toolCallReply({{"c1", "list_dir", "{}"}}));
        QByteArray partial = ChatServicePeer::event(ChatServicePeer::contentChunk("half "));
        m_peer->enqueue(ChatServicePeer::sseReply(partial + "data: {\"error\":{\"message\":\"boom\"}}\n\n"));
        const RunResult result = run(question());
        QVERIFY(!result.ok());
        QCOMPARE(result.error().error.kind, agent::OVUClientError::Kind::StreamError);
        QCOMPARE(roles(result.error().messages), (QStringList{"user", "assistant", "tool"}));
        QCOMPARE(result.error().unfinishedText, QStringLiteral("half "));
        QVERIFY(!m_runtime->isRunning(m_runId));
    }

    void stopWhileStreaming()
    {
        ChatServicePeer::Reply reply = ChatServicePeer::textReply("partial reply that never ends", 4);
        reply.stallAfter = reply.body.indexOf("\n\n") + 2;
        m_peer->enqueue(reply);
        connect(m_peer.get(), &ChatServicePeer::stalled, this, [this] {
            QTimer::singleShot(30, this, [this] { m_runtime->cancel(m_runId); });
        });
        const RunResult result = run(question());
        QVERIFY(!result.ok());
        QVERIFY(result.error().isCancellation());
        QCOMPARE(roles(result.error().messages), QStringList{"user"});
        QCOMPARE(result.error().unfinishedText, QStringLiteral("partial "));
        QCOMPARE(m_deltas.size(), 1);
    }

    void stopWhileAwaitingApproval()
    {
        setMode(model::ToolGuardMode::Ask);
        installApprovals();
        m_peer->enqueue(ChatServicePeer::toolCallReply({
            {"r1", "read_file", q("{'path':'a.txt'}")},
            {"w1", "write_file", q("{'path':'b.txt','content':'b'}")},
            {"r2", "list_dir", "{}"},
        }, "Plan."));
        m_runtime->setOnToolLog([this](const QUuid &, const ToolLogEntry &entry) {
            m_log.append(entry);
            if (entry.status == Status::Pending && entry.name == "write_file")
                QTimer::singleShot(30, this, [this] { m_runtime->cancel(m_runId); });
        });
        const RunResult result = run(question());
        QVERIFY(!result.ok());
        QVERIFY(result.error().isCancellation());
        // The read that ran and the stopped write are kept; the list never ran.
        const QList<ChatMessage> &kept = result.error().messages;
        QCOMPARE(roles(kept), (QStringList{"user", "assistant", "tool", "tool"}));
        QCOMPARE(kept[1].toolCalls->size(), 2);
        QCOMPARE(kept[1].content, QStringLiteral("Plan."));
        QCOMPARE(kept[3].content, AgentRuntime::userDeniedText());
        QVERIFY(result.error().unfinishedText.isEmpty());
        QCOMPARE(statuses(m_log, logIds(m_log).value(1)), QStringLiteral("pending denied"));
        QCOMPARE(logIds(m_log).size(), 2);
        QCOMPARE(m_peer->requestCount(), 1);
    }

    void stopWhileShellRuns()
    {
        setMode(model::ToolGuardMode::Yolo);
        m_peer->enqueue(ChatServicePeer::toolCallReply(
            {{"r1", "list_dir", "{}"}, {"s1", "run_shell", q("{'command':'sleep 30'}")}, {"r2", "list_dir", "{}"}},
            "Look, then wait."));
        m_runtime->setOnToolLog([this](const QUuid &, const ToolLogEntry &entry) {
            m_log.append(entry);
            if (entry.status == Status::Running && entry.name == "run_shell")
                QTimer::singleShot(100, this, [this] { m_runtime->cancel(m_runId); });
        });
        // What a stop would leave, as each call starts.
        QList<QList<ChatMessage>> started;
        m_runtime->setOnCallStarted(
            [&](const QUuid &, const QList<ChatMessage> &ifStoppedNow) { started.append(ifStoppedNow); });
        QElapsedTimer timer;
        timer.start();
        const RunResult result = run(question());
        QVERIFY(timer.elapsed() < 5000);
        QVERIFY(!result.ok());
        QVERIFY(result.error().isCancellation());
        // The started command is kept with the result it ended with; the
        // call after it never started and is left out.
        const QList<ChatMessage> &kept = result.error().messages;
        QCOMPARE(roles(kept), (QStringList{"user", "assistant", "tool", "tool"}));
        QCOMPARE(kept[1].toolCalls->size(), 2);
        QCOMPARE(kept[3].toolCallId, std::optional<QString>(QStringLiteral("s1")));
        QCOMPARE(kept[3].content, AgentRuntime::stoppedCallText());
        QCOMPARE(started.size(), 2);
        QCOMPARE(roles(started[1]), roles(kept));
        QCOMPARE(started[1][1].toolCalls, kept[1].toolCalls);
        QCOMPARE(started[1][2], kept[2]);
        QCOMPARE(started[1][3].toolCallId, kept[3].toolCallId);
        QCOMPARE(started[1][3].content, kept[3].content);
        QCOMPARE(roles(started[0]), (QStringList{"user", "assistant", "tool"}));
        QCOMPARE(started[0][1].toolCalls->size(), 1);
        QVERIFY(!m_tools->isCommandRunning());
        QCOMPARE(m_peer->requestCount(), 1);
    }

    // A stop given as a call starts (from a handler, before the command
    // exists) must still keep the call from running.
    void stopAsACallStartsRunsNothing_data()
    {
        QTest::addColumn<QString>("during"); // the handler that stops
        QTest::newRow("running log line") << "log";
        QTest::newRow("call-started report") << "started";
    }
    void stopAsACallStartsRunsNothing()
    {
        QFETCH(QString, during);
        setMode(model::ToolGuardMode::Yolo);
        m_peer->enqueue(ChatServicePeer::toolCallReply({{"w1", "write_file", q("{'path':'b.txt','content':'b'}")}}));
        if (during == "log") {
            m_runtime->setOnToolLog([this](const QUuid &, const ToolLogEntry &entry) {
                m_log.append(entry);
                if (entry.status == Status::Running)
                    m_runtime->cancel(m_runId);
            });
        } else {
            m_runtime->setOnCallStarted([this](const QUuid &, const QList<ChatMessage> &) { m_runtime->cancel(m_runId); });
        }
        const RunResult result = run(question());
        QVERIFY(!result.ok());
        QVERIFY(result.error().isCancellation());
        QVERIFY(!QFile::exists(m_project->filePath("b.txt")));
        QCOMPARE(roles(result.error().messages), (QStringList{"user", "assistant", "tool"}));
        QCOMPARE(result.error().messages.last().content, AgentRuntime::stoppedCallText());
        QCOMPARE(statuses(m_log, logIds(m_log).value(0)), QStringLiteral("pending running failure"));
        QCOMPARE(m_peer->requestCount(), 1);
    }

    void destroyingTheRuntimeEndsTheRun()
    {
        ChatServicePeer::Reply reply = ChatServicePeer::textReply("x");
        reply.stallAfter = 0;
        m_peer->enqueue(reply);
        connect(m_peer.get(), &ChatServicePeer::stalled, this, [this] { m_runtime.reset(); });
        const RunResult result = run(question());
        QVERIFY(!result.ok());
        QVERIFY(result.error().isCancellation());
        QVERIFY(!m_runtime);
    }

    void requestCarriesNoImagesAndCappedContents()
    {
        m_peer->enqueue(ChatServicePeer::textReply("seen"));
        const QString image = QStringLiteral("![s.png](data:image/png;base64,iVBORw0KGgoAAAANSUhEUg==)");
        QList<ChatMessage> history{ChatMessage::make(MessageRole::User, QString(30'000, u'o')),
                                   ChatMessage::make(MessageRole::Assistant, "fine"),
                                   ChatMessage::make(MessageRole::User, "see this:\n" + image + "\n[note]")};
        const RunResult result = run(history);
        QVERIFY(result.ok());
        QCOMPARE(result.value().at(2).content, history.at(2).content); // the run's list keeps the original

        const QByteArray body = m_peer->requests().value(0).body;
        QVERIFY(!body.contains("data:image"));
        const QJsonArray sent = m_peer->requests().value(0).json().value("messages").toArray();
        QCOMPARE(sent.size(), 4);
        QCOMPARE(sent[1].toObject().value("content").toString(),
                 QString(24'000, u'o') + agent::RequestContext::truncationSuffix());
        QCOMPARE(sent[3].toObject().value("content").toString(), QStringLiteral("see this:\n\n[note]"));
    }

    // A stopped run's fragments never show up after the stop, even while the
    // next run is streaming.
    void stoppedRunSendsNoLateFragments()
    {
        ChatServicePeer::Reply slow = ChatServicePeer::textReply("a b c d e f g h", 8);
        slow.splitAt.append(slow.body.indexOf("\n\n") + 2);
        slow.pieceSize = 40;
        slow.pieceDelayMs = 20;
        m_peer->enqueue(slow);
        m_peer->enqueue(ChatServicePeer::textReply("second run", 5));

        const QUuid first = QUuid::createUuid();
        const QUuid second = QUuid::createUuid();
        bool stopped = false;
        QList<std::pair<QUuid, bool>> seen; // run id, arrived after the stop
        QString secondText;
        std::optional<RunResult> secondResult;
        m_runtime->setOnStreamDelta([&](const QUuid &runId, const QString &text) {
            seen.append({runId, stopped});
            if (runId == second)
                secondText += text;
            if (runId == first && !stopped) {
                stopped = true;
                m_runtime->cancel(first);
                agent::RunRequest next;
                next.runId = second;
                next.bearerToken = "tok";
                next.history = question();
                QCoro::connect(m_runtime->run(next), this, [&](RunResult r) { secondResult.emplace(std::move(r)); });
            }
        });
        agent::RunRequest request;
        request.runId = first;
        request.bearerToken = "tok";
        request.history = question();
        const RunResult firstResult = testsupport::waitForTask(m_runtime->run(request));
        QVERIFY(!firstResult.ok());
        QVERIFY(firstResult.error().isCancellation());
        QTRY_VERIFY(secondResult.has_value());
        QVERIFY(secondResult->ok());
        QTest::qWait(200); // the first reply's remaining writes
        for (const auto &[runId, afterStop] : seen)
            QVERIFY(!(runId == first && afterStop));
        QCOMPARE(secondText, QStringLiteral("second run"));
    }

    void destroyingTheRuntimeAnswersAWaitingApproval()
    {
        setMode(model::ToolGuardMode::Ask);
        installApprovals();
        m_peer->enqueue(ChatServicePeer::toolCallReply({{"w1", "write_file", q("{'path':'b.txt','content':'b'}")}}));
        m_runtime->setOnToolLog([this](const QUuid &, const ToolLogEntry &entry) {
            if (entry.status == Status::Pending)
                QTimer::singleShot(30, this, [this] { m_runtime.reset(); });
        });
        const RunResult result = run(question());
        QVERIFY(!result.ok());
        QVERIFY(result.error().isCancellation());
        QCOMPARE(roles(result.error().messages), (QStringList{"user", "assistant", "tool"}));
        QVERIFY(!QFile::exists(m_project->filePath("b.txt")));
    }

    // The controller keeps what a stopped run really did from these reports,
    // so each must come right after its tool result, with only the answered
    // calls on the turn in hand.
    void roundCompletedReportsEachAnsweredCall()
    {
        setMode(model::ToolGuardMode::Ask); // no approval callback: the write is denied
        m_peer->enqueue(ChatServicePeer::toolCallReply(
            {{"w1", "write_file", q("{'path':'b.txt','content':'b'}")}, {"r1", "read_file", q("{'path':'a.txt'}")}},
            "Both."));
        m_peer->enqueue(ChatServicePeer::textReply("done"));
        QStringList trace;
        QList<QList<ChatMessage>> reports;
        m_runtime->setOnToolLog([&](const QUuid &, const ToolLogEntry &entry) {
            trace.append(entry.name + ':' + model::toRaw(entry.status));
        });
        m_runtime->setOnRoundCompleted([&](const QUuid &runId, const QList<ChatMessage> &soFar) {
            QCOMPARE(runId, m_runId);
            trace.append(QStringLiteral("round:%1").arg(soFar.size()));
            reports.append(soFar);
        });
        QList<ChatMessage> history = question();
        history.prepend(ChatMessage::make(MessageRole::System, "dropped"));
        const RunResult result = run(history);
        QVERIFY(result.ok());
        QCOMPARE(trace.join(' '), QStringLiteral("write_file:pending write_file:denied round:3 "
                                                 "read_file:pending read_file:running read_file:success round:4"));
        QCOMPARE(reports.size(), 2);
        QCOMPARE(roles(reports[0]), (QStringList{"user", "assistant", "tool"}));
        QCOMPARE(reports[0][1].toolCalls->size(), 1);
        QCOMPARE(reports[0][1].toolCalls->at(0).id, QStringLiteral("w1"));
        QCOMPARE(reports[0][2].content, AgentRuntime::userDeniedText());
        QCOMPARE(reports[1][1].toolCalls->size(), 2);
        QCOMPARE(reports[1], result.value().mid(0, 4)); // the same messages the run returns
    }

    void emptyTurnStillAddsAMessage()
    {
        m_peer->enqueue(ChatServicePeer::textReply(QString()));
        bool reported = false;
        m_runtime->setOnRoundCompleted([&](const QUuid &, const QList<ChatMessage> &) { reported = true; });
        const RunResult result = run(question());
        QVERIFY(result.ok());
        QCOMPARE(roles(result.value()), (QStringList{"user", "assistant"}));
        QCOMPARE(result.value().last().content, QString());
        QVERIFY(!result.value().last().toolCalls.has_value());
        QVERIFY(!reported); // no tool result, no report
    }

    // A router made without a project manager used to crash the approval.
    void approvalWithoutWorkspaceManager()
    {
        agent::ToolRouter tools(nullptr);
        AgentRuntime runtime(tools, *m_policy, m_network, m_peer->endpoint());
        setMode(model::ToolGuardMode::Ask);
        QList<model::PendingApproval> asked;
        runtime.setOnPendingApproval([&](QUuid, model::PendingApproval approval) -> QCoro::Task<bool> {
            asked.append(approval);
            co_return false;
        });
        m_peer->enqueue(ChatServicePeer::toolCallReply({{"s1", "run_shell", q("{'command':'ls'}")}}));
        m_peer->enqueue(ChatServicePeer::textReply("ok"));
        agent::RunRequest request;
        request.runId = m_runId;
        request.bearerToken = QStringLiteral("tok");
        request.history = question();
        const RunResult result = testsupport::waitForTask(runtime.run(request));
        QVERIFY(result.ok());
        QCOMPARE(asked.size(), 1);
        QCOMPARE(asked[0].summary, QStringLiteral("run_shell"));
        QCOMPARE(asked[0].risk, model::ToolRisk::Shell);
        QCOMPARE(result.value()[2].content, AgentRuntime::userDeniedText());
    }

    void destroyingTheRuntimeInsideADelta()
    {
        m_peer->enqueue(ChatServicePeer::textReply("abcdef", 6));
        QString handed;
        m_runtime->setOnStreamDelta([this, &handed](const QUuid &, const QString &text) {
            handed = text;
            m_runtime.reset();
        });
        const RunResult result = run(question());
        QVERIFY(!m_runtime);
        QVERIFY(!result.ok());
        QVERIFY(result.error().isCancellation());
        QVERIFY(!handed.isEmpty());
        QCOMPARE(result.error().unfinishedText, handed);
    }

    // A handler may delete the runtime while it is being called; the run
    // must then end without touching it again.
    void destroyingTheRuntimeInsideAHandler_data()
    {
        QTest::addColumn<QString>("when");
        QTest::addColumn<QStringList>("kept");
        QTest::newRow("log-pending") << "pending" << QStringList{"user"};
        QTest::newRow("log-running") << "running" << QStringList{"user"};
        QTest::newRow("log-success") << "success" << QStringList{"user", "assistant", "tool"};
        QTest::newRow("round-completed") << "round" << QStringList{"user", "assistant", "tool"};
    }

    void destroyingTheRuntimeInsideAHandler()
    {
        QFETCH(QString, when);
        QFETCH(QStringList, kept);
        m_peer->enqueue(ChatServicePeer::toolCallReply({{"c1", "list_dir", "{}"}, {"c2", "list_dir", "{}"}}));
        m_peer->enqueue(ChatServicePeer::textReply("never"));
        m_runtime->setOnToolLog([this, when](const QUuid &, const ToolLogEntry &entry) {
            if (model::toRaw(entry.status) == when)
                m_runtime.reset();
        });
        m_runtime->setOnRoundCompleted([this, when](const QUuid &, const QList<ChatMessage> &) {
            if (when == QLatin1String("round"))
                m_runtime.reset();
        });
        const RunResult result = run(question());
        QVERIFY(!m_runtime);
        QVERIFY(!result.ok());
        QVERIFY(result.error().isCancellation());
        QCOMPARE(roles(result.error().messages), kept);
        QCOMPARE(m_peer->requestCount(), 1);
    }

    void clientFailurePassesThrough()
    {
        m_peer->enqueue(ChatServicePeer::errorReply(401, "expired"));
        const RunResult result = run(question());
        QVERIFY(!result.ok());
        QCOMPARE(result.error().error, agent::OVUClientError::httpStatus(401, "expired"));
        QCOMPARE(roles(result.error().messages), QStringList{"user"});
    }
};

MOONSHELF_TEST_GUILESS_MAIN(TestAgentRuntime)
#include "tst_agent_runtime.moc"
