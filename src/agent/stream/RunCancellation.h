#pragma once

#include <QObject>

#include <stop_token>

namespace agent {

// The stop switch of one run. Everything a run waits on (the stream, an
// approval, a shell command) listens to `cancelled`, so one cancel() reaches
// every suspension point at once.
class RunCancellation : public QObject {
    Q_OBJECT
public:
    using QObject::QObject;

    bool isCancelled() const { return m_cancelled; }

    // For work off the UI thread (judging a command): it checks the token
    // and ends promptly once the run is stopped.
    std::stop_token stopToken() const { return m_stop.get_token(); }

    // Emits `cancelled` the first time only.
    void cancel()
    {
        if (m_cancelled)
            return;
        m_cancelled = true;
        m_stop.request_stop();
        emit cancelled();
    }

signals:
    void cancelled();

private:
    bool m_cancelled = false;
    std::stop_source m_stop;
};

} // namespace agent
