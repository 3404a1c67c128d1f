// The item models the views list from: each passes the model tester, the
// sidebar's order and search rules hold, and changes reach the views as
// single rows (never a reset), a frame's streamed text as one change.

#include "AppTestKit.h"
#include "app/ItemModels.h"
#include "model/ConversationStore.h"
#include "platform/AtomicFile.h"
#include "support/TestMain.h"

#include <QAbstractItemModelTester>
#include <QSignalSpy>
#include <QTemporaryDir>

using app::MessageListModel;
using app::SessionFilterModel;
using app::SessionListModel;
using app::ToolLogModel;
using model::ChatMessage;
using model::Conversation;
using model::ConversationStore;
using Peer = testsupport::ChatServicePeer;
using Kind = MessageListModel::RowKind;

namespace {

const QDateTime kStart(QDate(2026, 1, 2), QTime(3, 4, 5), Qt::UTC);

// A store in a temporary folder whose clock moves one minute per reading.
struct StoreFixture {
    QTemporaryDir dir;
    QDateTime now = kStart;
    std::unique_ptr<ConversationStore> store;

    StoreFixture()
    {
        ConversationStore::Options options;
        options.filePath = dir.filePath(QStringLiteral("conversations.json"));
        options.writer = [](const QString &p, const platform::ByteSource &b) { return platform::writeFileAtomically(p, b); };
        options.clock = [this] {
            now = now.addSecs(60);
            return now;
        };
        options.writeInBackground = false;
        store = std::make_unique<ConversationStore>(options);
    }
};

// "title|flags|minutes": flags p pinned, a archived, u unread; updatedAt is
// that many minutes after the start.
QList<Conversation> sessionsFrom(const QStringList &specs)
{
    QList<Conversation> list;
    for (const QString &spec : specs) {
        const QStringList parts = spec.split(u'|');
        Conversation c;
        c.id = QUuid::createUuid();
        c.title = parts.at(0);
        c.isPinned = parts.at(1).contains(u'p');
        c.isArchived = parts.at(1).contains(u'a');
        c.isUnread = parts.at(1).contains(u'u');
        c.createdAt = kStart;
        c.updatedAt = kStart.addSecs(60 * parts.at(2).toInt());
        c.messages = {ChatMessage::make(model::MessageRole::User, QStringLiteral("secret body"))};
        list.append(c);
    }
    return list;
}

QStringList titles(const QAbstractItemModel &m)
{
    QStringList out;
    for (int row = 0; row < m.rowCount(); ++row)
        out.append(m.index(row, 0).data().toString());
    return out;
}

// Every structural and data notice of a model, in order.
class EventLog : public QObject {
public:
    explicit EventLog(QAbstractItemModel &m) : QObject(&m)
    {
        connect(&m, &QAbstractItemModel::rowsInserted, this,
                [this](const QModelIndex &, int first, int last) { add("inserted", first, last); });
        connect(&m, &QAbstractItemModel::rowsRemoved, this,
                [this](const QModelIndex &, int first, int last) { add("removed", first, last); });
        connect(&m, &QAbstractItemModel::rowsMoved, this, [this] { events.append(QStringLiteral("moved")); });
        connect(&m, &QAbstractItemModel::dataChanged, this,
                [this](const QModelIndex &a, const QModelIndex &b) { add("changed", a.row(), b.row()); });
        connect(&m, &QAbstractItemModel::modelReset, this, [this] { events.append(QStringLiteral("reset")); });
        connect(&m, &QAbstractItemModel::layoutChanged, this, [this] { events.append(QStringLiteral("layout")); });
    }
    QStringList take() { return std::exchange(events, {}); }
    QStringList events;

private:
    void add(const char *what, int first, int last)
    {
        events.append(first == last ? QStringLiteral("%1 %2").arg(QLatin1String(what)).arg(first)
                                    : QStringLiteral("%1 %2-%3").arg(QLatin1String(what)).arg(first).arg(last));
    }
};

ChatMessage message(const QString &text)
{
    return ChatMessage::make(model::MessageRole::Assistant, text);
}

model::ToolLogEntry entry(const QString &name, model::ToolLogEntry::Status status, QUuid id = QUuid::createUuid())
{
    model::ToolLogEntry e;
    e.id = id;
    e.timestamp = kStart;
    e.name = name;
    e.status = status;
    return e;
}

} // namespace

class TestItemModels : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void sessionOrderAndSearch_data()
    {
        QTest::addColumn<QStringList>("sessions");
        QTest::addColumn<QString>("search");
        QTest::addColumn<bool>("archived");
        QTest::addColumn<QStringList>("expected");

        const QStringList mixed{"old|p|1", "mid||5", "new||9", "pinnedNew|p|7", "gone|a|20", "goneOld|ap|2"};
        QTest::newRow("pinned first, then the latest") << mixed << "" << false
                                                        << QStringList{"pinnedNew", "old", "new", "mid"};
        QTest::newRow("archived by date, pins do not count")
            << mixed << "" << true << QStringList{"gone", "goneOld"};
        QTest::newRow("equal dates keep the stored order")
            << QStringList{"b||3", "a||3", "c||3", "d|p|3"} << "" << false << QStringList{"d", "b", "a", "c"};
        QTest::newRow("search ignores case") << QStringList{"Build the Shelf||1", "other||2"} << "SHELF" << false
                                             << QStringList{"Build the Shelf"};
        QTest::newRow("search is trimmed") << QStringList{"alpha||1", "beta||2"} << "  alp \n" << false
                                           << QStringList{"alpha"};
        QTest::newRow("blank search lists everything") << QStringList{"alpha||1", "beta||2"} << "   " << false
                                                       << QStringList{"beta", "alpha"};
        QTest::newRow("no match leaves the section empty")
            << QStringList{"alpha||1", "beta|a|2"} << "zeta" << true << QStringList{};
        QTest::newRow("messages are not searched") << QStringList{"alpha||1"} << "secret" << false << QStringList{};
        QTest::newRow("search keeps the order") << QStringList{"ab||1", "xab|p|0", "abc||4", "zz||9"} << "ab" << false
                                                << QStringList{"xab", "abc", "ab"};
    }

    void sessionOrderAndSearch()
    {
        QFETCH(QStringList, sessions);
        QFETCH(QString, search);
        QFETCH(bool, archived);
        QFETCH(QStringList, expected);

        StoreFixture f;
        f.store->setConversations(sessionsFrom(sessions));
        SessionListModel list(*f.store);
        SessionFilterModel filter(list, archived);
        QAbstractItemModelTester tester(&filter, QAbstractItemModelTester::FailureReportingMode::QtTest);
        filter.setSearch(search);
        QCOMPARE(titles(filter), expected);
    }

    void sessionsFollowTheStore()
    {
        StoreFixture f;
        f.store->setConversations(sessionsFrom({"first||3", "second||2", "third|a|1"}));
        SessionListModel list(*f.store);
        SessionFilterModel active(list, false);
        SessionFilterModel archived(list, true);
        QAbstractItemModelTester t1(&list, QAbstractItemModelTester::FailureReportingMode::QtTest);
        QAbstractItemModelTester t2(&active, QAbstractItemModelTester::FailureReportingMode::QtTest);
        QAbstractItemModelTester t3(&archived, QAbstractItemModelTester::FailureReportingMode::QtTest);
        EventLog log(list);
        EventLog activeLog(active);
        const auto idOf = [&](int row) { return list.index(row).data(SessionListModel::IdRole).toUuid(); };
        const QUuid second = idOf(1);

        f.store->rename(second, QStringLiteral("renamed"));
        QCOMPARE(log.take(), QStringList{"changed 1"});
        QCOMPARE(titles(active), (QStringList{"renamed", "first"}));

        f.store->appendMessage(second, message(QStringLiteral("hi")));
        QCOMPARE(log.take(), QStringList{"changed 1"});

        f.store->togglePin(idOf(0));
        QCOMPARE(log.take(), QStringList{"changed 0"});
        QCOMPARE(titles(active), (QStringList{"first", "renamed"}));

        f.store->setUnread(second, true);
        QCOMPARE(log.take(), QStringList{"changed 1"});
        QCOMPARE(list.index(1).data(SessionListModel::IsUnreadRole), QVariant(true));

        f.store->archive(second);
        QCOMPARE(log.take(), QStringList{"changed 1"});
        QCOMPARE(titles(archived), (QStringList{"renamed", "third"}));

        // A new session goes in at the top; the selection moves to it.
        f.store->select(idOf(0));
        log.take();
        f.store->newChat();
        QCOMPARE(log.take(), (QStringList{"inserted 0", "changed 1", "changed 0"}));
        QCOMPARE(list.index(0).data(SessionListModel::IsSelectedRole), QVariant(true));
        QCOMPARE(list.index(1).data(SessionListModel::IsSelectedRole), QVariant(false));

        f.store->deleteConversation(idOf(3));
        QCOMPARE(log.take(), QStringList{"removed 3"});
        QCOMPARE(titles(list), (QStringList{"New session", "first", "renamed"}));

        f.store->fork(idOf(1));
        QCOMPARE(log.take(), (QStringList{"inserted 0", "changed 1", "changed 0"}));
        QCOMPARE(list.index(0).data().toString(), QStringLiteral("first (fork)"));

        QVERIFY(!activeLog.take().contains(QStringLiteral("reset")));

        // Only a whole new list resets.
        f.store->setConversations(sessionsFrom({"only||1"}));
        QCOMPARE(log.take(), QStringList{"reset"});
        QCOMPARE(titles(active), QStringList{"only"});
    }

    // Each store operation announces itself once, after the whole-list
    // notice, with the id it concerns.
    void storeNotices_data()
    {
        QTest::addColumn<QString>("operation");
        QTest::addColumn<QStringList>("notices");
        QTest::newRow("new session") << "new" << QStringList{"list", "added new", "selected"};
        QTest::newRow("fork") << "fork" << QStringList{"list", "added new", "selected"};
        QTest::newRow("rename") << "rename" << QStringList{"list", "changed b"};
        QTest::newRow("blank rename is nothing") << "rename blank" << QStringList{};
        QTest::newRow("pin") << "pin" << QStringList{"list", "changed b"};
        QTest::newRow("archive another") << "archive" << QStringList{"list", "changed b"};
        QTest::newRow("archive the selected")
            << "archive selected" << QStringList{"list", "changed a", "selected"};
        QTest::newRow("unarchive") << "unarchive" << QStringList{"list", "changed c"};
        QTest::newRow("unread") << "unread" << QStringList{"list", "changed b"};
        QTest::newRow("select clears unread") << "select unread" << QStringList{"selected", "list", "changed c"};
        QTest::newRow("delete another") << "delete" << QStringList{"list", "removed b"};
        QTest::newRow("delete the selected") << "delete selected" << QStringList{"list", "removed a", "selected"};
        QTest::newRow("unknown id is nothing") << "delete unknown" << QStringList{};
        QTest::newRow("append to the selected") << "append" << QStringList{"list", "appended a"};
        QTest::newRow("append by id") << "append b" << QStringList{"list", "appended b"};
        QTest::newRow("replace messages") << "replace" << QStringList{"list", "changed b"};
        QTest::newRow("whole list") << "set" << QStringList{"list", "replaced"};
    }

    void storeNotices()
    {
        QFETCH(QString, operation);
        QFETCH(QStringList, notices);

        StoreFixture f;
        ConversationStore &store = *f.store;
        store.setConversations(sessionsFrom({"a||3", "b||2", "c|au|1"}));
        QHash<QUuid, QString> names;
        for (const Conversation &c : store.conversations())
            names.insert(c.id, c.title);
        const QUuid a = store.conversations()[0].id;
        const QUuid b = store.conversations()[1].id;
        const QUuid c = store.conversations()[2].id;
        store.select(a);

        QStringList log;
        const auto name = [&](const QUuid &id) { return names.value(id, QStringLiteral("new")); };
        connect(&store, &ConversationStore::conversationsChanged, this, [&] { log << "list"; });
        connect(&store, &ConversationStore::selectedConversationIDChanged, this, [&] { log << "selected"; });
        connect(&store, &ConversationStore::conversationAdded, this, [&](const QUuid &id) { log << "added " + name(id); });
        connect(&store, &ConversationStore::conversationChanged, this,
                [&](const QUuid &id) { log << "changed " + name(id); });
        connect(&store, &ConversationStore::conversationRemoved, this,
                [&](const QUuid &id) { log << "removed " + name(id); });
        connect(&store, &ConversationStore::messageAppended, this, [&](const QUuid &id, const QUuid &message) {
            const QList<ChatMessage> messages = store.conversation(id)->messages;
            QCOMPARE(messages.last().id, message);
            log << "appended " + name(id);
        });
        connect(&store, &ConversationStore::conversationsReplaced, this, [&] { log << "replaced"; });

        if (operation == "new")
            store.newChat();
        else if (operation == "fork")
            store.fork(b);
        else if (operation == "rename")
            store.rename(b, QStringLiteral("bee"));
        else if (operation == "rename blank")
            store.rename(b, QStringLiteral("  "));
        else if (operation == "pin")
            store.togglePin(b);
        else if (operation == "archive")
            store.archive(b);
        else if (operation == "archive selected")
            store.archive(a);
        else if (operation == "unarchive")
            store.unarchive(c);
        else if (operation == "unread")
            store.setUnread(b, true);
        else if (operation == "select unread")
            store.select(c);
        else if (operation == "delete")
            store.deleteConversation(b);
        else if (operation == "delete selected")
            store.deleteConversation(a);
        else if (operation == "delete unknown")
            store.deleteConversation(QUuid::createUuid());
        else if (operation == "append")
            store.appendMessage(message(QStringLiteral("hi")));
        else if (operation == "append b")
            QVERIFY(store.appendMessage(b, message(QStringLiteral("hi"))));
        else if (operation == "replace")
            QVERIFY(store.replaceMessages(b, {}));
        else if (operation == "set")
            store.setConversations({});
        QCOMPARE(log, notices);
    }

    // Deleting through an id held by the list itself is safe.
    void deleteByTheStoresOwnID()
    {
        StoreFixture f;
        f.store->setConversations(sessionsFrom({"a||3", "b||2", "c||1"}));
        SessionListModel list(*f.store);
        QSignalSpy removed(f.store.get(), &ConversationStore::conversationRemoved);
        const QUuid second = f.store->conversations()[1].id;
        // The referenced element is overwritten by "c" as the list closes up.
        f.store->deleteConversation(f.store->conversations()[1].id);
        QCOMPARE(removed.size(), 1);
        QCOMPARE(removed.first().first().toUuid(), second);
        QCOMPARE(titles(list), (QStringList{"a", "c"}));
    }

    void sessionRowsCarryNoHistory()
    {
        StoreFixture f;
        f.store->setConversations(sessionsFrom({"one|pu|1"}));
        SessionListModel list(*f.store);
        const QModelIndex row = list.index(0);
        const Conversation c = row.data(SessionListModel::ConversationRole).value<Conversation>();
        QCOMPARE(c.title, QStringLiteral("one"));
        QVERIFY(c.messages.isEmpty());
        QCOMPARE(row.data(SessionListModel::IsPinnedRole), QVariant(true));
        QCOMPARE(row.data(SessionListModel::UpdatedAtRole).toDateTime(), kStart.addSecs(60));
    }

    // While a search is on, rows that change still move to their place,
    // and clearing the search brings every session back in order.
    void searchKeepsTheOrderAsRowsChange()
    {
        StoreFixture f;
        f.store->setConversations(sessionsFrom({"alpha one||3", "beta||2", "alpha two||1", "alpha old|a|9"}));
        SessionListModel list(*f.store);
        SessionFilterModel active(list, false);
        QAbstractItemModelTester tester(&active, QAbstractItemModelTester::FailureReportingMode::QtTest);
        const auto idOf = [&](int row) { return list.index(row).data(SessionListModel::IdRole).toUuid(); };
        active.setSearch(QStringLiteral("alpha"));
        QCOMPARE(titles(active), (QStringList{"alpha one", "alpha two"}));
        f.store->togglePin(idOf(2));
        QCOMPARE(titles(active), (QStringList{"alpha two", "alpha one"}));
        // A rename brings the session to the top of its group.
        f.store->rename(idOf(1), QStringLiteral("alpha three"));
        QCOMPARE(titles(active), (QStringList{"alpha two", "alpha three", "alpha one"}));
        f.store->rename(idOf(1), QStringLiteral("gamma"));
        QCOMPARE(titles(active), (QStringList{"alpha two", "alpha one"}));
        active.setSearch(QString());
        QCOMPARE(titles(active), (QStringList{"alpha two", "gamma", "alpha one"}));
        active.setArchived(true);
        QCOMPARE(titles(active), QStringList{"alpha old"});
    }

    void searchFollowsRenames()
    {
        StoreFixture f;
        f.store->setConversations(sessionsFrom({"alpha||1", "beta||2"}));
        SessionListModel list(*f.store);
        SessionFilterModel active(list, false);
        QAbstractItemModelTester tester(&active, QAbstractItemModelTester::FailureReportingMode::QtTest);
        active.setSearch(QStringLiteral("gam"));
        QCOMPARE(titles(active), QStringList{});
        f.store->rename(list.index(0).data(SessionListModel::IdRole).toUuid(), QStringLiteral("Gamma"));
        QCOMPARE(titles(active), QStringList{"Gamma"});
    }

    void messageRows()
    {
        MessageListModel m;
        QAbstractItemModelTester tester(&m, QAbstractItemModelTester::FailureReportingMode::QtTest);
        EventLog log(m);
        const QUuid session = QUuid::createUuid();
        QList<ChatMessage> messages{message("a"), message("b")};
        m.showConversation(session, messages);
        QCOMPARE(log.take(), QStringList{"reset"});

        m.setLive(true, QString(), app::LiveActivity::thinking());
        model::PendingApproval approval;
        approval.id = QStringLiteral("c1");
        approval.summary = QStringLiteral("Write new.txt");
        m.setApproval(approval);
        QCOMPARE(log.take(), (QStringList{"inserted 2", "inserted 3"}));
        QCOMPARE(m.index(2).data(MessageListModel::KindRole).value<Kind>(), Kind::Live);
        QCOMPARE(m.index(2).data(MessageListModel::IdRole).toUuid(), MessageListModel::liveRowID());
        QCOMPARE(m.index(3).data(MessageListModel::KindRole).value<Kind>(), Kind::Approval);
        QCOMPARE(m.index(3).data(MessageListModel::ApprovalRole).value<model::PendingApproval>().summary,
                 approval.summary);

        m.setLive(true, QStringLiteral("Hel"), app::LiveActivity::writing());
        m.setLive(true, QStringLiteral("Hel"), app::LiveActivity::writing());
        QCOMPARE(log.take(), QStringList{"changed 2"});
        QCOMPARE(m.index(2).data(MessageListModel::LiveTextRole).toString(), QStringLiteral("Hel"));
        QCOMPARE(m.index(2).data(MessageListModel::LiveActivityRole).value<app::LiveActivity>(),
                 app::LiveActivity::writing());

        // An appended message goes in above the live row.
        messages.append(message("c"));
        m.updateMessages(messages);
        QCOMPARE(log.take(), QStringList{"inserted 2"});
        QCOMPARE(m.index(3).data(MessageListModel::KindRole).value<Kind>(), Kind::Live);

        // A message changed in place, then a changed tail.
        messages[1].content = QStringLiteral("b2");
        m.updateMessages(messages);
        QCOMPARE(log.take(), QStringList{"changed 1"});
        QCOMPARE(m.index(1).data(MessageListModel::MessageRole).value<ChatMessage>().content, QStringLiteral("b2"));
        messages.removeLast();
        messages.append({message("d"), message("e")});
        m.updateMessages(messages);
        QCOMPARE(log.take(), (QStringList{"removed 2", "inserted 2-3"}));

        m.setApproval(std::nullopt);
        m.setLive(false, QString(), {});
        QCOMPARE(log.take(), (QStringList{"removed 5", "removed 4"}));
        QCOMPARE(m.rowCount(), 4);

        m.showConversation(QUuid::createUuid(), {});
        QCOMPARE(log.take(), QStringList{"reset"});
        QCOMPARE(m.rowCount(), 0);
    }

    // The model's cheap comparison agrees with full equality field by field,
    // including text equal but not shared.
    void toolLogEntrySameness_data()
    {
        QTest::addColumn<QString>("field");
        QTest::addColumn<bool>("same");
        QTest::newRow("a copy") << "" << true;
        QTest::newRow("equal text, not shared") << "unshared" << true;
        QTest::newRow("id") << "id" << false;
        QTest::newRow("status") << "status" << false;
        QTest::newRow("name") << "name" << false;
        QTest::newRow("arguments") << "arguments" << false;
        QTest::newRow("result, same length") << "result" << false;
        QTest::newRow("timestamp") << "timestamp" << false;
    }
    void toolLogEntrySameness()
    {
        QFETCH(QString, field);
        QFETCH(bool, same);
        model::ToolLogEntry a = entry(QStringLiteral("read_file"), model::ToolLogEntry::Status::Running);
        a.argumentsPreview = QStringLiteral("{\"path\":\"a.txt\"}");
        a.resultPreview = QStringLiteral("abc");
        model::ToolLogEntry b = a;
        if (field == u"unshared")
            b.name = QString::fromUtf8(a.name.toUtf8());
        else if (field == u"id")
            b.id = QUuid::createUuid();
        else if (field == u"status")
            b.status = model::ToolLogEntry::Status::Success;
        else if (field == u"name")
            b.name = QStringLiteral("write_file");
        else if (field == u"arguments")
            b.argumentsPreview.chop(1);
        else if (field == u"result")
            b.resultPreview = QStringLiteral("abd");
        else if (field == u"timestamp")
            b.timestamp = a.timestamp.addSecs(1);
        QCOMPARE(ToolLogModel::sameEntry(a, b), same);
        QCOMPARE(a == b, same);
    }

    void toolLogReplacesById()
    {
        ToolLogModel m;
        QAbstractItemModelTester tester(&m, QAbstractItemModelTester::FailureReportingMode::QtTest);
        EventLog log(m);
        using Status = model::ToolLogEntry::Status;
        const model::ToolLogEntry read = entry(QStringLiteral("read_file"), Status::Running);
        QList<model::ToolLogEntry> entries{read};
        m.sync(entries);
        const model::ToolLogEntry write = entry(QStringLiteral("write_file"), Status::Pending);
        entries.prepend(write);
        m.sync(entries);
        QCOMPARE(log.take(), (QStringList{"inserted 0", "inserted 0"}));

        entries[1].status = Status::Success;
        m.sync(entries);
        QCOMPARE(log.take(), QStringList{"changed 1"});
        QCOMPARE(m.index(1).data(ToolLogModel::EntryRole).value<model::ToolLogEntry>().status, Status::Success);
        QCOMPARE(m.index(1).data(ToolLogModel::IdRole).toUuid(), read.id);
        QCOMPARE(m.index(0).data().toString(), QStringLiteral("write_file"));

        m.sync(entries);
        QCOMPARE(log.take(), QStringList{});

        // Two new calls and an update in one go.
        entries[0].status = Status::Denied;
        entries.prepend(entry(QStringLiteral("b"), Status::Pending));
        entries.prepend(entry(QStringLiteral("a"), Status::Pending));
        m.sync(entries);
        QCOMPARE(log.take(), (QStringList{"inserted 0-1", "changed 2"}));

        entries.removeAt(1);
        m.sync(entries);
        QCOMPARE(log.take(), QStringList{"removed 1"});
        QCOMPARE(m.entries(), entries);

        std::swap(entries[0], entries[1]);
        m.sync(entries);
        QCOMPARE(log.take(), QStringList{"reset"});
        QCOMPARE(m.entries(), entries);

        m.sync({});
        QCOMPARE(log.take(), (QStringList{"removed 2", "removed 1", "removed 0"}));
    }

    void streamedRunJoined_data()
    {
        // The reply's text in that many events; the bytes a write carries
        // (0: all at once, 1: one event) and the pause between writes; where
        // the reply stalls for a while (-1: never, 0: halfway, 1: after the
        // first event); the most notices the views may hear (-1: any).
        QTest::addColumn<int>("words");
        QTest::addColumn<int>("events");
        QTest::addColumn<int>("pieceSize");
        QTest::addColumn<int>("pieceDelayMs");
        QTest::addColumn<int>("stallAfter");
        QTest::addColumn<int>("mostNotices");

        QTest::newRow("one fragment") << 1 << 1 << 0 << 0 << -1 << 1;
        QTest::newRow("one write of sixty events") << 60 << 60 << 0 << 0 << -1 << 2;
        QTest::newRow("one fragment, then a pause") << 3 << 3 << 0 << 0 << 1 << -1;
        QTest::newRow("burst of small writes, a pause, the rest") << 60 << 60 << 97 << 0 << 0 << -1;
        QTest::newRow("a write per event, a millisecond apart") << 100 << 100 << 1 << 1 << -1 << -1;
    }

    // A streamed reply reaches the views joined: never two notices in one
    // turn of the event loop, every notice with new text, what came before a
    // pause shown during it, and the whole reply shown before the run ends.
    // (How often a frame may be told is the stream's pacer's, on its clock.)
    void streamedRunJoined()
    {
        QFETCH(int, words);
        QFETCH(int, events);
        QFETCH(int, pieceSize);
        QFETCH(int, pieceDelayMs);
        QFETCH(int, stallAfter);
        QFETCH(int, mostNotices);

        apptest::Harness h;
        app::AppViewModel &vm = h.make();
        MessageListModel &rows = vm.messageModel();
        QAbstractItemModelTester tester(&rows, QAbstractItemModelTester::FailureReportingMode::QtTest);

        QString text;
        for (int i = 0; i < words; ++i)
            text += QStringLiteral("word%1 ").arg(i);
        Peer::Reply reply = Peer::textReply(text, events);
        const qsizetype firstEvent = reply.body.indexOf("\n\n") + 2;
        reply.pieceSize = pieceSize == 1 ? firstEvent : pieceSize;
        reply.pieceDelayMs = pieceDelayMs;
        if (stallAfter >= 0)
            reply.stallAfter = stallAfter == 0 ? reply.body.size() / 2 : firstEvent;
        h.peer().enqueue(reply);

        // A zero timer counts the turns of the event loop.
        int turn = 0;
        QTimer counter;
        counter.setInterval(0);
        connect(&counter, &QTimer::timeout, this, [&turn] { ++turn; });
        counter.start();
        QList<int> noticeTurns;
        QStringList announced;
        QStringList structure;
        connect(&rows, &QAbstractItemModel::rowsInserted, this, [&](const QModelIndex &, int first) {
            structure.append(QStringLiteral("inserted %1 %2").arg(first).arg(
                QVariant::fromValue(rows.index(first).data(MessageListModel::KindRole).value<Kind>()).toString()));
        });
        connect(&rows, &QAbstractItemModel::rowsRemoved, this,
                [&](const QModelIndex &, int first) { structure.append(QStringLiteral("removed %1").arg(first)); });
        connect(&rows, &QAbstractItemModel::modelReset, this, [&] { structure.append(QStringLiteral("reset")); });
        bool runEnded = false;
        bool announcedAfterTheEnd = false;
        connect(&vm, &app::AppViewModel::isRunningChanged, this, [&] { runEnded = runEnded || !vm.isRunning(); });
        connect(&vm, &app::AppViewModel::streamingTextChanged, this, [&] {
            if (vm.streamingText().isEmpty())
                return;
            announcedAfterTheEnd = announcedAfterTheEnd || runEnded;
            announced.append(vm.streamingText());
            noticeTurns.append(turn);
            // The live row shows what was announced, at once.
            if (rows.liveRow() >= 0)
                QCOMPARE(rows.index(rows.liveRow()).data(MessageListModel::LiveTextRole).toString(),
                         vm.streamingText());
        });

        vm.setDraft(QStringLiteral("go"));
        vm.send();
        if (reply.stallAfter >= 0) {
            QSignalSpy stalled(&h.peer(), &Peer::stalled);
            QTRY_COMPARE(stalled.size(), 1);
            // What came before the pause is shown without waiting for more.
            QTRY_VERIFY(!announced.isEmpty());
            h.peer().resumeStalls();
        }
        QTRY_VERIFY(!vm.isRunning());
        counter.stop();

        // The live row as the run starts, the user message above it, the
        // reply; then the live row goes.
        QCOMPARE(structure, (QStringList{"inserted 0 Live", "inserted 0 Message", "inserted 1 Message",
                                         "removed 2"}));
        QCOMPARE(rows.rowCount(), 2);
        QCOMPARE(rows.index(1).data(MessageListModel::MessageRole).value<ChatMessage>().content, text);
        QVERIFY(!announcedAfterTheEnd);
        // The end is told at once, maybe in the turn of the notice before.
        for (qsizetype i = 1; i + 1 < noticeTurns.size(); ++i)
            QVERIFY2(noticeTurns[i] != noticeTurns[i - 1], qPrintable(announced[i]));
        for (qsizetype i = 1; i < announced.size(); ++i)
            QVERIFY2(announced[i].size() > announced[i - 1].size() && announced[i].startsWith(announced[i - 1]),
                     qPrintable(announced[i]));
        if (mostNotices >= 0)
            QVERIFY2(announced.size() <= mostNotices, qPrintable(QString::number(announced.size())));
        QCOMPARE(announced.last(), text);
    }

    // The live row and the approval card stay under the run's session.
    void liveRowsOnlyUnderTheRunsSession()
    {
        apptest::Harness h;
        app::AppViewModel &vm = h.makeInProject();
        vm.setToolGuard(model::ToolGuardMode::Ask);
        h.peer().enqueue(Peer::toolCallReply({{"c1", "write_file", R"({"path":"new.txt","content":"x"})"}},
                                             QStringLiteral("Let me write.")));
        h.peer().setFallback(Peer::textReply(QStringLiteral("done")));
        MessageListModel &rows = vm.messageModel();
        QAbstractItemModelTester tester(&rows, QAbstractItemModelTester::FailureReportingMode::QtTest);
        const QUuid runSession = *vm.conversations().selectedConversationID();

        vm.setDraft(QStringLiteral("go"));
        vm.send();
        QTRY_VERIFY(vm.pendingApproval().has_value());
        QCOMPARE(rows.rowCount(), 3);
        QCOMPARE(rows.index(1).data(MessageListModel::KindRole).value<Kind>(), Kind::Live);
        QCOMPARE(rows.index(1).data(MessageListModel::LiveActivityRole).value<app::LiveActivity>(),
                 app::LiveActivity::waitingApproval());
        QCOMPARE(rows.index(2).data(MessageListModel::KindRole).value<Kind>(), Kind::Approval);

        vm.newChat();
        QCOMPARE(rows.conversationID(), vm.conversations().selectedConversationID());
        QCOMPARE(rows.rowCount(), 0);
        QVERIFY(vm.isRunning());

        vm.conversations().select(runSession);
        QCOMPARE(rows.rowCount(), 3);
        QCOMPARE(rows.index(2).data(MessageListModel::ApprovalRole).value<model::PendingApproval>().name,
                 QStringLiteral("write_file"));

        vm.resolveApproval(false, false);
        QCOMPARE(rows.approvalRow(), -1);
        QTRY_VERIFY(!vm.isRunning());
        QCOMPARE(rows.liveRow(), -1);
        QCOMPARE(vm.toolLogModel().rowCount(), 1);
        QCOMPARE(vm.toolLogModel().index(0).data(app::ToolLogModel::EntryRole).value<model::ToolLogEntry>().status,
                 model::ToolLogEntry::Status::Denied);
    }

    void controllerFiltersFollowTheSearch()
    {
        apptest::Harness h;
        app::AppViewModel &vm = h.make();
        QAbstractItemModelTester t1(&vm.sessionModel(), QAbstractItemModelTester::FailureReportingMode::QtTest);
        QAbstractItemModelTester t2(&vm.sessionFilter(), QAbstractItemModelTester::FailureReportingMode::QtTest);
        const QUuid first = *vm.conversations().selectedConversationID();
        vm.conversations().rename(first, QStringLiteral("Moon notes"));
        vm.newChat();
        vm.conversations().archive(first);
        QCOMPARE(titles(vm.sessionFilter()), QStringList{"New session"});
        QCOMPARE(titles(vm.archivedFilter()), QStringList{"Moon notes"});
        vm.setSessionSearch(QStringLiteral(" moon "));
        QCOMPARE(titles(vm.sessionFilter()), QStringList{});
        QCOMPARE(titles(vm.archivedFilter()), QStringList{"Moon notes"});
        QCOMPARE(vm.sessionFilter().search(), QStringLiteral("moon"));
    }
};

MOONSHELF_TEST_GUILESS_MAIN(TestItemModels)
#include "tst_item_models.moc"
