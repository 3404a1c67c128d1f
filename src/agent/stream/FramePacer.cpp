#include "agent/stream/FramePacer.h"

#include <chrono>

namespace agent {

namespace {

qint64 monotonicMs()
{
    using namespace std::chrono;
    return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

} // namespace

FramePacer::FramePacer(QObject *parent) : FramePacer(monotonicMs, parent) {}

FramePacer::FramePacer(Clock clock, QObject *parent) : QObject(parent), m_clock(std::move(clock))
{
    m_frame.setSingleShot(true);
    // A coarse timer may fire up to 5% early, inside the frame.
    m_frame.setTimerType(Qt::PreciseTimer);
    connect(&m_frame, &QTimer::timeout, this, &FramePacer::release);
}

void FramePacer::poke()
{
    if (m_heldUntil)
        return release();
    const qint64 now = m_clock();
    if (!m_lastTold || now - *m_lastTold >= kFrameMs)
        return tell(now);
    m_heldUntil = *m_lastTold + kFrameMs;
    m_frame.start(int(*m_heldUntil - now));
}

void FramePacer::flush()
{
    tell(m_clock());
}

void FramePacer::stop()
{
    m_heldUntil.reset();
    m_frame.stop();
}

void FramePacer::release()
{
    if (!m_heldUntil)
        return;
    const qint64 now = m_clock();
    if (now < *m_heldUntil) {
        if (!m_frame.isActive())
            m_frame.start(int(*m_heldUntil - now));
        return;
    }
    tell(now);
}

void FramePacer::tell(qint64 now)
{
    stop();
    m_lastTold = now;
    emit due();
}

} // namespace agent
