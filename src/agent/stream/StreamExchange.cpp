#include "agent/stream/StreamExchange.h"

#include "agent/stream/RunCancellation.h"

#include <QPointer>
#include <QThreadPool>

namespace agent {

StreamExchange::StreamExchange(StreamRequest request, std::shared_ptr<StreamConnections> connections,
                               QThreadPool &workers, DeltaHandler onDelta,
                               std::shared_ptr<RunCancellation> cancellation, QObject *parent)
    : QObject(parent), m_onDelta(std::move(onDelta)), m_cancellation(std::move(cancellation))
{
    connect(&m_frame, &FramePacer::due, this, &StreamExchange::takeAndDeliver);
    if (m_cancellation)
        connect(m_cancellation.get(), &RunCancellation::cancelled, this, &StreamExchange::cancel);

    // The worker only posts to this object; the destructor joins it before
    // the object goes, so no post can reach a deleted receiver.
    m_transfer = std::make_shared<StreamTransfer>(std::move(request), std::move(connections), [this] {
        QMetaObject::invokeMethod(this, &StreamExchange::onWake, Qt::QueuedConnection);
    });
    // A pooled thread: starting a new one per turn costs a scheduler tick
    // or more on a busy machine.
    workers.start([transfer = m_transfer, done = m_workerDone] {
        transfer->run();
        done->release();
    });
}

StreamExchange::~StreamExchange()
{
    m_transfer->stop();
    m_workerDone->acquire();
    if (!m_completed)
        m_completion.set(TurnResult::failure(OVUClientError::cancelled()));
}

void StreamExchange::onWake()
{
    // The end is handed on at once: only the stream of fragments is paced.
    if (m_transfer->hasEnded())
        m_frame.flush();
    else
        m_frame.poke();
}

void StreamExchange::takeAndDeliver()
{
    StreamTransfer::Taken taken = m_transfer->take();
    const QPointer<StreamExchange> alive(this);
    if (!m_completed && !deliver(taken.fragments)) {
        if (!alive)
            return;
    } else if (taken.result) {
        complete(std::move(*taken.result));
    }
    if (taken.ended) {
        m_ended = true;
        if (!m_completed) // cannot happen: the worker always leaves a result unless stopped
            complete(TurnResult::failure(OVUClientError::cancelled()));
        deleteLater();
    }
}

bool StreamExchange::deliver(const QStringList &fragments)
{
    if (fragments.isEmpty())
        return true;
    if (m_cancellation && m_cancellation->isCancelled()) {
        cancel();
        return false;
    }
    if (!m_onDelta)
        return true;
    const QPointer<StreamExchange> alive(this);
    // One call per frame: whoever listens tells its views once.
    m_onDelta(fragments.size() == 1 ? fragments.first() : fragments.join(QString()));
    // The handler may have stopped the run or destroyed its client.
    return alive && !m_completed;
}

void StreamExchange::cancel()
{
    complete(TurnResult::failure(OVUClientError::cancelled()));
}

void StreamExchange::complete(TurnResult result)
{
    if (m_completed)
        return;
    m_completed = true;
    // A whole turn lets its reply run to its end, so the connection can
    // carry the next turn; anything else ends the transfer now.
    if (!result.ok())
        m_transfer->stop();
    m_completion.set(std::move(result));
    if (m_cancellation)
        m_cancellation->disconnect(this);
    m_frame.stop();
    if (m_ended)
        deleteLater();
}

} // namespace agent
