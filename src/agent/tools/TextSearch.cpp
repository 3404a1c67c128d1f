#include "agent/tools/TextSearch.h"

#include <QList>
#include <QTextBoundaryFinder>

namespace agent::TextSearch {

namespace {

// Below U+0300 no character combines with its neighbours and no two different
// strings are canonically equivalent, so an exact match is the first match.
constexpr char16_t kFirstCombining = 0x0300;

bool allSimple(QStringView s)
{
    for (const QChar c : s) {
        if (c.unicode() >= kFirstCombining)
            return false;
    }
    return true;
}

QString nfc(QStringView s)
{
    return s.toString().normalized(QString::NormalizationForm_C);
}

// The exact match at `at` begins and ends on character boundaries: among
// simple text only a CR LF pair is one character.
bool splitsCrLf(QStringView text, qsizetype at, qsizetype length)
{
    const qsizetype end = at + length;
    return (at > 0 && text[at - 1] == u'\r' && text[at] == u'\n')
           || (end < text.size() && text[end - 1] == u'\r' && text[end] == u'\n');
}

// Whether the character [start, end) of text normalizes to wanted.
bool clusterEquals(QStringView text, qsizetype start, qsizetype end, const QString &wanted)
{
    const QStringView cluster = text.sliced(start, end - start);
    // A lone character without a canonical decomposition is its own normal
    // form: compare without allocating (the common case in any script).
    if (cluster.size() == 1 && cluster[0].decompositionTag() != QChar::Canonical)
        return cluster == wanted;
    return nfc(cluster) == wanted;
}

// Walks the text character by character, comparing normalized characters.
// Nothing is kept per character, so a large file costs no extra memory.
std::optional<Match> findByCharacters(const QString &text, const QList<QString> &wanted)
{
    QTextBoundaryFinder starts(QTextBoundaryFinder::Grapheme, text);
    // Made when first needed; a copy of `starts` would copy all its data each time.
    std::optional<QTextBoundaryFinder> rest;
    qsizetype from = 0;
    for (qsizetype to = starts.toNextBoundary(); to != -1; from = to, to = starts.toNextBoundary()) {
        if (to <= from || !clusterEquals(text, from, to, wanted.first()))
            continue;
        if (wanted.size() > 1 && !rest)
            rest.emplace(QTextBoundaryFinder::Grapheme, text);
        if (rest)
            rest->setPosition(to);
        qsizetype end = to;
        qsizetype j = 1;
        for (; j < wanted.size(); ++j) {
            const qsizetype next = rest->toNextBoundary();
            if (next == -1 || !clusterEquals(text, end, next, wanted[j]))
                break;
            end = next;
        }
        if (j == wanted.size())
            return Match{from, end - from};
    }
    return std::nullopt;
}

} // namespace

std::optional<Match> findFirst(const QString &text, const QString &needle)
{
    if (needle.isEmpty())
        return std::nullopt;
    const qsizetype at = text.indexOf(needle);
    const qsizetype scanned = at >= 0 ? qMin(text.size(), at + needle.size() + 1) : text.size();
    if (allSimple(needle) && allSimple(QStringView(text).first(scanned))) {
        if (at < 0)
            return std::nullopt;
        if (!splitsCrLf(text, at, needle.size()))
            return Match{at, needle.size()};
    }

    // An equivalent spelling may come before the exact one, or be the only one.
    if (at < 0 && !nfc(text).contains(nfc(needle)))
        return std::nullopt;
    QList<QString> wanted;
    QTextBoundaryFinder finder(QTextBoundaryFinder::Grapheme, needle);
    qsizetype from = 0;
    for (qsizetype to = finder.toNextBoundary(); to != -1; from = to, to = finder.toNextBoundary()) {
        if (to > from)
            wanted.append(nfc(QStringView(needle).sliced(from, to - from)));
    }
    if (const std::optional<Match> match = findByCharacters(text, wanted))
        return match;
    // A needle that ends inside a character (half of a CR LF, a letter without
    // its accent) still matches its exact spelling.
    if (at >= 0)
        return Match{at, needle.size()};
    return std::nullopt;
}

} // namespace agent::TextSearch
