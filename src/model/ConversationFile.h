#pragma once

#include "model/ChatRecords.h"
#include "model/ChatRecordsJson.h"
#include "model/ConversationEnvelope.h"
#include "platform/AtomicFile.h"
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
// JSON of each conversation it wrote that had not changed since the write
// before, and reuses it while that conversation stays unchanged, so saving
// after one appended message encodes one conversation. The session being
// talked in changes at every write: its JSON is not kept, so the history is
// not held twice, once as text and once as JSON, as it grows.
class ConversationFileEncoder {
public:
    // Hands the file to the sink in order, a changed session message by
    // message: the whole file, or the whole of a long session, is never put
    // together in memory. False when the sink refused a piece.
    bool encodeTo(const QList<Conversation> &conversations, const std::optional<QUuid> &selected,
                  const platform::ByteSink &sink);
    // The whole file at once.
    QByteArray encode(const QList<Conversation> &conversations, const std::optional<QUuid> &selected);
    // How many conversations' JSON is kept for the next call.
    qsizetype keptJsonCount() const;

private:
    struct Entry {
        Conversation value; // shares its data with the store's copy
        QByteArray json;    // null while the conversation keeps changing
    };
    QHash<QUuid, Entry> m_cache;
};

} // namespace model
