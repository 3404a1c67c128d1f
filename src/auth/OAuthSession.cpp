#include "auth/OAuthSession.h"

#include "auth/InternetDate.h"
#include "auth/JsonFields.h"

#include <QJsonDocument>
#include <QJsonObject>

namespace auth {

bool tokenFits(const QString &token)
{
    // Counted without converting: a UTF-16 unit is at most 3 UTF-8 bytes.
    if (token.size() * 3 <= kTokenLimitBytes)
        return true;
    return token.toUtf8().size() <= kTokenLimitBytes;
}

QString tokenLimitText()
{
    return QStringLiteral("%1 KB").arg(kTokenLimitBytes / 1024);
}

bool tokensFit(const OAuthSession &session)
{
    return tokenFits(session.accessToken) && (!session.refreshToken || tokenFits(*session.refreshToken));
}

QByteArray encodeSession(const OAuthSession &session)
{
    QJsonObject o;
    o.insert(QStringLiteral("accessToken"), session.accessToken);
    if (session.refreshToken)
        o.insert(QStringLiteral("refreshToken"), *session.refreshToken);
    o.insert(QStringLiteral("expiresAt"), formatInternetDate(session.expiresAt));
    if (session.email)
        o.insert(QStringLiteral("email"), *session.email);
    if (session.userId)
        o.insert(QStringLiteral("userId"), *session.userId);
    o.insert(QStringLiteral("clientId"), session.clientId);
    o.insert(QStringLiteral("source"), session.source);
    // QJsonObject keeps its keys sorted.
    return QJsonDocument(o).toJson(QJsonDocument::Indented);
}

platform::Result<OAuthSession, QString> decodeSession(const QByteArray &json)
{
    using R = platform::Result<OAuthSession, QString>;
    QJsonParseError parseError{};
    const QJsonDocument doc = QJsonDocument::fromJson(json, &parseError);
    if (parseError.error != QJsonParseError::NoError)
        return R::failure(parseError.errorString());
    if (!doc.isObject())
        return R::failure(QStringLiteral("The session is not a JSON object"));
    const QJsonObject o = doc.object();

    OAuthSession s;
    const auto required = [&](const char *key, QString &out) {
        const auto value = stringField(o, QString::fromLatin1(key));
        if (value)
            out = *value;
        return value.has_value();
    };
    // Checked in the record's field order, so the first fault is the one named.
    QString expires;
    for (const auto &[key, field] : {std::pair{"accessToken", &s.accessToken}, std::pair{"expiresAt", &expires},
                                     std::pair{"clientId", &s.clientId}, std::pair{"source", &s.source}}) {
        if (!required(key, *field))
            return R::failure(QStringLiteral("Missing key: ") + QString::fromLatin1(key));
        if (field == &expires) {
            const auto date = parseInternetDate(expires);
            if (!date)
                return R::failure(QStringLiteral("Bad date: ") + expires);
            s.expiresAt = *date;
        }
    }
    s.refreshToken = stringField(o, QStringLiteral("refreshToken"));
    s.email = stringField(o, QStringLiteral("email"));
    s.userId = stringField(o, QStringLiteral("userId"));
    // Such a token fails every request: no session is better than that one.
    if (!tokensFit(s))
        return R::failure(QStringLiteral("Token too large"));
    return s;
}

} // namespace auth
