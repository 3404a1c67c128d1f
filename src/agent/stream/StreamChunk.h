#pragma once

#include <QByteArrayView>
#include <QList>
#include <QString>

#include <memory>
#include <optional>

namespace simdjson::dom {
class parser;
}

namespace agent {

// What one data line of the reply says, as the turn reads it.
struct StreamChunk {
    struct CallPart {
        qint64 index = 0; // an integer, else 0
        QString id;       // empty: none
        QString name;     // empty: none
        QString arguments;

        friend bool operator==(const CallPart &, const CallPart &) = default;
    };

    // The line carries an error object; errorText is its words.
    bool isError = false;
    QString errorText;
    std::optional<QString> finishReason;
    QString content;
    QList<CallPart> calls;
    // The line has a choice (or an error): it is a chunk of the reply, not
    // some other JSON.
    bool hasChoice = false;

    friend bool operator==(const StreamChunk &, const StreamChunk &) = default;
};

// Reads data lines with two parsers: simdjson for what is well formed
// (nearly everything, a few times faster), RapidJSON for the rest (bad
// UTF-8 read as replacement characters, deep nesting, huge numbers). Both
// give the same chunk for a line that both read.
class StreamChunkReader {
public:
    StreamChunkReader();
    ~StreamChunkReader();
    StreamChunkReader(const StreamChunkReader &) = delete;
    StreamChunkReader &operator=(const StreamChunkReader &) = delete;

    // The chunk, or nothing when the payload is not JSON.
    std::optional<StreamChunk> read(QByteArrayView payload);

    // The two paths, for checking that they agree. The fast one gives
    // nothing for what it refuses or leaves to the other (error objects, a
    // tool index its number cannot settle). `readable`: the payload is what
    // readablePayload() gave.
    std::optional<StreamChunk> readFast(QByteArrayView payload, bool readable = false);
    static std::optional<StreamChunk> readLenient(QByteArrayView payload);

private:
    std::unique_ptr<simdjson::dom::parser> m_parser; // made on first use
};

} // namespace agent
