#include "agent/stream/OVUClient.h"

#include "agent/stream/RunCancellation.h"
#include "agent/stream/StreamConnections.h"
#include "agent/stream/StreamExchange.h"
#include "platform/ServiceHosts.h"

#include <QJsonDocument>
#include <QThreadPool>
#include <QJsonObject>

namespace agent {

OVUClient::OVUClient(QNetworkAccessManager &, QUrl endpoint, QObject *parent)
    : QObject(parent),
      m_endpoint(std::move(endpoint)),
      m_connections(std::make_shared<StreamConnections>()),
      m_workers(std::make_unique<QThreadPool>())
{
    m_workers->setObjectName(QStringLiteral("chat stream"));
    // Each turn in flight holds a thread for as long as its reply streams.
    m_workers->setMaxThreadCount(64);
}

OVUClient::~OVUClient()
{
    // The exchanges stop and wait for their transfers here, while the
    // thread pool they run on still exists.
    qDeleteAll(findChildren<StreamExchange *>(Qt::FindDirectChildrenOnly));
}

QUrl OVUClient::defaultEndpoint()
{
    QUrl url = platform::ServiceHosts::apiBase();
    QString path = url.path();
    while (path.endsWith(u'/'))
        path.chop(1);
    url.setPath(path + QStringLiteral("/v1/chat/completions"));
    return url;
}

QByteArray OVUClient::requestBody(const QString &model, const QJsonArray &messages, const QJsonArray &tools)
{
    QJsonObject body{
        {QStringLiteral("model"), model},
        {QStringLiteral("messages"), messages},
        {QStringLiteral("stream"), true},
    };
    if (!tools.isEmpty()) {
        body.insert(QStringLiteral("tools"), tools);
        body.insert(QStringLiteral("tool_choice"), QStringLiteral("auto"));
    }
    return QJsonDocument(body).toJson(QJsonDocument::Compact);
}

QCoro::Task<TurnResult> OVUClient::streamComplete(QString bearerToken, QString model, QJsonArray messages,
                                                   QJsonArray tools, DeltaHandler onDelta,
                                                   std::shared_ptr<RunCancellation> cancellation)
{
    // A line break or NUL in the token would end the header early and let
    // the rest be read as headers of its own: no usable credential.
    if (bearerToken.isEmpty() || bearerToken.contains(u'\r') || bearerToken.contains(u'\n')
        || bearerToken.contains(QChar(0)))
        co_return TurnResult::failure(OVUClientError::missingAPIKey());
    if (cancellation && cancellation->isCancelled())
        co_return TurnResult::failure(OVUClientError::cancelled());
    if (std::optional<OVUClientError> unusable = OVUClientError::checkAddress(m_endpoint))
        co_return TurnResult::failure(std::move(*unusable));

    StreamRequest request;
    request.url = m_endpoint.toEncoded();
    request.body = requestBody(model, messages, tools);
    request.headers = {QByteArrayLiteral("Content-Type: application/json"),
                       QByteArrayLiteral("Authorization: Bearer ") + bearerToken.toUtf8()};
    request.idleTimeout = m_transferTimeout;
    // The exchange belongs to the client: destroying the client cancels it.
    auto *exchange = new StreamExchange(std::move(request), m_connections, *m_workers, std::move(onDelta),
                                        std::move(cancellation), this);
    const platform::OneShot<TurnResult> done = exchange->completion();
    // Only locals are touched after this point: the client may be gone.
    co_return co_await done;
}

} // namespace agent
