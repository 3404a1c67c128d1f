#pragma once

#include "agent/OVUClient.h"
#include "agent/OneShot.h"
#include "agent/SseAssembler.h"

#include <QObject>
#include <QPointer>

class QNetworkReply;

namespace agent {

// One streamed request in flight: feeds the reply's bytes to the assembler in
// small slices (so a burst never blocks the main thread for long), hands the
// fragments on, and completes once with the turn or the failure.
class StreamExchange : public QObject {
    Q_OBJECT
public:
    StreamExchange(QNetworkReply *reply, OVUClient::DeltaHandler onDelta,
                   std::shared_ptr<RunCancellation> cancellation, QObject *parent);
    // Going away before the end completes the exchange as cancelled, so the
    // waiting turn always resumes.
    ~StreamExchange() override;

    OneShot<TurnResult> completion() const { return m_completion; }

private:
    void pump();
    // Hands fragments on; false when the exchange ended meanwhile (stopped,
    // or destroyed by the handler), and then nothing of it may be touched.
    bool deliver(const QStringList &fragments);
    void schedulePump();
    void onFinished();
    void cancel();
    void complete(TurnResult result);
    void conclude();

    QPointer<QNetworkReply> m_reply;
    OVUClient::DeltaHandler m_onDelta;
    std::shared_ptr<RunCancellation> m_cancellation;
    SseAssembler m_assembler;
    OneShot<TurnResult> m_completion;
    QByteArray m_errorBody;
    int m_status = 0;
    bool m_replyFinished = false;
    bool m_pumpScheduled = false;
    bool m_completed = false;
};

} // namespace agent
