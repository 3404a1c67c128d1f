#pragma once

#include <QByteArrayView>
#include <QDateTime>
#include <QString>

#include <optional>

class QJsonValue;

namespace platform {

// What a service said, taken out of its error body and made fit to show:
// the words of a JSON error, the title of an HTML page, else the text, with
// control characters removed and at most about 600 characters kept.
namespace ServiceText {

// The most of an error body that is read; the rest is not waited for.
inline constexpr qsizetype kBodyLimit = 64 * 1024;
// The most characters (user-perceived) shown of the service's words.
inline constexpr qsizetype kShownCharacters = 600;

// The service's words in a body (the first kBodyLimit bytes are read): of
// a JSON object the words of error.message, message, error_description,
// detail or error, else error.code or error.type (a JSON text cut short is
// read as far as it goes); the <title> of an HTML page, else its first line
// of text; else the body as text with its line breaks dropped. Made fit to
// show with forDisplay(). Empty when the body says nothing.
QString fromBody(QByteArrayView body);

// The words of a JSON error value: a string or number as it is, the first
// item of a list that has words, an object's message (message, msg,
// detail, error_description or error) else its code or type. Else the
// value as compact JSON, or nothing when it holds nothing but empty
// values. Made fit to show.
QString errorText(const QJsonValue &error);

// Control characters (and the invisible controls that reorder text) removed,
// tabs and line separators made spaces, then cut on a character boundary to
// at most `characters`, marked with "…".
QString forDisplay(const QString &text, qsizetype characters = kShownCharacters);

// "Try again in 30 s" for a Retry-After of that many seconds; minutes for
// longer waits, "Try again later" beyond an hour; none for a wait of 0 or
// less.
std::optional<QString> retryHint(qint64 seconds);

// The wait a Retry-After value asks for, from `now`: a non-negative number
// of seconds, or an HTTP date (0 when it has passed). Nothing for any other
// value. Huge waits are capped (far beyond an hour).
std::optional<qint64> retryAfterSeconds(QByteArrayView value, const QDateTime &now);

// The service's words already say when to try again ("in 20s", "after 5
// minutes", "at 14:30").
bool saysWhen(const QString &words);

} // namespace ServiceText
} // namespace platform
