#pragma once

#include <QList>
#include <QPointF>

namespace chat {

// Where the lines of one long paragraph begin and sit, found off the UI
// thread without the paragraph's own document being laid out.
struct ParagraphLine {
    int start = 0;
    int length = 0;
    qreal x = 0;
    qreal y = 0;          // from the document's top
    qreal height = 0;
    qreal width = 0;      // the width it was wrapped at
    qreal naturalWidth = 0;
    friend bool operator==(const ParagraphLine &, const ParagraphLine &) = default;
};

struct ParagraphLines {
    QList<ParagraphLine> lines;
    QPointF origin;   // where the paragraph's layout sits in the document
    qreal height = 0; // the document's, rounded up as a piece's height is
};

} // namespace chat
