#include "agent/tools/LineDiff.h"

#include "agent/tools/PreviewText.h"

#include <vector>

namespace agent::LineDiff {

namespace {

constexpr qsizetype kRewriteThreshold = 400;
constexpr qsizetype kRewriteLinesShown = 80;
QString nfc(const QString &s)
{
    return s.normalized(QString::NormalizationForm_C);
}

} // namespace

QStringList splitLines(const QString &text)
{
    return text.split(u'\n');
}

QList<Op> lineDiff(const QStringList &oldLines, const QStringList &newLines)
{
    // Canonically equivalent lines are equal: compare normalized copies.
    QStringList a, b;
    a.reserve(oldLines.size());
    b.reserve(newLines.size());
    for (const QString &l : oldLines)
        a.append(nfc(l));
    for (const QString &l : newLines)
        b.append(nfc(l));

    const qsizetype n = a.size();
    const qsizetype m = b.size();
    const qsizetype width = m + 1;
    std::vector<int> table(size_t((n + 1) * width), 0);
    auto L = [&](qsizetype i, qsizetype j) -> int & { return table[size_t(i * width + j)]; };
    for (qsizetype i = n - 1; i >= 0; --i) {
        for (qsizetype j = m - 1; j >= 0; --j)
            L(i, j) = a[i] == b[j] ? L(i + 1, j + 1) + 1 : std::max(L(i + 1, j), L(i, j + 1));
    }

    QList<Op> ops;
    ops.reserve(n + m);
    qsizetype i = 0, j = 0;
    while (i < n && j < m) {
        if (a[i] == b[j]) {
            ops.append({Op::Kind::Same, oldLines[i]});
            ++i;
            ++j;
        } else if (L(i + 1, j) >= L(i, j + 1)) {
            ops.append({Op::Kind::Remove, oldLines[i++]});
        } else {
            ops.append({Op::Kind::Add, newLines[j++]});
        }
    }
    for (; i < n; ++i)
        ops.append({Op::Kind::Remove, oldLines[i]});
    for (; j < m; ++j)
        ops.append({Op::Kind::Add, newLines[j]});
    return ops;
}

QString unifiedDiff(const QString &path, const QString &oldText, const QString &newText)
{
    if (oldText == newText || nfc(oldText) == nfc(newText))
        return path + QStringLiteral("\n(no content change)");

    const QStringList oldLines = splitLines(oldText);
    const QStringList newLines = splitLines(newText);
    QStringList out{QStringLiteral("--- a/") + path, QStringLiteral("+++ b/") + path};

    if (oldLines.size() + newLines.size() > kRewriteThreshold) {
        out.append(QStringLiteral("@@ rewrite (%1 → %2 lines) @@").arg(oldLines.size()).arg(newLines.size()));
        for (qsizetype i = 0; i < qMin(oldLines.size(), kRewriteLinesShown); ++i)
            out.append(QStringLiteral("- ") + oldLines[i]);
        if (oldLines.size() > kRewriteLinesShown)
            out.append(QStringLiteral("- … (%1 more old lines)").arg(oldLines.size() - kRewriteLinesShown));
        for (qsizetype i = 0; i < qMin(newLines.size(), kRewriteLinesShown); ++i)
            out.append(QStringLiteral("+ ") + newLines[i]);
        if (newLines.size() > kRewriteLinesShown)
            out.append(QStringLiteral("+ … (%1 more new lines)").arg(newLines.size() - kRewriteLinesShown));
        return out.join(u'\n');
    }

    out.append(QStringLiteral("@@"));
    for (const Op &op : lineDiff(oldLines, newLines)) {
        switch (op.kind) {
        case Op::Kind::Same:
            out.append(QStringLiteral("  ") + op.line);
            break;
        case Op::Kind::Remove:
            out.append(QStringLiteral("- ") + op.line);
            break;
        case Op::Kind::Add:
            out.append(QStringLiteral("+ ") + op.line);
            break;
        }
    }
    return PreviewText::capped(out.join(u'\n'));
}

} // namespace agent::LineDiff
