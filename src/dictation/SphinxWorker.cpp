#include "dictation/SphinxWorker.h"

namespace dictation {

SphinxWorker::SphinxWorker(SphinxModel model, qint64 partialIntervalMs)
    : m_model(std::move(model)), m_partialIntervalMs(partialIntervalMs)
{
    m_clock.start();
}

// The stream refers to the decoder, so it goes first.
SphinxWorker::~SphinxWorker()
{
    m_stream.reset();
    m_decoder.reset();
}

bool SphinxWorker::ensureLoaded()
{
    // A failed load is tried again next time: the model may have been installed since.
    if (!m_decoder) {
        m_decoder = SphinxDecoder::load(m_model);
        if (m_decoder)
            m_stream = std::make_unique<SphinxStream>(*m_decoder, m_partialIntervalMs);
    }
    return bool(m_decoder);
}

void SphinxWorker::prepare(quint64 session)
{
    Q_EMIT prepared(session, ensureLoaded());
}

void SphinxWorker::begin(quint64 session)
{
    m_session = 0;
    if (!ensureLoaded() || !m_stream->begin()) {
        Q_EMIT failed(session, QStringLiteral("Speech recognition failed."));
        return;
    }
    m_session = session;
}

void SphinxWorker::feed(quint64 session, const QByteArray &samples)
{
    if (session == 0 || session != m_session || session != m_wanted.load(std::memory_order_relaxed))
        return;
    const StreamEvent event = m_stream->feed(samples, m_clock.elapsed());
    switch (event.kind) {
    case StreamEvent::Kind::none:
        return;
    case StreamEvent::Kind::partial:
        Q_EMIT partialResult(session, event.text);
        return;
    case StreamEvent::Kind::final:
        m_session = 0;
        Q_EMIT finalResult(session, event.text);
        return;
    case StreamEvent::Kind::failure:
        m_session = 0;
        Q_EMIT failed(session, event.text);
        return;
    }
}

void SphinxWorker::cancel(quint64 session)
{
    if (session == 0 || session != m_session)
        return;
    m_stream->cancel();
    m_session = 0;
}

} // namespace dictation
