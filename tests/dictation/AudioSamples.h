#pragma once

#include <QAudioFormat>
#include <QByteArray>
#include <QFile>
#include <QVector>

#include <algorithm>
#include <cmath>
#include <numbers>

namespace dictationtest {

inline const QString kRecording = QStringLiteral("/usr/share/pocketsphinx/test/data/goforward.raw");

inline QByteArray readRecording()
{
    QFile file(kRecording);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

inline QVector<float> sine(double frequency, int rate, int count)
{
    QVector<float> samples(count);
    for (int i = 0; i < count; ++i)
        samples[i] = float(0.5 * std::sin(2.0 * std::numbers::pi * frequency * i / rate));
    return samples;
}

inline QAudioFormat formatOf(int rate, int channels, QAudioFormat::SampleFormat sampleFormat)
{
    QAudioFormat format;
    format.setSampleRate(rate);
    format.setChannelCount(channels);
    format.setSampleFormat(sampleFormat);
    return format;
}

// Mono samples in -1..1 as frames of the given format (every channel alike).
inline QByteArray encode(const QVector<float> &mono, const QAudioFormat &format)
{
    QByteArray out;
    for (float v : mono) {
        for (int c = 0; c < format.channelCount(); ++c) {
            switch (format.sampleFormat()) {
            case QAudioFormat::UInt8: out.append(char(quint8(std::lround(v * 127.0f) + 128))); break;
            case QAudioFormat::Int16: {
                const qint16 s = qint16(std::lround(v * 32767.0f));
                out.append(reinterpret_cast<const char *>(&s), 2);
                break;
            }
            case QAudioFormat::Int32: {
                const qint32 s = qint32(std::lround(double(v) * 2147483647.0));
                out.append(reinterpret_cast<const char *>(&s), 4);
                break;
            }
            case QAudioFormat::Float: out.append(reinterpret_cast<const char *>(&v), 4); break;
            default: break;
            }
        }
    }
    return out;
}

inline QVector<float> decode16(const QByteArray &pcm)
{
    QVector<float> out(pcm.size() / 2);
    const auto *s = reinterpret_cast<const qint16 *>(pcm.constData());
    for (int i = 0; i < out.size(); ++i)
        out[i] = s[i] / 32768.0f;
    return out;
}

// The recording as a device with another rate would give it (linear interpolation).
inline QVector<float> recordingAt(const QByteArray &pcm16k, int rate)
{
    const QVector<float> in = decode16(pcm16k);
    const int count = int(qint64(in.size()) * rate / 16000);
    QVector<float> out(count);
    for (int i = 0; i < count; ++i) {
        const double pos = double(i) * 16000 / rate;
        const int j = int(pos);
        const float a = in[j], b = in[std::min(j + 1, int(in.size()) - 1)];
        out[i] = a + float(pos - j) * (b - a);
    }
    return out;
}

inline double rms(const QVector<float> &samples, int from = 0)
{
    double sum = 0;
    for (int i = from; i < samples.size(); ++i)
        sum += double(samples[i]) * samples[i];
    return std::sqrt(sum / std::max(1, int(samples.size()) - from));
}

} // namespace dictationtest
