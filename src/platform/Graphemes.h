#pragma once

#include <QString>

namespace platform {

// Counting and cutting by user-perceived characters (grapheme clusters), so
// a cap never splits an emoji, a combining accent or a CRLF pair.
namespace Graphemes {

qsizetype count(const QString &text);

// The first n characters of text (all of it when it has n or fewer).
QString prefix(const QString &text, qsizetype n);

// The last n characters of text.
QString suffix(const QString &text, qsizetype n);

// Code-unit offset where character number n starts (text.size() when past the end).
qsizetype offsetOf(const QString &text, qsizetype n);

} // namespace Graphemes
} // namespace platform
