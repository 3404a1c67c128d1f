#include "dictation/PartialGate.h"

namespace dictation {

bool PartialGate::offer(const QString &text, qint64 nowMs)
{
    if (text.isEmpty() || text == m_last)
        return false;
    if (m_any && nowMs - m_lastAt < m_intervalMs)
        return false;
    m_last = text;
    m_lastAt = nowMs;
    m_any = true;
    return true;
}

void PartialGate::reset()
{
    m_last.clear();
    m_lastAt = 0;
    m_any = false;
}

} // namespace dictation
