// The conversation history read on a thread of its own: what is done before
// it arrives is neither overwritten by it nor written without it.
#include "tst_conversationharness.h"

#include "support/TestMain.h"

#include <QSignalSpy>

#include <functional>

using namespace model;
using namespace testing;

class TestConversationHistory : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void changesBeforeArrivalAreKeptAndWrittenWithIt_data();
    void changesBeforeArrivalAreKeptAndWrittenWithIt();
    void untouchedStoreRestoresTheSelectionWithoutWriting();
    void endingBeforeArrivalLosesNothing_data();
    void endingBeforeArrivalLosesNothing();
    void noFileStartsAtOnce();
    void damagedFileIsStillSetAside();

private:
    // Three stored sessions, B selected; the store opened on them in the
    // background. Nothing has arrived while the test does not spin events.
    std::unique_ptr<ConversationStore> openOnHistory(ConversationHarness &h)
    {
        h.put(envelopeOf(m_stored, m_stored[1].id));
        ConversationStore::Options options = h.options();
        options.loadInBackground = true;
        return std::make_unique<ConversationStore>(options);
    }
    static QList<Conversation> fromFile(const ConversationHarness &h)
    {
        auto decoded = decodeConversationFile(h.read());
        return decoded ? decoded.value().conversations : QList<Conversation>{};
    }

    const QList<Conversation> m_stored{conversation(QStringLiteral("A"), 30), conversation(QStringLiteral("B"), 20),
                                       conversation(QStringLiteral("C"), 10)};
};

using Change = std::function<void(ConversationStore &)>;

void TestConversationHistory::changesBeforeArrivalAreKeptAndWrittenWithIt_data()
{
    QTest::addColumn<Change>("change");
    QTest::addColumn<QStringList>("titles");
    QTest::addColumn<QString>("selected");
    QTest::newRow("new session") << Change([](ConversationStore &s) { s.newChat(); })
                                 << QStringList{"New session", "A", "B", "C"} << QStringLiteral("New session");
    QTest::newRow("a send into a new session")
        << Change([](ConversationStore &s) {
               s.newChat();
               s.appendMessage(message(MessageRole::User, QStringLiteral("why does the build fail")));
           })
        << QStringList{"why does the build fail", "A", "B", "C"} << QStringLiteral("why does the build fail");
    QTest::newRow("renamed and pinned") << Change([](ConversationStore &s) {
        s.newChat();
        const QUuid id = *s.selectedConversationID();
        s.rename(id, QStringLiteral("Release notes"));
        s.togglePin(id);
    }) << QStringList{"Release notes", "A", "B", "C"} << QStringLiteral("Release notes");
    QTest::newRow("two new, the first selected again") << Change([](ConversationStore &s) {
        s.newChat();
        const QUuid first = *s.selectedConversationID();
        s.newChat();
        s.select(first);
    }) << QStringList{"New session", "New session", "A", "B", "C"} << QStringLiteral("New session");
}

void TestConversationHistory::changesBeforeArrivalAreKeptAndWrittenWithIt()
{
    QFETCH(Change, change);
    QFETCH(QStringList, titles);
    QFETCH(QString, selected);
    ConversationHarness h;
    auto store = openOnHistory(h);
    QVERIFY(!store->isHistoryLoaded());
    const QByteArray before = h.read();
    change(*store);
    const std::optional<QUuid> chosen = store->selectedConversationID();
    // Nothing goes to disk without the history: the file would lose it.
    QCOMPARE(h.writes, 0);
    QCOMPARE(h.read(), before);

    QSignalSpy arrived(store.get(), &ConversationStore::historyLoaded);
    QVERIFY(arrived.wait(10000));
    QVERIFY(store->isHistoryLoaded());
    QCOMPARE(testing::titles(store->conversations()), titles);
    QCOMPARE(store->selectedConversationID(), chosen);
    QCOMPARE(store->selectedConversation()->title, selected);
    // The stored sessions come back whole, messages included.
    QCOMPARE(store->conversations().mid(titles.size() - 3), m_stored);
    QVERIFY(h.writes >= 1);
    QCOMPARE(fromFile(h), store->conversations());
    QCOMPARE(h.envelope().value(QLatin1String("selectedConversationID")).toString(),
             chosen->toString(QUuid::WithoutBraces));
}

void TestConversationHistory::untouchedStoreRestoresTheSelectionWithoutWriting()
{
    ConversationHarness h;
    auto store = openOnHistory(h);
    QVERIFY(store->conversations().isEmpty());
    QCOMPARE(store->selectedConversationID(), std::nullopt);
    QSignalSpy replaced(store.get(), &ConversationStore::conversationsReplaced);
    QSignalSpy selection(store.get(), &ConversationStore::selectedConversationIDChanged);
    QSignalSpy arrived(store.get(), &ConversationStore::historyLoaded);
    QVERIFY(arrived.wait(10000));
    QCOMPARE(store->conversations(), m_stored);
    QCOMPARE(store->selectedConversationID(), std::optional(m_stored[1].id));
    // Lists fill in: one whole replacement, one selection change.
    QCOMPARE(replaced.size(), 1);
    QCOMPARE(selection.size(), 1);
    QCOMPARE(h.writes, 0);
}

void TestConversationHistory::endingBeforeArrivalLosesNothing_data()
{
    QTest::addColumn<bool>("changed");
    QTest::addColumn<bool>("destroy"); // else flush()
    QTest::newRow("flush after a new session") << true << false;
    QTest::newRow("quit after a new session") << true << true;
    QTest::newRow("quit untouched") << false << true;
    QTest::newRow("flush untouched") << false << false;
}

void TestConversationHistory::endingBeforeArrivalLosesNothing()
{
    QFETCH(bool, changed);
    QFETCH(bool, destroy);
    ConversationHarness h;
    auto store = openOnHistory(h);
    const QByteArray before = h.read();
    if (changed)
        store->newChat();
    if (destroy)
        store.reset();
    else
        store->flush();
    if (!changed) {
        QCOMPARE(h.read(), before);
        return;
    }
    const QList<Conversation> written = fromFile(h);
    QCOMPARE(testing::titles(written), QStringList({"New session", "A", "B", "C"}));
    QCOMPARE(written.mid(1), m_stored);
}

void TestConversationHistory::noFileStartsAtOnce()
{
    ConversationHarness h;
    ConversationStore::Options options = h.options();
    options.loadInBackground = true;
    ConversationStore store(options);
    QVERIFY(store.isHistoryLoaded());
    QCOMPARE(testing::titles(store.conversations()), QStringList({"New session"}));
    QVERIFY(store.selectedConversation());
}

void TestConversationHistory::damagedFileIsStillSetAside()
{
    ConversationHarness h;
    h.put("{\"conversations\": [ {\"id\": 7} ]}");
    ConversationStore::Options options = h.options();
    options.loadInBackground = true;
    ConversationStore store(options);
    store.newChat(); // before the verdict on the file
    QSignalSpy arrived(&store, &ConversationStore::historyLoaded);
    QVERIFY(arrived.wait(10000));
    QCOMPARE(store.loadState(), StoreFileState::Undecodable);
    QVERIFY(QFileInfo::exists(store.setAsidePath()));
    QCOMPARE(testing::titles(fromFile(h)), QStringList({"New session"}));
}

MOONSHELF_TEST_GUILESS_MAIN(TestConversationHistory)
#include "tst_conversationhistory.moc"
