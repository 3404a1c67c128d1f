#include "auth/TokenRefresh.h"

#include "auth/Clock.h"
#include "auth/JsonFields.h"
#include "auth/OAuthRequest.h"
#include "platform/ServiceText.h"

#include <QJsonObject>

#include <algorithm>

namespace auth {

namespace {

// What failed, for "Session expired. Sign in again. (…)": the service's own
// words when its JSON error has them, else its status and what it sent, never
// a whole page of markup.
QString failureReason(const OAuth::HttpOutcome &outcome, const QJsonObject &reply)
{
    for (const char *key : {"error_description", "error"}) {
        if (const auto words = stringField(reply, QLatin1String(key))) {
            const QString shown = platform::ServiceText::forDisplay(*words);
            if (!shown.trimmed().isEmpty())
                return shown;
        }
    }
    if (outcome.status == 200) {
        if (const auto what = OAuth::unreadableAnswer(outcome))
            return *what;
        return QStringLiteral("The answer from Ovu auth held no access token");
    }
    QString reason = QStringLiteral("Ovu auth answered %1").arg(outcome.status);
    if (const QString words = OAuth::serviceWords(outcome); !words.isEmpty())
        reason += QStringLiteral(": ") + words;
    return reason;
}

} // namespace

QCoro::Task<platform::Result<OAuthSession, AuthError>> refresh(OAuthSession session, QNetworkAccessManager *network,
                                                               Clock *clock)
{
    using R = platform::Result<OAuthSession, AuthError>;
    if (!session.refreshToken || session.refreshToken->isEmpty())
        co_return R::failure(AuthError::refreshFailed(QStringLiteral("No refresh token. Sign in again.")));

    const OAuth::FormFields form{{QStringLiteral("grant_type"), QStringLiteral("refresh_token")},
                                 {QStringLiteral("refresh_token"), *session.refreshToken},
                                 {QStringLiteral("client_id"), session.clientId}};
    // Named, not a temporary of the co_await expression (g++ 12 may destroy those twice).
    const QUrl url = OAuth::tokenUrl();
    const OAuth::HttpOutcome outcome = co_await OAuth::postForm(*network, url, form);
    if (outcome.transportFailed)
        co_return R::failure(AuthError::transport(outcome.transportError));
    if (!outcome.isHttp)
        co_return R::failure(AuthError::refreshFailed(QStringLiteral("Invalid response")));

    const QJsonObject reply = OAuth::objectOrEmpty(outcome.body);
    const auto accessToken = stringField(reply, QStringLiteral("access_token"));
    if (outcome.status == 200 && accessToken) {
        // Refused whole: the session in use stays as it was.
        const auto newRefresh = stringField(reply, QStringLiteral("refresh_token"));
        if (!tokenFits(*accessToken) || (newRefresh && !tokenFits(*newRefresh)))
            co_return R::failure(
                AuthError::refreshFailed(QStringLiteral("Ovu auth sent a token larger than ") + tokenLimitText()));
        session.accessToken = *accessToken;
        if (const auto refresh = stringField(reply, QStringLiteral("refresh_token")); refresh && !refresh->isEmpty())
            session.refreshToken = *refresh;
        constexpr qint64 largest = 10LL * 365 * 24 * 3600;
        const qint64 seconds =
            std::clamp(integerField(reply, QStringLiteral("expires_in")).value_or(kDefaultSessionSeconds), -largest,
                       largest);
        session.expiresAt = clock->now().addSecs(seconds);
        co_return session;
    }
    co_return R::failure(AuthError::refreshFailed(failureReason(outcome, reply)));
}

} // namespace auth
