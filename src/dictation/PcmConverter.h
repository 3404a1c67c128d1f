#pragma once

#include <QAudioFormat>
#include <QByteArray>

#include <vector>

namespace dictation {

// Turns a device's audio, in chunks of any size, into the 16 kHz mono
// 16-bit stream the recogniser wants: channels are averaged, other rates are
// low-pass filtered and interpolated. Splitting the input differently gives
// the same output.
class PcmConverter {
public:
    static constexpr int targetRate = 16000;

    PcmConverter() = default;
    explicit PcmConverter(const QAudioFormat &from) { reset(from); }

    // Starts a new stream in the given format; forgets what was buffered.
    void reset(const QAudioFormat &from);

    QByteArray convert(const QByteArray &frames);

    // The recogniser's own format.
    static QAudioFormat targetFormat();

private:
    void push(float sample, QByteArray &out);
    void emitSample(float sample, QByteArray &out);

    QAudioFormat m_from;
    bool m_passThrough = false;
    QByteArray m_partialFrame;
    double m_step = 1.0; // input samples per output sample
    std::vector<float> m_taps;
    std::vector<float> m_history; // ring of the last taps.size() inputs
    std::size_t m_historyPos = 0;
    bool m_havePrevious = false;
    float m_previous = 0.0f;
    double m_next = 0.0; // next output position, relative to m_previous
};

} // namespace dictation
