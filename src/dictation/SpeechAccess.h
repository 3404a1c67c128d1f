#pragma once

#include "dictation/CaptureFailure.h"

#include <QObject>
#include <QPointer>

#include <functional>
#include <optional>

namespace dictation {

enum class AccessStatus { authorized, denied, restricted, notDetermined, unknown };

// Whether dictation may listen and recognise. Asking may wait for the user;
// an answer is dropped when its context object is gone.
class SpeechAccess {
public:
    virtual ~SpeechAccess() = default;

    virtual AccessStatus speechStatus() const = 0;
    virtual void requestSpeech(QObject *context, std::function<void(AccessStatus)> answer) = 0;
    virtual AccessStatus microphoneStatus() const = 0;
    virtual void requestMicrophone(QObject *context, std::function<void(bool granted)> answer) = 0;
};

// Speech first, then the microphone; gives the reason of the first refusal,
// or nothing when both are granted. done runs on context's thread, perhaps
// later, and not at all once context is gone.
void checkAccess(SpeechAccess &access, QObject *context,
                 std::function<void(std::optional<CaptureFailure>)> done);

// Linux has no prompts: recognition is allowed when the model is installed,
// the microphone when an input device exists.
class SystemSpeechAccess final : public SpeechAccess {
public:
    explicit SystemSpeechAccess(std::function<bool()> modelPresent);

    AccessStatus speechStatus() const override;
    void requestSpeech(QObject *context, std::function<void(AccessStatus)> answer) override;
    AccessStatus microphoneStatus() const override;
    void requestMicrophone(QObject *context, std::function<void(bool)> answer) override;

private:
    std::function<bool()> m_modelPresent;
};

} // namespace dictation
