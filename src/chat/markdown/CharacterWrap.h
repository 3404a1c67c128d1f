#pragma once

#include "chat/markdown/ParagraphLines.h"

#include <QFont>
#include <QList>
#include <QString>
#include <QTextLayout>
#include <QTextOption>

#include <optional>

namespace chat {

// Where the lines of a long paragraph begin, found without shaping all of
// it in one thread: each distinct word (up to the next place a line may
// break; every ideograph is one) is measured once, the words split over the
// cores (each thread loads only its share of the glyphs), and the lines are
// then wrapped by adding up widths as the text layout does. That holds
// where no shaping reaches from one word into the next: ideographs, kana,
// hangul syllables, full-width forms, Latin-1 and punctuation, left to
// right, and no word wider than the line.
namespace CharacterWrap {

struct Paragraph {
    QString text;
    QList<QTextLayout::FormatRange> formats;
    QTextOption option;
    QFont font;
    qreal lineSpacing = 0;
};

// Where the paragraph's single layout sits in its document, found from a
// document of one short line laid out the same way.
struct Frame {
    QPointF origin;
    qreal x = 0;
    qreal lineWidth = 0;
    qreal firstY = 0;
    qreal below = 0; // from the last line's bottom to the document's
};

// Whether every character is of the kind measured alone.
bool applies(QStringView text);
// How many different characters the text holds.
qsizetype distinctCharacters(QStringView text);
// A copy whose fonts and formats share nothing with the given one's, for
// another thread: Qt's font and format data keep caches that each thread
// using them would rewrite.
Paragraph detached(const Paragraph &paragraph);
// Nothing when the paragraph is not of that kind. Any thread, with a
// detached paragraph.
std::optional<ParagraphLines> lay(const Paragraph &paragraph, const Frame &frame);

} // namespace CharacterWrap

} // namespace chat
