#pragma once

#include "agent/stream/FramePacer.h"
#include "agent/stream/StreamTransfer.h"
#include "platform/OneShot.h"

#include <QObject>

#include <memory>
#include <semaphore>

class QThreadPool;

namespace agent {

class RunCancellation;

// One streamed request in flight, seen from the main thread. The transfer
// reads and assembles on a worker thread; here the fragments are handed on
// joined, at most once per frame, and the exchange completes once with the
// turn or the failure.
class StreamExchange : public QObject {
    Q_OBJECT
public:
    // The transfer runs on one of `workers`' threads, which must outlive
    // this object.
    StreamExchange(StreamRequest request, std::shared_ptr<StreamConnections> connections, QThreadPool &workers,
                   DeltaHandler onDelta, std::shared_ptr<RunCancellation> cancellation, QObject *parent);
    // Going away before the end completes the exchange as cancelled, so the
    // waiting turn always resumes; the worker is stopped and joined.
    ~StreamExchange() override;

    platform::OneShot<TurnResult> completion() const { return m_completion; }

private:
    void onWake();
    void takeAndDeliver();
    // Hands the fragments on as one text; false when the exchange ended
    // meanwhile (stopped, or destroyed by the handler), and then nothing of
    // it may be touched.
    bool deliver(const QStringList &fragments);
    void cancel();
    void complete(TurnResult result);

    DeltaHandler m_onDelta;
    std::shared_ptr<RunCancellation> m_cancellation;
    std::shared_ptr<StreamTransfer> m_transfer;
    // Released when the worker has left run().
    std::shared_ptr<std::binary_semaphore> m_workerDone = std::make_shared<std::binary_semaphore>(0);
    platform::OneShot<TurnResult> m_completion;
    FramePacer m_frame; // holds deliveries to one per frame
    bool m_completed = false;
    bool m_ended = false;
};

} // namespace agent
