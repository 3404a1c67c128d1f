#pragma once

#include <QByteArray>
#include <QUrl>

#include <sys/types.h>

namespace bench {

// A chat service in a child process of its own, on 127.0.0.1, so that its
// CPU never counts as ours. It writes each SSE event with one write() on a
// TCP_NODELAY socket, as a real service streams. The request's query says
// what to send: `events` content events of "word " (then a finish event and
// [DONE]), framed `chunked` (one event per HTTP chunk) or `close`
// (close-delimited). Start it before any thread exists; it ends when this
// process does.
class EventPeer {
public:
    EventPeer();
    ~EventPeer();
    EventPeer(const EventPeer &) = delete;
    EventPeer &operator=(const EventPeer &) = delete;

    bool isRunning() const { return m_pid > 0; }
    // The endpoint asking for `events` events in the given framing.
    QUrl endpoint(int events, bool chunked = true) const;
    // The body bytes the peer sends for `events` events (before framing).
    static QByteArray body(int events);

private:
    pid_t m_pid = -1;
    int m_lifeline = -1; // its end closing tells the child to go
    quint16 m_port = 0;
};

// Reads the whole reply to `url` over a plain socket in 256 KB blocks and
// throws it away: the least any client must spend on these bytes. Returns
// the bytes read, or -1.
qint64 rawDrain(const QUrl &url);

} // namespace bench
