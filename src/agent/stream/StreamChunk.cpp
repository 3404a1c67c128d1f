#include "agent/stream/StreamChunk.h"

#include "agent/stream/StreamChunkText.h"
#include "platform/ServiceText.h"

#include <simdjson.h>

#include <rapidjson/document.h>
#include <rapidjson/encodedstream.h>
#include <rapidjson/memorystream.h>
#include <rapidjson/stringbuffer.h>
#include <rapidjson/writer.h>

#include <QJsonArray>
#include <QJsonDocument>

#include <cmath>
#include <utility>
#include <vector>

namespace agent {

namespace {

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
QByteArray compact(const JsonValue &value)
{
    if (nestedDeeperThan(value, 64))
        return {};
    rapidjson::StringBuffer buffer;
    rapidjson::Writer<rapidjson::StringBuffer, rapidjson::UTF8<>, rapidjson::UTF8<>, rapidjson::CrtAllocator,
                      rapidjson::kWriteNanAndInfFlag>
        writer(buffer);
    value.Accept(writer);
    return QByteArray(buffer.GetString(), qsizetype(buffer.GetSize()));
}

// What an error object says, by the same rules as an error body.
QString errorMessage(const JsonValue &error)
{
    if (error.IsString())
        return platform::ServiceText::forDisplay(text(error));
    const QByteArray json = compact(error);
    if (json.isEmpty())
        return {};
    // Wrapped in a list: a document holds an object or a list only.
    const QJsonValue value = QJsonDocument::fromJson('[' + json + ']').array().at(0);
    return platform::ServiceText::errorText(value.isUndefined() ? QJsonValue(QString::fromUtf8(json)) : value);
}

// The JSON of one chunk as readChunk() reads it, over either parser.
class RapidJson {
public:
    static constexpr bool kReadsErrors = true;

    explicit RapidJson(const JsonValue *value = nullptr) : m_value(value) {}
    bool exists() const { return m_value; }
    bool isNull() const { return m_value && m_value->IsNull(); }
    bool isObject() const { return m_value && m_value->IsObject(); }
    bool isString() const { return m_value && m_value->IsString(); }
    bool isEmptyString() const { return m_value->GetStringLength() == 0; }
    QString string() const { return text(*m_value); }
    qsizetype memberCount() const { return qsizetype(m_value->MemberCount()); }
    RapidJson member(const char *name) const { return RapidJson(isObject() ? agent::member(*m_value, name) : nullptr); }
    bool isListOfObjects() const
    {
        if (!m_value || !m_value->IsArray())
            return false;
        for (const JsonValue &v : m_value->GetArray()) {
            if (!v.IsObject())
                return false;
        }
        return true;
    }
    bool isEmptyList() const { return m_value->Empty(); }
    RapidJson first() const { return RapidJson(&(*m_value)[0]); }
    template <typename F>
    void forEach(F f) const
    {
        for (const JsonValue &v : m_value->GetArray())
            f(RapidJson(&v));
    }
    // Numbers were read from their text: an integer that fits is an Int64.
    std::optional<qint64> index() const
    {
        if (m_value && m_value->IsInt64())
            return m_value->GetInt64();
        return 0;
    }
    QString errorText() const { return errorMessage(*m_value); }

private:
    const JsonValue *m_value;
};

class SimdJson {
public:
    // Its error texts are written from the lenient parser's values.
    static constexpr bool kReadsErrors = false;

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
    // The index as its text says; nothing when the parsed double cannot
    // tell (0.99999999999999999999 and 1.0 both read as 1).
    std::optional<qint64> index() const
    {
        if (!m_exists)
            return 0;
        switch (m_element.type()) {
        case simdjson::dom::element_type::INT64:
            return m_element.get_int64().value_unsafe();
        case simdjson::dom::element_type::DOUBLE: {
            // A text that is an integer reads as a whole double; one that
            // is not may too. Zero is 0 either way, fractions no index.
            const double d = m_element.get_double().value_unsafe();
            if (d != 0 && std::isfinite(d) && std::trunc(d) == d)
                return std::nullopt;
            return 0;
        }
        default: // UINT64 is beyond 64 signed bits
            return 0;
        }
    }
    QString errorText() const { return {}; }

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

// Nothing when the parser leaves the line to the other one. `Marked`: the
// payload came from readablePayload(), its strings hold marks.
template <bool Marked, typename Json>
std::optional<StreamChunk> readChunk(const Json &doc)
{
    // Content and arguments keep a half pair at their edges: the member's
    // next string may hold the other half.
    const auto unmark = [](QString &text, bool keepEdges) {
        if constexpr (Marked)
            text = unmarked(std::move(text), keepEdges);
    };
    StreamChunk chunk;
    if (!doc.isObject() || doc.memberCount() == 0)
        return chunk;
    const Json streamError = doc.member("error");
    if (streamError.exists() && !streamError.isNull()) {
        if (!Json::kReadsErrors)
            return std::nullopt;
        chunk.isError = true;
        chunk.hasChoice = true;
        chunk.errorText = streamError.errorText();
        unmark(chunk.errorText, false);
        return chunk;
    }

    const Json choices = doc.member("choices");
    if (!choices.isListOfObjects() || choices.isEmptyList())
        return chunk;
    chunk.hasChoice = true;
    const Json choice = choices.first();

    const Json finish = choice.member("finish_reason");
    if (finish.isString()) {
        chunk.finishReason = finish.string();
        unmark(*chunk.finishReason, false);
    }

    const Json delta = choice.member("delta");
    if (!delta.isObject())
        return chunk;

    const Json content = delta.member("content");
    if (content.isString() && !content.isEmptyString()) {
        chunk.content = content.string();
        unmark(chunk.content, true);
    }

    const Json toolCalls = delta.member("tool_calls");
    if (!toolCalls.isListOfObjects())
        return chunk;
    bool settled = true;
    toolCalls.forEach([&](const Json &call) {
        const std::optional<qint64> index = call.member("index").index();
        if (!index) {
            settled = false;
            return;
        }
        StreamChunk::CallPart part;
        part.index = *index;
        const Json id = call.member("id");
        if (id.isString()) {
            part.id = id.string();
            unmark(part.id, false);
        }
        const Json function = call.member("function");
        if (function.isObject()) {
            const Json name = function.member("name");
            if (name.isString()) {
                part.name = name.string();
                unmark(part.name, false);
            }
            const Json arguments = function.member("arguments");
            if (arguments.isString()) {
                part.arguments = arguments.string();
                unmark(part.arguments, true);
            }
        }
        chunk.calls.append(std::move(part));
    });
    if (!settled)
        return std::nullopt;
    return chunk;
}

// Hands a document's events on, with every number read from its text: an
// integer that fits 64 bits (whatever its spelling) becomes one, anything
// else a double. The parser's own conversion would round first.
template <typename Handler>
class ExactNumbers {
public:
    explicit ExactNumbers(Handler &handler) : m_handler(handler) {}
    bool Null() { return m_handler.Null(); }
    bool Bool(bool b) { return m_handler.Bool(b); }
    bool Int(int i) { return m_handler.Int(i); }
    bool Uint(unsigned i) { return m_handler.Uint(i); }
    bool Int64(int64_t i) { return m_handler.Int64(i); }
    bool Uint64(uint64_t i) { return m_handler.Uint64(i); }
    bool Double(double d) { return m_handler.Double(d); }
    bool RawNumber(const char *text, rapidjson::SizeType length, bool)
    {
        const QByteArrayView number(text, qsizetype(length));
        if (const std::optional<qint64> value = exactInteger(number))
            return m_handler.Int64(*value);
        return m_handler.Double(number.toDouble());
    }
    bool String(const char *text, rapidjson::SizeType length, bool copy) { return m_handler.String(text, length, copy); }
    bool StartObject() { return m_handler.StartObject(); }
    bool Key(const char *text, rapidjson::SizeType length, bool copy) { return m_handler.Key(text, length, copy); }
    bool EndObject(rapidjson::SizeType members) { return m_handler.EndObject(members); }
    bool StartArray() { return m_handler.StartArray(); }
    bool EndArray(rapidjson::SizeType elements) { return m_handler.EndArray(elements); }

private:
    Handler &m_handler;
};

// The lenient parser over a payload already made readable.
std::optional<StreamChunk> readLenientText(QByteArrayView payload, bool marked)
{
    // Small pools on the stack: one line is small.
    char valueBuffer[4096];
    char parseBuffer[1024];
    using Allocator = rapidjson::MemoryPoolAllocator<>;
    Allocator valueAllocator(valueBuffer, sizeof valueBuffer);
    Allocator parseAllocator(parseBuffer, sizeof parseBuffer);
    using Document = rapidjson::GenericDocument<rapidjson::UTF8<>, Allocator, Allocator>;
    Document doc(&valueAllocator, sizeof parseBuffer, &parseAllocator);
    bool parsed = false;
    auto parse = [&](Document &handler) {
        rapidjson::GenericReader<rapidjson::UTF8<>, rapidjson::UTF8<>, Allocator> reader(&parseAllocator);
        rapidjson::MemoryStream bytes(payload.data(), size_t(payload.size()));
        rapidjson::EncodedInputStream<rapidjson::UTF8<>, rapidjson::MemoryStream> input(bytes);
        ExactNumbers<Document> numbers(handler);
        // Iterative: the recursive parser overflows the stack on deep nesting.
        parsed = !reader.Parse<rapidjson::kParseIterativeFlag | rapidjson::kParseNumbersAsStringsFlag>(input, numbers)
                      .IsError();
        return parsed;
    };
    doc.Populate(parse);
    if (!parsed)
        return std::nullopt;
    return marked ? readChunk<true>(RapidJson(&doc)) : readChunk<false>(RapidJson(&doc));
}

} // namespace

StreamChunkReader::StreamChunkReader() = default;

StreamChunkReader::~StreamChunkReader() = default;

std::optional<StreamChunk> StreamChunkReader::read(QByteArrayView payload)
{
    if (std::optional<StreamChunk> chunk = readFast(payload))
        return chunk;
    const std::optional<QByteArray> readable = readablePayload(payload);
    if (!readable)
        return readLenientText(payload, false);
    if (std::optional<StreamChunk> chunk = readFast(*readable, true))
        return chunk;
    return readLenientText(*readable, true);
}

std::optional<StreamChunk> StreamChunkReader::readFast(QByteArrayView payload, bool readable)
{
    if (!m_parser)
        m_parser = std::make_unique<simdjson::dom::parser>();
    simdjson::dom::element root;
    if (m_parser->parse(payload.data(), size_t(payload.size())).get(root))
        return std::nullopt;
    return readable ? readChunk<true>(SimdJson(root)) : readChunk<false>(SimdJson(root));
}

std::optional<StreamChunk> StreamChunkReader::readLenient(QByteArrayView payload)
{
    const std::optional<QByteArray> readable = readablePayload(payload);
    return readable ? readLenientText(*readable, true) : readLenientText(payload, false);
}

} // namespace agent
