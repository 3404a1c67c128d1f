#pragma once

#include "agent/stream/OVUAssistantTurn.h"
#include "agent/stream/OVUClientError.h"
#include "agent/stream/SseAssembler.h"
#include "platform/Result.h"

#include <QByteArray>
#include <QList>
#include <QMutex>
#include <QWaitCondition>
#include <QStringList>

#include <atomic>
#include <chrono>
#include <functional>
#include <memory>
#include <optional>

typedef void CURL;
typedef void CURLM;

namespace agent {

class StreamConnections;

using TurnResult = platform::Result<OVUAssistantTurn, OVUClientError>;

// One chat-completions request, as the transfer sends it.
struct StreamRequest {
    QByteArray url;
    QByteArray body;
    QList<QByteArray> headers; // "Name: value"
    // The reply may stay silent this long before the turn fails.
    std::chrono::milliseconds idleTimeout{600'000};
};

// One streamed request on a worker thread: reads the reply in large blocks,
// assembles the events there, and leaves the fragments and, at the end, the
// turn in a mailbox that the main thread empties. run() is the worker's
// body; everything else may be called from any thread.
class StreamTransfer {
public:
    // Called on the worker thread when the mailbox gets something while the
    // main thread has not yet been told; it must not block.
    using Wake = std::function<void()>;

    StreamTransfer(StreamRequest request, std::shared_ptr<StreamConnections> connections, Wake wake);
    ~StreamTransfer();
    StreamTransfer(const StreamTransfer &) = delete;
    StreamTransfer &operator=(const StreamTransfer &) = delete;

    void run();
    // Ends the transfer soon: the worker leaves its wait at once.
    void stop();

    struct Taken {
        QStringList fragments;
        std::optional<TurnResult> result; // once, after every fragment
        bool ended = false;               // the worker has finished
    };
    // Empties the mailbox; the next arrival wakes the main thread again.
    Taken take();
    // The mailbox holds the turn's result, or the worker has finished.
    bool hasEnded();

private:
    static size_t onBody(char *data, size_t size, size_t count, void *self);
    static size_t onHeader(char *data, size_t size, size_t count, void *self);
    size_t receive(const char *data, size_t size);
    // Notes the status line's code, reason and time, and Retry-After.
    size_t receiveHeader(const char *data, size_t size);
    TurnResult conclude(int code, long status);
    void post(QStringList fragments, std::optional<TurnResult> result, bool ended);
    // Waits a moment for more of a burst to arrive; stop() ends the wait.
    void gather();

    const StreamRequest m_request;
    const std::shared_ptr<StreamConnections> m_connections;
    const Wake m_wake;

    // Worker thread only.
    CURL *m_easy = nullptr;
    SseAssembler m_assembler;
    QByteArray m_errorBody;
    long m_status = 0;
    // From the last status line (a 1xx comes before the real one).
    int m_headStatus = 0;
    QByteArray m_reason;
    QByteArray m_retryAfter;
    QByteArray m_contentEncoding;
    std::chrono::steady_clock::time_point m_statusLineAt;
    bool m_resultPosted = false;
    bool m_finishing = false; // counted as finishing in m_connections
    qint64 m_bytes = 0;
    char m_errorText[256] = {};

    std::atomic<bool> m_stop{false};

    QMutex m_mutex; // guards what follows
    CURLM *m_multi = nullptr; // while the worker waits in it, for stop()
    QWaitCondition m_stopped; // stop() wakes a worker that gathers
    QStringList m_fragments;
    std::optional<TurnResult> m_result;
    bool m_ended = false;
    bool m_woken = false;
};

} // namespace agent
