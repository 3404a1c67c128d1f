#include "dictation/SpeechCapture.h"

#include "dictation/MicrophoneInput.h"
#include "dictation/SphinxRecognizer.h"

#include <QCoreApplication>
#include <QLocale>
#include <QTimer>

namespace dictation {

namespace {

const QString kFallbackLocale = QStringLiteral("en-US");

} // namespace

namespace {

bool isLineBreak(QChar c)
{
    switch (c.unicode()) {
    case u'\n':
    case u'\v':
    case u'\f':
    case u'\r':
    case 0x0085:
    case 0x2028:
    case 0x2029:
        return true;
    default:
        return false;
    }
}

} // namespace

QString composedDraft(const QString &baseDraft, const QString &heard)
{
    if (baseDraft.trimmed().isEmpty())
        return heard;
    const QChar last = baseDraft.back();
    if (last == u' ' || isLineBreak(last))
        return baseDraft + heard;
    return baseDraft + u' ' + heard;
}

SpeechCapture::SpeechCapture(Dependencies dependencies, QObject *parent)
    : QObject(parent), m_deps(std::move(dependencies))
{
    Q_ASSERT(m_deps.input && m_deps.access);
    connect(m_deps.input.get(), &AudioInput::audioReady, this, &SpeechCapture::onAudio);
    connect(m_deps.input.get(), &AudioInput::failed, this, &SpeechCapture::onInputFailed);
}

SpeechCapture::~SpeechCapture()
{
    stopEngineOnly();
}

SpeechCapture &SpeechCapture::shared()
{
    // Owned by the application object, so it goes before the statics do.
    static SpeechCapture *instance = [] {
        Dependencies deps;
        deps.input = std::make_unique<MicrophoneInput>();
        deps.access = std::make_unique<SystemSpeechAccess>([] { return SphinxModel::usEnglish().isPresent(); });
        deps.makeRecognizer = [](const QString &locale) -> std::unique_ptr<Recognizer> {
            if (locale != kFallbackLocale)
                return nullptr; // the only model there is
            return std::make_unique<SphinxRecognizer>(SphinxModel::usEnglish());
        };
        deps.localeName = QLocale::system().name().replace(u'_', u'-');
        return new SpeechCapture(std::move(deps), QCoreApplication::instance());
    }();
    return *instance;
}

void SpeechCapture::start(const QString &currentDraft, DraftCallback onPartial, DraftReader draftNow)
{
    setLastError({});
    m_onPartial = std::move(onPartial);
    m_draftNow = std::move(draftNow);
    m_baseDraft = currentDraft;
    m_lastWritten = currentDraft;
    // A session still running records on until the new one starts, but from
    // now on nothing it delivers reaches the new draft or callback.
    const quint64 session = ++m_nextSession;
    m_session = session;
    QTimer::singleShot(0, this, [this, session] { checkAccessThenBegin(session); });
}

void SpeechCapture::stop()
{
    stopEngineOnly();
    m_session = 0;
    setListening(false);
    setStatusText({});
    m_onPartial = {};
    m_draftNow = {};
}

void SpeechCapture::checkAccessThenBegin(quint64 session)
{
    if (session != m_session)
        return;
    checkAccess(*m_deps.access, this, [this, session](std::optional<CaptureFailure> refusal) {
        if (session != m_session)
            return;
        if (refusal) {
            // The older session's output can go nowhere now; do not leave it listening.
            endSupersededSession();
            fail(failureText(*refusal));
        } else {
            beginRecognition(session);
        }
    });
}

void SpeechCapture::beginRecognition(quint64 session)
{
    stopEngineOnly();
    if (!ensureRecognizer()) {
        failStart(failureText(CaptureFailure::recognizerUnavailable));
        return;
    }
    if (m_recognizerReady) {
        continueRecognition(session, true);
        return;
    }
    // Loading the model takes a while the first time; it happens off this thread.
    m_recognizer->prepare(session);
}

bool SpeechCapture::ensureRecognizer()
{
    if (m_recognizer)
        return true;
    if (!m_deps.makeRecognizer)
        return false;
    m_recognizer = m_deps.makeRecognizer(m_deps.localeName);
    if (!m_recognizer && m_deps.localeName != kFallbackLocale)
        m_recognizer = m_deps.makeRecognizer(kFallbackLocale);
    if (!m_recognizer)
        return false;
    connect(m_recognizer.get(), &Recognizer::prepared, this, &SpeechCapture::onPrepared);
    connect(m_recognizer.get(), &Recognizer::partialResult, this,
            [this](quint64 session, const QString &text) { onResult(session, text, false); });
    connect(m_recognizer.get(), &Recognizer::finalResult, this,
            [this](quint64 session, const QString &text) { onResult(session, text, true); });
    connect(m_recognizer.get(), &Recognizer::failed, this, &SpeechCapture::onRecognitionFailed);
    return true;
}

void SpeechCapture::onPrepared(quint64 session, bool available)
{
    // A loaded model stays loaded, whichever session asked for it.
    m_recognizerReady = m_recognizerReady || available;
    continueRecognition(session, available);
}

void SpeechCapture::continueRecognition(quint64 session, bool available)
{
    // Stopped or started again while the recogniser got ready: keep the microphone closed.
    if (session != m_session)
        return;
    if (!available) {
        failStart(failureText(CaptureFailure::recognizerUnavailable));
        return;
    }
    const QAudioFormat format = m_deps.input->format();
    if (format.sampleRate() <= 0 || format.channelCount() <= 0) {
        failStart(failureText(CaptureFailure::noMicrophoneInput));
        return;
    }
    m_converter.reset(format);
    m_recording = session;
    m_recognizer->begin(session);
    const platform::Status<QString> started = m_deps.input->start();
    if (!started) {
        m_recording = 0;
        m_recognizer->cancel(session);
        failStart(couldNotStartText(started.error()));
        return;
    }
    setListening(true);
    setStatusText(QStringLiteral("Listening\u2026"));
}

void SpeechCapture::stopEngineOnly()
{
    if (m_recording != 0) {
        if (m_recognizer)
            m_recognizer->cancel(m_recording);
        m_recording = 0;
    }
    if (m_deps.input->isRunning())
        m_deps.input->stop();
}

// Ends the session a newer start() replaced, when the newer one will not start.
void SpeechCapture::endSupersededSession()
{
    stopEngineOnly();
    setListening(false);
    setStatusText({});
}

// A start that fails leaves the published fields alone, except a "Listening…"
// left over from the session the start has just ended: nothing listens now.
void SpeechCapture::failStart(const QString &text)
{
    if (m_isListening) {
        setListening(false);
        setStatusText({});
    }
    fail(text);
}

void SpeechCapture::onAudio(const QByteArray &frames)
{
    if (m_recording == 0 || !m_recognizer)
        return;
    const QByteArray samples = m_converter.convert(frames);
    if (!samples.isEmpty())
        m_recognizer->feed(m_recording, samples);
}

void SpeechCapture::onInputFailed(const QString &description)
{
    if (m_recording == 0)
        return;
    if (m_recording != m_session) {
        // The device of a session already replaced: the new one reopens it.
        stopEngineOnly();
        return;
    }
    if (m_isListening)
        fail(description);
    stop();
}

void SpeechCapture::onResult(quint64 session, const QString &heard, bool isFinal)
{
    if (session == 0 || session != m_recording || session != m_session)
        return;
    // The user typed or sent since: their text wins, dictation ends.
    if (m_draftNow && m_draftNow() != m_lastWritten) {
        stop();
        return;
    }
    const QString draft = composedDraft(m_baseDraft, heard);
    m_lastWritten = draft;
    if (m_onPartial) {
        const DraftCallback callback = m_onPartial; // it may stop or restart dictation
        callback(draft);
    }
    if (isFinal && session == m_session)
        stop();
}

void SpeechCapture::onRecognitionFailed(quint64 session, const QString &description)
{
    if (session == 0 || session != m_recording || session != m_session)
        return;
    if (m_isListening)
        fail(description);
    stop();
}

void SpeechCapture::fail(const QString &text)
{
    setLastError(text);
    Q_EMIT failureOccurred(text);
}

void SpeechCapture::setListening(bool listening)
{
    if (m_isListening == listening)
        return;
    m_isListening = listening;
    Q_EMIT isListeningChanged(listening);
}

void SpeechCapture::setStatusText(const QString &text)
{
    if (m_statusText == text)
        return;
    m_statusText = text;
    Q_EMIT statusTextChanged(text);
}

void SpeechCapture::setLastError(const QString &text)
{
    if (m_lastError == text)
        return;
    m_lastError = text;
    Q_EMIT lastErrorChanged(text);
}

} // namespace dictation
