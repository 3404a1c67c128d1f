#include "agent/OVUClient.h"

#include "agent/RunCancellation.h"
#include "agent/StreamExchange.h"
#include "platform/ServiceHosts.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>

namespace agent {

OVUClient::OVUClient(QNetworkAccessManager &network, QUrl endpoint, QObject *parent)
    : QObject(parent), m_network(network), m_endpoint(std::move(endpoint))
{
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
    if (bearerToken.isEmpty())
        co_return TurnResult::failure(OVUClientError::missingAPIKey());
    if (cancellation && cancellation->isCancelled())
        co_return TurnResult::failure(OVUClientError::cancelled());

    QNetworkRequest request(m_endpoint);
    request.setHeader(QNetworkRequest::ContentTypeHeader, QByteArrayLiteral("application/json"));
    request.setRawHeader(QByteArrayLiteral("Authorization"), QByteArrayLiteral("Bearer ") + bearerToken.toUtf8());
    // A redirect to another origin would carry the bearer token there.
    request.setAttribute(QNetworkRequest::RedirectPolicyAttribute, QNetworkRequest::SameOriginRedirectPolicy);
    request.setTransferTimeout(static_cast<int>(m_transferTimeout.count()));

    QNetworkReply *reply = m_network.post(request, requestBody(model, messages, tools));
    // The exchange belongs to the client: destroying the client cancels it.
    auto *exchange = new StreamExchange(reply, std::move(onDelta), std::move(cancellation), this);
    const OneShot<TurnResult> done = exchange->completion();
    // Only locals are touched after this point: the client may be gone.
    co_return co_await done;
}

} // namespace agent
