#include "model/ChatRecordsCodec.h"

#include "model/IsoDate.h"
#include "model/Utf8Check.h"

#include <rapidjson/error/en.h>

#include <cstring>

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

bool readDate(const Value &v, QDateTime &out)
{
    if (!v.IsString())
        return false;
    auto date = IsoDate::parse(bytesOf(v));
    if (!date)
        return false;
    out = *date;
    return true;
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

void writeUuid(JsonEmitter &out, const QUuid &id)
{
    out.utf8String(id.toByteArray(QUuid::WithoutBraces));
}

} // namespace

bool readUuid(const Value &v, QUuid &out)
{
    if (!v.IsString() || v.GetStringLength() != 36)
        return false;
    const char *s = v.GetString();
    for (int i = 0; i < 36; ++i) {
        const char c = s[i];
        const bool dash = i == 8 || i == 13 || i == 18 || i == 23;
        if (dash ? c != '-'
                 : !((c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F')))
            return false;
    }
    out = QUuid::fromString(QLatin1StringView(s, 36));
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
    for (const ChatMessage &m : c.messages)
        write(out, m);
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
        if (!v.IsString())
            return fail(error, Kind::WrongType, key);
        *field = textOf(v);
    }
    if (!haveId)
        return fail(error, Kind::MissingKey, "id");
    if (!haveName)
        return fail(error, Kind::MissingKey, "name");
    if (!haveArgs)
        return fail(error, Kind::MissingKey, "argumentsJSON");
    return true;
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
            if (!v.IsString())
                return fail(error, Kind::WrongType, "id");
            if (!readUuid(v, out.id))
                return fail(error, Kind::BadUuid, "id");
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
            if (!v.IsString())
                return fail(error, Kind::WrongType, "content");
            content = &v;
            out.content = textOf(v);
            haveContent = true;
        } else if (keyIs(k, "createdAt")) {
            if (!v.IsString())
                return fail(error, Kind::WrongType, "createdAt");
            if (!readDate(v, out.createdAt))
                return fail(error, Kind::BadDate, "createdAt");
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
            if (!v.IsArray())
                return fail(error, Kind::WrongType, "toolCalls");
            QList<ToolCallRecord> calls;
            calls.reserve(v.Size());
            for (rapidjson::SizeType i = 0; i < v.Size(); ++i) {
                ToolCallRecord call;
                if (!read(v[i], call, error)) {
                    prefixPath(error, QStringLiteral("[%1]").arg(i));
                    prefixPath(error, QStringLiteral("toolCalls"));
                    return false;
                }
                calls.append(std::move(call));
            }
            out.toolCalls = std::move(calls);
        }
    }
    if (!haveId)
        return fail(error, Kind::MissingKey, "id");
    if (!haveRole)
        return fail(error, Kind::MissingKey, "role");
    if (!haveContent)
        return fail(error, Kind::MissingKey, "content");
    if (!haveCreated)
        return fail(error, Kind::MissingKey, "createdAt");
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
            if (!v.IsString())
                return fail(error, Kind::WrongType, "id");
            if (!readUuid(v, out.id))
                return fail(error, Kind::BadUuid, "id");
            haveId = true;
        } else if (keyIs(k, "title")) {
            if (!v.IsString())
                return fail(error, Kind::WrongType, "title");
            out.title = textOf(v);
            haveTitle = true;
        } else if (keyIs(k, "createdAt") || keyIs(k, "updatedAt")) {
            const bool created = keyIs(k, "createdAt");
            const char *key = created ? "createdAt" : "updatedAt";
            if (!v.IsString())
                return fail(error, Kind::WrongType, key);
            if (!readDate(v, created ? out.createdAt : out.updatedAt))
                return fail(error, Kind::BadDate, key);
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
            if (!v.IsArray())
                return fail(error, Kind::WrongType, "messages");
            QList<ChatMessage> messages;
            messages.reserve(v.Size());
            for (rapidjson::SizeType i = 0; i < v.Size(); ++i) {
                ChatMessage m;
                if (!read(v[i], m, error, state)) {
                    prefixPath(error, QStringLiteral("[%1]").arg(i));
                    prefixPath(error, QStringLiteral("messages"));
                    return false;
                }
                messages.append(std::move(m));
            }
            out.messages = std::move(messages);
            haveMessages = true;
        }
    }
    if (!haveId)
        return fail(error, Kind::MissingKey, "id");
    if (!haveTitle)
        return fail(error, Kind::MissingKey, "title");
    if (!haveMessages)
        return fail(error, Kind::MissingKey, "messages");
    if (!haveCreated)
        return fail(error, Kind::MissingKey, "createdAt");
    if (!haveUpdated)
        return fail(error, Kind::MissingKey, "updatedAt");
    return true;
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
