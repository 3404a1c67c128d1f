#include "dictation/CaptureFailure.h"

namespace dictation {

QString failureText(CaptureFailure failure)
{
    switch (failure) {
    // Here recognition is refused only when its model is not installed, and
    // the microphone only when there is no sound input device at all.
    case CaptureFailure::speechOff:
        return QStringLiteral("Speech recognition is off for Moonshelf Mac: its US English model is not installed. "
                              "Install the pocketsphinx-en-us package.");
    case CaptureFailure::speechNotEnabled:
        return QStringLiteral("Speech recognition not enabled. Install the pocketsphinx-en-us package for "
                              "Moonshelf Mac.");
    case CaptureFailure::speechUnavailable:
        return QStringLiteral("Speech recognition unavailable.");
    case CaptureFailure::microphoneOff:
        return QStringLiteral("No microphone for Moonshelf Mac: there is no sound input device. Connect one, or "
                              "turn it on in the desktop's Sound settings (Input).");
    case CaptureFailure::microphoneNotEnabled:
        return QStringLiteral("Microphone not enabled. Choose an input device and unmute it in the desktop's Sound "
                              "settings (Input).");
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
