#pragma once

#include "dictation/AudioInput.h"

#include <QAudioSource>
#include <QIODevice>
#include <QPointer>

namespace dictation {

// The default microphone through Qt Multimedia, in the recogniser's own
// format when the device offers it, else in the device's preferred format.
class MicrophoneInput final : public AudioInput {
    Q_OBJECT

public:
    explicit MicrophoneInput(QObject *parent = nullptr);
    ~MicrophoneInput() override;

    QAudioFormat format() const override;
    platform::Status<QString> start() override;
    void stop() override;
    bool isRunning() const override { return m_source != nullptr; }

private:
    void readAvailable();
    void onStateChanged();

    QPointer<QAudioSource> m_source;
    QPointer<QIODevice> m_io;
};

} // namespace dictation
