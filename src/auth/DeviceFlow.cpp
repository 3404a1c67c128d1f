#include "auth/DeviceFlow.h"

#include "auth/Clock.h"
#include "auth/JsonFields.h"
#include "auth/OAuthSession.h"

#include <QJsonDocument>
#include <QJsonObject>

#include <algorithm>

namespace auth::DeviceFlow {

namespace {

// The device flow's answers that no later poll can change: the sign-in ends
// at once instead of polling until the code expires.
bool isTerminal(const QString &error)
{
    static const QStringList words{
        QStringLiteral("expired_token"),      QStringLiteral("access_denied"),
        QStringLiteral("invalid_request"),    QStringLiteral("invalid_client"),
        QStringLiteral("invalid_grant"),      QStringLiteral("unauthorized_client"),
        QStringLiteral("unsupported_grant_type"), QStringLiteral("invalid_scope"),
    };
    return words.contains(error);
}

// Keeps dates and timer arithmetic far from overflow; a real server sends
// minutes, not centuries.
constexpr qint64 kLargestSeconds = 10LL * 365 * 24 * 3600;

std::optional<QUrl> browserUrl(const QJsonObject &object, const QString &key)
{
    const auto text = stringField(object, key);
    if (!text)
        return std::nullopt;
    const QUrl url(*text, QUrl::StrictMode);
    // Only web pages are handed to the browser opener.
    const QString scheme = url.scheme().toLower();
    if (!url.isValid() || url.host().isEmpty() || (scheme != QLatin1String("https") && scheme != QLatin1String("http")))
        return std::nullopt;
    return url;
}

} // namespace

platform::Result<DeviceCodeResponse, AuthError> parseDeviceCodeReply(const OAuth::HttpOutcome &outcome)
{
    using R = platform::Result<DeviceCodeResponse, AuthError>;
    if (!outcome.isHttp || outcome.status < 200 || outcome.status > 299)
        return R::failure(AuthError::http(QStringLiteral("Device code failed"), OAuth::serviceWords(outcome)));
    if (const auto what = OAuth::unreadableAnswer(outcome))
        return R::failure(AuthError::unreadableAnswer(*what));
    const QJsonDocument doc = QJsonDocument::fromJson(outcome.body);
    if (!doc.isObject())
        return R::failure(AuthError::invalidResponse());
    const QJsonObject o = doc.object();
    const auto deviceCode = stringField(o, QStringLiteral("device_code"));
    const auto userCode = stringField(o, QStringLiteral("user_code"));
    if (!deviceCode || !userCode)
        return R::failure(AuthError::invalidResponse());

    DeviceCodeResponse r;
    r.deviceCode = *deviceCode;
    r.userCode = *userCode;
    r.verificationURI = browserUrl(o, QStringLiteral("verification_uri"));
    r.verificationURIComplete = browserUrl(o, QStringLiteral("verification_uri_complete"));
    r.expiresIn = std::clamp(integerField(o, QStringLiteral("expires_in")).value_or(kDefaultExpiresIn),
                             -kLargestSeconds, kLargestSeconds);
    r.interval = std::clamp(integerField(o, QStringLiteral("interval")).value_or(kDefaultInterval),
                            -kLargestSeconds, kLargestSeconds);
    return r;
}

QCoro::Task<std::optional<platform::Result<DeviceCodeResponse, AuthError>>> requestDeviceCode(Context context)
{
    const OAuth::FormFields form{{QStringLiteral("client_id"), QString::fromLatin1(OAuth::kClientId)},
                                 {QStringLiteral("scope"), QString::fromLatin1(kScope)}};
    // Named, not a temporary of the co_await expression (g++ 12 may destroy those twice).
    const QUrl url = OAuth::deviceCodeUrl();
    const OAuth::HttpOutcome outcome = co_await OAuth::postForm(*context.network, url, form, context.started);
    if (context.cancelled())
        co_return std::nullopt;
    if (outcome.transportFailed)
        co_return platform::Result<DeviceCodeResponse, AuthError>::failure(AuthError::transport(outcome.transportError));
    co_return parseDeviceCodeReply(outcome);
}

QCoro::Task<std::optional<platform::Result<TokenResponse, AuthError>>> pollForTokens(DeviceCodeResponse device,
                                                                                     Context context)
{
    using R = platform::Result<TokenResponse, AuthError>;
    const QDateTime deadline = context.clock->now().addSecs(device.expiresIn);
    qint64 interval = std::max(device.interval, kMinimumInterval);
    const OAuth::FormFields form{{QStringLiteral("grant_type"), QString::fromLatin1(kGrantType)},
                                 {QStringLiteral("device_code"), device.deviceCode},
                                 {QStringLiteral("client_id"), QString::fromLatin1(OAuth::kClientId)}};
    for (;;) {
        if (!(context.clock->now() < deadline))
            co_return R::failure(AuthError::signInTimedOut());
        if (context.cancelled())
            co_return std::nullopt;
        co_await context.clock->sleep(std::chrono::seconds(interval));
        if (context.cancelled())
            co_return std::nullopt;
        const QUrl url = OAuth::tokenUrl(); // named: see requestDeviceCode
        const OAuth::HttpOutcome outcome = co_await OAuth::postForm(*context.network, url, form, context.started);
        if (context.cancelled())
            co_return std::nullopt;
        if (outcome.transportFailed)
            co_return R::failure(AuthError::transport(outcome.transportError));
        if (!outcome.isHttp)
            continue;
        // An answer that cannot be read will not become readable by asking
        // again; a gateway's or an overloaded server's may.
        if (const auto what = OAuth::unreadableAnswer(outcome)) {
            if (OAuth::isPassingStatus(outcome.status))
                continue;
            co_return R::failure(AuthError::unreadableAnswer(*what));
        }
        const QJsonObject reply = OAuth::objectOrEmpty(outcome.body);
        const auto accessToken = stringField(reply, QStringLiteral("access_token"));
        if (outcome.status == 200 && accessToken) {
            TokenResponse tokens;
            tokens.accessToken = *accessToken;
            tokens.refreshToken = stringField(reply, QStringLiteral("refresh_token"));
            if (const auto expires = integerField(reply, QStringLiteral("expires_in")))
                tokens.expiresIn = std::clamp(*expires, -kLargestSeconds, kLargestSeconds);
            tokens.email = stringField(reply, QStringLiteral("email"));
            // Refused before anything is stored: the earlier session stays.
            if (!tokenFits(tokens.accessToken) || (tokens.refreshToken && !tokenFits(*tokens.refreshToken)))
                co_return R::failure(AuthError::tokenTooLarge());
            co_return tokens;
        }
        const QString error = stringField(reply, QStringLiteral("error")).value_or(QString());
        if (error == QLatin1String("slow_down"))
            interval = std::min(interval + kSlowDownStep, kLargestSeconds);
        else if (isTerminal(error))
            co_return R::failure(AuthError::signInDenied(error));
        // authorization_pending, any other word, or none: keep polling.
    }
}

} // namespace auth::DeviceFlow
