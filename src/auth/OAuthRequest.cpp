#include "auth/OAuthRequest.h"

#include "platform/RegularFile.h"
#include "platform/ServiceHosts.h"

#include <QJsonDocument>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>

#include <QCoroNetworkReply>

namespace auth::OAuth {

namespace {

QUrl endpoint(const QString &suffix)
{
    QUrl url = platform::ServiceHosts::authBase();
    QString base = url.path();
    while (base.endsWith(QLatin1Char('/')))
        base.chop(1);
    url.setPath(base + suffix);
    url.setQuery(QString());
    url.setFragment(QString());
    return url;
}

} // namespace

QUrl deviceCodeUrl()
{
    return endpoint(QStringLiteral("/oauth2/device/code"));
}

QUrl tokenUrl()
{
    return endpoint(QStringLiteral("/oauth2/token"));
}

QByteArray formBody(const FormFields &fields)
{
    QByteArray body;
    for (const auto &[key, value] : fields) {
        if (!body.isEmpty())
            body += '&';
        // toPercentEncoding keeps exactly the unreserved set (ALPHA DIGIT -._~).
        body += QUrl::toPercentEncoding(key) + '=' + QUrl::toPercentEncoding(value);
    }
    return body;
}

QCoro::Task<HttpOutcome> postForm(QNetworkAccessManager &network, QUrl url, FormFields fields,
                                  std::function<void(QNetworkReply *)> started)
{
    QNetworkRequest request(url);
    request.setHeader(QNetworkRequest::ContentTypeHeader, QByteArrayLiteral("application/x-www-form-urlencoded"));
    request.setTransferTimeout(60'000);
    QNetworkReply *reply = network.post(request, formBody(fields));
    if (started)
        started(reply);
    co_await reply;

    HttpOutcome outcome;
    const QVariant status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute);
    if (status.isValid()) {
        outcome.isHttp = true;
        outcome.status = status.toInt();
        outcome.body = reply->readAll();
    } else if (reply->error() != QNetworkReply::NoError) {
        outcome.transportFailed = true;
        outcome.transportError = reply->errorString();
    }
    reply->deleteLater();
    co_return outcome;
}

QJsonObject objectOrEmpty(const QByteArray &body)
{
    const QJsonDocument doc = QJsonDocument::fromJson(body);
    return doc.isObject() ? doc.object() : QJsonObject();
}

std::optional<QString> strictUtf8(const QByteArray &bytes)
{
    return platform::decodeUtf8Strict(bytes, platform::Bom::Drop);
}

} // namespace auth::OAuth

namespace auth {

QString headerSafeToken(const QString &token)
{
    QString safe = token;
    safe.remove(QLatin1Char('\r'));
    safe.remove(QLatin1Char('\n'));
    return safe;
}

} // namespace auth
