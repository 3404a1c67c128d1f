#pragma once

#include "agent/stream/OVUAssistantTurn.h"
#include "agent/stream/OVUClientError.h"
#include "agent/stream/StreamChunk.h"
#include "platform/Result.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QStringList>

#include <map>
#include <optional>

namespace agent {

// Turns the bytes of a streamed chat-completions reply into text fragments
// and, at the end, the assembled turn. Pure: no I/O, no timers, so every way
// a stream can be cut up is testable byte by byte.
//
// One byte-order mark at the body's start is dropped. Lines end at LF, CRLF
// or a lone CR (also when the CR and the LF arrive in different pieces).
// Only "data:" lines are read; comments and other event fields are skipped.
// A data line is read at once when it is JSON by itself; one that is not is
// joined with the event's next data lines by line feeds, as the event-stream
// format does. Data still unreadable at the event's end, or when a line
// that is a chunk by itself comes, is skipped (a proxy's "keep-alive");
// a reply of skipped lines only, without text or tool call, fails with
// the first of them.
//
// A string of the content, or of one call's arguments, that ends with the
// high half of a surrogate pair holds it back until the member's next
// string: when that begins with the low half, the two join. A half that
// never meets its other half is U+FFFD.
//
// A body without any data line that is something else (a web page, one
// JSON document, compressed data, other text) fails saying what it is;
// compressed data as soon as its first bytes show it.
class SseAssembler {
public:
    SseAssembler();
    ~SseAssembler();
    SseAssembler(const SseAssembler &) = delete;
    SseAssembler &operator=(const SseAssembler &) = delete;

    // Takes the next piece of the body; returns the content fragments of the
    // lines it completed, in order. After the end mark or a stream error the
    // rest is ignored.
    QStringList feed(QByteArrayView bytes);

    // The body ended: reads a last line that has no line break and returns
    // its content fragment, if any. finish() does this too when not done yet.
    QStringList endOfBody();

    // Gives the turn, or the failure when the stream carried an error,
    // stopped early (neither the end mark nor a finish reason came) or had
    // only lines that could not be read. A body without any data line that
    // is a JSON object with an "error" member is the service's error, not a
    // stream cut short; one that is not an event stream says what it is.
    platform::Result<OVUAssistantTurn, OVUClientError> finish();

    bool isDone() const { return m_done; }
    const std::optional<OVUClientError> &failure() const { return m_failure; }
    // True once the turn says it is complete (end mark or finish reason).
    bool isComplete() const { return m_done || m_finishReason.has_value(); }
    // What has been assembled so far.
    OVUAssistantTurn turn() const;

private:
    struct Entry {
        QString id;
        QString name;
        QString arguments;
        char16_t high = 0; // the half held back from the arguments
    };

    // Takes bytes after the byte-order mark.
    void feedLines(QByteArrayView bytes, QStringList &fragments);
    void processLine(QByteArrayView line, QStringList &fragments);
    void apply(const StreamChunk &chunk, QStringList &fragments);
    // The event ended: data still unread is read once more, else skipped.
    void endEvent(QStringList &fragments);
    // Drops the unread data, keeping its first line to show.
    void skipPending();
    // A held-back half that meets nothing more: U+FFFD, in the text and
    // as a fragment.
    void flushHalf(QStringList &fragments);
    // What a body without data lines is, when it is no event stream.
    std::optional<OVUClientError> plainBodyError() const;
    bool stopped() const { return m_done || m_failure.has_value(); }

    // The body's first bytes while they may still be a byte-order mark.
    QByteArray m_head;
    bool m_pastHead = false;
    QByteArray m_buffer;
    qsizetype m_scanFrom = 0;
    bool m_skipLeadingLF = false;
    bool m_done = false;
    bool m_sawDataLine = false;
    // The body's first bytes, kept until a data line comes: an error may
    // come as plain JSON instead of events.
    QByteArray m_plainBody;
    // Data lines of the current event that are not JSON yet, joined by LF.
    QByteArray m_pending;
    int m_pendingLines = 0;
    // The first data line skipped as unreadable, as shown.
    std::optional<QString> m_firstSkipped;
    std::optional<OVUClientError> m_failure;
    QString m_text;
    char16_t m_textHigh = 0; // the half held back from the text
    bool m_headChecked = false; // the body's first bytes were looked at
    std::optional<QString> m_finishReason;
    std::map<qint64, Entry> m_calls;
    StreamChunkReader m_reader;
};

} // namespace agent
