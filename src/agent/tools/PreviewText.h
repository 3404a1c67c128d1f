#pragma once

#include <QString>

namespace agent::PreviewText {

inline constexpr qsizetype kPreviewCap = 8000; // user-perceived characters

// The text cut to its first 8,000 characters plus "\n…(preview truncated)"
// when it is longer; else unchanged.
QString capped(const QString &text);

// Control, bidirectional-formatting and invisible characters written as
// \u{XXXX}, so a previewed command or path shows what it really holds.
// keepLineBreaks leaves line feeds and tabs as they are (for multi-line text).
QString escapedForDisplay(const QString &text, bool keepLineBreaks);

} // namespace agent::PreviewText
