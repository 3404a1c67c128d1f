#include "agent/stream/StreamExchange.h"

#include "agent/stream/RunCancellation.h"

#include <QPointer>
#include <QThreadPool>

namespace agent {

namespace {

// The main thread hears of new fragments at most this often.
constexpr int kFrameMilliseconds = 16;

} // namespace

StreamExchange::StreamExchange(StreamRequest request, std::shared_ptr<StreamConnections> connections,
                               QThreadPool &workers, DeltaHandler onDelta,
                               std::shared_ptr<RunCancellation> cancellation, QObject *parent)
    : QObject(parent), m_onDelta(std::move(onDelta)), m_cancellation(std::move(cancellation))
{
    m_frame.setSingleShot(true);
    m_frame.setTimerType(Qt::PreciseTimer);
    connect(&m_frame, &QTimer::timeout, this, &StreamExchange::takeAndDeliver);
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
    if (m_transfer->hasEnded()) {
        m_frame.stop();
        return takeAndDeliver();
    }
    if (m_frame.isActive())
        return;
    const qint64 since = m_sinceDelivery.isValid() ? m_sinceDelivery.elapsed() : kFrameMilliseconds;
    if (since < kFrameMilliseconds) {
        m_frame.start(int(kFrameMilliseconds - since));
        return;
    }
    takeAndDeliver();
}

void StreamExchange::takeAndDeliver()
{
    m_sinceDelivery.start();
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
    const QPointer<StreamExchange> alive(this);
    for (const QString &fragment : fragments) {
        if (m_cancellation && m_cancellation->isCancelled()) {
            cancel();
            return false;
        }
        if (m_onDelta)
            m_onDelta(fragment);
        if (!alive || m_completed) // the handler stopped the run or destroyed its client
            return false;
    }
    return true;
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
