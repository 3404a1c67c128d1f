// The controller whose conversation history arrives after it starts, as in
// the app: what the person does before it arrives is neither lost nor
// overwritten by it, and the sidebar fills in when it comes.
#include "AppTestKit.h"

#include "app/SessionFilterModel.h"
#include "app/SessionListModel.h"
#include "model/ConversationStore.h"
#include "model/SettingsStore.h"
#include "support/TestMain.h"

#include <algorithm>
#include <functional>

using app::AppViewModel;
using apptest::Harness;
using model::ChatMessage;
using Peer = testsupport::ChatServicePeer;

namespace {

QStringList sorted(QStringList titles)
{
    std::sort(titles.begin(), titles.end());
    return titles;
}

QStringList titlesOf(const QList<model::Conversation> &conversations)
{
    QStringList out;
    for (const model::Conversation &c : conversations)
        out.append(c.title);
    return sorted(out);
}

// What the sidebar's active section lists.
QStringList sidebarTitles(AppViewModel &vm)
{
    QStringList out;
    const QAbstractItemModel &rows = vm.sessionFilter();
    for (int row = 0; row < rows.rowCount(); ++row)
        out.append(rows.index(row, 0).data(app::SessionListModel::TitleRole).toString());
    return sorted(out);
}

QStringList contents(const QList<ChatMessage> &messages)
{
    QStringList out;
    for (const ChatMessage &m : messages)
        out.append(m.content);
    return out;
}

using Change = std::function<void(Harness &, AppViewModel &)>;

} // namespace

class TestAppHistory : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void doneBeforeArrivalIsKept_data()
    {
        QTest::addColumn<Change>("change");
        QTest::addColumn<QStringList>("sidebar");  // after arrival
        QTest::addColumn<QString>("selected");     // after arrival
        QTest::addColumn<QStringList>("sessions"); // after a restart
        QTest::addColumn<bool>("yolo");            // after a restart

        const QStringList stored{"Build", "Release notes"};
        QTest::newRow("new session") << Change([](Harness &, AppViewModel &vm) { vm.newChat(); })
                                     << QStringList{"Build", "New session", "Release notes"}
                                     << QStringLiteral("New session")
                                     << QStringList{"Build", "New session", "Release notes"} << false;
        // The run does not wait for the history, and its messages are
        // written with it.
        QTest::newRow("message sent into a new session")
            << Change([](Harness &h, AppViewModel &vm) {
                   vm.newChat();
                   h.peer().enqueue(Peer::textReply(QStringLiteral("Line 12.")));
                   vm.setDraft(QStringLiteral("where does it fail"));
                   vm.send();
                   QVERIFY(vm.isRunning());
               })
            << QStringList{"Build", "Release notes", "where does it fail"} << QStringLiteral("where does it fail")
            << QStringList{"Build", "Release notes", "where does it fail"} << false;
        QTest::newRow("tool guard changed")
            << Change([](Harness &, AppViewModel &vm) { vm.setToolGuard(model::ToolGuardMode::Yolo); }) << stored
            << QStringLiteral("Build") << stored << true;
        QTest::newRow("search typed")
            << Change([](Harness &, AppViewModel &vm) { vm.setSessionSearch(QStringLiteral("notes")); })
            << QStringList{"Release notes"} << QStringLiteral("Build") << stored << false;
    }

    void doneBeforeArrivalIsKept()
    {
        QFETCH(Change, change);
        QFETCH(QStringList, sidebar);
        QFETCH(QString, selected);
        QFETCH(QStringList, sessions);
        QFETCH(bool, yolo);

        Harness h;
        QUuid build;
        {
            AppViewModel &first = h.make();
            model::ConversationStore &store = first.conversations();
            build = *store.selectedConversationID();
            store.appendMessage(build, ChatMessage::make(model::MessageRole::User, QStringLiteral("why is it red")));
            store.appendMessage(build, ChatMessage::make(model::MessageRole::Assistant, QStringLiteral("A header.")));
            store.rename(build, QStringLiteral("Build"));
            first.newChat();
            store.rename(*store.selectedConversationID(), QStringLiteral("Release notes"));
            store.select(build);
            h.destroy();
        }

        h.historyInBackground = true;
        AppViewModel &vm = h.makeInProject();
        QVERIFY(!vm.isHistoryLoaded());
        change(h, vm);
        if (QTest::currentTestFailed())
            return;
        QVERIFY(!vm.isHistoryLoaded());

        QTRY_VERIFY(vm.isHistoryLoaded());
        QTRY_VERIFY(!vm.isRunning());
        QCOMPARE(sidebarTitles(vm), sidebar);
        QCOMPARE(vm.conversations().selectedConversation()->title, selected);
        QCOMPARE(titlesOf(h.storedConversations()), sessions);
        QCOMPARE(contents(h.storedMessages(build)), (QStringList{"why is it red", "A header."}));

        // All of it is there on the next start.
        h.destroy();
        h.historyInBackground = false;
        AppViewModel &again = h.make();
        QCOMPARE(titlesOf(again.conversations().conversations()), sessions);
        QCOMPARE(again.settingsStore().settings().effectiveToolGuardMode() == model::ToolGuardMode::Yolo, yolo);
        QCOMPARE(again.conversations().selectedConversation()->title, selected);
        if (sessions.contains(QStringLiteral("where does it fail"))) {
            const std::optional<model::Conversation> asked = again.conversations().selectedConversation();
            QCOMPARE(contents(asked->messages), (QStringList{"where does it fail", "Line 12."}));
        }
    }
};

MOONSHELF_TEST_GUILESS_MAIN(TestAppHistory)
#include "tst_app_history.moc"
