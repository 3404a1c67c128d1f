#include "model/ConversationFileSplit.h"

#include "model/ChatRecordsCodec.h"
#include "model/ConversationFastRead.h"

#include <QFuture>
#include <QMutex>
#include <QThreadPool>
#include <QtConcurrentRun>

#include <algorithm>
#include <cstring>
#include <deque>
#include <memory>
#include <vector>

namespace model {

namespace {

// A conversation of the envelope starts on its own line, indented four
// spaces. JSON strings cannot hold a raw newline, so this is never inside
// text; whether the cuts really fall between conversations is checked by
// parsing each chunk and the glue between them.
constexpr QByteArrayView kStart("\n    {");
constexpr qsizetype kMinimumSize = 1 << 20;

bool isSpace(char c)
{
    return c == ' ' || c == '\n' || c == '\r' || c == '\t';
}

// The next cut at or after from, or -1: a line break found with memchr,
// many times faster than a general search for the whole marker.
qsizetype nextStart(QByteArrayView b, qsizetype from)
{
    const char *const end = b.data() + b.size();
    for (const char *p = b.data() + from; p < end;) {
        p = static_cast<const char *>(std::memchr(p, '\n', std::size_t(end - p)));
        if (!p)
            return -1;
        if (QByteArrayView(p, end - p).startsWith(kStart))
            return p - b.data();
        ++p;
    }
    return -1;
}

qsizetype skipSpace(QByteArrayView b, qsizetype i)
{
    while (i < b.size() && isSpace(b[i]))
        ++i;
    return i;
}

bool expect(QByteArrayView b, qsizetype &i, QByteArrayView token)
{
    i = skipSpace(b, i);
    if (!b.sliced(i).startsWith(token))
        return false;
    i += token.size();
    return true;
}

struct Chunk {
    qsizetype begin = 0; // at the opening brace
    qsizetype end = 0; // where the next chunk's cut (or the closing ']') starts
    bool last = false;
    Conversation value;
    codec::ReadState state;
    bool ok = false;
};

// Where the conversation of a chunk ends: after it, blanks, one comma
// (none after the last), blanks. -1 when the chunk does not end so.
qsizetype objectEnd(QByteArrayView bytes, const Chunk &chunk)
{
    qsizetype i = chunk.end;
    while (i > chunk.begin && isSpace(bytes[i - 1]))
        --i;
    if (!chunk.last) {
        if (i <= chunk.begin || bytes[i - 1] != ',')
            return -1;
        --i;
        while (i > chunk.begin && isSpace(bytes[i - 1]))
            --i;
    }
    return i > chunk.begin && bytes[i - 1] == '}' ? i : -1;
}

void decodeChunk(const QByteArray &bytes, Chunk &chunk, FastConversationReader &reader)
{
    const qsizetype end = objectEnd(bytes, chunk);
    if (end < 0)
        return;
    QByteArrayView json = QByteArrayView(bytes).sliced(chunk.begin, end - chunk.begin);
    // The parser reads a little past the end: the rest of the file is
    // there, but after the last conversation it may be too short.
    QByteArray padded;
    if (bytes.size() - end < qsizetype(FastConversationReader::kPadding)) {
        padded.reserve(json.size() + qsizetype(FastConversationReader::kPadding));
        padded.append(json);
        json = padded;
    }
    chunk.ok = reader.read(json, chunk.value, chunk.state);
}

} // namespace

// The chunks cut so far, each decoded on the pool as soon as it is whole.
struct ConversationChunks::State {
    QThreadPool *pool = nullptr;
    // The file's bytes, shared with the reader, which fills them in place:
    // should it change them otherwise (the file changed size while read), it
    // gets a copy of its own and these stay as the tasks read them.
    QByteArray bytes;
    bool headSeen = false;
    bool failed = false;
    qsizetype cut = -1;     // the latest cut found, where the next chunk starts
    qsizetype scanned = 0;  // no cut starts before this but those found
    qsizetype fed = 0;      // bytes seen
    std::deque<Chunk> chunks;
    std::size_t submitted = 0;
    QList<QFuture<void>> tasks;
    // Readers (and their buffers) kept from one chunk to the next.
    QMutex lock;
    std::vector<std::unique_ptr<FastConversationReader>> readers;
};

ConversationChunks::ConversationChunks(QThreadPool *pool) : d(std::make_unique<State>())
{
    d->pool = pool ? pool : QThreadPool::globalInstance();
}

ConversationChunks::~ConversationChunks()
{
    for (QFuture<void> &task : d->tasks)
        task.waitForFinished();
}

void ConversationChunks::submit(qsizetype readable)
{
    const QByteArray &bytes = d->bytes;
    // A chunk is decoded once the bytes the parser may look at past its end
    // are read too.
    while (d->submitted < d->chunks.size() &&
           (d->chunks[d->submitted].end + qsizetype(FastConversationReader::kPadding) <= readable ||
            readable == bytes.size())) {
        Chunk *chunk = &d->chunks[d->submitted++];
        State *state = d.get();
        d->tasks.append(QtConcurrent::run(d->pool, [state, chunk] {
            std::unique_ptr<FastConversationReader> reader;
            {
                QMutexLocker locked(&state->lock);
                if (!state->readers.empty()) {
                    reader = std::move(state->readers.back());
                    state->readers.pop_back();
                }
            }
            if (!reader)
                reader = std::make_unique<FastConversationReader>();
            decodeChunk(state->bytes, *chunk, *reader);
            QMutexLocker locked(&state->lock);
            state->readers.push_back(std::move(reader));
        }));
    }
}

void ConversationChunks::feed(const QByteArray &bytes, qsizetype done)
{
    if (d->failed || bytes.size() < kMinimumSize)
        return;
    if (d->bytes.isNull())
        d->bytes = bytes;
    else if (d->bytes.constData() != bytes.constData() || d->bytes.size() != bytes.size())
        d->failed = true; // not the same file
    if (d->failed)
        return;
    d->fed = done;
    // Cuts are looked for where the whole marker is read.
    const QByteArrayView seen(bytes.constData(), done);
    if (!d->headSeen) {
        // Head: {"conversations" : [ and nothing else before the first cut.
        const qsizetype first = nextStart(seen, 0);
        if (first < 0)
            return;
        qsizetype head = 0;
        const QByteArrayView all(bytes.constData(), first);
        d->headSeen = true;
        if (!expect(all, head, "{") || !expect(all, head, "\"conversations\"") || !expect(all, head, ":") ||
            !expect(all, head, "[") || skipSpace(seen, head) != first + kStart.size() - 1) {
            d->failed = true;
            return;
        }
        d->cut = first;
    }
    for (qsizetype next = nextStart(seen, std::max(d->cut + kStart.size(), d->scanned)); next >= 0;
         next = nextStart(seen, d->cut + kStart.size())) {
        Chunk chunk;
        chunk.begin = d->cut + kStart.size() - 1;
        chunk.end = next;
        d->chunks.push_back(std::move(chunk));
        d->cut = next;
    }
    // A marker may start in the last few bytes, not yet whole.
    d->scanned = std::max(d->scanned, done - kStart.size() + 1);
    submit(done);
}

std::optional<ConversationFileContent> ConversationChunks::finish(const QByteArray &bytes)
{
    if (bytes.size() < kMinimumSize || d->fed != bytes.size() || d->failed || !d->headSeen ||
        bytes.constData() != d->bytes.constData())
        return std::nullopt;
    // Tail: from the array's closing bracket to the end, decoded on its own.
    const qsizetype close = QByteArrayView(bytes).lastIndexOf(']');
    if (close < d->cut)
        return std::nullopt;
    Chunk last;
    last.begin = d->cut + kStart.size() - 1;
    last.end = close;
    last.last = true;
    d->chunks.push_back(std::move(last));
    submit(bytes.size());

    const QByteArray tail = "{\"conversations\":[]" + bytes.sliced(close + 1);
    auto rest = decodeConversationEnvelope(tail, d->pool);
    for (QFuture<void> &task : d->tasks)
        task.waitForFinished();
    if (!rest)
        return std::nullopt;

    ConversationFileContent content;
    content.selectedConversationID = rest->selectedConversationID;
    content.conversations.reserve(qsizetype(d->chunks.size()));
    for (Chunk &chunk : d->chunks) {
        if (!chunk.ok)
            return std::nullopt;
        if (chunk.state.sawInlineImage)
            content.mayHoldInlineImages.append(content.conversations.size());
        content.conversations.append(std::move(chunk.value));
    }
    return content;
}

std::optional<ConversationFileContent> decodeConversationFileInChunks(const QByteArray &bytes, QThreadPool *pool)
{
    ConversationChunks chunks(pool);
    chunks.feed(bytes, bytes.size());
    return chunks.finish(bytes);
}

} // namespace model
