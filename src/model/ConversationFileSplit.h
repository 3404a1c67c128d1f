#pragma once

// Internal to the model library: the fast path for large conversation files.

#include "model/ConversationEnvelope.h"

#include <QByteArray>

#include <memory>
#include <optional>

class QThreadPool;

namespace model {

// The same, while the file is read: each conversation is decoded on the pool
// as soon as it is whole, so decoding goes on beside the reading.
class ConversationChunks {
public:
    explicit ConversationChunks(QThreadPool *pool = nullptr); // null: the global pool
    ~ConversationChunks(); // waits for its tasks
    ConversationChunks(const ConversationChunks &) = delete;
    ConversationChunks &operator=(const ConversationChunks &) = delete;

    // bytes holds the file's size; its first `done` bytes are read and stay
    // as they are. The same array each time (a copy shares it).
    void feed(const QByteArray &bytes, qsizetype done);
    // All of bytes read: the conversations, or nothing as below.
    std::optional<ConversationFileContent> finish(const QByteArray &bytes);

private:
    struct State;
    void submit(qsizetype readable);
    std::unique_ptr<State> d;
};

// Decodes an envelope written in the usual indented form by cutting it at its
// conversations and parsing those on the thread pool. Gives nothing when the
// file does not have that form or anything in it fails: the caller then
// decodes it the ordinary way, which also names the fault. Leaves the bytes
// untouched. Null pool: the global one.
std::optional<ConversationFileContent> decodeConversationFileInChunks(const QByteArray &bytes,
                                                                QThreadPool *pool = nullptr);

} // namespace model
