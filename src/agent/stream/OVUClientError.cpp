#include "agent/stream/OVUClientError.h"

#include "platform/ServiceText.h"

namespace agent {

QString OVUClientError::description() const
{
    switch (kind) {
    case Kind::HttpStatus:
        if (statusCode == 401)
            return QStringLiteral("Auth failed (401). Sign in with Moonshelf again in Settings. Details: ") + detail;
        if (statusCode == 403)
            return QStringLiteral("Ovu denied access (403). Your Moonshelf session may lack API entitlement for this "
                                  "model, or the subscription needs re-auth. Details: ")
                + detail;
        // Said once: the service's own words may already say when.
        if ((statusCode == 429 || statusCode == 503) && !platform::ServiceText::saysWhen(detail)) {
            if (const std::optional<QString> hint = platform::ServiceText::retryHint(retryAfterSeconds)) {
                QString words = detail;
                if (!words.isEmpty() && !words.endsWith(u'.') && !words.endsWith(u'!') && !words.endsWith(u'?')
                    && !words.endsWith(u'\u2026'))
                    words += u'.';
                if (!words.isEmpty())
                    words += u' ';
                return QStringLiteral("Ovu API error ") + QString::number(statusCode) + QStringLiteral(": ") + words
                    + *hint + u'.';
            }
        }
        return QStringLiteral("Ovu API error ") + QString::number(statusCode) + QStringLiteral(": ") + detail;
    case Kind::Redirect:
        // Not followed: the bearer token goes to the service's own host only.
        if (detail.isEmpty())
            return QStringLiteral("Ovu API answered with a redirect (") + QString::number(statusCode)
                + QStringLiteral("), which is not followed.");
        return QStringLiteral("Ovu API answered with a redirect to ") + detail
            + QStringLiteral(", which is not followed.");
    case Kind::MalformedEvent:
        return QStringLiteral("Ovu API sent part of the reply that could not be read: ") + detail;
    case Kind::MissingAPIKey:
        return QStringLiteral("Sign in with Moonshelf or add an API key in Settings (Ctrl+,).");
    case Kind::InvalidResponse:
        return QStringLiteral("Invalid response from Ovu API.");
    case Kind::IncompleteStream:
        return QStringLiteral("The reply from Ovu API ended before it was complete. Try again.");
    case Kind::StreamError:
        if (detail.isEmpty())
            return QStringLiteral("Ovu API reported an error during the reply.");
        return QStringLiteral("Ovu API reported an error during the reply: ") + detail;
    case Kind::Transport:
        // The network layer's own text, unwrapped.
        return detail.isEmpty() ? QStringLiteral("Unknown error") : detail;
    case Kind::TimedOut:
        return QStringLiteral("The request timed out.");
    case Kind::Cancelled:
        return QStringLiteral("Cancelled.");
    }
    return {};
}

} // namespace agent
