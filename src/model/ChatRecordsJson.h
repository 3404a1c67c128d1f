#pragma once

#include "model/ChatRecords.h"
#include "model/JsonDecodeError.h"
#include "platform/Result.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

namespace model {

// JSON of one record, as it stands in conversations.json: keys sorted,
// indented, dates as whole-second UTC text, UUIDs as 36-character text.
QByteArray encodeJson(const ToolCallRecord &record);
QByteArray encodeJson(const ChatMessage &message);
QByteArray encodeJson(const Conversation &conversation);

[[nodiscard]] platform::Result<ChatMessage, JsonDecodeError> decodeChatMessage(QByteArrayView json);
[[nodiscard]] platform::Result<Conversation, JsonDecodeError> decodeConversation(QByteArrayView json);

} // namespace model
