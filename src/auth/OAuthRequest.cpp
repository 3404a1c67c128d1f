#include "auth/OAuthRequest.h"

#include "platform/RegularFile.h"
#include "platform/ServiceHosts.h"
#include "platform/ServiceText.h"

#include <QJsonDocument>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QStringDecoder>

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
    // The body is taken as it comes, up to the limit: a reply that goes on
    // is ended there rather than held whole in memory and shown.
    auto body = std::make_shared<QByteArray>();
    auto cut = std::make_shared<bool>(false);
    const auto take = [reply, body, cut] {
        body->append(reply->read(std::max<qint64>(kReplyLimit - body->size(), 0)));
        if (reply->bytesAvailable() > 0 && !*cut) {
            *cut = true;
            reply->abort();
        }
    };
    QObject::connect(reply, &QNetworkReply::readyRead, reply, take);
    co_await reply;
    take();

    HttpOutcome outcome;
    const QVariant status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute);
    if (status.isValid()) {
        outcome.isHttp = true;
        outcome.status = status.toInt();
        outcome.body = *body;
        outcome.cut = *cut;
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

std::optional<QString> unreadableAnswer(const HttpOutcome &outcome)
{
    const QString from = QStringLiteral("The answer from Ovu auth");
    if (outcome.cut)
        return from + QStringLiteral(" was over %1 KB, too large to read").arg(kReplyLimit / 1024);
    QJsonParseError parseError{};
    (void)QJsonDocument::fromJson(outcome.body, &parseError);
    if (parseError.error == QJsonParseError::NoError)
        return std::nullopt;
    const QByteArray start = outcome.body.trimmed().left(512).toLower();
    if (start.isEmpty())
        return from + QStringLiteral(" was empty");
    // Broken JSON keeps the parser's words: they say where it broke.
    if (start.startsWith('{') || start.startsWith('['))
        return from + QStringLiteral(" was not valid JSON (") + parseError.errorString() + u')';
    QString words = serviceWords(outcome);
    // A page with no words of its own gives back its markup: none is shown.
    if (words.startsWith(u'<'))
        words.clear();
    const QString quoted = words.isEmpty() ? QString() : QStringLiteral(": \u201c") + words + u'\u201d';
    // A login page, a proxy's or a firewall's page: its title says whose.
    if (start.startsWith("<!doctype html") || start.contains("<html"))
        return from + QStringLiteral(" was a web page, not JSON") + quoted;
    return from + QStringLiteral(" was not JSON") + quoted;
}

bool isPassingStatus(int status)
{
    return status >= 500 || status == 408 || status == 429;
}

QString serviceWords(const HttpOutcome &outcome)
{
    if (!outcome.cut) {
        if (!strictUtf8(outcome.body))
            return {};
    } else {
        // Stateful: a character cut at the read limit is no fault.
        QStringDecoder decoder(QStringDecoder::Utf8);
        (void)decoder(outcome.body);
        if (decoder.hasError())
            return {};
    }
    return platform::ServiceText::fromBody(outcome.body);
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
