#pragma once

#include <QString>

namespace dictation {

// The fixed reasons a dictation session cannot start, each with its text.
enum class CaptureFailure {
    speechOff,            // recognition refused earlier (here: the model is not installed)
    speechNotEnabled,     // recognition refused at the prompt
    speechUnavailable,    // recognition access in an unknown state
    microphoneOff,        // microphone refused earlier (here: no input device)
    microphoneNotEnabled, // microphone refused at the prompt
    microphoneUnavailable,
    recognizerUnavailable,
    noMicrophoneInput,
};

QString failureText(CaptureFailure failure);

// "Could not start microphone: " followed by the device's own description.
QString couldNotStartText(const QString &description);

} // namespace dictation
