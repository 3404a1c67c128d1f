#include "auth/AuthError.h"

#include "auth/OAuthSession.h"

namespace auth {

AuthError AuthError::http(QString label, QString detail)
{
    return {Kind::http, std::move(label), std::move(detail)};
}

AuthError AuthError::signInDenied(QString word)
{
    return {Kind::signInDenied, {}, std::move(word)};
}

AuthError AuthError::refreshFailed(QString reason)
{
    return {Kind::refreshFailed, {}, std::move(reason)};
}

AuthError AuthError::transport(QString description)
{
    return {Kind::transport, {}, std::move(description)};
}

AuthError AuthError::badJson(QString description)
{
    return {Kind::badJson, {}, std::move(description)};
}

AuthError AuthError::unreadableAnswer(QString what)
{
    return {Kind::unreadableAnswer, {}, std::move(what)};
}

QString AuthError::description() const
{
    switch (kind) {
    case Kind::http:
        return label + QStringLiteral(": ") + detail;
    case Kind::signInDenied:
        return QStringLiteral("Sign-in denied (") + detail + QStringLiteral(").");
    case Kind::refreshFailed:
        return QStringLiteral("Session expired. Sign in again. (") + detail + QStringLiteral(")");
    case Kind::notSignedIn:
        return QStringLiteral("Sign in with Moonshelf (Settings) or add an API key.");
    case Kind::noQirvCLIAuth:
        return QStringLiteral("No ~/.qirv/auth.json found. Use \u201cSign in with Moonshelf\u201d, or log in with "
                              "the Qirv CLI first.");
    case Kind::invalidQirvCLIAuth:
        return QStringLiteral("Could not read a Moonshelf session from ~/.qirv/auth.json.");
    case Kind::invalidResponse:
        return QStringLiteral("Unexpected response from Ovu auth.");
    case Kind::signInTimedOut:
        return QStringLiteral("Sign-in timed out. Try again and approve in the browser.");
    case Kind::transport:
    case Kind::badJson:
        return detail;
    case Kind::tokenTooLarge:
        return QStringLiteral("Ovu auth sent a token larger than ") + tokenLimitText()
            + QStringLiteral("; it was not saved.");
    case Kind::unreadableAnswer:
        return detail + u'.';
    }
    return {};
}

} // namespace auth
