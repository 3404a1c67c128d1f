#pragma once

#include <QString>

class QFontMetricsF;

namespace panels::SessionTitle {

// The title on one line: line breaks and tabs read as spaces.
QString oneLine(const QString &title);

// At most n characters (grapheme clusters), with "…" when cut.
QString cut(const QString &title, qsizetype n);

// The one-line title fitted into width, cut at a character boundary with
// "…"; never splits an emoji, an accent from its letter or a CRLF. A fork
// keeps its " (fork)": the title before it is cut.
QString elided(const QString &title, const QFontMetricsF &metrics, qreal width);

} // namespace panels::SessionTitle
