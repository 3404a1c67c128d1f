#include "agent/TextSearch.h"

#include <QList>
#include <QTextBoundaryFinder>

namespace agent::TextSearch {

namespace {

struct Cluster {
    qsizetype start;
    qsizetype length;
};

QList<Cluster> clustersOf(const QString &text)
{
    QList<Cluster> clusters;
    QTextBoundaryFinder finder(QTextBoundaryFinder::Grapheme, text);
    qsizetype from = 0;
    for (qsizetype to = finder.toNextBoundary(); to != -1; to = finder.toNextBoundary()) {
        if (to > from)
            clusters.append({from, to - from});
        from = to;
    }
    return clusters;
}

QString nfc(QStringView s)
{
    return s.toString().normalized(QString::NormalizationForm_C);
}

} // namespace

std::optional<Match> findFirst(const QString &text, const QString &needle)
{
    if (needle.isEmpty())
        return std::nullopt;
    if (const qsizetype at = text.indexOf(needle); at >= 0)
        return Match{at, needle.size()};

    // The slow path runs only when the normalized forms can match at all.
    const QString needleNfc = nfc(needle);
    if (!nfc(text).contains(needleNfc))
        return std::nullopt;

    QList<QString> wanted;
    for (const Cluster &c : clustersOf(needle))
        wanted.append(nfc(QStringView(needle).mid(c.start, c.length)));
    const QList<Cluster> clusters = clustersOf(text);
    QList<QString> normalized(clusters.size());
    QList<bool> done(clusters.size(), false);
    auto normalizedAt = [&](qsizetype i) -> const QString & {
        if (!done[i]) {
            normalized[i] = nfc(QStringView(text).mid(clusters[i].start, clusters[i].length));
            done[i] = true;
        }
        return normalized[i];
    };
    const qsizetype k = wanted.size();
    for (qsizetype i = 0; i + k <= clusters.size(); ++i) {
        qsizetype j = 0;
        while (j < k && normalizedAt(i + j) == wanted[j])
            ++j;
        if (j == k) {
            const Cluster &last = clusters[i + k - 1];
            return Match{clusters[i].start, last.start + last.length - clusters[i].start};
        }
    }
    return std::nullopt;
}

} // namespace agent::TextSearch
