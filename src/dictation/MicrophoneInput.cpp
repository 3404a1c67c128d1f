#include "dictation/MicrophoneInput.h"

#include "dictation/PcmConverter.h"

#include <QAudioSource>
#include <QMediaDevices>

namespace dictation {

namespace {

QAudioFormat formatFor(const QAudioDevice &device)
{
    if (device.isNull())
        return {};
    const QAudioFormat wanted = PcmConverter::targetFormat();
    return device.isFormatSupported(wanted) ? wanted : device.preferredFormat();
}

QString describe(QAudio::Error error)
{
    switch (error) {
    case QAudio::NoError:
        break;
    case QAudio::OpenError:
        return QStringLiteral("The audio input device could not be opened.");
    case QAudio::IOError:
        return QStringLiteral("The audio input device stopped delivering sound.");
    case QAudio::UnderrunError:
        return QStringLiteral("The audio input device fell behind.");
    case QAudio::FatalError:
        return QStringLiteral("The audio input device is no longer usable.");
    }
    return QStringLiteral("The audio input device failed.");
}

// About 64 ms of sound per read at any rate, so partial results can follow closely.
constexpr int kBufferMs = 64;

} // namespace

MicrophoneInput::MicrophoneInput(QObject *parent) : AudioInput(parent) {}

MicrophoneInput::~MicrophoneInput()
{
    stop();
}

QAudioFormat MicrophoneInput::format() const
{
    return formatFor(QMediaDevices::defaultAudioInput());
}

platform::Status<QString> MicrophoneInput::start()
{
    stop();
    const QAudioDevice device = QMediaDevices::defaultAudioInput();
    const QAudioFormat format = formatFor(device);
    if (!format.isValid())
        return describe(QAudio::OpenError);
    auto *source = new QAudioSource(device, format, this);
    source->setBufferSize(format.bytesForDuration(kBufferMs * 1000));
    QIODevice *io = source->start();
    if (!io || source->error() != QAudio::NoError) {
        const QString description = describe(source->error() == QAudio::NoError ? QAudio::OpenError : source->error());
        source->stop();
        source->deleteLater();
        return description;
    }
    m_source = source;
    m_io = io;
    connect(io, &QIODevice::readyRead, this, &MicrophoneInput::readAvailable);
    connect(source, &QAudioSource::stateChanged, this, &MicrophoneInput::onStateChanged);
    return {};
}

void MicrophoneInput::stop()
{
    if (!m_source)
        return;
    QAudioSource *source = m_source;
    m_source = nullptr;
    if (m_io)
        disconnect(m_io, nullptr, this, nullptr);
    m_io = nullptr;
    disconnect(source, nullptr, this, nullptr);
    source->stop();
    // Deleted later: stop() may be reached from one of the source's own signals.
    source->deleteLater();
}

void MicrophoneInput::readAvailable()
{
    if (!m_io || !m_source)
        return;
    const int frameBytes = m_source->format().bytesPerFrame();
    const qint64 available = m_io->bytesAvailable();
    if (frameBytes <= 0 || available < frameBytes)
        return;
    const QByteArray frames = m_io->read(available / frameBytes * frameBytes);
    if (!frames.isEmpty())
        Q_EMIT audioReady(frames);
}

void MicrophoneInput::onStateChanged()
{
    if (!m_source)
        return;
    const QAudio::Error error = m_source->error();
    // An overrun only loses a little sound; the others end the input.
    if (error == QAudio::NoError || error == QAudio::UnderrunError)
        return;
    stop();
    Q_EMIT failed(describe(error));
}

} // namespace dictation
