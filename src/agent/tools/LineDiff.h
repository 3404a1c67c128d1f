#pragma once

#include <QList>
#include <QString>
#include <QStringList>

namespace agent {

// Whole-line diffs for approval previews.
namespace LineDiff {

struct Op {
    enum class Kind { Same, Remove, Add };
    Kind kind = Kind::Same;
    QString line;

    friend bool operator==(const Op &, const Op &) = default;
};

// Splits at every line feed, keeping empty pieces. A CR LF ends a line too
// (its CR stays on the line): taken as one character it would make a whole
// CR LF file one line, whose capped preview could hide the new content.
QStringList splitLines(const QString &text);

// Longest-common-subsequence diff; lines compare under canonical
// equivalence. On a tie the removal comes first.
QList<Op> lineDiff(const QStringList &oldLines, const QStringList &newLines);

// The preview of replacing old with new: a line diff, or a rewrite summary
// when both sides together have more than 400 lines.
QString unifiedDiff(const QString &path, const QString &oldText, const QString &newText);

} // namespace LineDiff
} // namespace agent
