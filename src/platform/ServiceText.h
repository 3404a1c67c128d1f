#pragma once

#include <QByteArrayView>
#include <QString>

#include <optional>

namespace platform {

// What a service said, taken out of its error body and made fit to show:
// the words of a JSON error, the title of an HTML page, else the text, with
// control characters removed and at most about 600 characters kept.
namespace ServiceText {

// The most of an error body that is read; the rest is not waited for.
inline constexpr qsizetype kBodyLimit = 64 * 1024;
// The most characters (user-perceived) shown of the service's words.
inline constexpr qsizetype kShownCharacters = 600;

// The service's words in a body (the first kBodyLimit bytes are read): the
// first string of error.message, message, error_description, detail or
// error of a JSON object; the <title> of an HTML page, else its first line
// of text; else the body as text with its line breaks dropped. Made fit to
// show with forDisplay().
QString fromBody(QByteArrayView body);

// Control characters (and the invisible controls that reorder text) removed,
// tabs and line separators made spaces, then cut on a character boundary to
// at most `characters`, marked with "…".
QString forDisplay(const QString &text, qsizetype characters = kShownCharacters);

// "Try again in 30 s" for a Retry-After of that many seconds; minutes or
// hours for longer waits; none for a wait of 0 or less.
std::optional<QString> retryHint(qint64 seconds);

} // namespace ServiceText
} // namespace platform
