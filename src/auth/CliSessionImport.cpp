#include "auth/CliSessionImport.h"

#include "auth/CredentialPlace.h"
#include "auth/InternetDate.h"
#include "auth/JsonFields.h"
#include "auth/OAuthRequest.h"
#include "auth/TokenRefresh.h"
#include "platform/CredentialEnvironment.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>

#include <algorithm>
#include <cmath>

namespace auth::CliSessionImport {

namespace {

using R = platform::Result<Imported, Failure>;

// `key` when it is a string (even empty), else `access_token`, else empty.
QString tokenCandidate(const QJsonObject &entry)
{
    if (const auto key = stringField(entry, QStringLiteral("key")))
        return *key;
    return stringField(entry, QStringLiteral("access_token")).value_or(QString());
}

// An expiry far out of range is taken as the nearest date the session
// file can hold, so the session saved reads back at the next start.
QDateTime expiry(const QJsonObject &entry, const QDateTime &now)
{
    const QDateTime fallback = now.addSecs(kDefaultSessionSeconds);
    const QJsonValue value = entry.value(QStringLiteral("expires_at"));
    if (value.type() == QJsonValue::String)
        return parseInternetDate(value.toString(), OutOfRange::clamp).value_or(fallback);
    if (value.type() == QJsonValue::Double) {
        const double seconds = value.toDouble();
        if (!std::isfinite(seconds))
            return fallback;
        const double earliest = double(earliestInternetDate().toSecsSinceEpoch());
        const double latest = double(latestInternetDate().toSecsSinceEpoch());
        const double clamped = std::clamp(seconds, earliest, latest);
        return clampToInternetDates(
            QDateTime::fromMSecsSinceEpoch(static_cast<qint64>(std::llround(clamped * 1000.0)), Qt::UTC));
    }
    return fallback;
}

R fail(std::optional<QString> lastError, AuthError error)
{
    return R::failure(Failure{std::move(lastError), std::move(error)});
}

} // namespace

QString path(const QString &homeDirectory)
{
    return QDir(homeDirectory).filePath(QString::fromLatin1(platform::CredentialEnvironment::kCliSessionFile));
}

platform::Result<Imported, Failure> read(const QString &filePath, const QDateTime &now)
{
    const QFileInfo info(filePath);
    if (!info.exists())
        return fail(QStringLiteral("No file at ") + filePath +
                        QStringLiteral(". Open a terminal and run your Qirv CLI login first, or use \u201cSign in with "
                                       "Moonshelf\u201d."),
                    AuthError::noQirvCLIAuth());

    QFile file(filePath);
    QString readError;
    QByteArray bytes;
    // A FIFO or device would block the main thread on open or read.
    if (!info.isFile())
        readError = QStringLiteral("Not a regular file");
    else if (!file.open(QIODevice::ReadOnly))
        readError = file.errorString();
    else if (const QString why = CredentialPlace::refusalOfOpen(file.handle()); !why.isEmpty())
        readError = why;
    else {
        // Read on the main thread: a huge file would stall the window.
        bytes = file.read(kFileLimitBytes + 1);
        if (file.error() != QFileDevice::NoError)
            readError = file.errorString();
        else if (bytes.size() > kFileLimitBytes)
            readError = QStringLiteral("The file is larger than 256 KB");
    }
    if (!readError.isNull()) {
        const QString text = QStringLiteral("Could not read ") + filePath + QStringLiteral(": ") + readError;
        return fail(text, AuthError::http(QStringLiteral("Read failed"), text));
    }

    QJsonParseError parseError{};
    const QJsonDocument doc = QJsonDocument::fromJson(bytes, &parseError);
    if (parseError.error != QJsonParseError::NoError)
        return fail(std::nullopt, AuthError::badJson(parseError.errorString()));
    if (!doc.isObject() || doc.object().isEmpty())
        return fail(QStringLiteral("auth.json is empty or not a JSON object"), AuthError::invalidQirvCLIAuth());
    const QJsonObject top = doc.object();

    std::optional<QJsonObject> entry;
    QString clientId;
    for (auto it = top.begin(); it != top.end(); ++it) {
        if (it.value().type() != QJsonValue::Object)
            continue;
        const QJsonObject candidate = it.value().toObject();
        if (tokenCandidate(candidate).isEmpty())
            continue;
        entry = candidate;
        const auto oidc = stringField(candidate, QStringLiteral("oidc_client_id"));
        const qsizetype separator = it.key().indexOf(QStringLiteral("::"));
        if (oidc && !oidc->isEmpty())
            clientId = *oidc;
        else if (separator >= 0)
            clientId = it.key().mid(separator + 2);
        else
            clientId = QString::fromLatin1(OAuth::kClientId);
        break;
    }
    if (!entry) {
        const auto flatToken = stringField(top, QStringLiteral("access_token"));
        if (!flatToken || flatToken->isEmpty())
            return fail(QStringLiteral("Found ") + filePath +
                            QStringLiteral(" but no access token fields (expected \u201ckey\u201d or "
                                           "\u201caccess_token\u201d)."),
                        AuthError::invalidQirvCLIAuth());
        entry = top;
        clientId = QString::fromLatin1(OAuth::kClientId);
    }

    const QString token = tokenCandidate(*entry);
    if (token.isEmpty())
        return fail(QStringLiteral("Token field was empty in auth.json"), AuthError::invalidQirvCLIAuth());
    const auto refreshToken = stringField(*entry, QStringLiteral("refresh_token"));
    if (!tokenFits(token) || (refreshToken && !tokenFits(*refreshToken)))
        return fail(QStringLiteral("A token in auth.json is larger than ") + tokenLimitText(),
                    AuthError::invalidQirvCLIAuth());

    Imported imported;
    OAuthSession &s = imported.session;
    s.accessToken = token;
    s.refreshToken = refreshToken;
    s.expiresAt = expiry(*entry, now);
    s.email = stringField(*entry, QStringLiteral("email"));
    s.userId = stringField(*entry, QStringLiteral("user_id"));
    s.clientId = clientId;
    s.source = QStringLiteral("qirv_cli");

    imported.status = QStringLiteral("Imported Moonshelf session");
    if (s.email)
        imported.status += QStringLiteral(" for ") + *s.email;
    imported.status += QStringLiteral(" from ") + filePath;
    return imported;
}

} // namespace auth::CliSessionImport
