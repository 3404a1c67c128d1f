#include "dictation/CaptureFailure.h"

namespace dictation {

QString failureText(CaptureFailure failure)
{
    switch (failure) {
    case CaptureFailure::speechOff:
        return QStringLiteral("Speech recognition is off for Moonshelf Mac. Enable it in System Settings "
                              "\u2192 Privacy & Security \u2192 Speech Recognition.");
    case CaptureFailure::speechNotEnabled:
        return QStringLiteral("Speech recognition not enabled. Turn it on in System Settings \u2192 Privacy & "
                              "Security \u2192 Speech Recognition for Moonshelf Mac.");
    case CaptureFailure::speechUnavailable:
        return QStringLiteral("Speech recognition unavailable.");
    case CaptureFailure::microphoneOff:
        return QStringLiteral("Microphone is off for Moonshelf Mac. Enable it in System Settings \u2192 Privacy "
                              "& Security \u2192 Microphone.");
    case CaptureFailure::microphoneNotEnabled:
        return QStringLiteral("Microphone not enabled. Turn it on in System Settings \u2192 Privacy & Security "
                              "\u2192 Microphone for Moonshelf Mac.");
    case CaptureFailure::microphoneUnavailable:
        return QStringLiteral("Microphone unavailable.");
    case CaptureFailure::recognizerUnavailable:
        return QStringLiteral("Speech recognizer not available for this language.");
    case CaptureFailure::noMicrophoneInput:
        return QStringLiteral("No microphone input available.");
    }
    return {};
}

QString couldNotStartText(const QString &description)
{
    return QStringLiteral("Could not start microphone: ") + description;
}

} // namespace dictation
