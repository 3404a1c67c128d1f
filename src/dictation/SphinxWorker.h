#pragma once

#include "dictation/SphinxDecoder.h"
#include "dictation/SphinxStream.h"

#include <QElapsedTimer>
#include <QObject>

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
    QElapsedTimer m_clock;
};

} // namespace dictation
