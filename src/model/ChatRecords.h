#pragma once

#include "model/RawEnum.h"

#include <QDateTime>
#include <QList>
#include <QMetaType>
#include <QString>
#include <QUuid>

#include <array>
#include <optional>

namespace model {

enum class MessageRole { System, User, Assistant, Tool };
inline constexpr std::array kAllMessageRoles{MessageRole::System, MessageRole::User, MessageRole::Assistant,
                                             MessageRole::Tool};
QString toRaw(MessageRole role);
template <>
std::optional<MessageRole> fromRaw<MessageRole>(QStringView raw);

// One tool call the model asked for; the arguments stay the unparsed JSON
// text the model sent.
struct ToolCallRecord {
    QString id;
    QString name;
    QString argumentsJSON;

    friend bool operator==(const ToolCallRecord &, const ToolCallRecord &) = default;
};

struct ChatMessage {
    QUuid id;
    MessageRole role = MessageRole::User;
    QString content;
    std::optional<QString> toolCallId;
    // Absent and empty differ: an empty list is written as [].
    std::optional<QList<ToolCallRecord>> toolCalls;
    QDateTime createdAt; // UTC

    // A new message with a fresh id, created now.
    static ChatMessage make(MessageRole role, QString content);

    // Removes inline base64 images (Markdown data-URL images) from user and
    // assistant messages so they never reach stored history.
    static QList<ChatMessage> sanitizeForStorage(const QList<ChatMessage> &messages);
    // Turns a composed user prompt back into the short text the user sees.
    static QString stripAttachmentChrome(const QString &text);

    friend bool operator==(const ChatMessage &, const ChatMessage &) = default;
};

struct Conversation {
    QUuid id;
    QString title;
    QList<ChatMessage> messages; // oldest first
    QDateTime createdAt;
    QDateTime updatedAt;
    bool isPinned = false;
    bool isArchived = false;
    bool isUnread = false;

    // What a fork's title ends in.
    static const QString &forkSuffix();

    friend bool operator==(const Conversation &, const Conversation &) = default;
};

} // namespace model

Q_DECLARE_METATYPE(model::ChatMessage)
Q_DECLARE_METATYPE(model::Conversation)
