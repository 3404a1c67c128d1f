#pragma once

#include "agent/tools/TextSearch.h"

#include <QString>

#include <optional>

namespace agent::StrReplaceEdit {

struct Edit {
    TextSearch::Match match; // the place in the file's text that changes
    QString replacement;     // what goes there

    friend bool operator==(const Edit &, const Edit &) = default;
};

// Whether the text has line breaks and every one of them is CR LF.
bool isUniformlyCrLf(QStringView text);

// The first occurrence of oldString in text and its replacement. A model
// writes line feeds: when every line break of the file is CR LF, line breaks
// of oldString match as equal and newString is written with CR LF, so the
// file keeps one line-break style. Any other file is searched exactly as given.
std::optional<Edit> plan(const QString &text, const QString &oldString, const QString &newString);

} // namespace agent::StrReplaceEdit
