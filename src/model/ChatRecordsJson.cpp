#include "model/ChatRecordsJson.h"

#include "model/ChatRecordsCodec.h"

namespace model {

namespace {

template <typename T>
QByteArray encodeOne(const T &record)
{
    QByteArray out;
    JsonEmitter emitter(out);
    codec::write(emitter, record);
    return out;
}

template <typename T, typename ReadFn>
platform::Result<T, JsonDecodeError> decodeOne(QByteArrayView json, ReadFn read)
{
    QByteArray bytes = json.toByteArray();
    rapidjson::Document doc;
    JsonDecodeError error;
    if (!codec::parse(bytes, doc, error))
        return platform::Result<T, JsonDecodeError>::failure(error);
    T value;
    if (!read(doc, value, error))
        return platform::Result<T, JsonDecodeError>::failure(error);
    return value;
}

} // namespace

QByteArray encodeJson(const ToolCallRecord &record)
{
    return encodeOne(record);
}

QByteArray encodeJson(const ChatMessage &message)
{
    return encodeOne(message);
}

QByteArray encodeJson(const Conversation &conversation)
{
    return encodeOne(conversation);
}

platform::Result<ChatMessage, JsonDecodeError> decodeChatMessage(QByteArrayView json)
{
    return decodeOne<ChatMessage>(json, [](const codec::Value &v, ChatMessage &out, JsonDecodeError &e) {
        codec::ReadState state;
        return codec::read(v, out, e, state);
    });
}

platform::Result<Conversation, JsonDecodeError> decodeConversation(QByteArrayView json)
{
    return decodeOne<Conversation>(json, [](const codec::Value &v, Conversation &out, JsonDecodeError &e) {
        codec::ReadState state;
        return codec::read(v, out, e, state);
    });
}

} // namespace model
