#pragma once

#include "platform/Result.h"

#include <QAudioFormat>
#include <QByteArray>
#include <QObject>
#include <QString>

namespace dictation {

// Where dictation's sound comes from. The system one reads the microphone;
// tests play recorded speech through a fake.
class AudioInput : public QObject {
    Q_OBJECT

public:
    using QObject::QObject;

    // The format audioReady() delivers; invalid (rate 0 or no channels)
    // when there is no usable input.
    virtual QAudioFormat format() const = 0;

    // Starts delivering audio; the error is the device's own description.
    virtual platform::Status<QString> start() = 0;
    virtual void stop() = 0;
    virtual bool isRunning() const = 0;

Q_SIGNALS:
    // Whole frames in format(), on the thread that owns the input.
    void audioReady(const QByteArray &frames);
    // The running input broke off; it has stopped by then.
    void failed(const QString &description);
};

} // namespace dictation
