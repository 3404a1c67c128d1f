#pragma once

#include <QObject>

namespace agent {

// The stop switch of one run. Everything a run waits on (the stream, an
// approval, a shell command) listens to `cancelled`, so one cancel() reaches
// every suspension point at once.
class RunCancellation : public QObject {
    Q_OBJECT
public:
    using QObject::QObject;

    bool isCancelled() const { return m_cancelled; }

    // Emits `cancelled` the first time only.
    void cancel()
    {
        if (m_cancelled)
            return;
        m_cancelled = true;
        emit cancelled();
    }

signals:
    void cancelled();

private:
    bool m_cancelled = false;
};

} // namespace agent
