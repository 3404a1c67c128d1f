#include "model/ConversationFileSplit.h"

#include "model/ChatRecordsCodec.h"
#include "model/ConversationFastRead.h"

#include <QThreadPool>
#include <QtConcurrentMap>

#include <algorithm>
#include <cstring>
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

// Chunks taken in turn by one thread with one reader.
struct Group {
    Chunk *begin = nullptr;
    Chunk *end = nullptr;
};

} // namespace

std::optional<ConversationFileContent> decodeConversationFileInChunks(const QByteArray &bytes, QThreadPool *pool)
{
    if (bytes.size() < kMinimumSize)
        return std::nullopt;
    const QByteArrayView all(bytes);

    // Head: {"conversations" : [ and nothing else before the first cut.
    qsizetype head = 0;
    if (!expect(all, head, "{") || !expect(all, head, "\"conversations\"") || !expect(all, head, ":")
        || !expect(all, head, "["))
        return std::nullopt;
    const qsizetype first = nextStart(all, head);
    if (first < 0 || skipSpace(all, head) != first + kStart.size() - 1)
        return std::nullopt;

    // Tail: from the array's closing bracket to the end, decoded on its own.
    const qsizetype close = all.lastIndexOf(']');
    if (close < first)
        return std::nullopt;

    std::vector<Chunk> chunks;
    for (qsizetype at = first; at >= 0 && at < close;) {
        const qsizetype next = nextStart(all, at + kStart.size());
        const bool last = next < 0 || next > close;
        Chunk chunk;
        chunk.begin = at + kStart.size() - 1;
        chunk.end = last ? close : next;
        chunk.last = last;
        chunks.push_back(std::move(chunk));
        at = next;
    }

    const QByteArray tail = "{\"conversations\":[]" + bytes.sliced(close + 1);
    auto rest = decodeConversationEnvelope(tail, pool);
    if (!rest)
        return std::nullopt;

    // A few groups a thread, so that one with longer sessions does not
    // hold up the rest.
    QThreadPool *threads = pool ? pool : QThreadPool::globalInstance();
    const std::size_t groupCount =
        std::min(chunks.size(), std::size_t(std::max(1, threads->maxThreadCount())) * 4);
    std::vector<Group> groups(groupCount);
    for (std::size_t g = 0; g < groupCount; ++g)
        groups[g] = {chunks.data() + chunks.size() * g / groupCount, chunks.data() + chunks.size() * (g + 1) / groupCount};
    QtConcurrent::blockingMap(threads, groups, [&bytes](Group &group) {
        FastConversationReader reader;
        for (Chunk *chunk = group.begin; chunk != group.end && (chunk == group.begin || chunk[-1].ok); ++chunk)
            decodeChunk(bytes, *chunk, reader);
    });

    ConversationFileContent content;
    content.selectedConversationID = rest->selectedConversationID;
    content.conversations.reserve(qsizetype(chunks.size()));
    for (Chunk &chunk : chunks) {
        if (!chunk.ok)
            return std::nullopt;
        if (chunk.state.sawInlineImage)
            content.mayHoldInlineImages.append(content.conversations.size());
        content.conversations.append(std::move(chunk.value));
    }
    return content;
}

} // namespace model
