#include "dictation/PcmConverter.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <numbers>

namespace dictation {

namespace {

// Windowed-sinc low-pass just under the target's Nyquist frequency, so that
// sound above it does not fold back into the speech band.
std::vector<float> lowPass(int inputRate)
{
    const double cutoff = 7600.0 / inputRate; // cycles per input sample
    const int half = std::max(4, int(std::ceil(8.0 * inputRate / PcmConverter::targetRate)));
    const int count = 2 * half + 1;
    std::vector<float> taps(count);
    double sum = 0.0;
    for (int i = 0; i < count; ++i) {
        const double n = i - half;
        const double sinc = n == 0 ? 2.0 * cutoff : std::sin(2.0 * std::numbers::pi * cutoff * n) / (std::numbers::pi * n);
        const double window = 0.42 - 0.5 * std::cos(2.0 * std::numbers::pi * i / (count - 1))
                              + 0.08 * std::cos(4.0 * std::numbers::pi * i / (count - 1));
        taps[i] = float(sinc * window);
        sum += sinc * window;
    }
    for (float &t : taps)
        t = float(t / sum);
    return taps;
}

} // namespace

QAudioFormat PcmConverter::targetFormat()
{
    QAudioFormat format;
    format.setSampleRate(targetRate);
    format.setChannelCount(1);
    format.setSampleFormat(QAudioFormat::Int16);
    return format;
}

void PcmConverter::reset(const QAudioFormat &from)
{
    m_from = from;
    m_partialFrame.clear();
    m_passThrough = from.sampleRate() == targetRate && from.channelCount() == 1
                    && from.sampleFormat() == QAudioFormat::Int16;
    m_step = from.sampleRate() > 0 ? double(from.sampleRate()) / targetRate : 1.0;
    m_taps = from.sampleRate() > targetRate ? lowPass(from.sampleRate()) : std::vector<float>{};
    m_history.assign(m_taps.size(), 0.0f);
    m_historyPos = 0;
    m_havePrevious = false;
    m_previous = 0.0f;
    m_next = 0.0;
}

QByteArray PcmConverter::convert(const QByteArray &frames)
{
    const int frameBytes = m_from.bytesPerFrame();
    if (frameBytes <= 0 || m_from.sampleRate() <= 0)
        return {};
    if (m_passThrough && m_partialFrame.isEmpty() && frames.size() % frameBytes == 0)
        return frames;

    QByteArray data = m_partialFrame + frames;
    const qsizetype whole = data.size() / frameBytes * frameBytes;
    m_partialFrame = data.mid(whole);

    QByteArray out;
    out.reserve(qsizetype(whole / frameBytes / m_step + 2) * 2);
    const int channels = m_from.channelCount();
    const int sampleBytes = m_from.bytesPerSample();
    for (qsizetype at = 0; at < whole; at += frameBytes) {
        float sum = 0.0f;
        for (int c = 0; c < channels; ++c)
            sum += m_from.normalizedSampleValue(data.constData() + at + c * sampleBytes);
        push(sum / channels, out);
    }
    return out;
}

void PcmConverter::push(float sample, QByteArray &out)
{
    float filtered = sample;
    if (!m_taps.empty()) {
        m_history[m_historyPos] = sample;
        m_historyPos = (m_historyPos + 1) % m_history.size();
        // The ring now runs oldest-first from m_historyPos; the taps are symmetric.
        double acc = 0.0;
        const std::size_t n = m_history.size();
        for (std::size_t i = 0; i < n; ++i)
            acc += double(m_taps[i]) * m_history[(m_historyPos + i) % n];
        filtered = float(acc);
    }
    if (!m_havePrevious) {
        m_previous = filtered;
        m_havePrevious = true;
        return;
    }
    // Outputs that fall between the previous input and this one.
    while (m_next < 1.0) {
        emitSample(m_previous + float(m_next) * (filtered - m_previous), out);
        m_next += m_step;
    }
    m_next -= 1.0;
    m_previous = filtered;
}

void PcmConverter::emitSample(float sample, QByteArray &out)
{
    const auto value = qint16(std::clamp(std::lround(sample * 32767.0f), -32768L, 32767L));
    // Native byte order, as the recogniser reads it.
    out.append(reinterpret_cast<const char *>(&value), sizeof value);
}

} // namespace dictation
