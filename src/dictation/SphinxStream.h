#pragma once

#include "dictation/PartialGate.h"

#include <QByteArray>
#include <QString>

namespace dictation {

class SphinxDecoder;

// What one chunk of audio gave.
struct StreamEvent {
    enum class Kind { none, partial, final, failure };
    Kind kind = Kind::none;
    QString text;

    bool operator==(const StreamEvent &) const = default;
};

// One dictation session on a decoder: waits for speech, gives the growing
// hypothesis (gated) while the user speaks, and the final text once speech
// ends. A noise without words starts the wait again.
class SphinxStream {
public:
    explicit SphinxStream(SphinxDecoder &decoder, qint64 partialIntervalMs = 150);

    // A new session: the decoder hears it as if it were the first.
    bool begin();
    // 16 kHz mono 16-bit samples; nowMs is any steady clock.
    StreamEvent feed(const QByteArray &samples, qint64 nowMs);
    void cancel();
    bool isActive() const { return m_active; }

private:
    bool waitForSpeech();

    SphinxDecoder &m_decoder;
    PartialGate m_gate;
    bool m_active = false;
    bool m_heardSpeech = false;
};

} // namespace dictation
