#pragma once

#include "dictation/SphinxDecoder.h"
#include "dictation/SphinxStream.h"

#include <QElapsedTimer>
#include <QObject>

#include <atomic>
#include <memory>

namespace dictation {

// The recogniser's half on its worker thread: loads the model on first use
// and decodes one session at a time. Calls for any other session are dropped.
class SphinxWorker : public QObject {
    Q_OBJECT

public:
    explicit SphinxWorker(SphinxModel model, qint64 partialIntervalMs);
    ~SphinxWorker() override;

    void prepare(quint64 session);
    void begin(quint64 session);
    void feed(quint64 session, const QByteArray &samples);
    void cancel(quint64 session);

    // Thread-safe, called by the owner before it queues begin() or cancel():
    // audio still queued for any other session is skipped, not decoded, so a
    // stop or a shutdown does not wait for a backlog.
    void want(quint64 session) { m_wanted.store(session, std::memory_order_relaxed); }
    void unwant(quint64 session) { m_wanted.compare_exchange_strong(session, 0, std::memory_order_relaxed); }

Q_SIGNALS:
    void prepared(quint64 session, bool available);
    void partialResult(quint64 session, const QString &text);
    void finalResult(quint64 session, const QString &text);
    void failed(quint64 session, const QString &description);

private:
    bool ensureLoaded();

    SphinxModel m_model;
    qint64 m_partialIntervalMs;
    std::unique_ptr<SphinxDecoder> m_decoder;
    std::unique_ptr<SphinxStream> m_stream;
    quint64 m_session = 0;
    std::atomic<quint64> m_wanted = 0;
    QElapsedTimer m_clock;
};

} // namespace dictation
