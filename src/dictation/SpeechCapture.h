#pragma once

#include "dictation/AudioInput.h"
#include "dictation/CaptureFailure.h"
#include "dictation/PcmConverter.h"
#include "dictation/Recognizer.h"
#include "dictation/SpeechAccess.h"

#include <QObject>
#include <QString>

#include <functional>
#include <memory>

namespace dictation {

// The draft a result makes: the draft from before dictation, then what was
// heard so far. A draft of only white space is dropped; one that ends in a
// space or a line break gets no second space.
QString composedDraft(const QString &baseDraft, const QString &heard);

// Speech into the composer's draft. Each start() opens a session with an
// identity of its own: whatever an older session still delivers is dropped,
// and a stop() during start-up keeps the microphone closed.
class SpeechCapture : public QObject {
    Q_OBJECT
    Q_PROPERTY(bool isListening READ isListening NOTIFY isListeningChanged)
    Q_PROPERTY(QString statusText READ statusText NOTIFY statusTextChanged)
    Q_PROPERTY(QString lastError READ lastError NOTIFY lastErrorChanged)

public:
    using RecognizerFactory = std::function<std::unique_ptr<Recognizer>(const QString &localeName)>;

    struct Dependencies {
        std::unique_ptr<AudioInput> input;
        std::unique_ptr<SpeechAccess> access;
        // Gives nothing for a locale it has no model for.
        RecognizerFactory makeRecognizer;
        // As "en-US".
        QString localeName;
    };

    explicit SpeechCapture(Dependencies dependencies, QObject *parent = nullptr);
    ~SpeechCapture() override;

    // The one the app uses: the default microphone and the US English model.
    static SpeechCapture &shared();

    bool isListening() const { return m_isListening; }
    QString statusText() const { return m_statusText; }
    // Empty when there is none.
    QString lastError() const { return m_lastError; }

    using DraftCallback = std::function<void(const QString &draft)>;
    using DraftReader = std::function<QString()>;

    // Returns at once; the session starts asynchronously. onPartial receives
    // each new whole draft. draftNow, when given, reads the composer's draft
    // as it is now: a result is only written while that still equals what
    // dictation last wrote (or currentDraft), otherwise dictation stops so
    // that the user's own typing or sending is never overwritten.
    void start(const QString &currentDraft, DraftCallback onPartial, DraftReader draftNow = {});
    // Ends the session; safe at any time.
    void stop();

Q_SIGNALS:
    void isListeningChanged(bool listening);
    void statusTextChanged(const QString &text);
    void lastErrorChanged(const QString &text);
    // Each failure as it happens, with the text just put in lastError, so a
    // failure while listening reaches the user without another button press.
    void failureOccurred(const QString &text);

private:
    void checkAccessThenBegin(quint64 session);
    void beginRecognition(quint64 session);
    void continueRecognition(quint64 session, bool available);
    bool ensureRecognizer();
    void stopEngineOnly();
    void endSupersededSession();
    void failStart(const QString &text);
    void fail(const QString &text);
    void setListening(bool listening);
    void setStatusText(const QString &text);
    void setLastError(const QString &text);

    void onAudio(const QByteArray &frames);
    void onInputFailed(const QString &description);
    void onResult(quint64 session, const QString &heard, bool isFinal);
    void onRecognitionFailed(quint64 session, const QString &description);
    void onPrepared(quint64 session, bool available);

    Dependencies m_deps;
    std::unique_ptr<Recognizer> m_recognizer;
    // Set once the recogniser has loaded: later sessions start in the same turn.
    bool m_recognizerReady = false;
    PcmConverter m_converter;

    bool m_isListening = false;
    QString m_statusText;
    QString m_lastError;

    // The newest session; start() and stop() both move it on.
    quint64 m_session = 0;
    quint64 m_nextSession = 0;
    // The session whose audio goes to the recogniser, 0 when none. Between a
    // start() and its session start it may still be the older session, whose
    // output is dropped.
    quint64 m_recording = 0;
    QString m_baseDraft;
    QString m_lastWritten;
    DraftCallback m_onPartial;
    DraftReader m_draftNow;
};

} // namespace dictation
