#include "tst_conversationharness.h"

#include "support/TestMain.h"

#include <QSignalSpy>

using namespace model;
using namespace testing;

class TestSessionOperations : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void activeOrderPinnedFirstThenNewest();
    void newChatAddsAtTheFrontEveryTime();
    void rename_data();
    void rename();
    void pinningAndUnpinningBringToTheTopOfTheGroup();
    void archiveMovesTheSelection();
    void deleteChoosesTheNextSelection();
    void forkCopiesWithFreshIds();
    void appendNamesPlaceholderSessions_data();
    void appendNamesPlaceholderSessions();
    void selectClearsUnreadOnce();
    void changesToNothingSelectedAreDropped();
    void idAddressedChangesReachTheirSession();
    void operationsOnUnknownIdsWriteNothing();
    void storedTextsKeepNoSpareRoom_data();
    void storedTextsKeepNoSpareRoom();
    void writesPerOperation_data();
    void writesPerOperation();
    void forkTitles_data();
    void forkTitles();
};

namespace {

// A store loaded from the given list, with the writes of loading forgotten.
std::unique_ptr<ConversationStore> openWith(ConversationHarness &h, const QList<Conversation> &list,
                                            std::optional<QUuid> selected)
{
    h.put(envelopeOf(list, selected));
    auto store = h.open();
    h.writes = 0;
    return store;
}

} // namespace


void TestSessionOperations::activeOrderPinnedFirstThenNewest()
{
    ConversationHarness h;
    const QList<Conversation> list{
        conversation(QStringLiteral("old"), 10),           conversation(QStringLiteral("pin old"), 5, true),
        conversation(QStringLiteral("tie first"), 30),     conversation(QStringLiteral("pin new"), 50, true),
        conversation(QStringLiteral("tie second"), 30),    conversation(QStringLiteral("arch pinned"), 90, true, true),
        conversation(QStringLiteral("arch"), 95, false, true), conversation(QStringLiteral("arch tie"), 95, false, true)};
    auto store = openWith(h, list, list[0].id);
    QCOMPARE(titles(store->activeConversations()),
             QStringList({"pin new", "pin old", "tie first", "tie second", "old"}));
    QCOMPARE(titles(store->archivedConversations()), QStringList({"arch", "arch tie", "arch pinned"}));
}

void TestSessionOperations::newChatAddsAtTheFrontEveryTime()
{
    ConversationHarness h;
    auto store = h.open();
    h.writes = 0;
    store->newChat();
    store->newChat();
    QCOMPARE(titles(store->conversations()), QStringList({"New session", "New session", "New session"}));
    QCOMPARE(store->selectedConversationID(), std::optional(store->conversations().first().id));
    QCOMPARE(h.writes, 4); // each: the selection change, then its own save
}

void TestSessionOperations::rename_data()
{
    QTest::addColumn<QString>("input");
    QTest::addColumn<QString>("expected"); // empty: nothing changes
    QTest::newRow("blanks change nothing") << QStringLiteral(" \n\t ") << QString();
    QTest::newRow("trimmed") << QStringLiteral("  Plan B \n") << QStringLiteral("Plan B");
    QTest::newRow("cut at 120 after trimming")
        << QStringLiteral("   ") + QString(130, u'x') << QString(120, u'x');
    const QString family = QStringLiteral("\U0001F468\u200D\U0001F469\u200D\U0001F467");
    QTest::newRow("emoji cluster counts once")
        << QString(119, u'a') + family + QStringLiteral("bc") << QString(119, u'a') + family;
}

void TestSessionOperations::rename()
{
    QFETCH(QString, input);
    QFETCH(QString, expected);
    ConversationHarness h;
    const Conversation c = conversation(QStringLiteral("Old"), 10);
    auto store = openWith(h, {c}, c.id);
    store->rename(c.id, input);
    store->rename(QUuid::createUuid(), QStringLiteral("nobody"));
    const Conversation after = *store->conversation(c.id);
    if (expected.isEmpty()) {
        QCOMPARE(after, c);
        QCOMPARE(h.writes, 0);
    } else {
        QCOMPARE(after.title, expected);
        QVERIFY(after.updatedAt > c.updatedAt);
        QCOMPARE(h.writes, 1);
    }
}

void TestSessionOperations::pinningAndUnpinningBringToTheTopOfTheGroup()
{
    ConversationHarness h;
    const QList<Conversation> list{conversation(QStringLiteral("a"), 30), conversation(QStringLiteral("b"), 20),
                                   conversation(QStringLiteral("c"), 10)};
    auto store = openWith(h, list, list[0].id);
    store->togglePin(list[2].id);
    QCOMPARE(titles(store->activeConversations()), QStringList({"c", "a", "b"}));
    store->togglePin(list[1].id);
    QCOMPARE(titles(store->activeConversations()), QStringList({"b", "c", "a"}));
    store->togglePin(list[2].id);
    QCOMPARE(titles(store->activeConversations()), QStringList({"b", "c", "a"}));
    QVERIFY(!store->conversation(list[2].id)->isPinned);
    QCOMPARE(h.writes, 3);
}

void TestSessionOperations::archiveMovesTheSelection()
{
    ConversationHarness h;
    const QList<Conversation> list{conversation(QStringLiteral("a"), 30, true),
                                   conversation(QStringLiteral("b"), 20),
                                   conversation(QStringLiteral("c"), 40, false, true)};
    auto store = openWith(h, list, list[0].id);
    store->archive(list[0].id);
    const Conversation a = *store->conversation(list[0].id);
    QVERIFY(a.isArchived && !a.isPinned);
    QCOMPARE(store->selectedConversation()->title, QStringLiteral("b"));
    QCOMPARE(h.writes, 2);

    // The last active one: a new session takes its place.
    store->archive(list[1].id);
    QCOMPARE(store->conversations().size(), 4);
    QCOMPARE(store->selectedConversation()->title, QStringLiteral("New session"));
    QCOMPARE(titles(store->activeConversations()), QStringList({"New session"}));

    store->unarchive(list[0].id);
    QVERIFY(!store->conversation(list[0].id)->isPinned); // cleared by the archive
    QCOMPARE(store->selectedConversation()->title, QStringLiteral("New session"));
}

void TestSessionOperations::deleteChoosesTheNextSelection()
{
    ConversationHarness h;
    // "arch new" is first in the archived order, "arch old" first in stored order.
    const QList<Conversation> list{conversation(QStringLiteral("active"), 10),
                                   conversation(QStringLiteral("arch old"), 5, false, true),
                                   conversation(QStringLiteral("arch new"), 50, false, true),
                                   conversation(QStringLiteral("arch other"), 60, false, true)};
    auto store = openWith(h, list, list[0].id);
    store->deleteConversation(list[3].id); // not selected: the selection stays
    QCOMPARE(store->selectedConversation()->title, QStringLiteral("active"));
    QCOMPARE(h.writes, 1);

    store->deleteConversation(list[0].id); // only archived remain: the first stored one
    QCOMPARE(store->selectedConversation()->title, QStringLiteral("arch old"));
    QCOMPARE(titles(store->conversations()), QStringList({"arch old", "arch new"}));

    store->deleteConversation(list[1].id);
    store->deleteConversation(list[2].id);
    QCOMPARE(titles(store->conversations()), QStringList({"New session"}));
    QCOMPARE(store->selectedConversationID(), std::optional(store->conversations().first().id));
}

void TestSessionOperations::forkCopiesWithFreshIds()
{
    ConversationHarness h;
    Conversation plan = conversation(QStringLiteral("Plan"), 10, true, true);
    plan.isUnread = true;
    ChatMessage call = message(MessageRole::Assistant, QStringLiteral("reading"));
    call.toolCalls = QList<ToolCallRecord>{{QStringLiteral("c1"), QStringLiteral("read_file"), QStringLiteral("{}")}};
    ChatMessage result = message(MessageRole::Tool, QStringLiteral("text"));
    result.toolCallId = QStringLiteral("c1");
    plan.messages = {message(MessageRole::User, QStringLiteral("go")), call, result};
    const Conversation other = conversation(QStringLiteral("other"), 20);
    auto store = openWith(h, {other, plan}, other.id);

    store->fork(plan.id);
    const Conversation fork = store->conversations().first();
    QCOMPARE(fork.title, QStringLiteral("Plan (fork)"));
    QCOMPARE(store->selectedConversationID(), std::optional(fork.id));
    QVERIFY(!fork.isPinned && !fork.isArchived && !fork.isUnread);
    QCOMPARE(fork.messages.size(), 3);
    for (int i = 0; i < 3; ++i) {
        QVERIFY(fork.messages[i].id != plan.messages[i].id);
        ChatMessage same = fork.messages[i];
        same.id = plan.messages[i].id;
        QCOMPARE(same, plan.messages[i]);
    }
    QCOMPARE(*store->conversation(plan.id), plan);

    store->fork(fork.id);
    QCOMPARE(store->conversations().first().title, QStringLiteral("Plan (fork)"));
    QCOMPARE(h.writes, 4);
}

void TestSessionOperations::appendNamesPlaceholderSessions_data()
{
    QTest::addColumn<QString>("title");
    QTest::addColumn<MessageRole>("role");
    QTest::addColumn<QString>("content");
    QTest::addColumn<QString>("expected");
    QTest::newRow("New Chat, trimmed") << QStringLiteral("New Chat") << MessageRole::User
                                       << QStringLiteral("  Fix the parser \n") << QStringLiteral("Fix the parser");
    QTest::newRow("first 48 characters") << QStringLiteral("New session") << MessageRole::User
                                         << QString(60, u'q') << QString(48, u'q');
    QTest::newRow("New build") << QStringLiteral("New build") << MessageRole::User << QStringLiteral("x")
                               << QStringLiteral("x");
    QTest::newRow("assistant leaves placeholder") << QStringLiteral("New session") << MessageRole::Assistant
                                                  << QStringLiteral("hello") << QStringLiteral("New session");
    QTest::newRow("other title kept") << QStringLiteral("new session") << MessageRole::User
                                      << QStringLiteral("hello") << QStringLiteral("new session");
    const QString family = QStringLiteral("\U0001F468\u200D\U0001F469\u200D\U0001F467");
    QTest::newRow("48 characters, not code units")
        << QStringLiteral("New session") << MessageRole::User << QString(47, u'a') + family + QStringLiteral("bc")
        << QString(47, u'a') + family;
    QTest::newRow("counted after trimming") << QStringLiteral("New session") << MessageRole::User
                                            << QStringLiteral(" \n ") + QString(50, u'x') << QString(48, u'x');
    QTest::newRow("tool message leaves placeholder") << QStringLiteral("New build") << MessageRole::Tool
                                                     << QStringLiteral("out") << QStringLiteral("New build");
    QTest::newRow("blank message keeps placeholder") << QStringLiteral("New session") << MessageRole::User
                                                     << QStringLiteral(" \n ") << QStringLiteral("New session");
}

void TestSessionOperations::appendNamesPlaceholderSessions()
{
    QFETCH(QString, title);
    QFETCH(MessageRole, role);
    QFETCH(QString, content);
    QFETCH(QString, expected);
    ConversationHarness h;
    Conversation c = conversation(title, 10);
    c.isUnread = true;
    auto store = openWith(h, {c}, c.id);
    const ChatMessage m = message(role, content);
    store->appendMessage(m);
    const Conversation after = *store->selectedConversation();
    QCOMPARE(after.title, expected);
    QCOMPARE(after.messages, QList<ChatMessage>{m});
    QVERIFY(!after.isUnread);
    QVERIFY(after.updatedAt > c.updatedAt);
    QCOMPARE(h.writes, 1);
}

void TestSessionOperations::selectClearsUnreadOnce()
{
    ConversationHarness h;
    Conversation a = conversation(QStringLiteral("a"), 10), b = conversation(QStringLiteral("b"), 20);
    b.isUnread = true;
    auto store = openWith(h, {a, b}, a.id);
    store->select(b.id);
    QVERIFY(!store->conversation(b.id)->isUnread);
    QCOMPARE(store->conversation(b.id)->updatedAt, b.updatedAt);
    QCOMPARE(h.writes, 2);
    store->select(b.id);
    QCOMPARE(h.writes, 2);

    // setUnread keeps the selection and the flag until the next select or message.
    store->setUnread(b.id, true);
    QCOMPARE(store->selectedConversationID(), std::optional(b.id));
    QVERIFY(store->selectedConversation()->isUnread);
    QCOMPARE(store->selectedConversation()->updatedAt, b.updatedAt);
    QCOMPARE(h.writes, 3);
    store->appendMessage(message(MessageRole::Assistant, QStringLiteral("done")));
    QVERIFY(!store->selectedConversation()->isUnread);

    // Selecting the selected session, when unread, clears the flag: one write.
    store->setUnread(b.id, true);
    h.writes = 0;
    store->select(b.id);
    QVERIFY(!store->selectedConversation()->isUnread);
    QCOMPARE(h.writes, 1);
}

void TestSessionOperations::changesToNothingSelectedAreDropped()
{
    ConversationHarness h;
    const Conversation a = conversation(QStringLiteral("a"), 10);
    auto store = openWith(h, {a}, a.id);
    for (const std::optional<QUuid> &selection : {std::optional<QUuid>(), std::optional(QUuid::createUuid())}) {
        store->setSelectedConversationID(selection);
        h.writes = 0;
        store->appendMessage(message(MessageRole::User, QStringLiteral("lost")));
        store->replaceMessages({});
        store->updateSelected([](Conversation &c) { c.title = QStringLiteral("changed"); });
        QCOMPARE(h.writes, 0);
        QCOMPARE(store->conversations(), QList<Conversation>{a});
    }
}

void TestSessionOperations::idAddressedChangesReachTheirSession()
{
    // A run started in "a" finishes after the user moved to a new session.
    ConversationHarness h;
    const Conversation a = conversation(QStringLiteral("a"), 10);
    auto store = openWith(h, {a}, a.id);
    store->newChat();
    const QUuid fresh = *store->selectedConversationID();
    h.writes = 0;
    QSignalSpy changed(store.get(), &ConversationStore::conversationsChanged);

    const ChatMessage reply = message(MessageRole::Assistant, QStringLiteral("reply"));
    QVERIFY(store->appendMessage(a.id, reply));
    const QList<ChatMessage> cleaned{message(MessageRole::User, QStringLiteral("q")), reply};
    QVERIFY(store->replaceMessages(a.id, cleaned));
    QCOMPARE(store->conversation(a.id)->messages, cleaned);
    QVERIFY(store->conversation(fresh)->messages.isEmpty());
    QCOMPARE(store->selectedConversationID(), std::optional(fresh));
    QCOMPARE(h.writes, 2);
    QCOMPARE(changed.count(), 2);

    store->deleteConversation(a.id);
    h.writes = 0;
    QVERIFY(!store->appendMessage(a.id, reply));
    QVERIFY(!store->replaceMessages(a.id, cleaned));
    QCOMPARE(h.writes, 0);
    QVERIFY(!store->conversation(a.id));
}

// A streamed reply is assembled fragment by fragment: the store keeps the
// text, not the room its string grew into, and the text is unchanged.
void TestSessionOperations::storedTextsKeepNoSpareRoom_data()
{
    QTest::addColumn<QString>("operation");
    for (const char *operation : {"append", "append to id", "replace", "replace in id"})
        QTest::newRow(operation) << QString::fromLatin1(operation);
}

void TestSessionOperations::storedTextsKeepNoSpareRoom()
{
    QFETCH(QString, operation);
    ConversationHarness h;
    const Conversation a = conversation(QStringLiteral("a"), 10);
    auto store = openWith(h, {a}, a.id);
    QString streamed;
    for (int i = 0; i < 2000; ++i)
        streamed += QStringLiteral("word%1 ").arg(i % 10);
    QVERIFY(streamed.capacity() > streamed.size() + 1000);
    const ChatMessage reply = message(MessageRole::Assistant, streamed);
    const QList<ChatMessage> all = store->conversation(a.id)->messages + QList<ChatMessage>{reply};
    if (operation == QLatin1String("append"))
        store->appendMessage(reply);
    else if (operation == QLatin1String("append to id"))
        QVERIFY(store->appendMessage(a.id, reply));
    else if (operation == QLatin1String("replace"))
        store->replaceMessages(all);
    else
        QVERIFY(store->replaceMessages(a.id, all));
    const QString kept = store->conversation(a.id)->messages.last().content;
    QCOMPARE(kept, streamed);
    QVERIFY2(kept.capacity() - kept.size() <= 64 + kept.size() / 16,
             qPrintable(QStringLiteral("%1 of %2").arg(kept.capacity()).arg(kept.size())));
}

void TestSessionOperations::operationsOnUnknownIdsWriteNothing()
{
    ConversationHarness h;
    const Conversation a = conversation(QStringLiteral("a"), 10);
    auto store = openWith(h, {a}, a.id);
    const QUuid nobody = QUuid::createUuid();
    store->togglePin(nobody);
    store->archive(nobody);
    store->unarchive(nobody);
    store->fork(nobody);
    store->setUnread(nobody, true);
    QVERIFY(!store->updateConversation(nobody, [](Conversation &c) { c.title.clear(); }));
    QCOMPARE(h.writes, 0);
    QCOMPARE(store->conversations(), QList<Conversation>{a});
}

void TestSessionOperations::writesPerOperation_data()
{
    // Start: "a" selected, "b" unread, "c" archived. writes: how many times
    // the file is written; selected: the title selected afterwards.
    QTest::addColumn<QString>("operation");
    QTest::addColumn<int>("writes");
    QTest::addColumn<QString>("selected");
    QTest::newRow("select other, unread") << "select b" << 2 << "b";
    QTest::newRow("select same, read") << "select a" << 0 << "a";
    QTest::newRow("select unknown id") << "select unknown" << 1 << "";
    QTest::newRow("assign selection directly") << "assign b" << 1 << "b";
    QTest::newRow("assign the same selection") << "assign a" << 0 << "a";
    QTest::newRow("rename") << "rename b" << 1 << "a";
    QTest::newRow("rename to blanks") << "rename blank" << 0 << "a";
    QTest::newRow("toggle pin") << "pin b" << 1 << "a";
    QTest::newRow("archive unselected") << "archive b" << 1 << "a";
    QTest::newRow("archive selected") << "archive a" << 2 << "b";
    QTest::newRow("unarchive") << "unarchive c" << 1 << "a";
    QTest::newRow("delete unselected") << "delete b" << 1 << "a";
    QTest::newRow("delete unknown id still saves") << "delete unknown" << 1 << "a";
    QTest::newRow("delete selected") << "delete a" << 2 << "b";
    QTest::newRow("fork") << "fork b" << 2 << "b (fork)";
    QTest::newRow("new chat") << "new" << 2 << "New session";
    QTest::newRow("set unread") << "unread a" << 1 << "a";
    QTest::newRow("update selected") << "update" << 1 << "a";
    QTest::newRow("append") << "append" << 1 << "a";
    QTest::newRow("replace") << "replace" << 1 << "a";
    QTest::newRow("append by id") << "append b" << 1 << "a";
    QTest::newRow("append by unknown id") << "append unknown" << 0 << "a";
    QTest::newRow("replace conversations list") << "set list" << 0 << "a";
}

void TestSessionOperations::writesPerOperation()
{
    QFETCH(QString, operation);
    QFETCH(int, writes);
    QFETCH(QString, selected);
    ConversationHarness h;
    Conversation a = conversation(QStringLiteral("a"), 30), b = conversation(QStringLiteral("b"), 20),
                 c = conversation(QStringLiteral("c"), 10, false, true);
    b.isUnread = true;
    auto store = openWith(h, {a, b, c}, a.id);
    const QHash<QString, QUuid> ids{{"a", a.id}, {"b", b.id}, {"c", c.id}, {"unknown", QUuid::createUuid()}};
    const QString verb = operation.section(u' ', 0, 0);
    const QUuid id = ids.value(operation.section(u' ', 1, 1));
    const ChatMessage m = message(MessageRole::User, QStringLiteral("hi"));
    if (verb == "select")
        store->select(id);
    else if (verb == "assign")
        store->setSelectedConversationID(id);
    else if (operation == "rename blank")
        store->rename(b.id, QStringLiteral(" \n"));
    else if (verb == "rename")
        store->rename(id, QStringLiteral("renamed"));
    else if (verb == "pin")
        store->togglePin(id);
    else if (verb == "archive")
        store->archive(id);
    else if (verb == "unarchive")
        store->unarchive(id);
    else if (verb == "delete")
        store->deleteConversation(id);
    else if (verb == "fork")
        store->fork(id);
    else if (verb == "new")
        store->newChat();
    else if (verb == "unread")
        store->setUnread(id, true);
    else if (verb == "update")
        store->updateSelected([](Conversation &pinned) { pinned.isPinned = true; });
    else if (operation == "append")
        store->appendMessage(m);
    else if (verb == "append")
        (void)store->appendMessage(id, m);
    else if (verb == "replace")
        store->replaceMessages({m});
    else if (verb == "set")
        store->setConversations(store->conversations().mid(0, 2));
    else
        QFAIL("unknown operation");
    QCOMPARE(h.writes, writes);
    const auto now = store->selectedConversation();
    QCOMPARE(now ? now->title : QString(), selected);
    if (writes > 0) // the file holds what memory holds
        QCOMPARE(h.open()->conversations(), store->conversations());
    if (verb == "assign") // a direct write does not clear the unread flag
        QCOMPARE(store->conversation(b.id)->isUnread, true);
}

void TestSessionOperations::forkTitles_data()
{
    QTest::addColumn<QString>("title");
    QTest::addColumn<QString>("expected");
    QTest::newRow("suffix added") << QStringLiteral("Plan") << QStringLiteral("Plan (fork)");
    QTest::newRow("suffix not doubled") << QStringLiteral("Plan (fork)") << QStringLiteral("Plan (fork)");
    QTest::newRow("suffix needs its space") << QStringLiteral("Plan(fork)") << QStringLiteral("Plan(fork) (fork)");
    QTest::newRow("placeholder forks like any title") << QStringLiteral("New session")
                                                      << QStringLiteral("New session (fork)");
}

void TestSessionOperations::forkTitles()
{
    QFETCH(QString, title);
    QFETCH(QString, expected);
    ConversationHarness h;
    const Conversation c = conversation(title, 10);
    auto store = openWith(h, {c}, c.id);
    store->fork(c.id);
    QCOMPARE(titles(store->conversations()), QStringList({expected, title}));
}

MOONSHELF_TEST_GUILESS_MAIN(TestSessionOperations)
#include "tst_sessionoperations.moc"
