#include "agent/stream/RequestContext.h"
#include "agent/SystemPrompt.h"
#include "platform/Graphemes.h"
#include "support/TestMain.h"

#include <QCryptographicHash>
#include <QJsonDocument>

using agent::RequestContext::buildPayload;
using agent::RequestContext::trimmedForAPI;
using model::ChatMessage;
using model::MessageRole;
using model::ToolCallRecord;

namespace {

// JSON written with single quotes, so it reads without escapes.
QByteArray q(const char *text)
{
    return QByteArray(text).replace('\'', '"');
}

ChatMessage msg(MessageRole role, const QString &content)
{
    return ChatMessage::make(role, content);
}

ChatMessage assistantWithCalls(const QString &content, const QList<ToolCallRecord> &calls)
{
    ChatMessage m = msg(MessageRole::Assistant, content);
    m.toolCalls = calls;
    return m;
}

ChatMessage toolResult(const QString &callId, const QString &content)
{
    ChatMessage m = msg(MessageRole::Tool, content);
    m.toolCallId = callId;
    return m;
}

const QString kImage = QStringLiteral("![shot.png](data:image/png;base64,iVBORw0KGgo\nAAAA==)");

} // namespace

class TestRequestContext : public QObject {
    Q_OBJECT

private slots:
    void systemPrompt()
    {
        const QString none = agent::systemPrompt(std::nullopt);
        QCOMPARE(agent::systemPrompt(QString()), none);
        QVERIFY(none.contains(QStringLiteral("independent third-party native Linux build environment (not an Ovu")));
        QVERIFY(!none.contains(QStringLiteral("macOS")));
        const QString noneSection = QString::fromUtf8(
            "ACTIVE PROJECT FOLDER: none\nAsk the user to open a project folder (click \xe2\x80\x9cNo project\xe2\x80\x9d "
            "under the composer, or Ctrl+O) before using file or shell tools.");
        const qsizetype at = none.indexOf(noneSection);
        QVERIFY(at > 0);
        // The base text (its original 1,062 characters less the 18 the port
        // rule removes) and the tool rules (747) frame the project section.
        QCOMPARE(at, 1044);
        QCOMPARE(none.size() - at - noneSection.size(), 747);
        QVERIFY(none.endsWith(QStringLiteral("- When using tools, think step-by-step and verify results.")));

        const QString blanks = agent::systemPrompt(QStringLiteral("  "));
        QVERIFY(blanks.contains(
            QStringLiteral("ACTIVE PROJECT FOLDER (already set by the user in Moonshelf Mac):\n  \n\nThis IS the working")));
        const QString project = agent::systemPrompt(QStringLiteral("/home/u/my \"proj\""));
        QVERIFY(project.contains(QStringLiteral("Moonshelf Mac):\n/home/u/my \"proj\"\n\nThis IS")));
        QVERIFY(project.contains(QString::fromUtf8("`QirvMac/Views/\xe2\x80\xa6`")));
        QCOMPARE(project.left(1044), none.left(1044));

        // Every byte of both forms: SHA-256 of the exact texts (with the
        // Linux wording and Ctrl+O), so a changed quote, dash or space fails.
        const auto sha = [](const QString &text) {
            return QCryptographicHash::hash(text.toUtf8(), QCryptographicHash::Sha256).toHex();
        };
        QCOMPARE(none.size(), 1941);
        QCOMPARE(sha(none), QByteArray("8ef9f74c1f44c7194feda794a2a602c90bc4f4fd5b923f6a70236508a63dde27"));
        const QString withPath = agent::systemPrompt(QStringLiteral("/home/u/p"));
        QCOMPARE(withPath.size(), 2439);
        QCOMPARE(sha(withPath), QByteArray("6a94cf872c1f37c5540f279d30291ced670b337480a92cedf61c1f5832fe4ac5"));
    }

    void contentCaps_data()
    {
        QTest::addColumn<int>("role");
        QTest::addColumn<QString>("content");
        QTest::addColumn<QString>("expected");
        const QString suffix = agent::RequestContext::truncationSuffix();
        QCOMPARE(platform::Graphemes::count(suffix), 32);
        QTest::newRow("user-at-cap-whole") << int(MessageRole::User) << QString(24'000, u'a') << QString(24'000, u'a');
        QTest::newRow("user-over-cap") << int(MessageRole::User) << QString(24'001, u'a') << QString(24'000, u'a') + suffix;
        QTest::newRow("tool-over-cap") << int(MessageRole::Tool) << QString(10'001, u'a') << QString(10'000, u'a') + suffix;
        // Counted as characters: a cut never splits a combining accent.
        const QString accented = QStringLiteral("e\u0301");
        QTest::newRow("graphemes-not-code-units")
            << int(MessageRole::Tool) << accented.repeated(10'001) << accented.repeated(10'000) + suffix;
        QTest::newRow("graphemes-at-cap-whole") << int(MessageRole::Tool) << accented.repeated(10'000)
                                                << accented.repeated(10'000);
        QTest::newRow("image-removed-newest") << int(MessageRole::User) << "look:\n" + kImage + "\nnote"
                                              << QStringLiteral("look:\n\nnote");
        QTest::newRow("image-other-capitals-kept")
            << int(MessageRole::User) << QString(kImage).replace("data:image", "Data:image")
            << QString(kImage).replace("data:image", "Data:image");
        QTest::newRow("image-removed-from-assistant") << int(MessageRole::Assistant) << "a" + kImage + kImage + "b"
                                                      << QStringLiteral("ab");
    }

    void contentCaps()
    {
        QFETCH(int, role);
        QFETCH(QString, content);
        QFETCH(QString, expected);
        const QList<ChatMessage> trimmed = trimmedForAPI({msg(MessageRole::User, "q"), msg(MessageRole(role), content)});
        QCOMPARE(trimmed.size(), 2);
        QCOMPARE(trimmed.last().content, expected);
    }

    void budgetKeepsNewestThatFit()
    {
        QList<ChatMessage> history;
        for (int i = 0; i < 12; ++i)
            history.append(msg(MessageRole::User, QString(24'500, QChar(u'a' + i))));
        const QList<ChatMessage> trimmed = trimmedForAPI(history);
        QCOMPARE(trimmed.size(), 9);
        QCOMPARE(trimmed.first().id, history.at(3).id);
        QCOMPARE(trimmed.last().id, history.last().id);
        QCOMPARE(history.first().content.size(), 24'500); // the input is untouched
    }

    void frontRepair_data()
    {
        QTest::addColumn<QList<ChatMessage>>("history");
        QTest::addColumn<QStringList>("roles");
        QTest::addColumn<QString>("firstContent");
        QTest::addColumn<bool>("firstHasCalls");

        const QString big(24'000, u'x');
        // The tool results fit, their assistant turn (long arguments) does not.
        const QString longArguments = "{\"p\":\"" + QString(10'000, u'y') + "\"}";
        QList<ChatMessage> orphanTools{assistantWithCalls("", {{"c1", "list_dir", longArguments}}), toolResult("c1", big),
                                       toolResult("c1", big)};
        for (int i = 0; i < 8; ++i)
            orphanTools.append(msg(MessageRole::User, big));
        QTest::newRow("orphan-tool-messages-dropped") << orphanTools << QStringList(8, "user") << big << false;

        QTest::newRow("only-tool-messages") << QList<ChatMessage>{toolResult("a", "x"), toolResult("b", "y")}
                                            << QStringList{} << QString() << false;
        QTest::newRow("unanswered-turn-first")
            << QList<ChatMessage>{assistantWithCalls("", {{"c1", "list_dir", "{}"}}), msg(MessageRole::User, "next")}
            << QStringList{"assistant", "user"} << agent::RequestContext::omittedToolTurnText() << false;
        QTest::newRow("unanswered-turn-with-text")
            << QList<ChatMessage>{assistantWithCalls("said", {{"c1", "list_dir", "{}"}}), msg(MessageRole::User, "n")}
            << QStringList{"assistant", "user"} << QStringLiteral("said") << false;
        QTest::newRow("answered-turn-kept")
            << QList<ChatMessage>{assistantWithCalls("", {{"c1", "list_dir", "{}"}}), toolResult("c1", "ok")}
            << QStringList{"assistant", "tool"} << QString() << true;
    }

    void frontRepair()
    {
        QFETCH(QList<ChatMessage>, history);
        QFETCH(QStringList, roles);
        QFETCH(QString, firstContent);
        QFETCH(bool, firstHasCalls);
        const QList<ChatMessage> trimmed = trimmedForAPI(history);
        QStringList got;
        for (const ChatMessage &m : trimmed)
            got.append(model::toRaw(m.role));
        QCOMPARE(got, roles);
        if (trimmed.isEmpty())
            return;
        QCOMPARE(trimmed.first().content, firstContent);
        QCOMPARE(trimmed.first().toolCalls.has_value(), firstHasCalls);
    }

    // A huge old write must not push the user's question out of the request.
    void hugeOldArgumentsKeepTheNewestUserMessage()
    {
        const QString hugeArguments = q("{'path':'a.txt','content':'") + QString(300'000, u'z') + q("'}");
        const QList<ChatMessage> history{
            msg(MessageRole::User, "older"),
            msg(MessageRole::User, "please write it"),
            assistantWithCalls("", {{"w1", "write_file", hugeArguments}, {"r1", "read_file", q("{'path':'a.txt'}")}}),
            toolResult("w1", "Wrote a.txt"),
            toolResult("r1", "zzz"),
        };
        const QList<ChatMessage> trimmed = trimmedForAPI(history);
        QCOMPARE(trimmed.size(), 5);
        QCOMPARE(trimmed.at(1).content, QStringLiteral("please write it"));
        const QList<ToolCallRecord> calls = trimmed.at(2).toolCalls.value();
        QCOMPARE(calls.size(), 2);
        QCOMPARE(calls.at(0).argumentsJSON, agent::RequestContext::omittedArgumentsJSON());
        QVERIFY(QJsonDocument::fromJson(calls.at(0).argumentsJSON.toUtf8()).isObject());
        QCOMPARE(calls.at(1).argumentsJSON, QString::fromUtf8(q("{'path':'a.txt'}"))); // short ones stay
        QCOMPARE(history.at(2).toolCalls->at(0).argumentsJSON, hugeArguments);     // the input is untouched

        // The newest message alone is kept whole, whatever its cost.
        const QList<ChatMessage> newestHuge{msg(MessageRole::User, "q"),
                                            assistantWithCalls("", {{"w1", "write_file", hugeArguments}})};
        const QList<ChatMessage> kept = trimmedForAPI(newestHuge);
        QCOMPARE(kept.size(), 2);
        QVERIFY(kept.at(1).toolCalls.has_value());
        QCOMPARE(kept.at(1).toolCalls->at(0).argumentsJSON, hugeArguments);
    }

    void wireForm()
    {
        const ChatMessage system = msg(MessageRole::System, "SYS");
        const QJsonArray systemOnly{QJsonObject{{"role", "system"}, {"content", "SYS"}}};
        QCOMPARE(buildPayload(system, {}), systemOnly);

        ChatMessage orphanTool = msg(MessageRole::Tool, "out");
        const QList<ChatMessage> conversation{
            msg(MessageRole::User, "hi"),
            assistantWithCalls("", {{"c1", "read_file", q("{'path':'x'}")}}),
            toolResult("c1", "data"),
            assistantWithCalls("text", {{"c2", "list_dir", "{}"}}),
            orphanTool,
            msg(MessageRole::Assistant, ""),
        };
        const QJsonArray payload = buildPayload(system, conversation);
        const QJsonArray expected{
            QJsonObject{{"role", "system"}, {"content", "SYS"}},
            QJsonObject{{"role", "user"}, {"content", "hi"}},
            QJsonObject{{"role", "assistant"},
                        {"content", QJsonValue::Null},
                        {"tool_calls",
                         QJsonArray{QJsonObject{{"id", "c1"},
                                                {"type", "function"},
                                                {"function", QJsonObject{{"name", "read_file"},
                                                                         {"arguments", QString::fromUtf8(q("{'path':'x'}"))}}}}}}},
            QJsonObject{{"role", "tool"}, {"tool_call_id", "c1"}, {"content", "data"}},
            QJsonObject{{"role", "assistant"},
                        {"content", "text"},
                        {"tool_calls",
                         QJsonArray{QJsonObject{{"id", "c2"},
                                                {"type", "function"},
                                                {"function", QJsonObject{{"name", "list_dir"}, {"arguments", "{}"}}}}}}},
            QJsonObject{{"role", "tool"}, {"tool_call_id", ""}, {"content", "out"}},
            QJsonObject{{"role", "assistant"}, {"content", ""}},
        };
        QCOMPARE(payload, expected);
    }
};

MOONSHELF_TEST_GUILESS_MAIN(TestRequestContext)
#include "tst_request_context.moc"
