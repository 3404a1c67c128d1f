#pragma once

#include <QString>

#include <optional>

namespace agent::TextSearch {

struct Match {
    qsizetype start = 0;  // in UTF-16 code units of the searched text
    qsizetype length = 0;

    friend bool operator==(const Match &, const Match &) = default;
};

// The first occurrence of needle in text: an exact match first; else a match
// of whole user-perceived characters under canonical equivalence (a
// precomposed letter equals the letter with a combining mark). An empty
// needle never occurs.
std::optional<Match> findFirst(const QString &text, const QString &needle);

} // namespace agent::TextSearch
