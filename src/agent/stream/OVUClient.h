#pragma once

#include "agent/stream/OVUAssistantTurn.h"
#include "agent/stream/OVUClientError.h"
#include "platform/Result.h"

#include <QCoroTask>
#include <QJsonArray>
#include <QObject>
#include <QUrl>

#include <chrono>
#include <functional>
#include <memory>

class QNetworkAccessManager;
class QThreadPool;

namespace agent {

class RunCancellation;
class StreamConnections;

using TurnResult = platform::Result<OVUAssistantTurn, OVUClientError>;

// Sends one model turn to the chat-completions endpoint and reads the reply
// as server-sent events. No retry, no state between calls.
class OVUClient : public QObject {
    Q_OBJECT
public:
    // The stream does not go through `network`: it has its own transport,
    // which reads the reply in large blocks on a worker thread. The other
    // requests of the app keep to the shared session.
    OVUClient(QNetworkAccessManager &network, QUrl endpoint, QObject *parent = nullptr);
    // Ends the turns still in flight (as cancelled) before the workers go.
    ~OVUClient() override;

    // The service's API host with the path /v1/chat/completions.
    static QUrl defaultEndpoint();

    QUrl endpoint() const { return m_endpoint; }

    // How long the stream may stay silent before the turn fails (600 s).
    void setTransferTimeout(std::chrono::milliseconds timeout) { m_transferTimeout = timeout; }

    // The request body: model, messages, stream; tools and tool_choice only
    // when there are tools.
    static QByteArray requestBody(const QString &model, const QJsonArray &messages, const QJsonArray &tools);

    // One turn. onDelta gets the text fragments in order, on the main
    // thread, those of one frame joined in one call, at most one call per
    // frame but the last, which comes at once, and never after the turn has
    // ended or was cancelled. A
    // cancellation aborts the request at once and fails with `cancelled`.
    QCoro::Task<TurnResult> streamComplete(QString bearerToken, QString model, QJsonArray messages, QJsonArray tools,
                                           DeltaHandler onDelta, std::shared_ptr<RunCancellation> cancellation = {});

private:
    QUrl m_endpoint;
    std::shared_ptr<StreamConnections> m_connections; // turn after turn on one connection
    std::unique_ptr<QThreadPool> m_workers;           // one thread per turn in flight
    std::chrono::milliseconds m_transferTimeout{600'000};
};

} // namespace agent
