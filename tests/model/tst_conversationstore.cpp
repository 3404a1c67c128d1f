#include "tst_conversationharness.h"

#include "model/ConversationFileSplit.h"
#include "model/IsoDate.h"
#include "model/SettingsStore.h"
#include "support/TestMain.h"

#include <QJsonArray>
#include <QRandomGenerator>
#include <QMutex>
#include <QRegularExpression>
#include <QSemaphore>
#include <QSignalSpy>
#include <QThread>

using namespace model;
using namespace testing;

class TestConversationStore : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void firstStartCreatesOneSelectedSession();
    void validSelectionIsRestoredWithoutWriting();
    void missingOrStaleSelectionIsChosenAgain_data();
    void missingOrStaleSelectionIsChosenAgain();
    void bareArrayIsReadAndRewrittenAsEnvelope();
    void emptyEnvelopeBehavesAsNoFile();
    void inlineImagesAreCleanedOnceOnLoad();
    void undecodableFileIsSetAside_data();
    void undecodableFileIsSetAside();
    void unreadableFileIsNotAFirstStart();
    void nothingIsWrittenWhenTheBadFileCannotBeMoved();
    void writtenFileIsSortedIndentedAndWholeSeconds();
    void encoderKeepsOnlySettledSessions_data();
    void encoderKeepsOnlySettledSessions();
    void encoderStopsAtTheFirstRefusedPiece_data();
    void encoderStopsAtTheFirstRefusedPiece();
    void selectionObserverWritesOnlyOnChange();
    void savedFileAlwaysMatchesMemory_data();
    void savedFileAlwaysMatchesMemory();
    void backgroundWritesKeepOrderAndSkipStaleStates();
    void destructionWaitsForTheLastWrite_data();
    void destructionWaitsForTheLastWrite();
    void failedBackgroundWriteIsRepairedByTheNext();
    void failedSavesAreReportedOncePerRun_data();
    void failedSavesAreReportedOncePerRun();
    void errorInAnyConversationFailsTheFile();
    void largeFilesDecodeInChunksOrFallBack_data();
    void largeFilesDecodeInChunksOrFallBack();
    void largeFileIsDecodedWhileRead_data();
    void largeFileIsDecodedWhileRead();
    void chunksAreReadAsStrictlyAsTheWhole_data();
    void chunksAreReadAsStrictlyAsTheWhole();
    void storesLiveInTheSupportFolder();
    void deeplyNestedJson_data();
    void deeplyNestedJson();
};


void TestConversationStore::firstStartCreatesOneSelectedSession()
{
    ConversationHarness h;
    auto store = h.open();
    QCOMPARE(store->loadState(), StoreFileState::NoFile);
    QCOMPARE(store->conversations().size(), 1);
    const Conversation &c = store->conversations().first();
    QCOMPARE(c.title, QStringLiteral("New session"));
    QVERIFY(c.messages.isEmpty());
    QCOMPARE(store->selectedConversationID(), std::optional(c.id));
    QCOMPARE(h.writes, 2); // the selection observer, then the explicit save
    const QJsonObject env = h.envelope();
    QCOMPARE(env.value(QLatin1String("selectedConversationID")).toString(), c.id.toString(QUuid::WithoutBraces));
    QCOMPARE(env.value(QLatin1String("conversations")).toArray().size(), 1);
}

void TestConversationStore::validSelectionIsRestoredWithoutWriting()
{
    ConversationHarness h;
    const Conversation a = conversation(QStringLiteral("A"), 10), b = conversation(QStringLiteral("B"), 20);
    h.put(envelopeOf({a, b}, a.id));
    auto store = h.open();
    QCOMPARE(store->loadState(), StoreFileState::Loaded);
    QCOMPARE(store->selectedConversationID(), std::optional(a.id));
    QCOMPARE(titles(store->conversations()), QStringList({"A", "B"}));
    QCOMPARE(h.writes, 0);
}

void TestConversationStore::missingOrStaleSelectionIsChosenAgain_data()
{
    QTest::addColumn<bool>("allArchived");
    QTest::addColumn<QByteArray>("selection"); // replaces the written selection text
    QTest::addColumn<QString>("expected");
    QTest::newRow("no key") << false << QByteArray() << QStringLiteral("newest");
    QTest::newRow("null") << false << QByteArray("null") << QStringLiteral("newest");
    QTest::newRow("unknown id") << false << QByteArray("\"0b3c9f0e-1111-4222-8333-944445555666\"")
                                << QStringLiteral("newest");
    QTest::newRow("all archived takes the first stored") << true << QByteArray() << QStringLiteral("old");
}

void TestConversationStore::missingOrStaleSelectionIsChosenAgain()
{
    QFETCH(bool, allArchived);
    QFETCH(QByteArray, selection);
    QFETCH(QString, expected);
    ConversationHarness h;
    const QList<Conversation> list{conversation(QStringLiteral("old"), 10, false, allArchived),
                                   conversation(QStringLiteral("newest"), 30, false, allArchived),
                                   conversation(QStringLiteral("archived"), 40, false, true)};
    QByteArray bytes = envelopeOf(list, std::nullopt);
    if (!selection.isEmpty())
        bytes.replace("\n}", ",\n  \"selectedConversationID\" : " + selection + "\n}");
    h.put(bytes);
    auto store = h.open();
    QCOMPARE(store->selectedConversation()->title, expected);
    QCOMPARE(h.writes, 1);
    QCOMPARE(h.envelope().value(QLatin1String("selectedConversationID")).toString(),
             store->selectedConversationID()->toString(QUuid::WithoutBraces));
}

void TestConversationStore::bareArrayIsReadAndRewrittenAsEnvelope()
{
    ConversationHarness h;
    const QList<Conversation> list{conversation(QStringLiteral("first"), 10),
                                   conversation(QStringLiteral("pinned"), 5, true),
                                   conversation(QStringLiteral("last"), 20)};
    QByteArray array = "[";
    for (const Conversation &c : list)
        array += encodeJson(c) + (c.id == list.last().id ? "" : ",");
    h.put(array + "]");
    auto store = h.open();
    QCOMPARE(titles(store->conversations()), QStringList({"first", "pinned", "last"}));
    QCOMPARE(store->selectedConversation()->title, QStringLiteral("pinned"));
    QCOMPARE(h.writes, 1);
    QVERIFY(QJsonDocument::fromJson(h.read()).isObject());
    QCOMPARE(h.envelope().value(QLatin1String("conversations")).toArray().size(), 3);
}

void TestConversationStore::emptyEnvelopeBehavesAsNoFile()
{
    ConversationHarness h;
    h.put(R"({"conversations":[],"selectedConversationID":"0b3c9f0e-1111-4222-8333-944445555666"})");
    auto store = h.open();
    QCOMPARE(titles(store->conversations()), QStringList({"New session"}));
    QCOMPARE(store->selectedConversationID(), std::optional(store->conversations().first().id));
    QVERIFY(store->setAsidePath().isEmpty()); // a valid file, nothing to keep
}

void TestConversationStore::inlineImagesAreCleanedOnceOnLoad()
{
    ConversationHarness h;
    Conversation a = conversation(QStringLiteral("A"), 10);
    const QString image = QStringLiteral("![s](data:image/png;base64,AAAA)");
    a.messages = {message(MessageRole::User, QStringLiteral("look\n") + image),
                  message(MessageRole::Tool, image)};
    Conversation b = conversation(QStringLiteral("B"), 20);
    b.messages = {message(MessageRole::Assistant, QStringLiteral("no data:image link here"))};
    h.put(envelopeOf({a, b}, a.id));

    auto store = h.open();
    const Conversation loaded = *store->conversation(a.id);
    QCOMPARE(loaded.messages[0].content, QStringLiteral("look\n"));
    QCOMPARE(loaded.messages[1].content, image); // tool results are not cleaned
    QCOMPARE(loaded.updatedAt, a.updatedAt);
    QCOMPARE(store->selectedConversationID(), std::optional(a.id));
    QCOMPARE(h.writes, 1);
    QVERIFY(h.read().contains(R"("content" : "look\n",)"));

    // Clean now: the next start writes nothing.
    store.reset();
    h.writes = 0;
    auto again = h.open();
    QCOMPARE(h.writes, 0);
    QCOMPARE(again->conversation(a.id)->messages[0].content, QStringLiteral("look\n"));
}

void TestConversationStore::undecodableFileIsSetAside_data()
{
    QTest::addColumn<QByteArray>("from");
    QTest::addColumn<QByteArray>("to");
    QTest::newRow("fractional seconds") << QByteArray("T02:47:25Z") << QByteArray("T02:47:25.250Z");
    QTest::newRow("zone-less date") << QByteArray("T02:47:25Z") << QByteArray("T02:47:25");
    QTest::newRow("unknown role") << QByteArray("\"user\"") << QByteArray("\"operator\"");
    QTest::newRow("flag of wrong type") << QByteArray("\"isPinned\" : false") << QByteArray("\"isPinned\" : 0");
    QTest::newRow("missing title") << QByteArray("\"title\" :") << QByteArray("\"heading\" :");
    QTest::newRow("truncated") << QByteArray("\n}") << QByteArray("\n");
    QTest::newRow("invalid UTF-8") << QByteArray("hello") << QByteArray("hel\xC3\x28o");
    QTest::newRow("selection not a UUID") << QByteArray("\"selectedConversationID\" : \"")
                                          << QByteArray("\"selectedConversationID\" : \"x");
}

void TestConversationStore::undecodableFileIsSetAside()
{
    QFETCH(QByteArray, from);
    QFETCH(QByteArray, to);
    ConversationHarness h;
    Conversation a = conversation(QStringLiteral("A"), 10);
    a.messages = {message(MessageRole::User, QStringLiteral("hello"))};
    QByteArray bytes = envelopeOf({a}, a.id);
    QVERIFY(bytes.contains(from));
    bytes.replace(from, to);
    h.put(bytes);

    auto store = h.open();
    QCOMPARE(store->loadState(), StoreFileState::Undecodable);
    QCOMPARE(titles(store->conversations()), QStringList({"New session"}));
    static const QRegularExpression stamp(QStringLiteral(R"re(\.unreadable-\d{8}T\d{6}Z$)re"));
    QVERIFY2(stamp.match(store->setAsidePath()).hasMatch(), qPrintable(store->setAsidePath()));
    QFile aside(store->setAsidePath());
    QVERIFY(aside.open(QIODevice::ReadOnly));
    QCOMPARE(aside.readAll(), bytes);
    QCOMPARE(store->setAsidePath(), h.path() + QStringLiteral(".unreadable-20260102T030407Z"));
    QVERIFY(h.read().contains("New session"));
}

void TestConversationStore::unreadableFileIsNotAFirstStart()
{
    ConversationHarness h;
    QVERIFY(QDir().mkpath(h.path())); // present, but cannot be read as a file
    auto store = h.open();
    QCOMPARE(store->loadState(), StoreFileState::Unreadable);
    QVERIFY(QFileInfo(store->setAsidePath()).isDir());
    QVERIFY(QFileInfo(h.path()).isFile());
}

void TestConversationStore::nothingIsWrittenWhenTheBadFileCannotBeMoved()
{
    ConversationHarness h;
    h.put("[{\"broken\"");
    // Every name the set-aside may take, for the first seconds of the clock.
    for (int s = 1; s <= 3; ++s) {
        const QString base = h.path() + QStringLiteral(".unreadable-")
                             + kStart.addSecs(s).toString(QStringLiteral("yyyyMMdd'T'HHmmss'Z'"));
        for (int n = 1; n <= 20; ++n)
            QVERIFY(QDir().mkpath(n == 1 ? base : base + QLatin1Char('-') + QString::number(n)));
    }
    auto store = h.open();
    QVERIFY(store->writesBlocked());
    store->newChat();
    QCOMPARE(store->conversations().size(), 2); // works in memory
    QCOMPARE(h.writes, 0);
    QCOMPARE(h.read(), QByteArray("[{\"broken\""));
}

// The encoder reuses the JSON of sessions that did not change, but keeps
// none of a session that changed since the write before (the one being
// talked in, which changes again at the next write): the history is not held
// twice as it grows. Whatever it keeps, every write is the whole file.
void TestConversationStore::encoderKeepsOnlySettledSessions_data()
{
    QTest::addColumn<QStringList>("steps"); // "write", "change <n>", "add"
    QTest::addColumn<QList<int>>("keptAfterWrites");
    QTest::newRow("every session at the first write") << QStringList{"write"} << QList<int>{3};
    QTest::newRow("a changed session is not kept")
        << QStringList{"write", "change 1", "write"} << QList<int>{3, 2};
    QTest::newRow("a session changing at every write")
        << QStringList{"write", "change 1", "write", "change 1", "write", "change 1", "write"}
        << QList<int>{3, 2, 2, 2};
    QTest::newRow("a session kept again once it settles")
        << QStringList{"write", "change 0", "write", "write", "write"} << QList<int>{3, 2, 3, 3};
    QTest::newRow("two sessions changed at once")
        << QStringList{"write", "change 0", "change 2", "write"} << QList<int>{3, 1};
    QTest::newRow("a new session is kept")
        << QStringList{"write", "add", "write", "change 3", "write"} << QList<int>{3, 4, 3};
}

void TestConversationStore::encoderKeepsOnlySettledSessions()
{
    QFETCH(QStringList, steps);
    QFETCH(QList<int>, keptAfterWrites);
    QList<Conversation> list;
    for (const char *title : {"a", "b", "c"}) {
        list.append(conversation(QString::fromLatin1(title), 0));
        list.last().messages.append(message(MessageRole::User, QStringLiteral("hello ") + list.last().title));
    }
    ConversationFileEncoder encoder;
    QList<int> kept;
    for (const QString &step : std::as_const(steps)) {
        if (step == QLatin1String("write")) {
            QByteArray written;
            QVERIFY(encoder.encodeTo(list, list.first().id, [&written](QByteArrayView piece) {
                written.append(piece);
                return true;
            }));
            QCOMPARE(written, ConversationFileEncoder().encode(list, list.first().id));
            kept.append(int(encoder.keptJsonCount()));
        } else if (step == QLatin1String("add")) {
            list.append(conversation(QStringLiteral("new"), 0));
        } else {
            Conversation &c = list[step.section(u' ', 1).toInt()];
            c.messages.append(message(MessageRole::Assistant, QStringLiteral("reply %1").arg(c.messages.size())));
        }
    }
    QCOMPARE(kept, keptAfterWrites);
}

// A piece the file did not take ends the write: nothing after it is handed
// over, kept or streamed, and the write reports it.
void TestConversationStore::encoderStopsAtTheFirstRefusedPiece_data()
{
    QTest::addColumn<bool>("changed"); // the long session streamed message by message
    QTest::addColumn<int>("refused");  // 1-based; 0: none
    QTest::newRow("all taken, kept sessions") << false << 0;
    QTest::newRow("all taken, a streamed session") << true << 0;
    QTest::newRow("the first piece") << true << 1;
    QTest::newRow("inside the streamed session") << true << 5;
    QTest::newRow("between kept sessions") << false << 4;
}

void TestConversationStore::encoderStopsAtTheFirstRefusedPiece()
{
    QFETCH(bool, changed);
    QFETCH(int, refused);
    QList<Conversation> list{conversation(QStringLiteral("long"), 0), conversation(QStringLiteral("short"), 0)};
    for (int i = 0; i < 6; ++i)
        list.first().messages.append(message(MessageRole::User, QStringLiteral("message %1").arg(i)));
    ConversationFileEncoder encoder;
    QVERIFY(encoder.encodeTo(list, std::nullopt, [](QByteArrayView) { return true; }));
    if (changed)
        list.first().messages.append(message(MessageRole::Assistant, QStringLiteral("reply")));
    int offered = 0;
    QByteArray taken;
    const bool ok = encoder.encodeTo(list, std::nullopt, [&](QByteArrayView piece) {
        ++offered;
        if (offered == refused)
            return false;
        taken.append(piece);
        return true;
    });
    QCOMPARE(ok, refused == 0);
    if (refused > 0)
        QCOMPARE(offered, refused);
    else
        QCOMPARE(taken, ConversationFileEncoder().encode(list, std::nullopt));
}

void TestConversationStore::writtenFileIsSortedIndentedAndWholeSeconds()
{
    ConversationHarness h;
    auto store = h.open();
    ChatMessage m = ChatMessage::make(MessageRole::Assistant, QStringLiteral("answer"));
    m.toolCalls = QList<ToolCallRecord>{{QStringLiteral("c1"), QStringLiteral("list_dir"), QStringLiteral("{}")}};
    store->appendMessage(m);
    store->setSelectedConversationID(std::nullopt);
    const QByteArray bytes = h.read();

    QVERIFY(!bytes.contains("selectedConversationID"));
    QVERIFY(bytes.startsWith("{\n  \"conversations\" : [\n    {\n      \"createdAt\""));
    // Keys ascending within every object; a line ending in "{" opens a new one.
    static const QRegularExpression keyLine(QStringLiteral(R"re(^( *)"(\w+)" :)re"));
    QHash<int, QString> lastKeyAt;
    int keys = 0;
    for (const QByteArray &line : bytes.split('\n')) {
        const QString text = QString::fromUtf8(line);
        const auto match = keyLine.match(text);
        const int indent = int(text.size() - text.trimmed().size());
        if (text.endsWith(u'{'))
            lastKeyAt.remove(indent + 2);
        if (!match.hasMatch())
            continue;
        const int at = int(match.capturedLength(1));
        QVERIFY2(lastKeyAt.value(at) < match.captured(2), qPrintable(text));
        lastKeyAt[at] = match.captured(2);
        ++keys;
    }
    QCOMPARE(keys, 1 + 8 + 5 + 3);
    static const QRegularExpression date(QStringLiteral(R"re("(createdAt|updatedAt)" : "([^"]*)")re"));
    int dates = 0;
    for (auto it = date.globalMatch(QString::fromUtf8(bytes)); it.hasNext(); ++dates)
        QVERIFY(IsoDate::parse(it.next().captured(2).toLatin1()).has_value());
    QCOMPARE(dates, 3);
    QVERIFY(bytes.contains("\"createdAt\" : \"2026-01-02T03:04:06Z\""));
}

void TestConversationStore::selectionObserverWritesOnlyOnChange()
{
    ConversationHarness h;
    auto store = h.open();
    QSignalSpy spy(store.get(), &ConversationStore::selectedConversationIDChanged);
    h.writes = 0;
    store->setSelectedConversationID(store->selectedConversationID());
    QCOMPARE(h.writes, 0);
    QCOMPARE(spy.count(), 0);
    store->setSelectedConversationID(QUuid::createUuid());
    QCOMPARE(h.writes, 1);
    QCOMPARE(spy.count(), 1);
}

void TestConversationStore::savedFileAlwaysMatchesMemory_data()
{
    QTest::addColumn<bool>("background");
    QTest::newRow("synchronous") << false;
    // Shared lists read on the writer thread while the UI thread edits them.
    QTest::newRow("writer thread, state torn by later edits") << true;
}

void TestConversationStore::savedFileAlwaysMatchesMemory()
{
    // The writer reuses the JSON of unchanged conversations; whatever
    // sequence of changes happens, the file must read back as memory.
    QFETCH(bool, background);
    ConversationHarness h;
    h.background = background;
    auto store = h.open();
    QRandomGenerator rng(7);
    for (int step = 0; step < 120; ++step) {
        const QList<Conversation> all = store->conversations();
        const QUuid some = all[rng.bounded(int(all.size()))].id;
        switch (rng.bounded(9)) {
        case 0: store->newChat(); break;
        case 1: store->appendMessage(message(MessageRole::User, QString::number(step))); break;
        case 2: store->appendMessage(some, message(MessageRole::Assistant, QStringLiteral("a%1").arg(step))); break;
        case 3:
            store->updateConversation(some, [step](Conversation &c) {
                if (!c.messages.isEmpty())
                    c.messages[0].content += QString::number(step); // an edit in place, same length list
            });
            break;
        case 4: store->fork(some); break;
        case 5: store->togglePin(some); break;
        case 6: store->archive(some); break;
        case 7: {
            QList<Conversation> edited = store->conversations(); // replaced wholesale, then saved by select
            edited.last().title += u'!';
            store->setConversations(edited);
            store->select(edited.first().id);
            store->setUnread(edited.last().id, true);
            break;
        }
        default: store->deleteConversation(some); break;
        }
    }
    const QList<Conversation> memory = store->conversations();
    const auto selected = store->selectedConversationID();
    store.reset();
    h.background = false;
    auto reread = h.open();
    QCOMPARE(reread->conversations().size(), memory.size());
    for (qsizetype i = 0; i < memory.size(); ++i) {
        Conversation expected = memory[i];
        // Dates are stored in whole seconds; the test clock has no fractions.
        QCOMPARE(reread->conversations()[i], expected);
    }
    QCOMPARE(reread->selectedConversationID(), selected);
}

void TestConversationStore::errorInAnyConversationFailsTheFile()
{
    // Many conversations are decoded in parallel; the failure still names its place.
    ConversationHarness h;
    QList<Conversation> list;
    for (int i = 0; i < 60; ++i) {
        Conversation c = conversation(QStringLiteral("c%1").arg(i), i);
        c.messages = {message(MessageRole::User, QStringLiteral("m%1").arg(i))};
        list.append(c);
    }
    QByteArray bytes = envelopeOf(list, list.first().id);
    bytes.replace("\"m37\"", "37");
    auto decoded = decodeConversationFile(bytes);
    QVERIFY(!decoded.ok());
    QCOMPARE(decoded.error().where, QStringLiteral("conversations[37].messages[0].content"));
    QCOMPARE(decoded.error().kind, JsonDecodeError::Kind::WrongType);
}

namespace {

// A writer for the background tests: records the title of the first
// conversation of every state it writes, and can hold a write until released.
struct GatedWriter {
    QMutex mutex;
    QStringList written;
    QSemaphore started;
    QSemaphore gate{1000};
    int failuresLeft = 0;

    model::StoreStreamWriter writer()
    {
        return [this](const QString &path, const platform::ByteSource &source) {
            QByteArray bytes;
            source([&bytes](QByteArrayView piece) {
                bytes.append(piece);
                return true;
            });
            started.release();
            (void)gate.tryAcquire(1, 5000); // a write that blocks its caller must not hang the test
            {
                QMutexLocker lock(&mutex);
                const auto decoded = decodeConversationFile(bytes);
                written.append(decoded.ok() ? decoded.value().conversations.value(0).title : QStringLiteral("?"));
                if (failuresLeft > 0) {
                    --failuresLeft;
                    return QStringLiteral("disk full");
                }
            }
            return platform::writeFileAtomically(path, bytes);
        };
    }
    QStringList titles()
    {
        QMutexLocker lock(&mutex);
        return written;
    }
};

// A store over h's file that writes on its background writer through w.
std::unique_ptr<ConversationStore> backgroundStore(ConversationHarness &h, GatedWriter &w)
{
    auto options = h.options();
    options.writer = w.writer();
    options.writeInBackground = true;
    return std::make_unique<ConversationStore>(options);
}

QString storedTitle(const ConversationHarness &h)
{
    return h.envelope().value(QLatin1String("conversations")).toArray().at(0).toObject().value(QLatin1String("title")).toString();
}

} // namespace

void TestConversationStore::backgroundWritesKeepOrderAndSkipStaleStates()
{
    ConversationHarness h;
    const Conversation a = conversation(QStringLiteral("A"), 0);
    h.put(envelopeOf({a}, a.id));
    GatedWriter w;
    auto store = backgroundStore(h, w);

    // The first write is held on the writer thread; the changes after it
    // must neither wait for it nor be written one by one.
    w.gate.acquire(1000);
    store->rename(a.id, QStringLiteral("v1"));
    QVERIFY(w.started.tryAcquire(1, 5000));
    for (int v = 2; v <= 5; ++v)
        store->rename(a.id, QStringLiteral("v%1").arg(v));
    QCOMPARE(store->conversations().first().title, QStringLiteral("v5"));
    // Meanwhile the file is the whole old version.
    QCOMPARE(storedTitle(h), QStringLiteral("A"));

    w.gate.release(1000);
    store->flush();
    // The held state, then only the newest of those queued behind it.
    QCOMPARE(w.titles(), (QStringList{"v1", "v5"}));
    QCOMPARE(storedTitle(h), QStringLiteral("v5"));
    store->flush(); // nothing pending: returns at once, writes nothing
    QCOMPARE(w.titles().size(), 2);
}

void TestConversationStore::destructionWaitsForTheLastWrite_data()
{
    QTest::addColumn<int>("changes");
    QTest::newRow("a write in flight") << 1;
    QTest::newRow("changes queued behind a slow write") << 4;
}

void TestConversationStore::destructionWaitsForTheLastWrite()
{
    QFETCH(int, changes);
    ConversationHarness h;
    const Conversation a = conversation(QStringLiteral("A"), 0);
    h.put(envelopeOf({a}, a.id));
    GatedWriter w;
    auto store = backgroundStore(h, w);

    w.gate.acquire(1000);
    store->appendMessage(a.id, message(MessageRole::User, QStringLiteral("m1")));
    QVERIFY(w.started.tryAcquire(1, 5000));
    for (int v = 2; v <= changes; ++v)
        store->appendMessage(a.id, message(MessageRole::User, QStringLiteral("m%1").arg(v)));
    // Released only after the store has begun to go away.
    QScopedPointer<QThread> releaser(QThread::create([&w] {
        QThread::msleep(100);
        w.gate.release(1000);
    }));
    releaser->start();
    store.reset();
    QVERIFY(releaser->wait(5000));

    auto reread = h.open();
    QCOMPARE(reread->conversations().first().messages.size(), changes);
    QCOMPARE(reread->conversations().first().messages.last().content, QStringLiteral("m%1").arg(changes));
    QVERIFY(w.titles().size() <= 2);
}

void TestConversationStore::failedBackgroundWriteIsRepairedByTheNext()
{
    ConversationHarness h;
    const Conversation a = conversation(QStringLiteral("A"), 0);
    h.put(envelopeOf({a}, a.id));
    GatedWriter w;
    w.failuresLeft = 1;
    auto store = backgroundStore(h, w);

    store->rename(a.id, QStringLiteral("lost write"));
    store->flush();
    QCOMPARE(storedTitle(h), QStringLiteral("A"));
    QCOMPARE(store->conversations().first().title, QStringLiteral("lost write"));
    store->togglePin(a.id);
    store->flush();
    QCOMPARE(storedTitle(h), QStringLiteral("lost write"));
    QCOMPARE(w.titles(), (QStringList{"lost write", "lost write"}));
}

void TestConversationStore::failedSavesAreReportedOncePerRun_data()
{
    QTest::addColumn<bool>("background");
    QTest::newRow("written by the caller") << false;
    QTest::newRow("written on the writer thread") << true;
}

void TestConversationStore::failedSavesAreReportedOncePerRun()
{
    QFETCH(bool, background);
    ConversationHarness h;
    const Conversation a = conversation(QStringLiteral("A"), 0);
    h.put(envelopeOf({a}, a.id));
    // One result per write, in order; an empty one lets the write through.
    auto results = std::make_shared<QStringList>(
        QStringList{"write: No space left on device", "write: No space left on device", QString(),
                    "create: Read-only file system", "create: Read-only file system"});
    auto mutex = std::make_shared<QMutex>();
    ConversationStore::Options options = h.options();
    options.writeInBackground = background;
    options.writer = [results, mutex](const QString &path, const platform::ByteSource &source) {
        QMutexLocker lock(mutex.get());
        const QString result = results->isEmpty() ? QString() : results->takeFirst();
        return result.isEmpty() ? platform::writeFileAtomically(path, source) : result;
    };
    ConversationStore store(options);
    QSignalSpy failures(&store, &ConversationStore::saveFailed);

    for (const char *title : {"one", "two", "three", "four", "five"}) {
        store.rename(a.id, QString::fromLatin1(title));
        store.flush(); // one write per change, none merged
    }
    QTRY_COMPARE(failures.size(), 2);
    QCOMPARE(failures.at(0).at(0).toString(), QStringLiteral("write: No space left on device"));
    QCOMPARE(failures.at(1).at(0).toString(), QStringLiteral("create: Read-only file system"));
    // Memory kept every change; the file has the last one that got through.
    QCOMPARE(store.conversations().first().title, QStringLiteral("five"));
    QCOMPARE(storedTitle(h), QStringLiteral("three"));
}

MOONSHELF_TEST_GUILESS_MAIN(TestConversationStore)
#include "tst_conversationstore.moc"

namespace {

QList<Conversation> largeHistory()
{
    // Over the size where decoding is split across threads.
    QList<Conversation> list;
    for (int i = 0; i < 24; ++i) {
        Conversation c = conversation(QStringLiteral("c%1").arg(i), i, i % 5 == 0, i % 7 == 0);
        for (int m = 0; m < 6; ++m) {
            ChatMessage msg = message(m % 2 ? MessageRole::Assistant : MessageRole::User,
                                      QStringLiteral("line \"%1\" {\n    }\n").arg(m).repeated(700));
            if (m == 3)
                msg.toolCalls = QList<ToolCallRecord>{};
            c.messages.append(msg);
        }
        list.append(c);
    }
    return list;
}

} // namespace

void TestConversationStore::largeFilesDecodeInChunksOrFallBack_data()
{
    QTest::addColumn<QByteArray>("from");
    QTest::addColumn<QByteArray>("to");
    QTest::addColumn<bool>("inChunks");
    QTest::addColumn<bool>("valid");
    QTest::newRow("as written") << QByteArray() << QByteArray() << true << true;
    // Objects of messages moved to where conversations start: the cuts fall
    // inside conversations and must be noticed.
    QTest::newRow("messages at the conversations' indent") << QByteArray("\n        {") << QByteArray("\n    {") << false
                                                           << true;
    QTest::newRow("unknown key after the list") << QByteArray("\n  ],") << QByteArray("\n  ],\"x\":{\"y\":1},")
                                                << true << true;
    QTest::newRow("unknown list after the list") << QByteArray("\n  ],") << QByteArray("\n  ],\"x\":[1],") << false
                                                 << true;
    QTest::newRow("bad record in the middle") << QByteArray("\"c13\"") << QByteArray("13") << false << false;
    QTest::newRow("bad selection") << QByteArray("\"selectedConversationID\" : \"")
                                   << QByteArray("\"selectedConversationID\" : \"{") << false << false;
    QTest::newRow("missing comma between conversations") << QByteArray("},\n    {") << QByteArray("}\n    {") << false
                                                         << false;
    QTest::newRow("text after the end") << QByteArray("\n}") << QByteArray("\n}x") << false << false;
}

void TestConversationStore::largeFilesDecodeInChunksOrFallBack()
{
    QFETCH(QByteArray, from);
    QFETCH(QByteArray, to);
    QFETCH(bool, inChunks);
    QFETCH(bool, valid);
    const QList<Conversation> list = largeHistory();
    QByteArray bytes = envelopeOf(list, list[3].id);
    QVERIFY(bytes.size() > (1 << 20));
    if (!from.isEmpty()) {
        QVERIFY(bytes.contains(from));
        bytes.replace(from, to);
    }
    const QByteArray original = bytes;
    const auto chunks = decodeConversationFileInChunks(bytes);
    QCOMPARE(bytes, original); // the ordinary path may still need them
    QCOMPARE(chunks.has_value(), inChunks);
    // Fed as it is read, in blocks that cut the markers between conversations.
    ConversationChunks pieces;
    for (qsizetype done = 4099;; done += 4099) {
        pieces.feed(bytes, qMin(done, bytes.size()));
        if (done >= bytes.size())
            break;
    }
    const auto fed = pieces.finish(bytes);
    QCOMPARE(fed.has_value(), inChunks);
    if (fed)
        QCOMPARE(fed->conversations, list);
    const auto decoded = decodeConversationFile(bytes);
    QCOMPARE(decoded.ok(), valid);
    if (!valid)
        return;
    QCOMPARE(decoded->conversations, list);
    QCOMPARE(decoded->selectedConversationID, std::optional(list[3].id));
    if (chunks) {
        QCOMPARE(chunks->conversations, list);
        QCOMPARE(chunks->selectedConversationID, std::optional(list[3].id));
    }
}

// A history larger than the blocks it is read in: decoded while read, into
// what was written; a bad record anywhere still fails all of it.
void TestConversationStore::largeFileIsDecodedWhileRead_data()
{
    QTest::addColumn<QByteArray>("from");
    QTest::addColumn<QByteArray>("to");
    QTest::addColumn<bool>("valid");
    QTest::newRow("as written") << QByteArray() << QByteArray() << true;
    QTest::newRow("a bad record in every block") << QByteArray("\"c13\"") << QByteArray("13") << false;
}

void TestConversationStore::largeFileIsDecodedWhileRead()
{
    QFETCH(QByteArray, from);
    QFETCH(QByteArray, to);
    QFETCH(bool, valid);
    const QList<Conversation> one = largeHistory();
    const QList<Conversation> list = one + one + one + one;
    QByteArray bytes = envelopeOf(list, list[3].id);
    QVERIFY(bytes.size() > (5 << 20));
    bytes.replace(from, to);
    ConversationHarness h;
    h.put(bytes);
    auto store = h.open();
    QCOMPARE(store->loadState(), valid ? StoreFileState::Loaded : StoreFileState::Undecodable);
    if (!valid)
        return;
    QCOMPARE(store->conversations(), list);
    QCOMPARE(store->selectedConversationID(), std::optional(list[3].id));
    QCOMPARE(h.writes, 0);
}

// The chunks are read by another parser: whatever it takes, it reads as the
// ordinary decoder does, and what that one refuses it refuses too. Changes
// go into one conversation's title, or into every record for a key.
void TestConversationStore::chunksAreReadAsStrictlyAsTheWhole_data()
{
    QTest::addColumn<QByteArray>("from");
    QTest::addColumn<QByteArray>("to");
    QTest::addColumn<bool>("inChunks");
    QTest::addColumn<bool>("valid");
    const QByteArray title("\"c13\"");
    QTest::newRow("escaped letters") << title << QByteArray("\"c\\u0031\\u0033\"") << true << true;
    QTest::newRow("surrogate pair") << title << QByteArray("\"c\\ud83d\\ude00\"") << true << true;
    QTest::newRow("unknown escape") << title << QByteArray("\"c\\x13\"") << false << false;
    QTest::newRow("short unicode escape") << title << QByteArray("\"c\\u13\"") << false << false;
    QTest::newRow("high surrogate alone") << title << QByteArray("\"c\\ud83d\"") << false << false;
    // The ordinary decoder takes it (as a replacement character); the
    // chunks leave it to that one.
    QTest::newRow("low surrogate alone") << title << QByteArray("\"c\\ude00\"") << false << true;
    QTest::newRow("tab not escaped") << title << QByteArray("\"c\t13\"") << false << false;
    QTest::newRow("NUL byte") << title << QByteArray("\"c\0\"", 4) << false << false;
    QTest::newRow("invalid UTF-8") << title << QByteArray("\"c\xff\"") << false << false;
    QTest::newRow("unknown key") << title << QByteArray("\"c13\", \"extra\" : [1, {\"a\" : null}]") << true << true;
    QTest::newRow("bad JSON under an unknown key") << title << QByteArray("\"c13\", \"extra\" : [1 2]") << false
                                                   << false;
    QTest::newRow("repeated key: the last one holds") << title << QByteArray("\"c13\", \"title\" : \"again\"")
                                                      << true << true;
    QTest::newRow("messages not a list") << title << QByteArray("\"c13\", \"messages\" : false") << false << false;
    QTest::newRow("null flags") << QByteArray("\"isPinned\" : false") << QByteArray("\"isPinned\" : null") << true
                                << true;
    QTest::newRow("text for a flag") << QByteArray("\"isPinned\" : false") << QByteArray("\"isPinned\" : \"no\"")
                                     << false << false;
    QTest::newRow("null tool calls") << QByteArray("\"toolCalls\" : []") << QByteArray("\"toolCalls\" : null") << true
                                     << true;
    QTest::newRow("unknown role") << QByteArray("\"role\" : \"assistant\"") << QByteArray("\"role\" : \"robot\"")
                                  << false << false;
    QTest::newRow("fractional seconds") << QByteArray("Z\"") << QByteArray(".5Z\"") << false << false;
    QTest::newRow("message id with braces") << QByteArray("\"id\" : \"") << QByteArray("\"id\" : \"{") << false
                                            << false;
}

void TestConversationStore::chunksAreReadAsStrictlyAsTheWhole()
{
    QFETCH(QByteArray, from);
    QFETCH(QByteArray, to);
    QFETCH(bool, inChunks);
    QFETCH(bool, valid);
    const QList<Conversation> list = largeHistory();
    QByteArray bytes = envelopeOf(list, list[3].id);
    QVERIFY(bytes.contains(from));
    bytes.replace(from, to);
    const auto chunks = decodeConversationFileInChunks(bytes);
    const auto decoded = decodeConversationFile(bytes);
    QCOMPARE(decoded.ok(), valid);
    QCOMPARE(chunks.has_value(), inChunks);
    if (chunks)
        QCOMPARE(chunks->conversations, decoded->conversations);
}

void TestConversationStore::storesLiveInTheSupportFolder()
{
    const QString folder = QDir::homePath() + QStringLiteral("/.local/share/com.ovu.QirvMac/");
    ConversationStore conversations;
    QCOMPARE(conversations.filePath(), folder + QStringLiteral("conversations.json"));
    conversations.flush(); // the application's store writes in the background
    QVERIFY(QFileInfo(conversations.filePath()).isFile());
    QCOMPARE(QFileInfo(conversations.filePath()).permissions() & (QFile::ReadOther | QFile::ReadGroup),
             QFile::Permissions());
    SettingsStore settings;
    QCOMPARE(settings.filePath(), folder + QStringLiteral("settings.json"));
}

void TestConversationStore::deeplyNestedJson_data()
{
    // Nesting deep enough to overflow the stack of a recursive parser.
    constexpr int kDepth = 1'000'000;
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<bool>("loads");
    QTest::newRow("unclosed arrays") << QByteArray(kDepth, '[') << false;
    QTest::newRow("closed arrays, not conversations") << QByteArray(kDepth, '[') + QByteArray(kDepth, ']') << false;
    Conversation a = conversation(QStringLiteral("A"), 10);
    QByteArray file = envelopeOf({a}, a.id);
    file.replace("\"title\" :", "\"extra\" : " + QByteArray(kDepth, '[') + QByteArray(kDepth, ']') + ",\"title\" :");
    QTest::newRow("deep value under an unknown key") << file << true;
}

void TestConversationStore::deeplyNestedJson()
{
    QFETCH(QByteArray, bytes);
    QFETCH(bool, loads);
    ConversationHarness h;
    h.put(bytes);
    auto store = h.open();
    QCOMPARE(store->loadState(), loads ? StoreFileState::Loaded : StoreFileState::Undecodable);
    QCOMPARE(titles(store->conversations()), QStringList({loads ? "A" : "New session"}));
}
