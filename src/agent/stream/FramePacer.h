#pragma once

#include <QObject>
#include <QTimer>

#include <functional>
#include <optional>

namespace agent {

// Holds notices to one per frame without making any wait a frame more than
// it must: what arrives after a quiet frame is told at once; what arrives
// sooner is held to the end of the frame, joined with whatever follows
// meanwhile. The end of a stream is told at once, frame or not.
class FramePacer : public QObject {
    Q_OBJECT

public:
    // One frame at 60 Hz: no view paints more often.
    static constexpr qint64 kFrameMs = 16;
    // Milliseconds on a monotonic clock.
    using Clock = std::function<qint64()>;

    explicit FramePacer(QObject *parent = nullptr);
    // Tests pass a clock they move by hand.
    explicit FramePacer(Clock clock, QObject *parent = nullptr);

    // Something arrived.
    void poke();
    // The end: due() now, and nothing stays held.
    void flush();
    // Nothing more is told.
    void stop();
    // Tells what is held once its frame has ended; the frame's timer calls
    // it, and earlier it holds on.
    void release();
    // When what is held will be told, on the clock; nullopt when nothing is.
    std::optional<qint64> heldUntil() const { return m_heldUntil; }

signals:
    // The sender may be destroyed by a receiver: nothing of it is touched
    // after this is emitted.
    void due();

private:
    void tell(qint64 now);

    Clock m_clock;
    QTimer m_frame;
    std::optional<qint64> m_lastTold;
    std::optional<qint64> m_heldUntil;
};

} // namespace agent
