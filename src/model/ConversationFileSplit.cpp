#include "model/ConversationFileSplit.h"

#include "model/ChatRecordsCodec.h"
#include "model/Utf8Check.h"

#include <QThreadPool>
#include <QtConcurrentMap>

#include <atomic>
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

void decodeChunk(const QByteArray &bytes, Chunk &chunk)
{
    // Each chunk gets its own buffer, as the in-place parser rewrites it and
    // the ordinary path may still need the original.
    QByteArray local(bytes.constData() + chunk.begin, chunk.end - chunk.begin);
    if (!isValidUtf8(local))
        return;
    rapidjson::Document doc;
    rapidjson::InsituStringStream stream(local.data());
    doc.ParseStream<rapidjson::kParseInsituFlag | rapidjson::kParseStopWhenDoneFlag | rapidjson::kParseIterativeFlag>(
        stream);
    if (doc.HasParseError())
        return;
    // Between this conversation and the next: blanks, one comma, blanks.
    const QByteArrayView rest = QByteArrayView(bytes).sliced(chunk.begin + qsizetype(stream.Tell()),
                                                             chunk.end - chunk.begin - qsizetype(stream.Tell()));
    qsizetype i = skipSpace(rest, 0);
    if (!chunk.last) {
        if (i >= rest.size() || rest[i] != ',')
            return;
        i = skipSpace(rest, i + 1);
    }
    if (i != rest.size())
        return;
    JsonDecodeError error;
    chunk.ok = codec::read(doc, chunk.value, error, chunk.state);
}

} // namespace

std::optional<ConversationFileContent> decodeConversationFileInChunks(const QByteArray &bytes, QThreadPool *pool)
{
    if (bytes.size() < kMinimumSize || bytes.contains('\0'))
        return std::nullopt;
    const QByteArrayView all(bytes);

    // Head: {"conversations" : [ and nothing else before the first cut.
    qsizetype head = 0;
    if (!expect(all, head, "{") || !expect(all, head, "\"conversations\"") || !expect(all, head, ":")
        || !expect(all, head, "["))
        return std::nullopt;
    const qsizetype first = all.indexOf(kStart, head);
    if (first < 0 || skipSpace(all, head) != first + kStart.size() - 1)
        return std::nullopt;

    // Tail: from the array's closing bracket to the end, decoded on its own.
    const qsizetype close = all.lastIndexOf(']');
    if (close < first)
        return std::nullopt;

    std::vector<Chunk> chunks;
    for (qsizetype at = first; at >= 0 && at < close;) {
        const qsizetype next = all.indexOf(kStart, at + kStart.size());
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

    QtConcurrent::blockingMap(pool ? pool : QThreadPool::globalInstance(), chunks,
                              [&bytes](Chunk &chunk) { decodeChunk(bytes, chunk); });

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
