// Times the conversation store on a generated history of about 50 MB: load,
// save and one appendMessage, each beside a raw read or write of the same
// bytes in the same run. Prints one figure a line: "name value unit".
//
// "save" is the first save after loading, which encodes every conversation;
// "append_message" is a later one, which reuses the JSON of the unchanged
// ones. Both are the time the caller (the UI thread) is held; the store
// encodes and writes on its own thread, and "*_on_disk" is the time until
// that write is done. "encode_*" split the work of a save, in the pieces the
// store writes: encoding every conversation, re-encoding after one message,
// and the same for a history of one 50 MB session, where the changed session
// is the whole file. Raw writes use the store's own atomic, synced write.
// "decode" is the bytes already in memory turned into records, on all cores
// and on two helpers; "*_cpu" is the processor time the process spent on it
// in all its threads, which a busy machine changes far less than the wall
// time; "load_cold" and
// "raw_read_cold" read the file after the page cache was dropped (only as
// root, with MOONSHELF_BENCH_DROP_CACHES=1: it slows the whole machine for a
// moment). "--decode-loop N" only decodes, N times, for a profiler.

#include "model/ConversationFile.h"
#include "model/ConversationStore.h"
#include "platform/AtomicFile.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QThread>
#include <QThreadPool>

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <functional>
#include <unistd.h>
#include <vector>

using namespace model;

namespace {

constexpr int kSessions = 400;
constexpr int kMessagesPerSession = 150;
constexpr int kRuns = 5;

QString words(QRandomGenerator &rng, int approxChars)
{
    // Mostly ASCII, as chats about code are, with some escapes and now and
    // then a non-ASCII word.
    static const char *const kAscii[] = {"the",  "model", "reads", "file", "and",         "writes",    "a",
                                         "patch", "for",  "src/main.c", "then", "runs", "make", "test",
                                         "\"quoted\"", "line\nbreak", "tab\there", "back\\slash", "{ return 0; }"};
    static const char *const kOther[] = {"über", "naïve", "résumé", "→", "✓", "🚀"};
    QString out;
    out.reserve(approxChars + 16);
    while (out.size() < approxChars) {
        if (rng.bounded(40) == 0)
            out += QString::fromUtf8(kOther[rng.bounded(int(std::size(kOther)))]);
        else
            out += QLatin1String(kAscii[rng.bounded(int(std::size(kAscii)))]);
        out += u' ';
    }
    return out;
}

QList<Conversation> generateHistory()
{
    QRandomGenerator rng(20261207);
    const QDateTime base = QDateTime::fromSecsSinceEpoch(1700000000, Qt::UTC);
    QList<Conversation> list;
    list.reserve(kSessions);
    for (int s = 0; s < kSessions; ++s) {
        Conversation c;
        c.id = QUuid::createUuid();
        c.title = words(rng, 30).trimmed();
        c.createdAt = base.addSecs(s * 3600);
        c.updatedAt = c.createdAt.addSecs(1800);
        c.isPinned = s % 50 == 0;
        c.isArchived = s % 7 == 0;
        for (int m = 0; m < kMessagesPerSession; ++m) {
            ChatMessage msg;
            msg.id = QUuid::createUuid();
            msg.createdAt = c.createdAt.addSecs(m * 10);
            switch (m % 3) {
            case 0:
                msg.role = MessageRole::User;
                msg.content = words(rng, 200);
                break;
            case 1: {
                msg.role = MessageRole::Assistant;
                msg.content = words(rng, 400);
                QList<ToolCallRecord> calls;
                calls.append({QStringLiteral("call_%1_%2").arg(s).arg(m), QStringLiteral("read_file"),
                              QStringLiteral(R"({"path":"src/module_%1.c"})").arg(m)});
                msg.toolCalls = calls;
                break;
            }
            default:
                msg.role = MessageRole::Tool;
                msg.toolCallId = QStringLiteral("call_%1_%2").arg(s).arg(m - 1);
                // Now and then a long tool result (a whole file or a build log).
                msg.content = words(rng, rng.bounded(100) < 3 ? 16000 : 600);
                break;
            }
            c.messages.append(msg);
        }
        list.append(c);
    }
    return list;
}

double median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

// Processor time of all the process's threads, in milliseconds.
double cpuMs()
{
    timespec ts{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
    return ts.tv_sec * 1e3 + ts.tv_nsec / 1e6;
}

double timeMs(const std::function<void()> &f)
{
    QElapsedTimer t;
    t.start();
    f();
    return t.nsecsElapsed() / 1e6;
}

void print(const char *name, double value, const char *unit)
{
    std::printf("%s %.2f %s\n", name, value, unit);
    std::fflush(stdout);
}

// Empties the page cache, so the next read comes from the disk.
bool dropCaches()
{
    if (qEnvironmentVariable("MOONSHELF_BENCH_DROP_CACHES") != QLatin1String("1"))
        return false;
    ::sync();
    std::ofstream control("/proc/sys/vm/drop_caches");
    control << "3\n";
    return bool(control.flush());
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    QTemporaryDir dir;
    if (!dir.isValid()) {
        std::fprintf(stderr, "cannot create a temporary folder\n");
        return 1;
    }
    const QString path = dir.filePath(QStringLiteral("conversations.json"));
    const QString rawPath = dir.filePath(QStringLiteral("raw.json"));

    const QList<Conversation> history = generateHistory();
    const std::optional<QUuid> selected = history.first().id;
    const QByteArray bytes = ConversationFileEncoder().encode(history, selected);
    if (const QString err = platform::writeFileAtomically(path, bytes); !err.isEmpty()) {
        std::fprintf(stderr, "cannot write %s: %s\n", qPrintable(path), qPrintable(err));
        return 1;
    }
    print("store.file_size", bytes.size() / 1e6, "MB");
    print("store.messages", double(kSessions) * kMessagesPerSession, "count");
    print("store.threads", QThread::idealThreadCount(), "count");

    QThreadPool twoHelpers;
    twoHelpers.setMaxThreadCount(2);
    if (argc == 3 && QByteArray(argv[1]) == "--decode-loop") {
        for (int i = atoi(argv[2]); i > 0; --i)
            if (!decodeConversationFile(bytes, &twoHelpers))
                return 1;
        return 0;
    }
    std::vector<double> decodeAll, decodeTwo, decodeCpu, readCpu;
    for (int run = 0; run < kRuns; ++run) {
        bool ok = true;
        const double cpuBefore = cpuMs();
        decodeAll.push_back(timeMs([&] { ok = ok && decodeConversationFile(bytes).ok(); }));
        decodeCpu.push_back(cpuMs() - cpuBefore);
        const double readBefore = cpuMs();
        {
            QFile f(path);
            if (f.open(QIODevice::ReadOnly))
                ok = ok && f.readAll().size() == bytes.size();
        }
        readCpu.push_back(cpuMs() - readBefore);
        decodeTwo.push_back(timeMs([&] { ok = ok && decodeConversationFile(bytes, &twoHelpers).ok(); }));
        if (!ok) {
            std::fprintf(stderr, "the history did not decode\n");
            return 1;
        }
    }
    print("store.decode", median(decodeAll), "ms");
    print("store.decode_two_helpers", median(decodeTwo), "ms");
    print("store.decode_cpu", median(decodeCpu), "ms");
    print("store.raw_read_cpu", median(readCpu), "ms");
    print("store.decode_cpu_vs_raw_read_cpu", median(decodeCpu) / median(readCpu), "x");
    if (dropCaches()) {
        const double rawCold = timeMs([&] {
            QFile f(path);
            if (f.open(QIODevice::ReadOnly))
                (void)f.readAll();
        });
        dropCaches();
        std::unique_ptr<ConversationStore> store;
        const double loadCold =
            timeMs([&] { store = std::make_unique<ConversationStore>(ConversationStore::Options{path}); });
        print("store.raw_read_cold", rawCold, "ms");
        print("store.load_cold", loadCold, "ms");
        print("store.load_cold_ratio", loadCold / rawCold, "x");
    }

    std::vector<double> rawWrite, rawRead, load, save, saveOnDisk, append, appendOnDisk;
    qsizetype sink = 0;
    for (int run = 0; run < kRuns; ++run) {
        rawWrite.push_back(timeMs([&] { (void)platform::writeFileAtomically(rawPath, bytes); }));
        rawRead.push_back(timeMs([&] {
            QFile f(path);
            if (f.open(QIODevice::ReadOnly))
                sink += f.readAll().size();
        }));

        std::unique_ptr<ConversationStore> store;
        load.push_back(timeMs([&] { store = std::make_unique<ConversationStore>(ConversationStore::Options{path}); }));
        if (store->conversations().size() != kSessions) {
            std::fprintf(stderr, "loaded %lld sessions, expected %d\n", qlonglong(store->conversations().size()),
                         kSessions);
            return 1;
        }
        // The first save after loading encodes every conversation.
        const QUuid target = store->conversations()[run + 1].id;
        save.push_back(timeMs([&] { store->setUnread(target, run % 2 == 0); }));
        saveOnDisk.push_back(save.back() + timeMs([&] { store->flush(); }));
        // Later saves reuse the JSON of unchanged conversations.
        const ChatMessage message = ChatMessage::make(MessageRole::User, QStringLiteral("one more question"));
        append.push_back(timeMs([&] { store->appendMessage(message); }));
        appendOnDisk.push_back(append.back() + timeMs([&] { store->flush(); }));
    }

    // Where a save's time goes, without the store.
    std::vector<double> encodeAll, encodeOne, encodeBig, bigAppend;
    // Piece by piece, as the store writes them: the file is never put together.
    const auto encoded = [&selected](ConversationFileEncoder &encoder, const QList<Conversation> &list) {
        qsizetype size = 0;
        encoder.encodeTo(list, selected, [&size](QByteArrayView piece) {
            size += piece.size();
            return true;
        });
        return size;
    };
    QList<Conversation> big{history.first()};
    for (qsizetype i = 1; i < history.size(); ++i)
        big.first().messages.append(history[i].messages);
    for (int run = 0; run < kRuns; ++run) {
        ConversationFileEncoder encoder;
        QList<Conversation> list = history;
        encodeAll.push_back(timeMs([&] { sink += encoded(encoder, list); }));
        list[run + 1].messages.append(ChatMessage::make(MessageRole::User, QStringLiteral("one more")));
        encodeOne.push_back(timeMs([&] { sink += encoded(encoder, list); }));
        QList<Conversation> bigList = big;
        sink += encoded(encoder, bigList);
        bigList.first().messages.append(ChatMessage::make(MessageRole::User, QStringLiteral("one more")));
        encodeBig.push_back(timeMs([&] { sink += encoded(encoder, bigList); }));
    }
    {
        // One big session, as a long-running chat is: the store's own append.
        if (const QString err = platform::writeFileAtomically(path, ConversationFileEncoder().encode(big, selected));
            !err.isEmpty())
            return 1;
        ConversationStore store(ConversationStore::Options{path});
        for (int run = 0; run < kRuns; ++run) {
            const ChatMessage message = ChatMessage::make(MessageRole::User, QStringLiteral("one more question"));
            bigAppend.push_back(timeMs([&] { store.appendMessage(message); }));
            store.flush();
        }
    }
    if (sink == 0)
        return 1;

    const double w = median(rawWrite), r = median(rawRead);
    print("store.raw_write", w, "ms");
    print("store.raw_read", r, "ms");
    print("store.load", median(load), "ms");
    print("store.save", median(save), "ms");
    print("store.save_on_disk", median(saveOnDisk), "ms");
    print("store.append_message", median(append), "ms");
    print("store.append_on_disk", median(appendOnDisk), "ms");
    print("store.encode_all", median(encodeAll), "ms");
    print("store.encode_one_changed", median(encodeOne), "ms");
    print("store.encode_big_session_changed", median(encodeBig), "ms");
    print("store.big_session_append_message", median(bigAppend), "ms");
    print("store.save_ratio", median(save) / w, "x");
    print("store.load_ratio", median(load) / r, "x");
    print("store.append_ratio", median(append) / w, "x");
    print("store.append_on_disk_ratio", median(appendOnDisk) / w, "x");
    return 0;
}
