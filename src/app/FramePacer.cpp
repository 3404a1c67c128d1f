#include "app/FramePacer.h"

namespace app {

FramePacer::FramePacer(QObject *parent) : QObject(parent)
{
    m_frame.setSingleShot(true);
    m_frame.setInterval(kFrameMs);
    // A coarse timer may fire up to 5% early, inside the frame.
    m_frame.setTimerType(Qt::PreciseTimer);
    connect(&m_frame, &QTimer::timeout, this, &FramePacer::due);
}

void FramePacer::poke()
{
    if (!m_frame.isActive())
        m_frame.start();
}

bool FramePacer::flush()
{
    if (!m_frame.isActive())
        return false;
    m_frame.stop();
    emit due();
    return true;
}

} // namespace app
