#pragma once

#include <QHash>
#include <QPointF>
#include <QString>
#include <QStringView>

#include <compare>
#include <optional>

namespace chat {

class MarkdownRenderer;

// A place in a message's text: a piece of the renderer and a position in
// it. In prose the position is a document position; in code it is an index
// into the code as written (lines joined by line feeds, tabs kept). Both
// stay valid at another width, so a selection outlives a resize.
struct TextPoint {
    int piece = 0;
    int offset = 0;
    friend auto operator<=>(const TextPoint &, const TextPoint &) = default;
};

// What the user selected in one message's text, from where the drag began
// (anchor) to where the pointer is (head).
struct TextSelection {
    TextPoint anchor;
    TextPoint head;

    bool isEmpty() const { return anchor == head; }
    TextPoint start() const { return qMin(anchor, head); }
    TextPoint end() const { return qMax(anchor, head); }
    // The stretch [from, to) of a piece of the given length it covers;
    // none when it covers nothing there.
    std::optional<std::pair<int, int>> spanIn(int piece, int length) const;
    friend bool operator==(const TextSelection &, const TextSelection &) = default;
};

// Hit testing and reading a selection over the pieces of a renderer laid out
// the way MarkdownTextView paints them: pieces stacked from y = 0 across the
// renderer's width, code cards scrolled sideways by their offsets. Pieces
// are laid out where needed, hence the non-const renderer.
namespace TextSelecting {

// How many positions a piece has (prose: its characters without the final
// paragraph end; code: its text as written).
int pieceLength(MarkdownRenderer &r, int piece);
// The nearest place to pos; above the text is its start, below it its end,
// a gap between pieces the start of the next one.
TextPoint pointAt(MarkdownRenderer &r, QPointF pos, const QHash<int, qreal> &codeOffsets);
// The selected text as plain text: prose as shown (no Markdown marks),
// code as written; pieces joined by line feeds.
QString text(MarkdownRenderer &r, const TextSelection &selection);
// The word around a place (a double click), and its paragraph or code line
// (a triple click).
TextSelection wordAt(MarkdownRenderer &r, TextPoint point);
TextSelection lineAt(MarkdownRenderer &r, TextPoint point);

// The start of a word around column in text, and its end: [first, second).
std::pair<int, int> wordSpan(QStringView text, int column);

} // namespace TextSelecting
} // namespace chat
