#pragma once

#include <QString>

namespace agent {

// Why one model turn failed. Each value carries its user-facing text.
struct OVUClientError {
    enum class Kind {
        HttpStatus,       // the service answered with a status of 400 or more
        Redirect,         // the service answered with a redirect, which is not followed
        MissingAPIKey,    // no credential; nothing was sent
        InvalidResponse,  // the answer was not an HTTP response
        IncompleteStream, // the stream stopped before its end mark or finish reason
        StreamError,      // the stream carried an error object
        MalformedEvent,   // an event's data was not JSON
        Transport,        // no connection, broken connection; the network layer's text
        TimedOut,         // nothing arrived for the whole time-out
        Cancelled,        // the run was stopped
    };

    Kind kind = Kind::InvalidResponse;
    int statusCode = 0;
    // The service's words from the response body (its status's reason when
    // the body says nothing), the stream's error message, the redirect's
    // host, the unreadable data or the transport's text.
    QString detail;
    qint64 retryAfterSeconds = 0; // a 429 or 503 said when to try again

    static OVUClientError httpStatus(int code, QString body, qint64 retryAfter = 0)
    {
        return {Kind::HttpStatus, code, std::move(body), retryAfter};
    }
    // `host` is where the redirect pointed, empty when it named no place.
    static OVUClientError redirect(int code, QString host) { return {Kind::Redirect, code, std::move(host)}; }
    static OVUClientError malformedEvent(QString data) { return {Kind::MalformedEvent, 0, std::move(data)}; }
    static OVUClientError missingAPIKey() { return {Kind::MissingAPIKey, 0, {}}; }
    static OVUClientError invalidResponse() { return {Kind::InvalidResponse, 0, {}}; }
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
