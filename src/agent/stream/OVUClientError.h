#pragma once

#include <QString>
#include <QUrl>

#include <optional>

namespace agent {

// Why one model turn failed. Each value carries its user-facing text.
struct OVUClientError {
    enum class Kind {
        HttpStatus,       // the service answered with a status of 400 or more
        Redirect,         // the service answered with a redirect, which is not followed
        MissingAPIKey,    // no credential; nothing was sent
        InvalidResponse,  // the answer was not an HTTP response
        NotAStream,       // a reply below 300 whose body is no event stream (cause: what it is)
        UnusableAddress,  // the endpoint cannot be asked; nothing was sent (cause: why)
        SecureConnection, // TLS could not be set up; nothing was sent (cause: why)
        IncompleteStream, // the stream stopped before its end mark or finish reason
        StreamError,      // the stream carried an error object
        MalformedEvent,   // an event's data was not JSON
        Transport,        // no connection, broken connection; the network layer's text
        TimedOut,         // nothing arrived for the whole time-out
        Cancelled,        // the run was stopped
    };

    // The particular of a NotAStream, UnusableAddress or SecureConnection.
    enum class Cause {
        None,
        WebPage,           // HTML or XML markup
        JsonReply,         // one JSON document (a reply not streamed)
        Compressed,        // an encoding the request did not ask for
        PlainText,         // text that holds no event-stream line
        Binary,            // bytes that are not text
        UnsupportedScheme, // neither http nor https
        NoHost,
        Malformed,
        NoTls,             // the server answered, but not in TLS
        Certificate,       // the server's certificate was refused
    };

    Kind kind = Kind::InvalidResponse;
    int statusCode = 0;
    // The service's words from the response body (its status's reason when
    // the body says nothing), the stream's error message, the redirect's
    // host, the unreadable data, the transport's text, what a page or text
    // that came instead of a stream says, or the unusable address.
    QString detail;
    qint64 retryAfterSeconds = 0; // a 429 or 503 said when to try again
    Cause cause = Cause::None;

    static OVUClientError httpStatus(int code, QString body, qint64 retryAfter = 0)
    {
        return {Kind::HttpStatus, code, std::move(body), retryAfter};
    }
    // `host` is where the redirect pointed, empty when it named no place.
    static OVUClientError redirect(int code, QString host) { return {Kind::Redirect, code, std::move(host)}; }
    static OVUClientError malformedEvent(QString data) { return {Kind::MalformedEvent, 0, std::move(data)}; }
    static OVUClientError missingAPIKey() { return {Kind::MissingAPIKey, 0, {}}; }
    static OVUClientError invalidResponse() { return {Kind::InvalidResponse, 0, {}}; }
    // `words`: what a page or text says, empty when nothing.
    static OVUClientError notAStream(Cause what, QString words = {}) { return {Kind::NotAStream, 0, std::move(words), 0, what}; }
    // Shows `address` without its user part.
    static OVUClientError unusableAddress(const QUrl &address, Cause why);
    // Why `endpoint` cannot be asked for a stream, if it cannot.
    static std::optional<OVUClientError> checkAddress(const QUrl &endpoint);
    // `libraryText`: the TLS library's words, shown where they help.
    static OVUClientError secureConnection(Cause why, QString libraryText = {})
    {
        return {Kind::SecureConnection, 0, std::move(libraryText), 0, why};
    }
    static OVUClientError incompleteStream() { return {Kind::IncompleteStream, 0, {}}; }
    static OVUClientError streamError(QString message) { return {Kind::StreamError, 0, std::move(message)}; }
    static OVUClientError transport(QString text) { return {Kind::Transport, 0, std::move(text)}; }
    static OVUClientError timedOut() { return {Kind::TimedOut, 0, {}}; }
    static OVUClientError cancelled() { return {Kind::Cancelled, 0, {}}; }

    bool isCancellation() const { return kind == Kind::Cancelled; }
    QString description() const;

    friend bool operator==(const OVUClientError &, const OVUClientError &) = default;
};

} // namespace agent
