#include "dictation/SpeechAccess.h"

#include <QAudioDevice>
#include <QMediaDevices>
#include <QTimer>

namespace dictation {

namespace {

using Done = std::function<void(std::optional<CaptureFailure>)>;

void checkMicrophone(SpeechAccess &access, QObject *context, Done done)
{
    switch (access.microphoneStatus()) {
    case AccessStatus::authorized:
        done(std::nullopt);
        return;
    case AccessStatus::denied:
    case AccessStatus::restricted:
        done(CaptureFailure::microphoneOff);
        return;
    case AccessStatus::notDetermined:
        access.requestMicrophone(context, [done](bool granted) {
            done(granted ? std::nullopt : std::optional(CaptureFailure::microphoneNotEnabled));
        });
        return;
    case AccessStatus::unknown:
        break;
    }
    done(CaptureFailure::microphoneUnavailable);
}

} // namespace

void checkAccess(SpeechAccess &access, QObject *context, Done done)
{
    switch (access.speechStatus()) {
    case AccessStatus::authorized:
        checkMicrophone(access, context, std::move(done));
        return;
    case AccessStatus::denied:
    case AccessStatus::restricted:
        done(CaptureFailure::speechOff);
        return;
    case AccessStatus::notDetermined: {
        // The access object outlives the context (both belong to the capture object).
        SpeechAccess *accessPtr = &access;
        QPointer<QObject> guard(context);
        access.requestSpeech(context, [accessPtr, guard, done](AccessStatus answer) {
            if (!guard)
                return;
            if (answer == AccessStatus::authorized)
                checkMicrophone(*accessPtr, guard, done);
            else
                done(CaptureFailure::speechNotEnabled);
        });
        return;
    }
    case AccessStatus::unknown:
        break;
    }
    done(CaptureFailure::speechUnavailable);
}

SystemSpeechAccess::SystemSpeechAccess(std::function<bool()> modelPresent)
    : m_modelPresent(std::move(modelPresent))
{
}

AccessStatus SystemSpeechAccess::speechStatus() const
{
    return m_modelPresent() ? AccessStatus::authorized : AccessStatus::denied;
}

AccessStatus SystemSpeechAccess::microphoneStatus() const
{
    return QMediaDevices::defaultAudioInput().isNull() ? AccessStatus::denied : AccessStatus::authorized;
}

// Never reached here (no status is ever undetermined); answer as a refusal.
void SystemSpeechAccess::requestSpeech(QObject *context, std::function<void(AccessStatus)> answer)
{
    QTimer::singleShot(0, context, [answer] { answer(AccessStatus::denied); });
}

void SystemSpeechAccess::requestMicrophone(QObject *context, std::function<void(bool)> answer)
{
    QTimer::singleShot(0, context, [answer] { answer(false); });
}

} // namespace dictation
