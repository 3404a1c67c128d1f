#pragma once

#include <QString>

namespace dictation {

// Lets a partial result through only when it differs from the last one let
// through and enough time has passed, so the composer is not redrawn for
// every audio chunk.
class PartialGate {
public:
    explicit PartialGate(qint64 intervalMs = 150) : m_intervalMs(intervalMs) {}

    bool offer(const QString &text, qint64 nowMs);
    void reset();

private:
    qint64 m_intervalMs;
    QString m_last;
    qint64 m_lastAt = 0;
    bool m_any = false;
};

} // namespace dictation
