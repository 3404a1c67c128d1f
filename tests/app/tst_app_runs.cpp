#include "AppTestKit.h"

#include "agent/AgentRuntime.h"
#include "agent/stream/OVUClientError.h"
#include "agent/files/WorkspaceManager.h"
#include "app/SessionListModel.h"
#include "auth/AuthError.h"
#include "model/ConversationStore.h"
#include "support/MarkedProcess.h"
#include "support/PoolHold.h"
#include "support/TaskWait.h"
#include "support/TestMain.h"

#include <QDir>
#include <QElapsedTimer>
#include <QJsonArray>
#include <QJsonObject>

#include <csignal>

using app::AppViewModel;
using app::LiveActivity;
using apptest::Harness;
using apptest::roles;
using model::ChatMessage;
using Peer = testsupport::ChatServicePeer;
using Status = model::ToolLogEntry::Status;

namespace {

const QString kStopMark = QStringLiteral("\n\n*(stopped)*");
const QString kIncompleteMark = QStringLiteral("\n\n*(incomplete)*");
const QString kCancelled = QStringLiteral("Command cancelled");

// Streams `first`, then goes silent with the connection open.
Peer::Reply stallingText(const QString &first)
{
    const QByteArray head = Peer::event(Peer::contentChunk(first));
    Peer::Reply reply = Peer::sseReply(head + Peer::event(Peer::contentChunk(QStringLiteral("never")))
                                       + Peer::event(Peer::finishChunk(QStringLiteral("stop"))) + Peer::doneEvent());
    reply.stallAfter = head.size();
    return reply;
}

// Streams `first`, then ends the body without an end mark.
Peer::Reply cutText(const QString &first)
{
    const QByteArray head = Peer::event(Peer::contentChunk(first));
    Peer::Reply reply = Peer::sseReply(head + Peer::event(Peer::contentChunk(QStringLiteral("never"))));
    reply.framing = Peer::Framing::CloseDelimited;
    reply.closeAfter = head.size();
    return reply;
}

QString json(const QJsonObject &object)
{
    return QString::fromUtf8(QJsonDocument(object).toJson(QJsonDocument::Compact));
}

// Streams `first`, then reports an error in the stream.
Peer::Reply failingText(const QString &first)
{
    return Peer::sseReply(Peer::event(Peer::contentChunk(first)) + "data: {\"error\":{\"message\":\"boom\"}}\n\n");
}

// Whether every tool call the request carries is answered by a tool message
// before the next assistant or user message, as the service requires.
bool everyCallAnswered(const Peer::Request &request)
{
    const QJsonArray messages = request.json().value(QStringLiteral("messages")).toArray();
    QStringList open;
    for (const QJsonValue &value : messages) {
        const QJsonObject m = value.toObject();
        const QString role = m.value(QStringLiteral("role")).toString();
        if (role == QStringLiteral("tool")) {
            if (!open.removeOne(m.value(QStringLiteral("tool_call_id")).toString()))
                return false;
            continue;
        }
        if (!open.isEmpty())
            return false;
        for (const QJsonValue &call : m.value(QStringLiteral("tool_calls")).toArray())
            open.append(call.toObject().value(QStringLiteral("id")).toString());
    }
    return open.isEmpty();
}

QString lastUserContent(const Peer::Request &request)
{
    const QJsonArray messages = request.json().value(QStringLiteral("messages")).toArray();
    for (qsizetype i = messages.size() - 1; i >= 0; --i) {
        const QJsonObject m = messages.at(i).toObject();
        if (m.value(QStringLiteral("role")).toString() == QStringLiteral("user"))
            return m.value(QStringLiteral("content")).toString();
    }
    return {};
}

QStringList contents(const QList<ChatMessage> &messages)
{
    QStringList out;
    for (const ChatMessage &m : messages)
        out.append(m.content);
    return out;
}

QUuid selected(AppViewModel &vm)
{
    return *vm.conversations().selectedConversationID();
}

} // namespace

class TestAppRuns : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void sendStreamsAndStores()
    {
        Harness h;
        AppViewModel &vm = h.makeInProject();
        h.peer().enqueue(Peer::textReply(QStringLiteral("Hello there, friend."), 4));
        QVERIFY(vm.attachImageData(apptest::pngBytes(1), QStringLiteral("Screenshot.png")));
        const QString stagedPath = vm.attachments().first().url.toLocalFile();
        QVERIFY(QFile::exists(stagedPath));
        vm.setDraft(QStringLiteral("  hi  "));
        QStringList seen;
        connect(&vm, &AppViewModel::streamingTextChanged, &vm, [&] { seen.append(vm.streamingText()); });
        const QUuid conversation = selected(vm);

        vm.send();
        QVERIFY(vm.isRunning());
        QCOMPARE(vm.draft(), QString());
        QVERIFY(vm.attachments().isEmpty());
        QCOMPARE(vm.liveActivity(), LiveActivity::thinking());
        QCOMPARE(vm.runConversationID(), conversation);
        QTRY_VERIFY(!vm.isRunning());
        QVERIFY(!QFile::exists(stagedPath)); // read for the model, then removed

        QVERIFY(!seen.isEmpty()); // announced at most once per frame
        QVERIFY(seen.contains(QStringLiteral("Hello there, friend.")));
        QCOMPARE(vm.streamingText(), QString());
        QVERIFY(!vm.errorMessage());
        const QList<ChatMessage> stored = h.storedMessages(conversation);
        QCOMPARE(roles(stored), (QStringList{"user", "assistant"}));
        QVERIFY(stored[0].content.startsWith(QStringLiteral("hi\n\n---\n**Attached files**")));
        QVERIFY(stored[0].content.contains(QStringLiteral("_(compressed ")));
        QVERIFY(!stored[0].content.contains(QStringLiteral("data:image")));
        QCOMPARE(stored[1].content, QStringLiteral("Hello there, friend."));
        // The model was sent the text composed with the image, not the stored one.
        QCOMPARE(h.peer().requestCount(), 1);
        QVERIFY(lastUserContent(h.peer().requests()[0]).contains(QStringLiteral("_(compressed ")));
        QVERIFY(!lastUserContent(h.peer().requests()[0]).contains(QStringLiteral("_(image staged ")));
        QCOMPARE(h.peer().requests()[0].headers.value("authorization"), QByteArray("Bearer test-token"));
    }

    // Inline images are read at send(), so their staged files go at once;
    // the encoding runs on a worker while the run already counts as running.
    void imagesReadAtSendComposedOffThread_data()
    {
        QTest::addColumn<QString>("during"); // what happens while the model's text is composed
        QTest::newRow("nothing") << "nothing";
        QTest::newRow("stop ends the run at once, nothing sent") << "stop";
        QTest::newRow("second send stops first, order kept") << "send";
        QTest::newRow("clearing new attachments spares the sent images") << "clear";
    }

    void imagesReadAtSendComposedOffThread()
    {
        QFETCH(QString, during);
        Harness h;
        AppViewModel &vm = h.makeInProject();
        h.peer().setFallback(Peer::textReply(QStringLiteral("Seen.")));
        for (int i = 1; i <= 4; ++i)
            QVERIFY(vm.attachImageData(apptest::pngBytes(i), QStringLiteral("Screenshot.png")));
        const QUuid conversation = selected(vm);
        vm.setDraft(QStringLiteral("look"));
        // The stop and the second send must come while the text is still
        // being composed: the worker waits until they are done. (Attaching
        // needs the pool itself, so the clearing row is not held.)
        std::optional<testsupport::PoolHold> composing;
        if (during == "stop" || during == "send")
            composing.emplace();
        vm.send();
        // Deleted by send() itself, as the user message is stored.
        QVERIFY(QDir(h.stagingPath()).entryList(QDir::Files).isEmpty());
        QVERIFY(vm.isRunning());
        QCOMPARE(vm.runConversationID(), conversation);
        const QString first = h.storedMessages(conversation).value(0).content;
        QVERIFY(first.startsWith(QStringLiteral("look\n\n---\n**Attached files**")));
        QCOMPARE(first.count(QStringLiteral("_(image staged ")), 4);

        if (during == "stop") {
            vm.stop();
            QVERIFY(!vm.isRunning());
            QVERIFY(!vm.runConversationID());
        } else if (during == "send") {
            vm.setDraft(QStringLiteral("second"));
            vm.send();
            QVERIFY(vm.isRunning());
        } else if (during == "clear") {
            QVERIFY(vm.attachImageData(apptest::pngBytes(9), QStringLiteral("Screenshot.png")));
            vm.clearAttachments();
        }
        composing.reset();
        QTRY_VERIFY(!vm.isRunning());
        // A request wrongly sent after the composition would be seen by now.
        QThreadPool::globalInstance()->waitForDone();
        QTest::qWait(100);
        QVERIFY(!vm.errorMessage());
        QVERIFY(QDir(h.stagingPath()).entryList(QDir::Files).isEmpty());

        const QList<ChatMessage> stored = h.storedMessages(conversation);
        if (during == "stop") {
            QCOMPARE(h.peer().requestCount(), 0);
            QCOMPARE(contents(stored), QStringList{first});
            return;
        }
        QCOMPARE(h.peer().requestCount(), 1);
        const QString sent = lastUserContent(h.peer().requests()[0]);
        if (during == "send") {
            // The first message, never run, stays as stored; the second follows it.
            QCOMPARE(contents(stored), (QStringList{first, QStringLiteral("second"), QStringLiteral("Seen.")}));
            QCOMPARE(sent, QStringLiteral("second"));
            return;
        }
        // The notes of images that were inlined (the request itself leaves the
        // pictures out): their bytes were read before the files went.
        QCOMPARE(sent.count(QStringLiteral("_(compressed ")), 4);
        QVERIFY(!sent.contains(QStringLiteral("_(image staged ")));
        QCOMPARE(roles(stored), (QStringList{"user", "assistant"}));
        QVERIFY(!stored[0].content.contains(QStringLiteral("data:image")));
    }

    void runningBeforeTheMessageIsStored()
    {
        Harness h;
        AppViewModel &vm = h.make();
        h.peer().enqueue(Peer::textReply(QStringLiteral("ok")));
        std::optional<bool> runningAtAppend;
        std::optional<QUuid> sessionAtAppend;
        connect(&vm.conversations(), &model::ConversationStore::conversationsChanged, &vm, [&] {
            if (!runningAtAppend) {
                runningAtAppend = vm.isRunning();
                sessionAtAppend = vm.runConversationID();
            }
        });
        const QUuid conversation = selected(vm);
        vm.setDraft(QStringLiteral("go"));
        vm.send();
        QCOMPARE(runningAtAppend, std::optional<bool>(true));
        QCOMPARE(sessionAtAppend, std::optional<QUuid>(conversation));
        QTRY_VERIFY(!vm.isRunning());
    }

    void failureTexts_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<QString>("error");
        QTest::addColumn<QStringList>("stored");
        QTest::addColumn<bool>("showSettings");
        QTest::addColumn<int>("requests");

        QTest::newRow("service error shown") << "http" << QStringLiteral("Ovu API error 500: overloaded")
                                             << QStringList{"go"} << false << 1;
        QTest::newRow("cut stream marks the partial incomplete")
            << "cut" << agent::OVUClientError::incompleteStream().description()
            << QStringList{"go", "Half an ans" + kIncompleteMark} << false << 1;
        QTest::newRow("error mid-stream marks the partial incomplete")
            << "stream-error" << QStringLiteral("Ovu API reported an error during the reply: boom")
            << QStringList{"go", "Half an ans" + kIncompleteMark} << false << 1;
        QTest::newRow("cut inside an inline image keeps no image data")
            << "cut-image" << agent::OVUClientError::incompleteStream().description()
            << QStringList{"go", "See " + kIncompleteMark} << false << 1;
        QTest::newRow("whole inline image in a cut reply is removed")
            << "cut-whole-image" << agent::OVUClientError::incompleteStream().description()
            << QStringList{"go", "See \nand " + kIncompleteMark} << false << 1;
        QTest::newRow("sign-in failure opens settings")
            << "signin" << auth::AuthError::notSignedIn().description() << QStringList{"go"} << true << 0;
        // The service refusing the credential opens the way to sign in again.
        QTest::newRow("401 opens settings")
            << "401" << QStringLiteral("Auth failed (401). Sign in with Moonshelf again in Settings. Details: expired")
            << QStringList{"go"} << true << 1;
        QTest::newRow("403 does not") << "403"
                                      << QStringLiteral("Ovu denied access (403). Your Moonshelf session may lack API "
                                                        "entitlement for this model, or the subscription needs re-auth. "
                                                        "Details: no")
                                      << QStringList{"go"} << false << 1;
    }

    void failureTexts()
    {
        QFETCH(QString, kind);
        QFETCH(QString, error);
        QFETCH(QStringList, stored);
        QFETCH(bool, showSettings);
        QFETCH(int, requests);

        Harness h;
        if (kind == "http")
            h.peer().enqueue(Peer::errorReply(500, "overloaded"));
        else if (kind == "401")
            h.peer().enqueue(Peer::errorReply(401, R"({"error":{"message":"expired"}})"));
        else if (kind == "403")
            h.peer().enqueue(Peer::errorReply(403, "no"));
        else if (kind == "cut")
            h.peer().enqueue(cutText(QStringLiteral("Half an ans")));
        else if (kind == "stream-error")
            h.peer().enqueue(failingText(QStringLiteral("Half an ans")));
        else if (kind == "cut-image")
            h.peer().enqueue(cutText(QStringLiteral("See ![a](data:image/png;base64,iVBORw0KGgoAAAA")));
        else if (kind == "cut-whole-image")
            h.peer().enqueue(cutText(QStringLiteral("See ![a](data:image/png;base64,iVBORw0KGgo=)\nand ")));
        else
            h.signIn().failure = app::TokenFailure{auth::AuthError::notSignedIn().description(), true};
        AppViewModel &vm = h.make();
        const QUuid conversation = selected(vm);
        vm.setDraft(QStringLiteral("go"));
        vm.send();
        QTRY_VERIFY(!vm.isRunning());

        QCOMPARE(vm.errorMessage(), std::optional<QString>(error));
        QCOMPARE(vm.showSettings(), showSettings);
        // At the section where one signs in.
        QCOMPARE(vm.takeSettingsSection(),
                 showSettings ? std::optional(app::SettingsSection::signIn) : std::nullopt);
        QCOMPARE(h.peer().requestCount(), requests);
        QCOMPARE(contents(h.storedMessages(conversation)), stored);
        QCOMPARE(vm.streamingText(), QString());
        // The next send clears the old error.
        h.signIn().failure.reset();
        h.peer().enqueue(Peer::textReply(QStringLiteral("ok")));
        vm.setDraft(QStringLiteral("again"));
        vm.send();
        QVERIFY(!vm.errorMessage());
        QTRY_VERIFY(!vm.isRunning());
    }

    void stopAtEachSuspensionPoint_data()
    {
        QTest::addColumn<QString>("point");
        QTest::addColumn<QStringList>("stored");
        QTest::newRow("waiting for the token sends nothing") << "token" << QStringList{"go"};
        QTest::newRow("streaming keeps partial with mark") << "stream" << QStringList{"go", "partial " + kStopMark};
        QTest::newRow("approval is denied and partial kept")
            << "approval" << QStringList{"go", "Let me write." + kStopMark};
        QTest::newRow("running shell is ended, kept with its result, and the turn marked stopped")
            << "shell" << QStringList{"go", "", kCancelled, kStopMark.trimmed()};
    }

    void stopAtEachSuspensionPoint()
    {
        QFETCH(QString, point);
        QFETCH(QStringList, stored);

        Harness h;
        AppViewModel &vm = h.makeInProject();
        const QString pidFile = h.projectPath() + QStringLiteral("/pid");
        // Found by the pid it writes, also when that is a pid of its sandbox.
        MarkedProcess command;
        if (point == "token") {
            h.signIn().hold = true;
        } else if (point == "stream") {
            h.peer().enqueue(stallingText(QStringLiteral("partial ")));
        } else if (point == "approval") {
            vm.setToolGuard(model::ToolGuardMode::Ask);
            h.peer().enqueue(Peer::toolCallReply(
                {{"c1", "write_file", json({{"path", "new.txt"}, {"content", "x"}})}}, QStringLiteral("Let me write.")));
        } else {
            vm.setToolGuard(model::ToolGuardMode::Yolo);
            h.peer().enqueue(Peer::toolCallReply({{"c1", "run_shell", json({{"command", command.becomeIt(pidFile)}})}}));
        }
        h.peer().setFallback(Peer::textReply(QStringLiteral("should never be asked")));
        const QUuid conversation = selected(vm);
        vm.setDraft(QStringLiteral("go"));
        vm.send();

        if (point == "token") {
            QTRY_VERIFY(h.signIn().held.has_value());
        } else if (point == "stream") {
            QTRY_COMPARE(vm.streamingText(), QStringLiteral("partial "));
            QCOMPARE(vm.liveActivity(), LiveActivity::writing());
        } else if (point == "approval") {
            QTRY_VERIFY(vm.pendingApproval().has_value());
            QCOMPARE(vm.pendingApproval()->risk, model::ToolRisk::Write);
            QCOMPARE(vm.liveActivity(), LiveActivity::waitingApproval());
        } else {
            QTRY_VERIFY((command.readPid(pidFile), command.running()));
            QCOMPARE(vm.liveActivity(), LiveActivity::working(QStringLiteral("run_shell")));
        }

        vm.stop();
        QElapsedTimer sinceStop;
        sinceStop.start();
        QVERIFY(!vm.isRunning());
        QVERIFY(!vm.pendingApproval());
        QCOMPARE(vm.streamingText(), QString());
        // Stored at once, before anything else can be appended.
        QCOMPARE(contents(h.storedMessages(conversation)), stored);
        if (point == "shell") {
            // The started command stays in history, answered.
            const QList<ChatMessage> kept = h.storedMessages(conversation);
            QCOMPARE(roles(kept), (QStringList{"user", "assistant", "tool", "assistant"}));
            QCOMPARE(kept[1].toolCalls.value_or(QList<model::ToolCallRecord>{}).size(), 1);
            QCOMPARE(kept[1].toolCalls->first().name, QStringLiteral("run_shell"));
            QCOMPARE(kept[2].toolCallId, std::optional<QString>(QStringLiteral("c1")));
        }

        if (point == "shell") {
            while (command.running() && sinceStop.elapsed() < 5000)
                QTest::qWait(10);
            QVERIFY2(sinceStop.elapsed() <= 2100, qPrintable(QString::number(sinceStop.elapsed())));
        }
        h.releaseToken();
        QTest::qWait(150);
        if (point == "approval" || point == "shell")
            QTRY_VERIFY(vm.toolLog().first().status == Status::Denied || vm.toolLog().first().status == Status::Failure);
        // The stopped run writes nothing more and asks nothing more.
        QCOMPARE(contents(h.storedMessages(conversation)), stored);
        QVERIFY(!vm.errorMessage());
        QVERIFY(!vm.isRunning());
        QCOMPARE(h.peer().requestCount(), point == "token" ? 0 : 1);
        QVERIFY(!QFile::exists(h.projectPath() + "/new.txt"));
    }

    void earlyEndKeepsFinishedRounds_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<QStringList>("roles");
        QTest::addColumn<QString>("last");
        QTest::addColumn<int>("callsKept");
        QTest::newRow("stop while the next turn streams")
            << "stop-stream" << QStringList{"user", "assistant", "tool", "assistant"} << "Now the " + kStopMark << 1;
        QTest::newRow("stop with the second call of a turn unanswered carries the mark")
            << "stop-approval" << QStringList{"user", "assistant", "tool", "assistant"} << kStopMark.trimmed() << 1;
        QTest::newRow("service failure after a round")
            << "fail" << QStringList{"user", "assistant", "tool"} << QString() << 1;
        QTest::newRow("stop during the turn's shell command keeps it answered and carries the mark")
            << "stop-shell" << QStringList{"user", "assistant", "tool", "tool", "assistant"} << kStopMark.trimmed()
            << 2;
        QTest::newRow("failure after a partial reply marks it")
            << "fail-stream" << QStringList{"user", "assistant", "tool", "assistant"} << "Now the " + kIncompleteMark
            << 1;
    }

    void earlyEndKeepsFinishedRounds()
    {
        QFETCH(QString, kind);
        QFETCH(QStringList, roles);
        QFETCH(QString, last);
        QFETCH(int, callsKept);

        Harness h;
        AppViewModel &vm = h.makeInProject();
        h.writeProjectFile("a.txt", "alpha\n");
        vm.setToolGuard(kind == "stop-shell" ? model::ToolGuardMode::Yolo : model::ToolGuardMode::Ask);
        const QString read = json({{"path", "a.txt"}});
        if (kind == "stop-shell") {
            h.peer().enqueue(Peer::toolCallReply(
                {{"c1", "read_file", read}, {"c2", "run_shell", json({{"command", "sleep 30"}})}},
                QStringLiteral("Two things.")));
        } else if (kind == "fail-stream") {
            h.peer().enqueue(Peer::toolCallReply({{"c1", "read_file", read}}, QStringLiteral("Reading.")));
            h.peer().enqueue(cutText(QStringLiteral("Now the ")));
        } else if (kind == "stop-approval") {
            h.peer().enqueue(Peer::toolCallReply(
                {{"c1", "read_file", read}, {"c2", "write_file", json({{"path", "b.txt"}, {"content", "x"}})}},
                QStringLiteral("Two things.")));
        } else {
            h.peer().enqueue(Peer::toolCallReply({{"c1", "read_file", read}}, QStringLiteral("Reading.")));
            h.peer().enqueue(kind == "fail" ? Peer::errorReply(500, "overloaded") : stallingText("Now the "));
        }
        const QUuid conversation = selected(vm);
        vm.setDraft(QStringLiteral("go"));
        vm.send();
        if (kind == "stop-stream")
            QTRY_COMPARE(vm.streamingText(), QStringLiteral("Reading.Now the "));
        else if (kind == "stop-approval")
            QTRY_VERIFY(vm.pendingApproval().has_value());
        else if (kind == "stop-shell")
            QTRY_COMPARE(vm.liveActivity(), LiveActivity::working(QStringLiteral("run_shell")));
        if (kind.startsWith("stop"))
            vm.stop();
        else
            QTRY_VERIFY(!vm.isRunning());

        const QList<ChatMessage> stored = h.storedMessages(conversation);
        QCOMPARE(apptest::roles(stored), roles);
        QCOMPARE(stored[1].toolCalls.value_or(QList<model::ToolCallRecord>{}).size(), callsKept);
        QCOMPARE(stored[2].toolCallId, std::optional<QString>(QStringLiteral("c1")));
        QVERIFY(stored[2].content.contains("alpha"));
        if (!last.isEmpty())
            QCOMPARE(stored.last().content, last);
        if (kind == "stop-shell")
            QCOMPARE(stored[3].content, kCancelled);
        if (kind == "fail")
            QCOMPARE(vm.errorMessage(), std::optional<QString>(QStringLiteral("Ovu API error 500: overloaded")));

        // The next exchange follows what was kept, at once: a command still
        // ending is waited for, and the service gets a valid history.
        QStringList events;
        connect(&h.peer(), &Peer::requestReceived, &vm, [&] { events.append(QStringLiteral("request")); });
        connect(&vm, &AppViewModel::toolLogChanged, &vm, [&] {
            if (vm.toolLog().first().status == Status::Failure && !events.contains(QStringLiteral("command ended")))
                events.append(QStringLiteral("command ended"));
        });
        h.peer().enqueue(Peer::textReply(QStringLiteral("Fine.")));
        vm.setDraft(QStringLiteral("continue"));
        vm.send();
        QTRY_VERIFY_WITH_TIMEOUT(!vm.isRunning(), 10000);
        QCOMPARE(h.storedMessages(conversation).mid(0, stored.size()), stored);
        QCOMPARE(h.storedMessages(conversation).last().content, QStringLiteral("Fine."));
        const Peer::Request next = h.peer().requests().last();
        QVERIFY(everyCallAnswered(next));
        QCOMPARE(lastUserContent(next), QStringLiteral("continue"));
        if (kind == "stop-shell")
            QCOMPARE(events, (QStringList{"command ended", "request"}));
        else
            QCOMPARE(events, QStringList{"request"});
    }

    void sendWhileStreamingStopsFirst()
    {
        Harness h;
        AppViewModel &vm = h.make();
        h.peer().enqueue(stallingText(QStringLiteral("partial ")));
        h.peer().enqueue(Peer::textReply(QStringLiteral("Second answer.")));
        const QUuid conversation = selected(vm);
        vm.setDraft(QStringLiteral("first"));
        vm.send();
        QTRY_COMPARE(vm.streamingText(), QStringLiteral("partial "));
        vm.setDraft(QStringLiteral("second"));
        vm.send();
        QTRY_VERIFY(!vm.isRunning());
        const QStringList expected{"first", "partial " + kStopMark, "second", "Second answer."};
        QCOMPARE(contents(h.storedMessages(conversation)), expected);
        // The old run's late failure leaves no trace.
        h.peer().releaseStalls();
        QTest::qWait(150);
        QVERIFY(!vm.errorMessage());
        QCOMPARE(contents(h.storedMessages(conversation)), expected);
    }

    // Return pressed before the history is read: the message waits in the
    // composer and goes to the session the history restores, with nothing
    // of the history lost.
    void sendBeforeTheHistoryArrives()
    {
        Harness h;
        QUuid earlier;
        {
            AppViewModel &first = h.make();
            earlier = selected(first);
            first.conversations().appendMessage(earlier, ChatMessage::make(model::MessageRole::User,
                                                                          QStringLiteral("why is the build red")));
            first.newChat();
            first.conversations().select(earlier);
            h.destroy();
        }
        h.historyInBackground = true;
        AppViewModel &vm = h.makeInProject();
        QVERIFY(!vm.isHistoryLoaded());
        h.peer().enqueue(Peer::textReply(QStringLiteral("The header moved.")));
        vm.setDraft(QStringLiteral("and now?"));
        vm.send();
        QVERIFY(!vm.isRunning());
        QCOMPARE(vm.draft(), QStringLiteral("and now?"));

        QTRY_VERIFY(vm.isHistoryLoaded());
        QCOMPARE(vm.sessionModel().rowCount(), 2);
        QCOMPARE(vm.conversations().selectedConversationID(), std::optional(earlier));
        QTRY_VERIFY(!vm.isRunning());
        QCOMPARE(vm.draft(), QString());
        QCOMPARE(contents(h.storedMessages(earlier)),
                 (QStringList{"why is the build red", "and now?", "The header moved."}));
        QCOMPARE(h.storedConversations().size(), 2);
    }

    void runBelongsToItsSession_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<QStringList>("inRunSession"); // empty: the session is gone
        QTest::addColumn<int>("requests");
        QTest::newRow("result") << "result" << QStringList{"in A", "Answer."} << 1;
        QTest::newRow("failure keeps partial, marked")
            << "failure" << QStringList{"in A", "Half" + kIncompleteMark} << 1;
        QTest::newRow("stop keeps partial") << "stop" << QStringList{"in A", "partial " + kStopMark} << 1;
        QTest::newRow("deleted while waiting for token sends nothing") << "deleted-token" << QStringList{} << 0;
        QTest::newRow("deleted while streaming stops the run") << "deleted-stream" << QStringList{} << 1;
        QTest::newRow("deleted while waiting for approval denies it") << "deleted-approval" << QStringList{} << 1;
    }

    void runBelongsToItsSession()
    {
        QFETCH(QString, kind);
        QFETCH(QStringList, inRunSession);
        QFETCH(int, requests);

        Harness h;
        AppViewModel &vm = h.makeInProject();
        const QUuid a = selected(vm);
        vm.newChat();
        const QUuid b = selected(vm);
        vm.conversations().appendMessage(b, ChatMessage::make(model::MessageRole::User, QStringLiteral("keep me")));
        vm.conversations().select(a);

        if (kind == "result" || kind == "failure" || kind == "deleted-token")
            h.signIn().hold = true;
        if (kind == "result")
            h.peer().enqueue(Peer::textReply(QStringLiteral("Answer.")));
        else if (kind == "failure")
            h.peer().enqueue(cutText(QStringLiteral("Half")));
        else if (kind == "stop")
            h.peer().enqueue(stallingText(QStringLiteral("partial ")));
        else if (kind == "deleted-stream") {
            Peer::Reply slow = Peer::textReply(QStringLiteral("one two three four"), 4);
            slow.pieceSize = 40;
            slow.pieceDelayMs = 40;
            h.peer().enqueue(slow);
        } else if (kind == "deleted-approval") {
            vm.setToolGuard(model::ToolGuardMode::Ask);
            h.peer().enqueue(Peer::toolCallReply({{"c1", "write_file", json({{"path", "new.txt"}, {"content", "x"}})}},
                                                 QStringLiteral("Writing.")));
        }
        h.peer().setFallback(Peer::textReply(QStringLiteral("asked on behalf of a deleted session")));
        vm.setDraft(QStringLiteral("in A"));
        vm.send();

        if (kind == "stop" || kind == "deleted-stream")
            QTRY_VERIFY(!vm.streamingText().isEmpty());
        else if (kind == "deleted-approval")
            QTRY_VERIFY(vm.pendingApproval().has_value());
        else
            QTRY_VERIFY(h.signIn().held.has_value());

        if (kind.startsWith("deleted")) {
            // The run ends with its session, before anyone hears of the deletion.
            std::optional<bool> liveRunWhenHeard;
            connect(&vm.conversations(), &model::ConversationStore::conversationsChanged, &vm, [&] {
                if (!liveRunWhenHeard)
                    liveRunWhenHeard = vm.runConversationID().has_value();
            });
            vm.conversations().deleteConversation(a);
            QCOMPARE(liveRunWhenHeard, std::optional<bool>(false));
            QVERIFY(!vm.isRunning());
            QVERIFY(!vm.runConversationID());
            QVERIFY(!vm.pendingApproval());
            QCOMPARE(vm.streamingText(), QString());
        } else {
            vm.conversations().select(b);
            QCOMPARE(vm.runConversationID(), a);
        }
        if (kind == "stop")
            vm.stop();
        h.releaseToken();
        QTRY_VERIFY(!vm.isRunning());
        QTest::qWait(kind.startsWith("deleted") ? 300 : 100);
        // Nothing of the stopped run shows up later, and a failure of the
        // run in A is not shown while B is selected: it is A's.
        QCOMPARE(vm.streamingText(), QString());
        QVERIFY(!vm.errorMessage());
        if (kind == "failure") {
            vm.conversations().select(a);
            QVERIFY(vm.errorMessage().has_value());
            QCOMPARE(vm.errorConversationID(), std::optional<QUuid>(a));
            vm.conversations().select(b);
        }
        QVERIFY(!QFile::exists(h.projectPath() + "/new.txt"));
        if (kind == "deleted-approval")
            QTRY_COMPARE(vm.toolLog().first().status, Status::Denied);

        QCOMPARE(h.peer().requestCount(), requests);
        if (inRunSession.isEmpty())
            QVERIFY(!h.storedConversation(a));
        else
            QCOMPARE(contents(h.storedMessages(a)), inRunSession);
        QCOMPARE(contents(h.storedMessages(b)), QStringList{"keep me"});
        QCOMPARE(h.storedConversations().size(), kind.startsWith("deleted") ? 1 : 2);
    }

    void newChatKeepsTheLiveReplyOfTheRun()
    {
        Harness h;
        AppViewModel &vm = h.make();
        h.peer().enqueue(stallingText(QStringLiteral("partial ")));
        const QUuid a = selected(vm);
        vm.setDraft(QStringLiteral("go"));
        vm.send();
        QTRY_COMPARE(vm.streamingText(), QStringLiteral("partial "));
        vm.newChat();
        QVERIFY(vm.isRunning());
        QCOMPARE(vm.runConversationID(), a);
        vm.stop();
        QCOMPARE(contents(h.storedMessages(a)), (QStringList{"go", "partial " + kStopMark}));
        QVERIFY(h.storedMessages(selected(vm)).isEmpty());
    }

    void approvalsWithAllowWrites()
    {
        Harness h;
        AppViewModel &vm = h.makeInProject();
        vm.setToolGuard(model::ToolGuardMode::Ask);
        h.peer().enqueue(Peer::toolCallReply({{"c1", "write_file", json({{"path", "a.txt"}, {"content", "one"}})}}));
        h.peer().enqueue(Peer::toolCallReply({{"c2", "write_file", json({{"path", "b.txt"}, {"content", "two"}})}}));
        h.peer().enqueue(Peer::textReply(QStringLiteral("Done.")));
        int asked = 0;
        connect(&vm, &AppViewModel::pendingApprovalChanged, &vm, [&] { asked += vm.pendingApproval() ? 1 : 0; });
        vm.setDraft(QStringLiteral("write two files"));
        vm.send();
        QTRY_VERIFY(vm.pendingApproval().has_value());
        QCOMPARE(vm.pendingApproval()->name, QStringLiteral("write_file"));
        vm.resolveApproval(true, true);
        QVERIFY(!vm.pendingApproval());
        QTRY_VERIFY(!vm.isRunning());
        QCOMPARE(asked, 1); // the second write did not ask
        QVERIFY(QFile::exists(h.projectPath() + "/a.txt"));
        QVERIFY(QFile::exists(h.projectPath() + "/b.txt"));
        QVERIFY(vm.allowsWritesForCurrentChat());

        vm.setToolGuard(model::ToolGuardMode::Balanced);
        QVERIFY(vm.allowsWritesForCurrentChat());
        // Another session does not inherit the allowance.
        const QUuid first = selected(vm);
        vm.conversations().newChat();
        QVERIFY(!vm.allowsWritesForCurrentChat());
        vm.resolveApproval(false, true);
        QVERIFY(vm.allowsWritesForCurrentChat());
        vm.conversations().select(first);
        QVERIFY(!vm.allowsWritesForCurrentChat());
        vm.resolveApproval(false, true);
        vm.newChat();
        QVERIFY(!vm.allowsWritesForCurrentChat());
        vm.resolveApproval(false, true);
        vm.setToolGuard(model::ToolGuardMode::Ask);
        QVERIFY(!vm.allowsWritesForCurrentChat());
    }

    void deniedApprovalReachesTheModel()
    {
        Harness h;
        AppViewModel &vm = h.makeInProject();
        vm.setToolGuard(model::ToolGuardMode::Ask);
        h.peer().enqueue(Peer::toolCallReply({{"c1", "write_file", json({{"path", "a.txt"}, {"content", "one"}})}}));
        h.peer().enqueue(Peer::textReply(QStringLiteral("Understood.")));
        const QUuid conversation = selected(vm);
        vm.setDraft(QStringLiteral("write"));
        const QUuid refresh = vm.fileTreeRefresh();
        vm.send();
        QTRY_VERIFY(vm.pendingApproval().has_value());
        vm.resolveApproval(false, false);
        QTRY_VERIFY(!vm.isRunning());
        // Answering again with nothing waiting changes nothing, so says nothing.
        int approvalNotices = 0;
        connect(&vm, &AppViewModel::pendingApprovalChanged, &vm, [&] { ++approvalNotices; });
        vm.resolveApproval(false, false);
        QCOMPARE(approvalNotices, 0);
        QVERIFY(!QFile::exists(h.projectPath() + "/a.txt"));
        QVERIFY(!vm.allowsWritesForCurrentChat());
        const QList<ChatMessage> stored = h.storedMessages(conversation);
        QCOMPARE(roles(stored), (QStringList{"user", "assistant", "tool", "assistant"}));
        QCOMPARE(stored[2].content, agent::AgentRuntime::userDeniedText());
        QCOMPARE(vm.toolLog().size(), 1);
        QCOMPARE(vm.toolLog().first().status, Status::Denied);
        QCOMPARE(vm.fileTreeRefresh(), refresh); // a denied call changed no file
    }

    void toolLogLinesUpdateInPlace()
    {
        Harness h;
        AppViewModel &vm = h.makeInProject();
        h.writeProjectFile("a.txt", "alpha\n");
        vm.setToolGuard(model::ToolGuardMode::Balanced);
        h.peer().enqueue(Peer::toolCallReply({{"c1", "read_file", json({{"path", "a.txt"}})}}));
        h.peer().enqueue(Peer::toolCallReply({{"c2", "read_file", json({{"path", "missing.txt"}})}}));
        h.peer().enqueue(Peer::textReply(QStringLiteral("Read.")));
        int refreshes = 0;
        connect(&vm, &AppViewModel::fileTreeRefreshChanged, &vm, [&] { ++refreshes; });
        vm.setDraft(QStringLiteral("read"));
        vm.send();
        QTRY_VERIFY(!vm.isRunning());
        QCOMPARE(vm.toolLog().size(), 2);
        QCOMPARE(vm.toolLog()[0].status, Status::Failure); // newest first
        QCOMPARE(vm.toolLog()[1].status, Status::Success);
        QCOMPARE(refreshes, 2);
        vm.newChat();
        QCOMPARE(vm.toolLog().size(), 2);
    }

    // A run's error belongs to its session: shown there, again when the
    // person comes back, until dismissed or retried; Retry retries that
    // session's run; the app's own errors show wherever the person is.
    void errorBelongsToItsSession_data()
    {
        QTest::addColumn<QString>("end");
        QTest::newRow("dismissed in its session") << "dismiss";
        QTest::newRow("retried from another session") << "retry";
        QTest::newRow("a new message in it") << "send";
        QTest::newRow("its session deleted") << "delete";
    }
    void errorBelongsToItsSession()
    {
        QFETCH(QString, end);
        Harness h;
        AppViewModel &vm = h.makeInProject();
        const QUuid a = selected(vm);
        h.peer().enqueue(Peer::errorReply(500, R"({"error":{"message":"overloaded"}})"));
        vm.setDraft(QStringLiteral("question in A"));
        vm.send();
        QTRY_VERIFY(!vm.isRunning());
        QCOMPARE(vm.errorMessage(), std::optional<QString>(QStringLiteral("Ovu API error 500: overloaded")));
        QCOMPARE(vm.errorConversationID(), std::optional<QUuid>(a));

        vm.newChat();
        const QUuid b = selected(vm);
        vm.conversations().appendMessage(b, ChatMessage::make(model::MessageRole::User, QStringLiteral("B asks")));
        QVERIFY(!vm.errorMessage());
        // The app's own error shows in any session; dismissing it leaves A's.
        vm.setErrorMessage(QStringLiteral("Could not save settings: disk full"));
        vm.conversations().select(a);
        QCOMPARE(vm.errorMessage(), std::optional<QString>(QStringLiteral("Could not save settings: disk full")));
        QVERIFY(!vm.errorConversationID());
        vm.setErrorMessage(std::nullopt);
        QCOMPARE(vm.errorMessage(), std::optional<QString>(QStringLiteral("Ovu API error 500: overloaded")));
        vm.conversations().select(b);
        QVERIFY(!vm.errorMessage());

        h.peer().enqueue(Peer::textReply(QStringLiteral("Answer in A.")));
        if (end == "dismiss") {
            vm.conversations().select(a);
            vm.setErrorMessage(std::nullopt);
        } else if (end == "retry") {
            QVERIFY(vm.retryLastExchange(a));
            QCOMPARE(selected(vm), a);
            QTRY_VERIFY(!vm.isRunning());
            QCOMPARE(lastUserContent(h.peer().requests().last()), QStringLiteral("question in A"));
            QCOMPARE(contents(h.storedMessages(a)), (QStringList{"question in A", "Answer in A."}));
            QCOMPARE(contents(h.storedMessages(b)), QStringList{"B asks"});
        } else if (end == "send") {
            vm.conversations().select(a);
            vm.setDraft(QStringLiteral("again"));
            vm.send();
            QTRY_VERIFY(!vm.isRunning());
        } else {
            vm.conversations().deleteConversation(a);
        }
        for (const QUuid &id : {a, b}) {
            vm.conversations().select(id);
            QVERIFY(!vm.errorMessage());
        }
    }

    void retryLeavesDraftAndAttachments()
    {
        Harness h;
        AppViewModel &vm = h.makeInProject();
        h.peer().enqueue(Peer::textReply(QStringLiteral("First.")));
        h.peer().enqueue(Peer::textReply(QStringLiteral("Second.")));
        const QUuid conversation = selected(vm);
        vm.setDraft(QStringLiteral("question"));
        vm.send();
        QTRY_VERIFY(!vm.isRunning());
        vm.setDraft(QStringLiteral("next thing"));
        QVERIFY(vm.attachFile(QUrl::fromLocalFile(h.writeProjectFile("n.txt", "note"))));

        vm.retryLastExchange();
        QVERIFY(vm.isRunning());
        QTRY_VERIFY(!vm.isRunning());
        QCOMPARE(lastUserContent(h.peer().requests().at(1)), QStringLiteral("question"));
        QCOMPARE(contents(h.storedMessages(conversation)), (QStringList{"question", "Second."}));
        QCOMPARE(vm.draft(), QStringLiteral("next thing"));
        QCOMPARE(vm.attachments().size(), 1);

        // Nothing to retry in a session without user messages.
        vm.newChat();
        vm.retryLastExchange();
        QVERIFY(!vm.isRunning());
        QCOMPARE(h.peer().requestCount(), 2);

        // A blank user message is not sent again, and what follows it stays.
        const QUuid blank = selected(vm);
        vm.conversations().appendMessage(blank, ChatMessage::make(model::MessageRole::User, QStringLiteral("  \n")));
        vm.conversations().appendMessage(blank, ChatMessage::make(model::MessageRole::Assistant, QStringLiteral("?")));
        vm.retryLastExchange();
        QVERIFY(!vm.isRunning());
        QCOMPARE(contents(h.storedMessages(blank)), (QStringList{"  \n", "?"}));
        QCOMPARE(h.peer().requestCount(), 2);
    }

    void projectChangeStopsRun()
    {
        Harness h;
        AppViewModel &vm = h.makeInProject();
        h.peer().enqueue(stallingText(QStringLiteral("partial ")));
        const QUuid conversation = selected(vm);
        vm.setDraft(QStringLiteral("go"));
        vm.send();
        QTRY_COMPARE(vm.streamingText(), QStringLiteral("partial "));
        QTemporaryDir other;
        // Views hear of the new folder only once the run is stopped.
        std::optional<bool> liveRunWhenHeard;
        connect(&vm.workspace(), &agent::WorkspaceManager::rootChanged, &vm, [&] {
            if (!liveRunWhenHeard)
                liveRunWhenHeard = vm.runConversationID().has_value();
        });
        vm.workspace().setWorkspace(other.path());
        QCOMPARE(liveRunWhenHeard, std::optional<bool>(false));
        QVERIFY(!vm.isRunning());
        QCOMPARE(contents(h.storedMessages(conversation)), (QStringList{"go", "partial " + kStopMark}));
    }

    void quittingEndsRunsAsStopDoes_data()
    {
        QTest::addColumn<QString>("point");
        QTest::addColumn<QStringList>("stored");
        QTest::addColumn<bool>("endsInTime");
        QTest::newRow("waiting for approval: denied, the partial kept")
            << "approval" << QStringList{"go", "Let me write." + kStopMark} << true;
        QTest::newRow("a command deaf to the polite signal: ended within its grace period")
            << "shell" << QStringList{"go", "", kCancelled, kStopMark.trimmed()} << true;
        QTest::newRow("a token that never comes: the quit waits no longer than asked")
            << "token" << QStringList{"go"} << false;
    }

    void quittingEndsRunsAsStopDoes()
    {
        QFETCH(QString, point);
        QFETCH(QStringList, stored);
        QFETCH(bool, endsInTime);
        Harness h;
        AppViewModel &vm = h.makeInProject();
        const QString pidFile = h.projectPath() + QStringLiteral("/pid");
        MarkedProcess command;
        if (point == "approval") {
            vm.setToolGuard(model::ToolGuardMode::Ask);
            h.peer().enqueue(Peer::toolCallReply(
                {{"c1", "write_file", json({{"path", "new.txt"}, {"content", "x"}})}}, QStringLiteral("Let me write.")));
        } else if (point == "shell") {
            vm.setToolGuard(model::ToolGuardMode::Yolo);
            h.peer().enqueue(Peer::toolCallReply({{"c1", "run_shell",
                json({{"command", "trap '' TERM; " + command.becomeIt(pidFile)}})}}));
        } else {
            h.signIn().hold = true;
        }
        h.peer().setFallback(Peer::textReply(QStringLiteral("should never be asked")));
        const QUuid conversation = selected(vm);
        vm.setDraft(QStringLiteral("go"));
        vm.send();
        if (point == "approval")
            QTRY_VERIFY(vm.pendingApproval().has_value());
        else if (point == "shell")
            QTRY_VERIFY((command.readPid(pidFile), command.running()));
        else
            QTRY_VERIFY(h.signIn().held.has_value());

        // Long enough that an end by the deadline cannot pass for a run
        // that really ended, except where nothing can end the run.
        const std::chrono::milliseconds within(endsInTime ? 60000 : 300);
        QElapsedTimer elapsed;
        elapsed.start();
        testsupport::waitForTask([&]() -> QCoro::Task<bool> {
            co_await vm.endRuns(within);
            co_return true;
        }());
        QVERIFY(!vm.isRunning());
        QVERIFY(!vm.pendingApproval());
        QCOMPARE(contents(h.storedMessages(conversation)), stored);
        if (endsInTime) {
            QVERIFY2(elapsed.elapsed() < 30000, qPrintable(QString::number(elapsed.elapsed())));
            // Heard before the run's last step returned, so already here.
            QVERIFY(vm.toolLog().first().status == Status::Denied || vm.toolLog().first().status == Status::Failure);
            QVERIFY(!command.running());
        } else {
            // A coarse timer may fire up to 5 % early.
            QVERIFY2(elapsed.elapsed() >= within.count() * 9 / 10, qPrintable(QString::number(elapsed.elapsed())));
        }
        QCOMPARE(h.peer().requestCount(), point == "token" ? 0 : 1);
        QVERIFY(!QFile::exists(h.projectPath() + "/new.txt"));
        h.releaseToken();
    }

    void destructorEndsRunWithoutWriting_data()
    {
        QTest::addColumn<QString>("point");
        QTest::newRow("streaming") << "stream";
        QTest::newRow("waiting for approval") << "approval";
        QTest::newRow("waiting for the token") << "token";
        QTest::newRow("waiting for a stopped command to end") << "settling";
    }

    void destructorEndsRunWithoutWriting()
    {
        QFETCH(QString, point);
        Harness h;
        AppViewModel &vm = h.makeInProject();
        const QString pidFile = h.projectPath() + QStringLiteral("/pid");
        MarkedProcess command;
        if (point == "stream") {
            h.peer().enqueue(stallingText(QStringLiteral("partial ")));
        } else if (point == "approval") {
            vm.setToolGuard(model::ToolGuardMode::Ask);
            h.peer().enqueue(Peer::toolCallReply({{"c1", "write_file", json({{"path", "a.txt"}, {"content", "1"}})}},
                                                 QStringLiteral("Writing.")));
        } else if (point == "settling") {
            // Ignores the polite signal, so it takes the grace period to end.
            vm.setToolGuard(model::ToolGuardMode::Yolo);
            h.peer().enqueue(Peer::toolCallReply({{"c1", "run_shell",
                json({{"command", "trap '' TERM; " + command.becomeIt(pidFile)}})}}));
        } else {
            h.signIn().hold = true;
        }
        vm.setDraft(QStringLiteral("go"));
        vm.send();
        if (point == "stream") {
            QTRY_VERIFY(!vm.streamingText().isEmpty());
        } else if (point == "approval") {
            QTRY_VERIFY(vm.pendingApproval().has_value());
        } else if (point == "settling") {
            QTRY_VERIFY((command.readPid(pidFile), command.running()));
            vm.stop();
            vm.setDraft(QStringLiteral("again"));
            vm.send(); // waits for the stopped command before asking the model
            QTest::qWait(50);
            QVERIFY(vm.isRunning());
        } else {
            QTRY_VERIFY(h.signIn().held.has_value());
        }
        const QList<model::Conversation> before = h.storedConversations();

        h.destroy();
        h.releaseToken();
        QTest::qWait(150);
        QCOMPARE(h.storedConversations(), before);
        if (point == "settling") {
            // The command still ends, within its grace period.
            QTRY_VERIFY_WITH_TIMEOUT(!command.running(), 5000);
        }
        QVERIFY(!QFile::exists(h.projectPath() + "/a.txt"));
        QCOMPARE(h.peer().requestCount(), point == "token" ? 0 : 1);
    }
};

MOONSHELF_TEST_GUILESS_MAIN(TestAppRuns)
#include "tst_app_runs.moc"
