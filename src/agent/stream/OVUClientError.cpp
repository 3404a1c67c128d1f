#include "agent/stream/OVUClientError.h"

#include "platform/ServiceText.h"

namespace agent {

OVUClientError OVUClientError::unusableAddress(const QUrl &address, Cause why)
{
    const QString shown = platform::ServiceText::forDisplay(address.toDisplayString(QUrl::RemoveUserInfo), 200);
    return {Kind::UnusableAddress, 0, shown, 0, why};
}

std::optional<OVUClientError> OVUClientError::checkAddress(const QUrl &endpoint)
{
    if (!endpoint.isValid())
        return unusableAddress(endpoint, Cause::Malformed);
    const QString scheme = endpoint.scheme().toLower();
    if (scheme != u"http" && scheme != u"https")
        return unusableAddress(endpoint, Cause::UnsupportedScheme);
    if (endpoint.host().isEmpty())
        return unusableAddress(endpoint, Cause::NoHost);
    return std::nullopt;
}

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
    case Kind::NotAStream: {
        QString what;
        switch (cause) {
        case Cause::WebPage: what = QStringLiteral("a web page"); break;
        case Cause::JsonReply: what = QStringLiteral("a single JSON reply"); break;
        case Cause::Compressed: what = QStringLiteral("compressed data"); break;
        case Cause::PlainText: what = QStringLiteral("plain text"); break;
        default: what = QStringLiteral("binary data"); break;
        }
        const QString text = QStringLiteral("Ovu API answered with ") + what + QStringLiteral(", not a reply stream");
        return detail.isEmpty() ? text + u'.' : text + QStringLiteral(": ") + detail;
    }
    case Kind::UnusableAddress: {
        QString why;
        switch (cause) {
        case Cause::UnsupportedScheme: why = QStringLiteral("it is not an http or https address"); break;
        case Cause::NoHost: why = QStringLiteral("it names no host"); break;
        default: why = QStringLiteral("it is not a valid address"); break;
        }
        const QString address = detail.isEmpty() ? QString() : detail + u' ';
        return QStringLiteral("The Ovu API address ") + address + QStringLiteral("cannot be used: ") + why
            + QStringLiteral(". Nothing was sent.");
    }
    case Kind::SecureConnection: {
        const QString head = QStringLiteral("A secure connection to Ovu API could not be made");
        if (cause == Cause::NoTls)
            return head + QStringLiteral(": the server does not use TLS at this address.");
        if (cause == Cause::Certificate)
            return head + QStringLiteral(": its certificate was not accepted")
                + (detail.isEmpty() ? QString() : QStringLiteral(" (") + detail + u')') + u'.';
        return head + (detail.isEmpty() ? QString() : QStringLiteral(" (") + detail + u')') + u'.';
    }
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
