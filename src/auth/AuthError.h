#pragma once

#include <QString>

namespace auth {

// The failures of sign-in, refresh and import, each with its user-facing
// text. `transport` and `badJson` carry the text of a failure from another
// layer (the network, the JSON parser), shown unchanged.
struct AuthError {
    enum class Kind {
        http,
        signInDenied,
        refreshFailed,
        notSignedIn,
        noQirvCLIAuth,
        invalidQirvCLIAuth,
        invalidResponse,
        signInTimedOut,
        transport,
        badJson,
        tokenTooLarge,
        unreadableAnswer,
    };

    Kind kind = Kind::invalidResponse;
    QString label;  // http only
    QString detail; // http detail, denial word, refresh reason, passed-on text

    static AuthError http(QString label, QString detail);
    static AuthError signInDenied(QString word);
    static AuthError refreshFailed(QString reason);
    static AuthError notSignedIn() { return {Kind::notSignedIn, {}, {}}; }
    static AuthError noQirvCLIAuth() { return {Kind::noQirvCLIAuth, {}, {}}; }
    static AuthError invalidQirvCLIAuth() { return {Kind::invalidQirvCLIAuth, {}, {}}; }
    static AuthError invalidResponse() { return {Kind::invalidResponse, {}, {}}; }
    static AuthError signInTimedOut() { return {Kind::signInTimedOut, {}, {}}; }
    static AuthError transport(QString description);
    static AuthError badJson(QString description);
    static AuthError tokenTooLarge() { return {Kind::tokenTooLarge, {}, {}}; }
    // What was wrong with an answer that could not be read (OAuth::unreadableAnswer).
    static AuthError unreadableAnswer(QString what);

    QString description() const;

    friend bool operator==(const AuthError &, const AuthError &) = default;
};

} // namespace auth
