#include "model/ChatRecordsCodec.h"

#include "model/IsoDate.h"
#include "model/Utf8Check.h"

#include <rapidjson/error/en.h>

#include <array>
#include <cstring>
#include <initializer_list>
#include <utility>

namespace model::codec {

namespace {

using Kind = JsonDecodeError::Kind;

bool fail(JsonDecodeError &error, Kind kind, const char *key)
{
    error.kind = kind;
    error.where = QString::fromLatin1(key);
    return false;
}

QByteArrayView bytesOf(const Value &v)
{
    return QByteArrayView(v.GetString(), v.GetStringLength());
}

QString textOf(const Value &v)
{
    return QString::fromUtf8(v.GetString(), v.GetStringLength());
}

template <std::size_t N>
bool keyIs(const Value &name, const char (&key)[N])
{
    return name.GetStringLength() == N - 1 && std::memcmp(name.GetString(), key, N - 1) == 0;
}

std::optional<MessageRole> readRole(const Value &v)
{
    // Role texts are short ASCII; skip building a QString for each message.
    char16_t buf[16];
    const auto len = v.GetStringLength();
    if (len > std::size(buf))
        return std::nullopt;
    for (rapidjson::SizeType i = 0; i < len; ++i)
        buf[i] = static_cast<unsigned char>(v.GetString()[i]);
    return fromRaw<MessageRole>(QStringView(buf, len));
}

// Optional keys: missing and null both mean absent.
bool isAbsent(const Value &v)
{
    return v.IsNull();
}

// Required-field readers: a wrong JSON type and a bad value each fail with
// the key named.
bool readText(const Value &v, QString &out, const char *key, JsonDecodeError &error)
{
    if (!v.IsString())
        return fail(error, Kind::WrongType, key);
    out = textOf(v);
    return true;
}

bool readUuidField(const Value &v, QUuid &out, const char *key, JsonDecodeError &error)
{
    if (!v.IsString())
        return fail(error, Kind::WrongType, key);
    if (!readUuid(v, out))
        return fail(error, Kind::BadUuid, key);
    return true;
}

bool readDateField(const Value &v, QDateTime &out, const char *key, JsonDecodeError &error)
{
    if (!v.IsString())
        return fail(error, Kind::WrongType, key);
    const auto date = IsoDate::parse(bytesOf(v));
    if (!date)
        return fail(error, Kind::BadDate, key);
    out = *date;
    return true;
}

// An array of records; a failing element's path becomes key[i].rest.
template <typename T, typename ReadOne>
bool readList(const Value &v, QList<T> &out, const char *key, JsonDecodeError &error, ReadOne readOne)
{
    if (!v.IsArray())
        return fail(error, Kind::WrongType, key);
    QList<T> items;
    items.reserve(v.Size());
    for (rapidjson::SizeType i = 0; i < v.Size(); ++i) {
        T item;
        if (!readOne(v[i], item)) {
            prefixPath(error, QStringLiteral("[%1]").arg(i));
            prefixPath(error, QString::fromLatin1(key));
            return false;
        }
        items.append(std::move(item));
    }
    out = std::move(items);
    return true;
}

// Fails on the first required key not seen, in the order given.
bool requireKeys(JsonDecodeError &error, std::initializer_list<std::pair<bool, const char *>> keys)
{
    for (const auto &[seen, key] : keys) {
        if (!seen)
            return fail(error, Kind::MissingKey, key);
    }
    return true;
}

void writeUuid(JsonEmitter &out, const QUuid &id)
{
    out.utf8String(id.toByteArray(QUuid::WithoutBraces));
}

} // namespace

bool readUuid(const Value &v, QUuid &out)
{
    return v.IsString() && parseUuid(bytesOf(v), out);
}

bool parseUuid(QByteArrayView text, QUuid &out)
{
    if (text.size() != 36)
        return false;
    // Read here, not by QUuid: one is read for every stored message.
    static constexpr auto kDigits = [] {
        std::array<signed char, 256> digits{};
        digits.fill(-1);
        for (int c = 0; c < 10; ++c)
            digits['0' + c] = static_cast<signed char>(c);
        for (int c = 0; c < 6; ++c)
            digits['a' + c] = digits['A' + c] = static_cast<signed char>(10 + c);
        return digits;
    }();
    std::array<uchar, 16> bytes{};
    int nibble = 0;
    for (int i = 0; i < 36; ++i) {
        const uchar c = uchar(text[i]);
        if (i == 8 || i == 13 || i == 18 || i == 23) {
            if (c != '-')
                return false;
            continue;
        }
        const int digit = kDigits[c];
        if (digit < 0)
            return false;
        bytes[nibble / 2] = uchar(bytes[nibble / 2] << 4 | digit);
        ++nibble;
    }
    out = QUuid::fromRfc4122(QByteArrayView(bytes.data(), 16));
    return true;
}

void prefixPath(JsonDecodeError &error, const QString &step)
{
    if (error.where.isEmpty())
        error.where = step;
    else if (error.where.startsWith(u'['))
        error.where = step + error.where;
    else
        error.where = step + u'.' + error.where;
}

void write(JsonEmitter &out, const ToolCallRecord &record)
{
    out.beginObject();
    out.key("argumentsJSON");
    out.string(record.argumentsJSON);
    out.key("id");
    out.string(record.id);
    out.key("name");
    out.string(record.name);
    out.endObject();
}

void write(JsonEmitter &out, const ChatMessage &message)
{
    out.beginObject();
    out.key("content");
    out.string(message.content);
    out.key("createdAt");
    out.utf8String(IsoDate::format(message.createdAt));
    out.key("id");
    writeUuid(out, message.id);
    out.key("role");
    out.string(toRaw(message.role));
    if (message.toolCallId) {
        out.key("toolCallId");
        out.string(*message.toolCallId);
    }
    if (message.toolCalls) {
        out.key("toolCalls");
        out.beginArray();
        for (const ToolCallRecord &call : *message.toolCalls)
            write(out, call);
        out.endArray();
    }
    out.endObject();
}

void write(JsonEmitter &out, const Conversation &c)
{
    write(out, c, {});
}

void write(JsonEmitter &out, const Conversation &c, const std::function<void()> &afterMessage)
{
    out.beginObject();
    out.key("createdAt");
    out.utf8String(IsoDate::format(c.createdAt));
    out.key("id");
    writeUuid(out, c.id);
    out.key("isArchived");
    out.boolean(c.isArchived);
    out.key("isPinned");
    out.boolean(c.isPinned);
    out.key("isUnread");
    out.boolean(c.isUnread);
    out.key("messages");
    out.beginArray();
    for (const ChatMessage &m : c.messages) {
        write(out, m);
        if (afterMessage)
            afterMessage();
    }
    out.endArray();
    out.key("title");
    out.string(c.title);
    out.key("updatedAt");
    out.utf8String(IsoDate::format(c.updatedAt));
    out.endObject();
}

bool read(const Value &json, ToolCallRecord &out, JsonDecodeError &error)
{
    if (!json.IsObject())
        return fail(error, Kind::WrongType, "");
    bool haveId = false, haveName = false, haveArgs = false;
    for (auto it = json.MemberBegin(); it != json.MemberEnd(); ++it) {
        const Value &k = it->name;
        const Value &v = it->value;
        QString *field = nullptr;
        const char *key = nullptr;
        if (keyIs(k, "id")) {
            field = &out.id, key = "id", haveId = true;
        } else if (keyIs(k, "name")) {
            field = &out.name, key = "name", haveName = true;
        } else if (keyIs(k, "argumentsJSON")) {
            field = &out.argumentsJSON, key = "argumentsJSON", haveArgs = true;
        } else {
            continue;
        }
        if (!readText(v, *field, key, error))
            return false;
    }
    return requireKeys(error, {{haveId, "id"}, {haveName, "name"}, {haveArgs, "argumentsJSON"}});
}

bool read(const Value &json, ChatMessage &out, JsonDecodeError &error, ReadState &state)
{
    if (!json.IsObject())
        return fail(error, Kind::WrongType, "");
    bool haveId = false, haveRole = false, haveContent = false, haveCreated = false;
    const Value *content = nullptr;
    for (auto it = json.MemberBegin(); it != json.MemberEnd(); ++it) {
        const Value &k = it->name;
        const Value &v = it->value;
        if (keyIs(k, "id")) {
            if (!readUuidField(v, out.id, "id", error))
                return false;
            haveId = true;
        } else if (keyIs(k, "role")) {
            if (!v.IsString())
                return fail(error, Kind::WrongType, "role");
            const auto role = readRole(v);
            if (!role)
                return fail(error, Kind::UnknownValue, "role");
            out.role = *role;
            haveRole = true;
        } else if (keyIs(k, "content")) {
            if (!readText(v, out.content, "content", error))
                return false;
            content = &v;
            haveContent = true;
        } else if (keyIs(k, "createdAt")) {
            if (!readDateField(v, out.createdAt, "createdAt", error))
                return false;
            haveCreated = true;
        } else if (keyIs(k, "toolCallId")) {
            if (isAbsent(v)) {
                out.toolCallId.reset();
                continue;
            }
            if (!v.IsString())
                return fail(error, Kind::WrongType, "toolCallId");
            out.toolCallId = textOf(v);
        } else if (keyIs(k, "toolCalls")) {
            if (isAbsent(v)) {
                out.toolCalls.reset();
                continue;
            }
            QList<ToolCallRecord> calls;
            if (!readList(v, calls, "toolCalls", error,
                          [&](const Value &item, ToolCallRecord &call) { return read(item, call, error); }))
                return false;
            out.toolCalls = std::move(calls);
        }
    }
    if (!requireKeys(error, {{haveId, "id"}, {haveRole, "role"}, {haveContent, "content"}, {haveCreated, "createdAt"}}))
        return false;
    if ((out.role == MessageRole::User || out.role == MessageRole::Assistant) && content->GetStringLength() >= 10
        && QByteArrayView(content->GetString(), content->GetStringLength()).contains("data:image"))
        state.sawInlineImage = true;
    return true;
}

bool read(const Value &json, Conversation &out, JsonDecodeError &error, ReadState &state)
{
    if (!json.IsObject())
        return fail(error, Kind::WrongType, "");
    bool haveId = false, haveTitle = false, haveMessages = false, haveCreated = false, haveUpdated = false;
    for (auto it = json.MemberBegin(); it != json.MemberEnd(); ++it) {
        const Value &k = it->name;
        const Value &v = it->value;
        if (keyIs(k, "id")) {
            if (!readUuidField(v, out.id, "id", error))
                return false;
            haveId = true;
        } else if (keyIs(k, "title")) {
            if (!readText(v, out.title, "title", error))
                return false;
            haveTitle = true;
        } else if (keyIs(k, "createdAt") || keyIs(k, "updatedAt")) {
            const bool created = keyIs(k, "createdAt");
            const char *key = created ? "createdAt" : "updatedAt";
            if (!readDateField(v, created ? out.createdAt : out.updatedAt, key, error))
                return false;
            (created ? haveCreated : haveUpdated) = true;
        } else if (keyIs(k, "isPinned") || keyIs(k, "isArchived") || keyIs(k, "isUnread")) {
            bool &flag = keyIs(k, "isPinned") ? out.isPinned : keyIs(k, "isArchived") ? out.isArchived : out.isUnread;
            if (v.IsNull()) {
                flag = false;
                continue;
            }
            if (!v.IsBool())
                return fail(error, Kind::WrongType, k.GetString());
            flag = v.GetBool();
        } else if (keyIs(k, "messages")) {
            if (!readList(v, out.messages, "messages", error,
                          [&](const Value &item, ChatMessage &m) { return read(item, m, error, state); }))
                return false;
            haveMessages = true;
        }
    }
    return requireKeys(error, {{haveId, "id"},
                               {haveTitle, "title"},
                               {haveMessages, "messages"},
                               {haveCreated, "createdAt"},
                               {haveUpdated, "updatedAt"}});
}

bool parse(QByteArray &bytes, rapidjson::Document &doc, JsonDecodeError &error)
{
    // The in-place parser stops at a NUL byte; no valid file holds one.
    if (bytes.contains('\0')) {
        error.kind = Kind::NotJson;
        error.where = QStringLiteral("offset %1: NUL byte").arg(bytes.indexOf('\0'));
        return false;
    }
    // Strict UTF-8: a repaired string would be written back changed. Checked
    // here in one fast pass rather than by the parser, which is slower at it.
    if (!isValidUtf8(bytes)) {
        error.kind = Kind::NotJson;
        error.where = QStringLiteral("invalid UTF-8");
        return false;
    }
    // Iterative, so a deeply nested file cannot overflow the stack.
    doc.ParseInsitu<rapidjson::kParseIterativeFlag>(bytes.data());
    if (doc.HasParseError()) {
        error.kind = Kind::NotJson;
        error.where = QStringLiteral("offset %1: %2")
                          .arg(doc.GetErrorOffset())
                          .arg(QString::fromUtf8(rapidjson::GetParseError_En(doc.GetParseError())));
        return false;
    }
    return true;
}

} // namespace model::codec
