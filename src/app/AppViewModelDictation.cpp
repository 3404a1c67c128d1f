#include "app/AppViewModel.h"

#include "dictation/SpeechCapture.h"

#include <QPointer>
#include <QTimer>

namespace app {

dictation::SpeechCapture &AppViewModel::speech() const
{
    return m_services.speech ? *m_services.speech : dictation::SpeechCapture::shared();
}

void AppViewModel::wireDictation()
{
    dictation::SpeechCapture &capture = speech();
    connect(&capture, &dictation::SpeechCapture::isListeningChanged, this, [this] {
        emit isDictatingChanged();
    });
    // A failure while listening (the microphone gone, the recogniser
    // failing) reaches the user at once, not only at the next tap.
    connect(&capture, &dictation::SpeechCapture::failureOccurred, this,
            [this](const QString &text) { setErrorMessage(text); });
}

bool AppViewModel::isDictating() const
{
    return speech().isListening();
}

void AppViewModel::toggleDictation(std::function<QString()> draftNow)
{
    QPointer<AppViewModel> self(this);
    if (!draftNow)
        draftNow = [self] { return self ? self->draft() : QString(); };
    dictation::SpeechCapture &capture = speech();
    const QString current = draftNow();
    if (capture.isListening()) {
        capture.stop();
    } else {
        capture.start(
            current,
            [self](const QString &text) {
                if (self)
                    self->setDraft(text);
            },
            draftNow);
    }
    // Queued after the start's own checks: whatever failed by then shows.
    QTimer::singleShot(0, this, [this] {
        const QString failure = speech().lastError();
        if (!failure.isEmpty())
            setErrorMessage(failure);
    });
}

void AppViewModel::stopDictation()
{
    speech().stop();
}

} // namespace app
