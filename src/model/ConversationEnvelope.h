#pragma once

#include "model/ChatRecords.h"
#include "model/JsonDecodeError.h"
#include "platform/Result.h"

#include <QByteArray>
#include <QList>
#include <QUuid>

#include <optional>

class QThreadPool;

namespace model {

// The content of conversations.json: an envelope object
// {"conversations": [...], "selectedConversationID": "..."}, or the older
// bare array of conversations without a selection.
struct ConversationFileContent {
    QList<Conversation> conversations;
    std::optional<QUuid> selectedConversationID;
    bool wasBareArray = false;
    // Positions of conversations with a user or assistant message holding
    // "data:image"; only these can change in the storage clean-up.
    QList<qsizetype> mayHoldInlineImages;
};

// The whole file in one parse, strict: one bad record fails it. Its
// conversations are read on the pool (null: the global one).
[[nodiscard]] platform::Result<ConversationFileContent, JsonDecodeError> decodeConversationEnvelope(
    QByteArray bytes, QThreadPool *pool = nullptr);

} // namespace model
