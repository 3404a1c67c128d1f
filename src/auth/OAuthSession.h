#pragma once

#include "platform/Result.h"

#include <QByteArray>
#include <QDateTime>
#include <QString>

#include <optional>

namespace auth {

// The signed-in session (MoonshelfAuth::OAuthSession). Holds tokens: it has
// no debug or text form on purpose, so it cannot end up in a log.
struct OAuthSession {
    QString accessToken;
    std::optional<QString> refreshToken;
    QDateTime expiresAt; // UTC
    std::optional<QString> email;
    std::optional<QString> userId;
    QString clientId;
    QString source; // "oauth" or "qirv_cli"

    friend bool operator==(const OAuthSession &, const OAuthSession &) = default;
};

// The largest token (access or refresh) or API key taken, in UTF-8 bytes:
// servers take request headers of 8 to 16 KB in all, so a larger one fails
// every request and is refused where it comes in.
inline constexpr qsizetype kTokenLimitBytes = 16 * 1024;
bool tokenFits(const QString &token);
// "16 KB", for the texts that refuse a larger token or key.
QString tokenLimitText();
// Both tokens fit.
bool tokensFit(const OAuthSession &session);

// The session file's JSON: sorted keys, indented, absent optionals left out,
// dates as UTC internet date-time in whole seconds.
QByteArray encodeSession(const OAuthSession &session);

// Reads one session. The error text says what was wrong ("Bad date: " and
// the text for a date that is not an internet date-time); it never holds a
// token.
platform::Result<OAuthSession, QString> decodeSession(const QByteArray &json);

} // namespace auth
