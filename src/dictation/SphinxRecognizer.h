#pragma once

#include "dictation/Recognizer.h"
#include "dictation/SphinxDecoder.h"

#include <QThread>

namespace dictation {

class SphinxWorker;

// The offline recogniser: loading and decoding run on a thread of its own,
// never on the thread that calls it; answers come back to the caller's thread.
class SphinxRecognizer final : public Recognizer {
    Q_OBJECT

public:
    explicit SphinxRecognizer(SphinxModel model, qint64 partialIntervalMs = 150, QObject *parent = nullptr);
    // Waits for the chunk or the model load in progress (at most a second or so).
    ~SphinxRecognizer() override;

    void prepare(quint64 session) override;
    void begin(quint64 session) override;
    void feed(quint64 session, const QByteArray &samples) override;
    void cancel(quint64 session) override;

private:
    QThread m_thread;
    SphinxWorker *m_worker;
};

} // namespace dictation
