#include "agent/SseAssembler.h"

#include "platform/ServiceText.h"

#include <rapidjson/document.h>
#include <rapidjson/stringbuffer.h>
#include <rapidjson/writer.h>

#include <cmath>
#include <cstring>
#include <utility>
#include <vector>

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

QByteArray trimmedPayload(QByteArrayView raw)
{
    while (!raw.isEmpty() && isAsciiBlank(raw.front()))
        raw = raw.sliced(1);
    while (!raw.isEmpty() && isAsciiBlank(raw.back()))
        raw.chop(1);
    if (raw.isEmpty() || (static_cast<unsigned char>(raw.front()) < 0x80 && static_cast<unsigned char>(raw.back()) < 0x80))
        return raw.toByteArray();
    // A non-ASCII end may be a Unicode space separator.
    QString text = QString::fromUtf8(raw);
    qsizetype begin = 0;
    qsizetype end = text.size();
    while (begin < end && isBlank(text.at(begin)))
        ++begin;
    while (end > begin && isBlank(text.at(end - 1)))
        --end;
    return text.sliced(begin, end - begin).toUtf8();
}

using JsonValue = rapidjson::Value;

QString text(const JsonValue &value)
{
    return QString::fromUtf8(value.GetString(), qsizetype(value.GetStringLength()));
}

const JsonValue *member(const JsonValue &object, const char *name)
{
    const auto it = object.FindMember(name);
    return it == object.MemberEnd() ? nullptr : &it->value;
}

bool isListOfObjects(const JsonValue *value)
{
    if (!value || !value->IsArray())
        return false;
    for (const JsonValue &v : value->GetArray()) {
        if (!v.IsObject())
            return false;
    }
    return true;
}

std::optional<qint64> integerValue(const JsonValue *value)
{
    if (!value || !value->IsNumber())
        return std::nullopt;
    if (value->IsInt64())
        return value->GetInt64();
    const double d = value->GetDouble();
    if (!std::isfinite(d) || std::trunc(d) != d || std::fabs(d) > 9007199254740992.0)
        return std::nullopt;
    return static_cast<qint64>(d);
}

// Nesting depth up to `limit`, counted without recursion: a hostile line
// may nest a million levels deep.
bool nestedDeeperThan(const JsonValue &root, int limit)
{
    std::vector<std::pair<const JsonValue *, int>> pending{{&root, 1}};
    while (!pending.empty()) {
        const auto [value, depth] = pending.back();
        pending.pop_back();
        if (depth > limit)
            return true;
        if (value->IsArray()) {
            for (const JsonValue &child : value->GetArray())
                pending.emplace_back(&child, depth + 1);
        } else if (value->IsObject()) {
            for (const auto &child : value->GetObject())
                pending.emplace_back(&child.value, depth + 1);
        }
    }
    return false;
}

// The value as compact JSON; empty when it nests too deep to write (the
// writer recurses).
QString compact(const JsonValue &value)
{
    if (nestedDeeperThan(value, 64))
        return {};
    rapidjson::StringBuffer buffer;
    rapidjson::Writer<rapidjson::StringBuffer> writer(buffer);
    value.Accept(writer);
    return QString::fromUtf8(buffer.GetString(), qsizetype(buffer.GetSize()));
}

// The most of a plain (non-event) body kept to look for an error object.
constexpr qsizetype kPlainBodyLimit = 64 * 1024;

QString errorMessage(const JsonValue &error)
{
    if (error.IsString())
        return platform::ServiceText::forDisplay(text(error));
    if (error.IsObject()) {
        const JsonValue *message = member(error, "message");
        if (message && message->IsString() && message->GetStringLength() > 0)
            return platform::ServiceText::forDisplay(text(*message));
    }
    return platform::ServiceText::forDisplay(compact(error));
}

// A data line joined with the ones before is parsed again this many times
// at most; after that only the event's end reads it (no quadratic work).
constexpr int kEagerJoinLines = 8;
// How much of unreadable data the error shows.
constexpr qsizetype kShownDataCharacters = 120;

} // namespace

QStringList SseAssembler::feed(QByteArrayView bytes)
{
    QStringList fragments;
    if (stopped() || bytes.isEmpty())
        return fragments;
    if (m_skipLeadingLF) {
        m_skipLeadingLF = false;
        if (bytes.front() == '\n')
            bytes = bytes.sliced(1);
    }
    m_buffer.append(bytes);
    if (!m_sawDataLine && m_plainBody.size() <= kPlainBodyLimit)
        m_plainBody.append(bytes.first(std::min(bytes.size(), kPlainBodyLimit + 1 - m_plainBody.size())));

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
        return fragments;
    }
    m_buffer.remove(0, lineStart);
    m_scanFrom = m_buffer.size();
    return fragments;
}

QStringList SseAssembler::endOfBody()
{
    QStringList fragments;
    if (!stopped() && !m_buffer.isEmpty()) {
        const QByteArray last = std::exchange(m_buffer, QByteArray());
        m_scanFrom = 0;
        processLine(last, fragments);
        // A line cut off by the body's end leaves a reply cut short, not
        // one that is malformed: its unread data goes.
        m_pending = QByteArray();
        m_pendingLines = 0;
    }
    // The body's end ends the event too.
    if (!stopped())
        endEvent(fragments);
    return fragments;
}

platform::Result<OVUAssistantTurn, OVUClientError> SseAssembler::finish()
{
    (void)endOfBody(); // a fragment of it is in the text already
    if (!m_failure && !isComplete() && !m_sawDataLine)
        m_failure = plainBodyError();
    if (m_failure)
        return platform::Result<OVUAssistantTurn, OVUClientError>::failure(*m_failure);
    if (!isComplete())
        return platform::Result<OVUAssistantTurn, OVUClientError>::failure(OVUClientError::incompleteStream());
    return turn();
}

OVUAssistantTurn SseAssembler::turn() const
{
    OVUAssistantTurn result;
    result.text = m_text;
    result.finishReason = m_finishReason;
    for (const auto &[index, entry] : m_calls) {
        if (entry.name.isEmpty())
            continue;
        result.toolCalls.append(
            {entry.id.isEmpty() ? QStringLiteral("call_") + QString::number(index) : entry.id, entry.name, entry.arguments});
    }
    return result;
}

std::optional<OVUClientError> SseAssembler::plainBodyError() const
{
    if (m_plainBody.isEmpty() || m_plainBody.size() > kPlainBodyLimit)
        return std::nullopt;
    QByteArray body = m_plainBody;
    rapidjson::Document doc;
    doc.ParseInsitu<rapidjson::kParseIterativeFlag>(body.data());
    if (doc.HasParseError() || !doc.IsObject())
        return std::nullopt;
    const JsonValue *error = member(doc, "error");
    if (!error || error->IsNull())
        return std::nullopt;
    return OVUClientError::streamError(errorMessage(*error));
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
    QByteArray payload = trimmedPayload(line.sliced(prefix.size()));
    if (payload == "[DONE]") {
        endEvent(fragments);
        if (!stopped())
            m_done = true;
        return;
    }
    if (m_pendingLines == 0) {
        // An empty data line carries nothing.
        if (payload.isEmpty() || processPayload(payload, fragments, false))
            return;
        // Not JSON by itself: the event's next data lines may complete it.
        m_pending = trimmedPayload(line.sliced(prefix.size()));
        m_pendingLines = 1;
        return;
    }
    m_pending += '\n';
    m_pending += payload;
    if (++m_pendingLines <= kEagerJoinLines && processPayload(m_pending, fragments, true)) {
        m_pending = QByteArray();
        m_pendingLines = 0;
    }
}

void SseAssembler::endEvent(QStringList &fragments)
{
    if (m_pendingLines == 0)
        return;
    QByteArray data = std::exchange(m_pending, QByteArray());
    m_pendingLines = 0;
    if (!processPayload(data, fragments, true))
        m_failure = OVUClientError::malformedEvent(
            platform::ServiceText::forDisplay(QString::fromUtf8(data.left(4 * kShownDataCharacters)), kShownDataCharacters));
}

bool SseAssembler::processPayload(QByteArray &payload, QStringList &fragments, bool keepPayload)
{
    // Parsed in place, with small pools on the stack: one line is small, and
    // this runs for every fragment. Bad UTF-8 inside strings is read as
    // replacement characters, as a text line would be.
    char valueBuffer[4096];
    char parseBuffer[1024];
    rapidjson::MemoryPoolAllocator<> valueAllocator(valueBuffer, sizeof valueBuffer);
    rapidjson::MemoryPoolAllocator<> parseAllocator(parseBuffer, sizeof parseBuffer);
    rapidjson::GenericDocument<rapidjson::UTF8<>, rapidjson::MemoryPoolAllocator<>, rapidjson::MemoryPoolAllocator<>>
        doc(&valueAllocator, sizeof parseBuffer, &parseAllocator);
    // Iterative: the recursive parser overflows the stack on deep nesting.
    // In place, unless the payload must stay readable after a failure.
    QByteArray copy;
    if (keepPayload)
        copy = QByteArray(payload.constData(), payload.size());
    doc.ParseInsitu<rapidjson::kParseIterativeFlag>(keepPayload ? copy.data() : payload.data());
    if (doc.HasParseError())
        return false;
    if (!doc.IsObject() || doc.MemberCount() == 0)
        return true;

    const JsonValue *streamError = member(doc, "error");
    if (streamError && !streamError->IsNull()) {
        m_failure = OVUClientError::streamError(errorMessage(*streamError));
        return true;
    }

    const JsonValue *choices = member(doc, "choices");
    if (!isListOfObjects(choices) || choices->Empty())
        return true;
    const JsonValue &choice = (*choices)[0];

    const JsonValue *finish = member(choice, "finish_reason");
    if (finish && finish->IsString())
        m_finishReason = text(*finish);

    const JsonValue *delta = member(choice, "delta");
    if (!delta || !delta->IsObject())
        return true;

    const JsonValue *content = member(*delta, "content");
    if (content && content->IsString() && content->GetStringLength() > 0) {
        QString fragment = text(*content);
        m_text += fragment;
        fragments.append(std::move(fragment));
    }

    const JsonValue *toolCalls = member(*delta, "tool_calls");
    if (!isListOfObjects(toolCalls))
        return true;
    for (const JsonValue &call : toolCalls->GetArray()) {
        const qint64 index = integerValue(member(call, "index")).value_or(0);
        Entry &entry = m_calls[index];
        const JsonValue *id = member(call, "id");
        if (id && id->IsString() && id->GetStringLength() > 0)
            entry.id = text(*id);
        const JsonValue *function = member(call, "function");
        if (!function || !function->IsObject())
            continue;
        const JsonValue *name = member(*function, "name");
        if (name && name->IsString() && name->GetStringLength() > 0)
            entry.name = text(*name);
        const JsonValue *arguments = member(*function, "arguments");
        if (arguments && arguments->IsString())
            entry.arguments += text(*arguments);
    }
    return true;
}

} // namespace agent
