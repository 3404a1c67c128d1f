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

const QString &Conversation::forkSuffix()
{
    static const QString suffix = QStringLiteral(" (fork)");
    return suffix;
}

} // namespace model
