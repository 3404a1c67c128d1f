#include "model/ChatRecords.h"

namespace model {

ChatMessage ChatMessage::make(MessageRole role, QString content)
{
    ChatMessage m;
    m.id = QUuid::createUuid();
    m.role = role;
    m.content = std::move(content);
    m.createdAt = QDateTime::currentDateTimeUtc();
    return m;
}

} // namespace model
