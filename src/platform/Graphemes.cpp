#include "platform/Graphemes.h"

#include <QTextBoundaryFinder>

namespace platform::Graphemes {

namespace {

// Plain ASCII without CR has one character per code unit; skip the finder.
bool isSimple(const QString &text)
{
    for (const QChar c : text) {
        const char16_t u = c.unicode();
        if (u >= 0x7f || u == u'\r')
            return false;
    }
    return true;
}

} // namespace

qsizetype count(const QString &text)
{
    if (isSimple(text))
        return text.size();
    QTextBoundaryFinder finder(QTextBoundaryFinder::Grapheme, text);
    qsizetype n = 0;
    while (finder.toNextBoundary() != -1)
        ++n;
    return n;
}

qsizetype offsetOf(const QString &text, qsizetype n)
{
    if (n <= 0)
        return 0;
    if (isSimple(text))
        return qMin(n, text.size());
    QTextBoundaryFinder finder(QTextBoundaryFinder::Grapheme, text);
    qsizetype pos = 0;
    for (qsizetype i = 0; i < n; ++i) {
        pos = finder.toNextBoundary();
        if (pos == -1)
            return text.size();
    }
    return pos;
}

QString prefix(const QString &text, qsizetype n)
{
    return text.left(offsetOf(text, n));
}

QString suffix(const QString &text, qsizetype n)
{
    const qsizetype total = count(text);
    if (n >= total)
        return text;
    return text.mid(offsetOf(text, total - n));
}

} // namespace platform::Graphemes
