#include "WindowKit.h"

#include "app/SessionExport.h"
#include "model/ConversationStore.h"
#include "support/TestMain.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

using app::SessionExport::markdown;
using app::SessionExport::proposedFileName;
using model::ChatMessage;
using model::MessageRole;

namespace {

ChatMessage message(MessageRole role, const QString &content, const QStringList &tools = {})
{
    ChatMessage m = ChatMessage::make(role, content);
    if (!tools.isEmpty()) {
        QList<model::ToolCallRecord> calls;
        int n = 0;
        for (const QString &name : tools)
            calls.append(model::ToolCallRecord{QStringLiteral("c%1").arg(++n), name, QStringLiteral("{}")});
        m.toolCalls = calls;
    }
    return m;
}

QByteArray readAll(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<missing>");
}

const QDateTime kWhen(QDate(2026, 3, 4), QTime(9, 5));
const QLocale kGerman(QLocale::German, QLocale::Germany);

} // namespace

class TestSessionExport : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void bytes_data()
    {
        QTest::addColumn<QString>("title");
        QTest::addColumn<QList<ChatMessage>>("messages");
        QTest::addColumn<QByteArray>("expected");
        const QByteArray origin = "_Exported from Moonshelf Mac \xC2\xB7 04.03.26 \xC2\xB7 09:05_\n\n";

        QTest::newRow("user and assistant")
            << "Plan" << QList<ChatMessage>{message(MessageRole::User, "hi"), message(MessageRole::Assistant, "hello")}
            << "# Plan\n\n" + origin + "## You\n\nhi\n\n## Qirv\n\nhello\n\n";
        QTest::newRow("only tool and system messages give title and origin")
            << "Quiet"
            << QList<ChatMessage>{message(MessageRole::System, "sys"), message(MessageRole::Tool, "out", {"x"})}
            << "# Quiet\n\n" + origin;
        QTest::newRow("empty assistant with two tool calls")
            << "T" << QList<ChatMessage>{message(MessageRole::Assistant, "", {"read_file", "write_file"})}
            << "# T\n\n" + origin + "## Qirv\n\n\n\n- tool: `read_file`\n- tool: `write_file`\n\n";
        QTest::newRow("title and content as stored, attachments kept")
            << "a/b *c* <d>"
            << QList<ChatMessage>{message(MessageRole::User,
                                          "see\n\n---\n**Attached files**\n\n### `src/a.c`\n```\nx\n```")}
            << "# a/b *c* <d>\n\n" + origin
                   + "## You\n\nsee\n\n---\n**Attached files**\n\n### `src/a.c`\n```\nx\n```\n\n";
        QTest::newRow("non-ASCII text is UTF-8")
            << QString::fromUtf8("Caf\xC3\xA9 \xF0\x9F\x8C\x99")
            << QList<ChatMessage>{message(MessageRole::User, QString::fromUtf8("\xE2\x9C\x93"))}
            << "# Caf\xC3\xA9 \xF0\x9F\x8C\x99\n\n" + origin + "## You\n\n\xE2\x9C\x93\n\n";
    }

    void bytes()
    {
        QFETCH(QString, title);
        QFETCH(QList<ChatMessage>, messages);
        QFETCH(QByteArray, expected);
        model::Conversation c;
        c.id = QUuid::createUuid();
        c.title = title;
        c.messages = messages;
        QCOMPARE(markdown(c, kWhen, kGerman), expected);
    }

    void proposedName_data()
    {
        QTest::addColumn<QString>("title");
        QTest::addColumn<QString>("expected");
        QTest::newRow("slash and colon") << "a/b:c" << "a-b-c.md";
        QTest::newRow("all ten reserved") << "1/2:3\\4?5%6*7|8\"9<0>" << "1-2-3-4-5-6-7-8-9-0-.md";
        QTest::newRow("80 characters cut to 60") << QString(80, QLatin1Char('x')) << QString(60, QLatin1Char('x')) + ".md";
        QTest::newRow("empty") << "" << ".md";
        QTest::newRow("control characters replaced") << "a\nb\tc\x7f" << "a-b-c-.md";
        QTest::newRow("NUL replaced like any control character") << QStringLiteral("a") + QChar(0) + QStringLiteral("b") << "a-b.md";
        QTest::newRow("combining accent stays whole at the cut")
            << QString(59, QLatin1Char('x')) + QString::fromUtf8("e\xCC\x81") + "yz"
            << QString(59, QLatin1Char('x')) + QString::fromUtf8("e\xCC\x81") + ".md";
        QTest::newRow("emoji not split at the cut")
            << QString(59, QLatin1Char('x')) + QString::fromUtf8("\xF0\x9F\x91\xA9\xE2\x80\x8D\xF0\x9F\x9A\x80") + "z"
            << QString(59, QLatin1Char('x')) + QString::fromUtf8("\xF0\x9F\x91\xA9\xE2\x80\x8D\xF0\x9F\x9A\x80")
                   + ".md";
    }

    void proposedName()
    {
        QFETCH(QString, title);
        QFETCH(QString, expected);
        QCOMPARE(proposedFileName(title), expected);
    }

    // Through the controller, from the panel to the file on disk.
    void exportFlow_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::newRow("written") << "written";
        QTest::newRow("cancelled") << "cancelled";
        QTest::newRow("folder is a file") << "notdir";
        QTest::newRow("existing file left intact") << "intact";
        QTest::newRow("session read again after the panel") << "reread";
        QTest::newRow("session deleted while the panel was open") << "deleted";
    }

    void exportFlow()
    {
        QFETCH(QString, kind);
        windowtest::WindowKit kit;
        app::AppViewModel &vm = kit.vm();
        model::ConversationStore &store = vm.conversations();
        const QUuid id = *store.selectedConversationID();
        store.rename(id, QStringLiteral("Fix: the build"));
        store.appendMessage(id, message(MessageRole::User, QStringLiteral("first")));

        QTemporaryDir out;
        QString target = out.filePath(QStringLiteral("session.md"));
        if (kind == "notdir") {
            QFile blocker(out.filePath(QStringLiteral("file")));
            QVERIFY(blocker.open(QIODevice::WriteOnly));
            target = out.filePath(QStringLiteral("file/session.md"));
        } else if (kind == "intact") {
            target = QStringLiteral("/proc/version"); // exists, and nothing may be created beside it
        }
        const QByteArray before = kind == "intact" ? readAll(target) : QByteArray();
        kit.panels().saveAnswer = kind == "cancelled" ? std::nullopt : std::optional<QString>(target);
        if (kind == "reread") {
            kit.panels().whileOpen = [&store, id] {
                store.appendMessage(id, message(MessageRole::Assistant, QStringLiteral("later")));
            };
        } else if (kind == "deleted") {
            kit.panels().whileOpen = [&store, id] {
                store.newChat();
                store.deleteConversation(id);
            };
        }

        bool done = false;
        [](app::AppViewModel &model, bool &finished) -> QCoro::Task<> {
            co_await model.exportSelectedSession();
            finished = true;
        }(vm, done);
        QTRY_VERIFY(done);

        QCOMPARE(kit.panels().saves.size(), 1);
        const app::FilePanels::SaveRequest asked = kit.panels().saves.first();
        QCOMPARE(asked.title, QStringLiteral("Export session"));
        QCOMPARE(asked.message, QStringLiteral("Save this session as Markdown"));
        QCOMPARE(asked.proposedName, QStringLiteral("Fix- the build.md"));

        if (kind == "cancelled") {
            QVERIFY(QDir(out.path()).isEmpty());
            QCOMPARE(vm.errorMessage(), std::nullopt);
        } else if (kind == "written" || kind == "reread") {
            QCOMPARE(vm.errorMessage(), std::nullopt);
            const QByteArray bytes = readAll(target);
            const QByteArray head = "# Fix: the build\n\n_Exported from Moonshelf Mac \xC2\xB7 ";
            QVERIFY2(bytes.startsWith(head), bytes.constData());
            const QByteArray body = bytes.mid(bytes.indexOf("_\n\n") + 3);
            QCOMPARE(body, kind == "written" ? QByteArray("## You\n\nfirst\n\n")
                                             : QByteArray("## You\n\nfirst\n\n## Qirv\n\nlater\n\n"));
            QCOMPARE(QFileInfo(target).permissions() & 0x0077, QFileDevice::Permissions());
            QCOMPARE(QDir(out.path()).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
                     QStringList{QStringLiteral("session.md")}); // no temporary file left
        } else {
            QVERIFY(vm.errorMessage().has_value());
            QVERIFY2(vm.errorMessage()->startsWith(QStringLiteral("Could not export session: ")),
                     qPrintable(*vm.errorMessage()));
            QVERIFY(vm.errorMessage()->size() > QStringLiteral("Could not export session: ").size());
            if (kind == "intact")
                QCOMPARE(readAll(target), before);
            if (kind == "deleted")
                QVERIFY(!QFile::exists(target));
        }
    }
};

MOONSHELF_TEST_WIDGETS_MAIN(TestSessionExport)
#include "tst_session_export.moc"
