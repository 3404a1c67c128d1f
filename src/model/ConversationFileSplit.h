#pragma once

// Internal to the model library: the fast path for large conversation files.

#include "model/ConversationEnvelope.h"

#include <optional>

namespace model {

// Decodes an envelope written in the usual indented form by cutting it at its
// conversations and parsing those on the thread pool. Gives nothing when the
// file does not have that form or anything in it fails: the caller then
// decodes it the ordinary way, which also names the fault. Leaves the bytes
// untouched. Null pool: the global one.
std::optional<ConversationFileContent> decodeConversationFileInChunks(const QByteArray &bytes,
                                                                QThreadPool *pool = nullptr);

} // namespace model
