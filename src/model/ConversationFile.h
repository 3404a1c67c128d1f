#pragma once

#include "model/ChatRecords.h"
#include "model/ChatRecordsJson.h"
#include "model/ConversationEnvelope.h"
#include "platform/Result.h"

#include <QByteArray>
#include <QHash>
#include <QList>
#include <QUuid>

#include <optional>

class QThreadPool;

namespace model {

// Strict: one bad record fails the whole file. Large files are decoded on
// the pool (null: the global one).
[[nodiscard]] platform::Result<ConversationFileContent, JsonDecodeError> decodeConversationFile(
    QByteArray bytes, QThreadPool *pool = nullptr);

// Encodes the envelope: keys sorted at every level, indented, whole-second UTC
// dates, "selectedConversationID" left out when nothing is selected. Keeps the
// JSON of each conversation it wrote and reuses it while that conversation is
// unchanged, so saving after one appended message encodes one conversation.
class ConversationFileEncoder {
public:
    // The bytes stay valid until the next call. The buffer is kept between
    // calls: a fresh one of tens of megabytes costs more in page faults than
    // the encoding itself.
    const QByteArray &encode(const QList<Conversation> &conversations, const std::optional<QUuid> &selected);

private:
    struct Entry {
        Conversation value; // shares its data with the store's copy
        QByteArray json;
    };
    QHash<QUuid, Entry> m_cache;
    QByteArray m_out;
};

} // namespace model
