#include "agent/stream/SseAssembler.h"

#include "platform/ServiceText.h"

#include <QStringDecoder>

#include <cstring>
#include <utility>

namespace agent {

namespace {

bool isAsciiBlank(char c)
{
    return c == ' ' || c == '\t';
}

// Blanks are spaces, tabs and the other Unicode space separators; line
// breaks cannot occur inside a line.
bool isBlank(QChar c)
{
    return c == u'\t' || c.category() == QChar::Separator_Space;
}

// The payload without its blanks at both ends: a view of `raw` when its
// ends are ASCII (no copy), else of `storage`.
QByteArrayView trimmedPayload(QByteArrayView raw, QByteArray &storage)
{
    while (!raw.isEmpty() && isAsciiBlank(raw.front()))
        raw = raw.sliced(1);
    while (!raw.isEmpty() && isAsciiBlank(raw.back()))
        raw.chop(1);
    if (raw.isEmpty() || (static_cast<unsigned char>(raw.front()) < 0x80 && static_cast<unsigned char>(raw.back()) < 0x80))
        return raw;
    // A non-ASCII end may be a Unicode space separator.
    QString text = QString::fromUtf8(raw);
    qsizetype begin = 0;
    qsizetype end = text.size();
    while (begin < end && isBlank(text.at(begin)))
        ++begin;
    while (end > begin && isBlank(text.at(end - 1)))
        --end;
    storage = text.sliced(begin, end - begin).toUtf8();
    return storage;
}

// The most of a plain (non-event) body kept to look for an error object.
constexpr qsizetype kPlainBodyLimit = 64 * 1024;

// A data line joined with the ones before is parsed again this many times
// at most; after that only the event's end reads it (no quadratic work).
constexpr int kEagerJoinLines = 8;
// How much of unreadable data the error shows.
constexpr qsizetype kShownDataCharacters = 120;
// How much of what a page or text that came instead says is shown.
constexpr qsizetype kShownWordsCharacters = 200;

// The member's next string `piece` meets a held-back half, or has a half
// at an edge (rare: checked without touching the string's data).
bool hasHalves(char16_t high, const QString &piece)
{
    return high || (!piece.isEmpty() && (piece.at(0).isLowSurrogate() || piece.at(piece.size() - 1).isHighSurrogate()));
}

// `piece` is the member's next string, `high` the half its last string
// held back (0: none). Gives what the member gains now; a high half at
// the piece's end is held back in turn.
QString joinHalves(char16_t &high, QString piece)
{
    if (high) {
        const bool meets = !piece.isEmpty() && piece.at(0).isLowSurrogate();
        piece.prepend(meets ? QChar(high) : QChar(QChar::ReplacementCharacter));
        high = 0;
    } else if (!piece.isEmpty() && piece.at(0).isLowSurrogate()) {
        piece[0] = QChar::ReplacementCharacter;
    }
    if (!piece.isEmpty() && piece.at(piece.size() - 1).isHighSurrogate()) {
        high = piece.at(piece.size() - 1).unicode();
        piece.chop(1);
    }
    return piece;
}

// Compressed data, by its first bytes: gzip, zstd, zlib (HTTP's
// "deflate"). No event stream starts so.
bool looksCompressed(QByteArrayView head)
{
    if (head.startsWith("\x1f\x8b") || head.startsWith("\x28\xb5\x2f\xfd"))
        return true;
    return head.size() >= 2 && head[0] == '\x78'
        && (head[1] == '\x01' || head[1] == '\x5e' || head[1] == '\x9c' || head[1] == '\xda');
}

bool isAsciiSpace(char c)
{
    return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\f';
}

// Bytes no text holds: control characters other than blanks, or what is
// not UTF-8 (a character cut at the end of `head` is not counted).
bool looksBinary(QByteArrayView head)
{
    for (const char c : head) {
        if ((static_cast<unsigned char>(c) < 0x20 && !isAsciiSpace(c)) || c == '\x7f')
            return true;
    }
    QStringDecoder decoder(QStringDecoder::Utf8);
    (void)decoder.decode(head);
    return decoder.hasError();
}

// A line an event stream may hold: blank, a comment, or one of its fields.
bool isEventStreamLine(QByteArrayView line)
{
    if (line.isEmpty() || line.startsWith(':'))
        return true;
    const qsizetype colon = line.indexOf(':');
    const QByteArrayView field = colon < 0 ? line : line.first(colon);
    return field == "data" || field == "event" || field == "id" || field == "retry";
}

} // namespace

SseAssembler::SseAssembler() = default;

SseAssembler::~SseAssembler() = default;

QStringList SseAssembler::feed(QByteArrayView bytes)
{
    QStringList fragments;
    if (stopped() || bytes.isEmpty())
        return fragments;
    if (!m_pastHead) {
        // The mark may come split over pieces: its bytes wait until they
        // are all there or differ.
        static constexpr QByteArrayView byteOrderMark("\xEF\xBB\xBF");
        const qsizetype taken = std::min(bytes.size(), byteOrderMark.size() - m_head.size());
        m_head.append(bytes.first(taken));
        bytes = bytes.sliced(taken);
        if (m_head.size() < byteOrderMark.size() && byteOrderMark.startsWith(m_head))
            return fragments;
        m_pastHead = true;
        if (m_head != byteOrderMark)
            feedLines(m_head, fragments);
        m_head = QByteArray();
        if (stopped() || bytes.isEmpty())
            return fragments;
    }
    feedLines(bytes, fragments);
    return fragments;
}

void SseAssembler::feedLines(QByteArrayView bytes, QStringList &fragments)
{
    const QByteArrayView asCame = bytes;
    if (m_skipLeadingLF) {
        m_skipLeadingLF = false;
        if (bytes.front() == '\n')
            bytes = bytes.sliced(1);
    }
    m_buffer.append(bytes);
    // Kept as it came, however the pieces cut a CR LF.
    if (!m_sawDataLine && m_plainBody.size() <= kPlainBodyLimit) {
        m_plainBody.append(asCame.first(std::min(asCame.size(), kPlainBodyLimit + 1 - m_plainBody.size())));
        // Compressed data is told at once: it may stream on for long.
        if (!m_headChecked && m_plainBody.size() >= 4) {
            m_headChecked = true;
            if (looksCompressed(m_plainBody)) {
                m_failure = OVUClientError::notAStream(OVUClientError::Cause::Compressed);
                m_buffer.clear();
                return;
            }
        }
    }

    const char *data = m_buffer.constData();
    const qsizetype size = m_buffer.size();
    qsizetype lineStart = 0;
    qsizetype i = m_scanFrom;
    qsizetype lfAt = -1; // the next LF at or after i, found once per LF
    while (i < size && !stopped()) {
        // The next LF, or a CR before it (memchr is vectorised).
        if (lfAt < i) {
            const auto *lf = static_cast<const char *>(std::memchr(data + i, '\n', size_t(size - i)));
            lfAt = lf ? lf - data : size;
        }
        const auto *cr = static_cast<const char *>(std::memchr(data + i, '\r', size_t(lfAt - i)));
        i = cr ? cr - data : lfAt;
        if (i >= size)
            break;
        const char c = data[i];
        processLine(QByteArrayView(data + lineStart, i - lineStart), fragments);
        if (c == '\r') {
            if (i + 1 < size) {
                if (data[i + 1] == '\n')
                    ++i;
            } else {
                m_skipLeadingLF = true; // the LF may come with the next piece
            }
        }
        ++i;
        lineStart = i;
    }
    if (stopped()) {
        m_buffer.clear();
        m_scanFrom = 0;
        return;
    }
    m_buffer.remove(0, lineStart);
    m_scanFrom = m_buffer.size();
}

QStringList SseAssembler::endOfBody()
{
    QStringList fragments;
    if (!m_pastHead) {
        // A body too short to hold the whole mark.
        m_pastHead = true;
        if (!m_head.isEmpty())
            feedLines(std::exchange(m_head, QByteArray()), fragments);
    }
    if (!stopped() && !m_buffer.isEmpty()) {
        const QByteArray last = std::exchange(m_buffer, QByteArray());
        m_scanFrom = 0;
        const bool hadPending = m_pendingLines > 0;
        processLine(last, fragments);
        // A line cut off by the body's end leaves a reply cut short, not
        // one that is malformed: its unread data goes. Whole lines before
        // it were skipped.
        if (m_pendingLines > 0 && hadPending)
            skipPending();
        m_pending = QByteArray();
        m_pendingLines = 0;
    }
    // The body's end ends the event too.
    if (!stopped())
        endEvent(fragments);
    if (!stopped())
        flushHalf(fragments);
    return fragments;
}

platform::Result<OVUAssistantTurn, OVUClientError> SseAssembler::finish()
{
    using TurnResult = platform::Result<OVUAssistantTurn, OVUClientError>;
    (void)endOfBody(); // a fragment of it is in the text already
    if (!m_failure && !isComplete() && !m_sawDataLine)
        m_failure = plainBodyError();
    if (m_failure)
        return TurnResult::failure(*m_failure);
    OVUAssistantTurn result = turn();
    // Lines were skipped and nothing else came: what they held is the
    // only clue to what went wrong.
    if (m_firstSkipped && result.text.isEmpty() && result.toolCalls.isEmpty())
        return TurnResult::failure(OVUClientError::malformedEvent(*m_firstSkipped));
    if (!isComplete())
        return TurnResult::failure(OVUClientError::incompleteStream());
    return result;
}

OVUAssistantTurn SseAssembler::turn() const
{
    OVUAssistantTurn result;
    result.text = m_text;
    if (m_textHigh)
        result.text += QChar::ReplacementCharacter;
    result.finishReason = m_finishReason;
    for (const auto &[index, entry] : m_calls) {
        if (entry.name.isEmpty())
            continue;
        QString arguments = entry.arguments;
        if (entry.high)
            arguments += QChar::ReplacementCharacter;
        result.toolCalls.append(
            {entry.id.isEmpty() ? QStringLiteral("call_") + QString::number(index) : entry.id, entry.name, arguments});
    }
    return result;
}

void SseAssembler::flushHalf(QStringList &fragments)
{
    if (!m_textHigh)
        return;
    m_textHigh = 0;
    m_text += QChar::ReplacementCharacter;
    fragments.append(QString(QChar::ReplacementCharacter));
}

std::optional<OVUClientError> SseAssembler::plainBodyError() const
{
    using Cause = OVUClientError::Cause;
    QByteArrayView body(m_plainBody);
    if (looksCompressed(body))
        return OVUClientError::notAStream(Cause::Compressed);
    while (!body.isEmpty() && isAsciiSpace(body.front()))
        body = body.sliced(1);
    if (body.isEmpty())
        return std::nullopt;
    const bool whole = m_plainBody.size() <= kPlainBodyLimit;
    const auto words = [&] {
        return platform::ServiceText::forDisplay(platform::ServiceText::fromBody(m_plainBody), kShownWordsCharacters);
    };
    if (body.front() == '{' || body.front() == '[') {
        // Too long to read whole: a document still, by its start.
        const std::optional<StreamChunk> chunk = whole ? StreamChunkReader::readLenient(m_plainBody) : std::nullopt;
        if (chunk && chunk->isError)
            return OVUClientError::streamError(chunk->errorText);
        if (chunk || !whole)
            return OVUClientError::notAStream(Cause::JsonReply);
    }
    if (body.front() == '<') {
        // Markup left as it was (XML, say) tells nothing.
        const QString shown = words();
        return OVUClientError::notAStream(Cause::WebPage, shown.startsWith(u'<') ? QString() : shown);
    }
    if (looksBinary(body))
        return OVUClientError::notAStream(Cause::Binary);
    // Lines that are all an event stream's are a stream cut short.
    for (QByteArrayView rest = body; !rest.isEmpty();) {
        qsizetype end = 0;
        while (end < rest.size() && rest[end] != '\n' && rest[end] != '\r')
            ++end;
        if (!isEventStreamLine(rest.first(end)))
            return OVUClientError::notAStream(Cause::PlainText, words());
        rest = rest.sliced(std::min(end + 1, rest.size()));
    }
    return std::nullopt;
}

void SseAssembler::processLine(QByteArrayView line, QStringList &fragments)
{
    static constexpr QByteArrayView prefix("data:");
    if (line.isEmpty()) {
        endEvent(fragments);
        return;
    }
    if (!line.startsWith(prefix))
        return;
    if (!m_sawDataLine) {
        m_sawDataLine = true;
        m_plainBody = QByteArray();
    }
    QByteArray storage;
    const QByteArrayView payload = trimmedPayload(line.sliced(prefix.size()), storage);
    if (payload == "[DONE]") {
        endEvent(fragments);
        if (!stopped()) {
            flushHalf(fragments);
            m_done = true;
        }
        return;
    }
    if (m_pendingLines == 0) {
        // An empty data line carries nothing.
        if (payload.isEmpty())
            return;
        if (const std::optional<StreamChunk> chunk = m_reader.read(payload))
            return apply(*chunk, fragments);
        // Not JSON by itself: the event's next data lines may complete it.
        m_pending = payload.toByteArray();
        m_pendingLines = 1;
        return;
    }
    const qsizetype joinedAt = m_pending.size();
    m_pending += '\n';
    m_pending += payload;
    if (++m_pendingLines <= kEagerJoinLines) {
        if (const std::optional<StreamChunk> chunk = m_reader.read(m_pending)) {
            m_pending = QByteArray();
            m_pendingLines = 0;
            return apply(*chunk, fragments);
        }
    }
    // A line that is a chunk by itself starts afresh: what came before it
    // was no part of it.
    if (payload.isEmpty())
        return;
    std::optional<StreamChunk> chunk = m_reader.read(payload);
    if (!chunk || !chunk->hasChoice)
        return;
    m_pending.truncate(joinedAt);
    skipPending();
    apply(*chunk, fragments);
}

void SseAssembler::endEvent(QStringList &fragments)
{
    if (m_pendingLines == 0)
        return;
    // Data of a few lines was read as each came; longer data is read once, here.
    if (m_pendingLines > kEagerJoinLines) {
        if (const std::optional<StreamChunk> chunk = m_reader.read(m_pending)) {
            m_pending = QByteArray();
            m_pendingLines = 0;
            return apply(*chunk, fragments);
        }
    }
    skipPending();
}

void SseAssembler::skipPending()
{
    if (!m_firstSkipped) {
        const qsizetype lineEnd = m_pending.indexOf('\n');
        const QByteArrayView first = QByteArrayView(m_pending).first(lineEnd < 0 ? m_pending.size() : lineEnd);
        m_firstSkipped = platform::ServiceText::forDisplay(
            QString::fromUtf8(first.first(std::min(first.size(), 4 * kShownDataCharacters))), kShownDataCharacters);
    }
    m_pending = QByteArray();
    m_pendingLines = 0;
}

void SseAssembler::apply(const StreamChunk &chunk, QStringList &fragments)
{
    if (chunk.isError) {
        m_failure = OVUClientError::streamError(chunk.errorText);
        return;
    }
    if (chunk.finishReason)
        m_finishReason = chunk.finishReason;
    if (!chunk.content.isEmpty()) {
        if (!hasHalves(m_textHigh, chunk.content)) {
            m_text += chunk.content;
            fragments.append(chunk.content);
        } else if (const QString piece = joinHalves(m_textHigh, chunk.content); !piece.isEmpty()) {
            m_text += piece;
            fragments.append(piece);
        }
    }
    for (const StreamChunk::CallPart &part : chunk.calls) {
        Entry &entry = m_calls[part.index];
        if (!part.id.isEmpty())
            entry.id = part.id;
        if (!part.name.isEmpty())
            entry.name = part.name;
        if (!hasHalves(entry.high, part.arguments))
            entry.arguments += part.arguments;
        else
            entry.arguments += joinHalves(entry.high, part.arguments);
    }
}

} // namespace agent
