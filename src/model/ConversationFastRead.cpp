#include "model/ConversationFastRead.h"

#include "model/IsoDate.h"

#include <simdjson.h>

#include <string_view>

namespace model {

namespace {

namespace dom = simdjson::dom;

static_assert(FastConversationReader::kPadding >= simdjson::SIMDJSON_PADDING);

QByteArrayView view(std::string_view s)
{
    return QByteArrayView(s.data(), qsizetype(s.size()));
}

bool readText(dom::element v, QString &out)
{
    std::string_view s;
    if (v.get_string().get(s))
        return false;
    out = QString::fromUtf8(view(s));
    return true;
}

bool readUuid(dom::element v, QUuid &out)
{
    std::string_view s;
    return !v.get_string().get(s) && codec::parseUuid(view(s), out);
}

bool readDate(dom::element v, QDateTime &out)
{
    std::string_view s;
    if (v.get_string().get(s))
        return false;
    const std::optional<QDateTime> date = IsoDate::parse(view(s));
    if (!date)
        return false;
    out = *date;
    return true;
}

// Optional keys: missing and null both mean absent.
bool isNull(dom::element v)
{
    return v.type() == dom::element_type::NULL_VALUE;
}

bool readToolCall(dom::element json, ToolCallRecord &out)
{
    dom::object object;
    if (json.get_object().get(object))
        return false;
    bool haveId = false, haveName = false, haveArgs = false;
    for (const dom::key_value_pair field : object) {
        const std::string_view k = field.key;
        bool ok = true;
        if (k == "id")
            ok = haveId = readText(field.value, out.id);
        else if (k == "name")
            ok = haveName = readText(field.value, out.name);
        else if (k == "argumentsJSON")
            ok = haveArgs = readText(field.value, out.argumentsJSON);
        if (!ok)
            return false;
    }
    return haveId && haveName && haveArgs;
}

bool readMessage(dom::element json, ChatMessage &out, codec::ReadState &state)
{
    dom::object object;
    if (json.get_object().get(object))
        return false;
    bool haveId = false, haveRole = false, haveContent = false, haveCreated = false;
    std::string_view content;
    for (const dom::key_value_pair field : object) {
        const std::string_view k = field.key;
        const dom::element v = field.value;
        bool ok = true;
        if (k == "id") {
            ok = haveId = readUuid(v, out.id);
        } else if (k == "role") {
            std::string_view raw;
            ok = !v.get_string().get(raw) && raw.size() <= 16;
            if (ok) {
                char16_t wide[16];
                for (std::size_t i = 0; i < raw.size(); ++i)
                    wide[i] = static_cast<unsigned char>(raw[i]);
                const auto role = fromRaw<MessageRole>(QStringView(wide, qsizetype(raw.size())));
                ok = haveRole = role.has_value();
                if (role)
                    out.role = *role;
            }
        } else if (k == "content") {
            ok = haveContent = !v.get_string().get(content);
            if (ok)
                out.content = QString::fromUtf8(view(content));
        } else if (k == "createdAt") {
            ok = haveCreated = readDate(v, out.createdAt);
        } else if (k == "toolCallId") {
            if (isNull(v)) {
                out.toolCallId.reset();
            } else {
                QString id;
                ok = readText(v, id);
                out.toolCallId = std::move(id);
            }
        } else if (k == "toolCalls") {
            if (isNull(v)) {
                out.toolCalls.reset();
            } else {
                dom::array array;
                if (v.get_array().get(array))
                    return false;
                QList<ToolCallRecord> calls;
                calls.reserve(qsizetype(array.size()));
                for (auto it = array.begin(); ok && it != array.end(); ++it) {
                    ToolCallRecord call;
                    ok = readToolCall(*it, call);
                    calls.append(std::move(call));
                }
                out.toolCalls = std::move(calls);
            }
        }
        if (!ok)
            return false;
    }
    if (!haveId || !haveRole || !haveContent || !haveCreated)
        return false;
    if ((out.role == MessageRole::User || out.role == MessageRole::Assistant) &&
        content.find("data:image") != std::string_view::npos)
        state.sawInlineImage = true;
    return true;
}

bool readConversation(dom::element json, Conversation &out, codec::ReadState &state)
{
    dom::object object;
    if (json.get_object().get(object))
        return false;
    bool haveId = false, haveTitle = false, haveMessages = false, haveCreated = false, haveUpdated = false;
    for (const dom::key_value_pair field : object) {
        const std::string_view k = field.key;
        const dom::element v = field.value;
        bool ok = true;
        if (k == "id") {
            ok = haveId = readUuid(v, out.id);
        } else if (k == "title") {
            ok = haveTitle = readText(v, out.title);
        } else if (k == "createdAt") {
            ok = haveCreated = readDate(v, out.createdAt);
        } else if (k == "updatedAt") {
            ok = haveUpdated = readDate(v, out.updatedAt);
        } else if (k == "isPinned" || k == "isArchived" || k == "isUnread") {
            bool &flag = k == "isPinned" ? out.isPinned : k == "isArchived" ? out.isArchived : out.isUnread;
            flag = false;
            ok = isNull(v) || !v.get_bool().get(flag);
        } else if (k == "messages") {
            dom::array array;
            if (v.get_array().get(array))
                return false;
            haveMessages = true;
            QList<ChatMessage> messages;
            messages.reserve(qsizetype(array.size()));
            for (auto it = array.begin(); ok && it != array.end(); ++it) {
                ChatMessage message;
                ok = readMessage(*it, message, state);
                messages.append(std::move(message));
            }
            out.messages = std::move(messages);
        }
        if (!ok)
            return false;
    }
    return haveId && haveTitle && haveMessages && haveCreated && haveUpdated;
}

} // namespace

FastConversationReader::FastConversationReader() : m_parser(std::make_unique<dom::parser>()) {}

FastConversationReader::~FastConversationReader() = default;

bool FastConversationReader::read(QByteArrayView json, Conversation &out, codec::ReadState &state)
{
    dom::element root;
    // Not copied: the caller keeps the padding readable.
    if (m_parser->parse(json.data(), std::size_t(json.size()), false).get(root))
        return false;
    return readConversation(root, out, state);
}

} // namespace model
