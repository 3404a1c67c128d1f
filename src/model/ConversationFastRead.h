#pragma once

// Internal to the model library: one conversation of a large file decoded
// with simdjson, the fast path of the chunked reader.

#include "model/ChatRecords.h"
#include "model/ChatRecordsCodec.h"

#include <QByteArrayView>

#include <cstddef>
#include <memory>

namespace simdjson::dom {
class parser;
}

namespace model {

// Strict as the ordinary decoder (JSON syntax, UTF-8, escapes, types, keys,
// dates), but names no fault: whatever it refuses the caller decodes the
// ordinary way, which does. One reader per thread; it keeps its buffers
// from one conversation to the next.
class FastConversationReader {
public:
    // Readable bytes the reader needs after the JSON it is given; they are
    // not read as JSON.
    static constexpr std::size_t kPadding = 64;

    FastConversationReader();
    ~FastConversationReader();
    FastConversationReader(const FastConversationReader &) = delete;
    FastConversationReader &operator=(const FastConversationReader &) = delete;

    // json is exactly one conversation object, followed in memory by at
    // least kPadding readable bytes.
    bool read(QByteArrayView json, Conversation &out, codec::ReadState &state);

private:
    std::unique_ptr<simdjson::dom::parser> m_parser;
};

} // namespace model
