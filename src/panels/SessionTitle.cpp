#include "panels/SessionTitle.h"

#include "model/ChatRecords.h"
#include "platform/Graphemes.h"

#include <QFontMetricsF>

namespace panels::SessionTitle {

namespace {
const QString kEllipsis = QStringLiteral("…");

// The longest prefix of line that fits into width with the ellipsis, by whole characters.
QString fitted(const QString &line, const QFontMetricsF &metrics, qreal width)
{
    if (metrics.horizontalAdvance(line) <= width)
        return line;
    qsizetype low = 0;
    qsizetype high = platform::Graphemes::count(line);
    while (low < high) {
        const qsizetype mid = (low + high + 1) / 2;
        if (metrics.horizontalAdvance(platform::Graphemes::prefix(line, mid) + kEllipsis) <= width)
            low = mid;
        else
            high = mid - 1;
    }
    return platform::Graphemes::prefix(line, low) + kEllipsis;
}
} // namespace

QString oneLine(const QString &title)
{
    QString line = title;
    for (QChar &c : line) {
        if (c == u'\n' || c == u'\r' || c == u'\t' || c == QChar::LineSeparator || c == QChar::ParagraphSeparator)
            c = u' ';
    }
    return line;
}

QString cut(const QString &title, qsizetype n)
{
    if (platform::Graphemes::count(title) <= n)
        return title;
    return platform::Graphemes::prefix(title, std::max<qsizetype>(0, n - 1)).trimmed() + kEllipsis;
}

QString elided(const QString &title, const QFontMetricsF &metrics, qreal width)
{
    const QString line = oneLine(title);
    if (metrics.horizontalAdvance(line) <= width)
        return line;
    // A fork keeps " (fork)" in view: the title before it is cut instead.
    const QString &fork = model::Conversation::forkSuffix();
    if (line.endsWith(fork) && line.size() > fork.size()) {
        const qreal room = width - metrics.horizontalAdvance(fork);
        if (room >= metrics.horizontalAdvance(kEllipsis))
            return fitted(line.chopped(fork.size()), metrics, room) + fork;
    }
    return fitted(line, metrics, width);
}

} // namespace panels::SessionTitle
