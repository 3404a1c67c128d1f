#include "dictation/SphinxStream.h"

#include "dictation/SphinxDecoder.h"

namespace dictation {

namespace {

const QString &failureDescription()
{
    static const QString text = QStringLiteral("Speech recognition failed.");
    return text;
}

} // namespace

SphinxStream::SphinxStream(SphinxDecoder &decoder, qint64 partialIntervalMs)
    : m_decoder(decoder), m_gate(partialIntervalMs)
{
}

bool SphinxStream::begin()
{
    cancel();
    m_decoder.restoreInitialNormalization();
    return waitForSpeech();
}

bool SphinxStream::waitForSpeech()
{
    m_gate.reset();
    m_heardSpeech = false;
    m_active = m_decoder.beginUtterance();
    return m_active;
}

StreamEvent SphinxStream::feed(const QByteArray &samples, qint64 nowMs)
{
    if (!m_active)
        return {};
    const auto *data = reinterpret_cast<const std::int16_t *>(samples.constData());
    if (!m_decoder.process(data, std::size_t(samples.size()) / sizeof(std::int16_t))) {
        cancel();
        return {StreamEvent::Kind::failure, failureDescription()};
    }
    const bool speaking = m_decoder.inSpeech();
    m_heardSpeech = m_heardSpeech || speaking;
    if (!m_heardSpeech)
        return {};
    if (speaking) {
        const QString text = m_decoder.hypothesis();
        if (m_gate.offer(text, nowMs))
            return {StreamEvent::Kind::partial, text};
        return {};
    }
    const QString text = m_decoder.endUtterance();
    if (!text.isEmpty()) {
        m_active = false;
        return {StreamEvent::Kind::final, text};
    }
    if (!waitForSpeech())
        return {StreamEvent::Kind::failure, failureDescription()};
    return {};
}

void SphinxStream::cancel()
{
    if (m_active)
        m_decoder.endUtterance();
    m_active = false;
}

} // namespace dictation
