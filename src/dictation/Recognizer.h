#pragma once

#include <QByteArray>
#include <QObject>
#include <QString>

namespace dictation {

// A speech recogniser fed with 16 kHz mono 16-bit audio. Every call names
// its session, and every answer carries the session it belongs to, so the
// caller can drop what a finished session still delivers. Answers arrive
// later, on the thread that owns the recogniser.
class Recognizer : public QObject {
    Q_OBJECT

public:
    using QObject::QObject;

    // Loads what the recogniser needs (once) and answers with prepared().
    virtual void prepare(quint64 session) = 0;
    // Starts an utterance; a running one of another session is dropped.
    virtual void begin(quint64 session) = 0;
    virtual void feed(quint64 session, const QByteArray &samples) = 0;
    // Drops the session's utterance; nothing more is delivered for it.
    virtual void cancel(quint64 session) = 0;

Q_SIGNALS:
    void prepared(quint64 session, bool available);
    // The whole utterance heard so far.
    void partialResult(quint64 session, const QString &text);
    // The utterance once speech ended; the session is over.
    void finalResult(quint64 session, const QString &text);
    void failed(quint64 session, const QString &description);
};

} // namespace dictation
