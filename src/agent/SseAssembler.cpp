#include "agent/SseAssembler.h"

#include "platform/ServiceText.h"

#include <simdjson.h>

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

// The JSON of one chunk as applyChunk() reads it, over either parser.
class RapidJson {
public:
    explicit RapidJson(const JsonValue *value = nullptr) : m_value(value) {}
    bool exists() const { return m_value; }
    bool isNull() const { return m_value && m_value->IsNull(); }
    bool isObject() const { return m_value && m_value->IsObject(); }
    bool isString() const { return m_value && m_value->IsString(); }
    bool isEmptyString() const { return m_value->GetStringLength() == 0; }
    QString string() const { return text(*m_value); }
    qsizetype memberCount() const { return qsizetype(m_value->MemberCount()); }
    RapidJson member(const char *name) const { return RapidJson(isObject() ? agent::member(*m_value, name) : nullptr); }
    bool isListOfObjects() const { return agent::isListOfObjects(m_value); }
    bool isEmptyList() const { return m_value->Empty(); }
    RapidJson first() const { return RapidJson(&(*m_value)[0]); }
    template <typename F>
    void forEach(F f) const
    {
        for (const JsonValue &v : m_value->GetArray())
            f(RapidJson(&v));
    }
    std::optional<qint64> integer() const { return integerValue(m_value); }

private:
    const JsonValue *m_value;
};

class SimdJson {
public:
    SimdJson() = default;
    explicit SimdJson(simdjson::dom::element element) : m_element(element), m_exists(true) {}
    bool exists() const { return m_exists; }
    bool isNull() const { return is(simdjson::dom::element_type::NULL_VALUE); }
    bool isObject() const { return is(simdjson::dom::element_type::OBJECT); }
    bool isString() const { return is(simdjson::dom::element_type::STRING); }
    bool isEmptyString() const { return view().empty(); }
    QString string() const
    {
        const std::string_view text = view();
        return QString::fromUtf8(text.data(), qsizetype(text.size()));
    }
    qsizetype memberCount() const { return qsizetype(object().size()); }
    SimdJson member(const char *name) const
    {
        if (!isObject())
            return {};
        simdjson::dom::element value;
        if (object().at_key(name).get(value))
            return {};
        return SimdJson(value);
    }
    bool isListOfObjects() const
    {
        if (!is(simdjson::dom::element_type::ARRAY))
            return false;
        for (simdjson::dom::element v : array()) {
            if (v.type() != simdjson::dom::element_type::OBJECT)
                return false;
        }
        return true;
    }
    bool isEmptyList() const
    {
        const simdjson::dom::array list = array();
        return list.begin() == list.end();
    }
    SimdJson first() const { return SimdJson(*array().begin()); }
    template <typename F>
    void forEach(F f) const
    {
        for (simdjson::dom::element v : array())
            f(SimdJson(v));
    }
    // As the lenient parser reads it: an integer, or a double that is one.
    std::optional<qint64> integer() const
    {
        if (!m_exists)
            return std::nullopt;
        switch (m_element.type()) {
        case simdjson::dom::element_type::INT64:
            return m_element.get_int64().value_unsafe();
        case simdjson::dom::element_type::UINT64:
            return std::nullopt; // above 2^63: no exact double either
        case simdjson::dom::element_type::DOUBLE: {
            const double d = m_element.get_double().value_unsafe();
            if (!std::isfinite(d) || std::trunc(d) != d || std::fabs(d) > 9007199254740992.0)
                return std::nullopt;
            return static_cast<qint64>(d);
        }
        default:
            return std::nullopt;
        }
    }

private:
    bool is(simdjson::dom::element_type type) const { return m_exists && m_element.type() == type; }
    // Held by value: the result they come in ends with the expression.
    // Called only where the type has been checked.
    simdjson::dom::array array() const
    {
        simdjson::dom::array list;
        if (m_element.get_array().get(list) != simdjson::SUCCESS)
            return {};
        return list;
    }
    simdjson::dom::object object() const
    {
        simdjson::dom::object fields;
        if (m_element.get_object().get(fields) != simdjson::SUCCESS)
            return {};
        return fields;
    }
    std::string_view view() const
    {
        std::string_view text;
        if (m_element.get_string().get(text) != simdjson::SUCCESS)
            return {};
        return text;
    }

    simdjson::dom::element m_element;
    bool m_exists = false;
};

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

SseAssembler::SseAssembler() = default;

SseAssembler::~SseAssembler() = default;

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
    QByteArray storage;
    const QByteArrayView payload = trimmedPayload(line.sliced(prefix.size()), storage);
    if (payload == "[DONE]") {
        endEvent(fragments);
        if (!stopped())
            m_done = true;
        return;
    }
    if (m_pendingLines == 0) {
        // An empty data line carries nothing.
        if (payload.isEmpty() || processPayload(payload, fragments))
            return;
        // Not JSON by itself: the event's next data lines may complete it.
        m_pending = payload.toByteArray();
        m_pendingLines = 1;
        return;
    }
    m_pending += '\n';
    m_pending += payload;
    if (++m_pendingLines <= kEagerJoinLines && processPayload(m_pending, fragments)) {
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
    if (!processPayload(data, fragments))
        m_failure = OVUClientError::malformedEvent(
            platform::ServiceText::forDisplay(QString::fromUtf8(data.left(4 * kShownDataCharacters)), kShownDataCharacters));
}

bool SseAssembler::processPayload(QByteArrayView payload, QStringList &fragments)
{
    // The fast parser reads what is well formed, which is nearly everything,
    // at a few times the lenient parser's speed.
    if (!m_fastParser)
        m_fastParser = std::make_unique<simdjson::dom::parser>();
    simdjson::dom::element root;
    if (!m_fastParser->parse(payload.data(), size_t(payload.size())).get(root) && applyChunk(SimdJson(root), fragments))
        return true;

    // The lenient parser: bad UTF-8 inside strings is read as replacement
    // characters, as a text line would be; it writes the error texts. Small
    // pools on the stack: one line is small.
    char valueBuffer[4096];
    char parseBuffer[1024];
    rapidjson::MemoryPoolAllocator<> valueAllocator(valueBuffer, sizeof valueBuffer);
    rapidjson::MemoryPoolAllocator<> parseAllocator(parseBuffer, sizeof parseBuffer);
    rapidjson::GenericDocument<rapidjson::UTF8<>, rapidjson::MemoryPoolAllocator<>, rapidjson::MemoryPoolAllocator<>>
        doc(&valueAllocator, sizeof parseBuffer, &parseAllocator);
    // Iterative: the recursive parser overflows the stack on deep nesting.
    doc.Parse<rapidjson::kParseIterativeFlag>(payload.data(), size_t(payload.size()));
    if (doc.HasParseError())
        return false;
    if (!applyChunk(RapidJson(&doc), fragments))
        m_failure = OVUClientError::streamError(errorMessage(*member(doc, "error")));
    return true;
}

template <typename Json>
bool SseAssembler::applyChunk(const Json &doc, QStringList &fragments)
{
    if (!doc.isObject() || doc.memberCount() == 0)
        return true;
    const Json streamError = doc.member("error");
    if (streamError.exists() && !streamError.isNull())
        return false;

    const Json choices = doc.member("choices");
    if (!choices.isListOfObjects() || choices.isEmptyList())
        return true;
    const Json choice = choices.first();

    const Json finish = choice.member("finish_reason");
    if (finish.isString())
        m_finishReason = finish.string();

    const Json delta = choice.member("delta");
    if (!delta.isObject())
        return true;

    const Json content = delta.member("content");
    if (content.isString() && !content.isEmptyString()) {
        QString fragment = content.string();
        m_text += fragment;
        fragments.append(std::move(fragment));
    }

    const Json toolCalls = delta.member("tool_calls");
    if (!toolCalls.isListOfObjects())
        return true;
    toolCalls.forEach([this](const Json &call) {
        const qint64 index = call.member("index").integer().value_or(0);
        Entry &entry = m_calls[index];
        const Json id = call.member("id");
        if (id.isString() && !id.isEmptyString())
            entry.id = id.string();
        const Json function = call.member("function");
        if (!function.isObject())
            return;
        const Json name = function.member("name");
        if (name.isString() && !name.isEmptyString())
            entry.name = name.string();
        const Json arguments = function.member("arguments");
        if (arguments.isString())
            entry.arguments += arguments.string();
    });
    return true;
}

} // namespace agent
