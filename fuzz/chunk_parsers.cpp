// Both parsers of a stream line read it alike: whatever line the fast one
// reads (as given, or with its lone surrogates and huge numbers made
// readable), the lenient one reads to the same chunk. A line's meaning
// must not depend on which parser a stray byte elsewhere in it sends it to.
#include "FuzzCheck.h"

#include "agent/stream/StreamChunk.h"
#include "agent/stream/StreamChunkText.h"

#include <cstdint>

namespace {

QString describe(const std::optional<agent::StreamChunk> &chunk)
{
    if (!chunk)
        return QStringLiteral("not read");
    QString out = QStringLiteral("error %1 [%2], choice %3, finish [%4], content [%5], calls:")
                      .arg(chunk->isError)
                      .arg(chunk->errorText)
                      .arg(chunk->hasChoice)
                      .arg(chunk->finishReason.value_or(QStringLiteral("-")), chunk->content);
    for (const agent::StreamChunk::CallPart &part : chunk->calls)
        out += QStringLiteral(" (%1 [%2] [%3] [%4])").arg(part.index).arg(part.id, part.name, part.arguments);
    return out;
}

void agree(agent::StreamChunkReader &reader, QByteArrayView fastInput, QByteArrayView payload, bool readable)
{
    const std::optional<agent::StreamChunk> fast = reader.readFast(fastInput, readable);
    if (!fast)
        return;
    const std::optional<agent::StreamChunk> lenient = agent::StreamChunkReader::readLenient(payload);
    fuzz::check(lenient && *lenient == *fast, "the lenient parser reads what the fast one read, alike",
                QStringLiteral("fast:    ") + describe(fast) + QStringLiteral("\nlenient: ") + describe(lenient));
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    static agent::StreamChunkReader reader;
    const QByteArrayView payload(reinterpret_cast<const char *>(data), qsizetype(size));
    agree(reader, payload, payload, false);
    if (const std::optional<QByteArray> readable = agent::readablePayload(payload))
        agree(reader, *readable, payload, true);
    return 0;
}
