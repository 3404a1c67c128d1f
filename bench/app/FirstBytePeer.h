#pragma once

#include <QElapsedTimer>
#include <QObject>
#include <QUrl>

#include <atomic>

class QTcpServer;

namespace benchsupport {

// A loopback chat-completions peer that notes when the first byte of a
// request arrives, then answers every request with a short streamed reply.
// Lives in a thread of its own; the clock and the note are read from the
// main thread.
class FirstBytePeer : public QObject {
    Q_OBJECT
public:
    FirstBytePeer();

    // In the peer's thread.
    void listen();

    QUrl endpoint() const;
    // Starts timing the next request.
    void resetClock();
    double elapsedMs() const { return double(m_clock.nsecsElapsed()) / 1e6; }
    // Since resetClock(); below 0 while no byte came.
    double firstByteMs() const { return double(m_firstByteNs.load()) / 1e6; }

private:
    void onConnection();

    QTcpServer *m_server = nullptr;
    std::atomic<quint16> m_port{0};
    QElapsedTimer m_clock;
    std::atomic<qint64> m_firstByteNs{-1};
};

} // namespace benchsupport
