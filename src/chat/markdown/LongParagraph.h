#pragma once

#include "chat/markdown/MarkdownStyle.h"
#include "chat/markdown/ParagraphLines.h"

#include <QFuture>
#include <QList>
#include <QTextLayout>

#include <atomic>
#include <chrono>
#include <memory>
#include <optional>
#include <vector>

class QPainter;
class QTextDocument;

namespace chat {

namespace CharacterWrap {
struct Frame;
}

// A prose piece that is one long paragraph, drawn without shaping all of
// it on the UI thread. A worker finds where its lines begin with a document
// and fonts of its own (Qt's font engines and glyph caches belong to the
// thread that made them, so that costs the UI thread nothing), and the UI
// thread lays out only the slices of lines it draws or hit-tests: only
// the glyphs shown are loaded. Until the lines come, the part in view is
// drawn wrapped from a guessed start. A paragraph of characters that are
// as wide alone as in a run (CJK among them, where nearly every character
// is a new glyph to load) has its lines found in a few milliseconds
// instead, each distinct word measured once over the cores (see
// CharacterWrap): soon enough to wait for, so that what shows first is
// where the text stays.
class LongParagraph {
public:
    // Shorter paragraphs are laid out whole: they cost a few milliseconds.
    static constexpr int kShortest = 3000;
    // Lines laid out together when a part of the paragraph is drawn.
    static constexpr int kSliceLines = 24;
    // How long the first frame waits for lines found by measuring words
    // before it shows a guess: on a busy machine they may come later.
    static constexpr std::chrono::milliseconds kLinesWait{100};
    // Distinct characters (each a glyph to load) past which those lines are
    // not expected within that wait, and not waited for: a reply in a CJK
    // language uses a few thousand.
    static constexpr qsizetype kDistinctWorthWaiting = 4000;

    using Line = ParagraphLine;
    using Lines = ParagraphLines;
    // How the worker builds the same document as the UI thread's.
    struct Source {
        QString text;
        bool plain = false;
        MarkdownStyle style;
        qreal width = 0;
    };

    // Whether doc (a piece's document) is one long paragraph this path draws.
    static bool applies(const QTextDocument &doc);
    // The lines of the source's document laid out whole (what the worker runs).
    static Lines lay(const Source &source);

    // Takes doc's text and formats (doc itself is never laid out) and
    // starts the worker.
    LongParagraph(const QTextDocument &doc, Source source);
    ~LongParagraph();
    LongParagraph(const LongParagraph &) = delete;
    LongParagraph &operator=(const LongParagraph &) = delete;

    // Takes the worker's lines if it is done; true when they are known.
    bool adopt();
    // For lines found by measuring words of not too many distinct
    // characters, waits up to longest for them, the first time only;
    // otherwise only takes them if they are there.
    bool awaitLines(std::chrono::milliseconds longest);
    // Waits for the lines (an action that needs them at once).
    void wait();
    bool isReady() const { return m_lines.has_value(); }
    QFuture<void> future() const { return QFuture<void>(m_future); }
    const QList<Line> &lines() const;
    qreal height() const;

    // Draws the lines crossing clip (piece coordinates); the stretch
    // [selection.first, selection.second) on a selection background.
    void draw(QPainter *painter, const QRectF &clip, std::pair<int, int> selection, const QColor &ink,
              const QColor &selectionFill) const;
    // Before the lines are known: the part of a piece of this height in
    // clip, wrapped from a break near where it should begin; the end of the
    // paragraph sits at the bottom.
    void drawGuess(QPainter *painter, const QRectF &clip, qreal height, const QColor &ink) const;
    // The text position nearest to pos; the link under it.
    int hitTest(QPointF pos) const;
    QString anchorAt(QPointF pos) const;
    // Where position is drawn: the x of its cursor and its line's rect.
    QRectF cursorRect(int position) const;

    // Where a document of the source's kind places its one paragraph.
    static CharacterWrap::Frame frameOf(const Source &source);

private:
    int lineAt(qreal y) const;
    int lineOf(int position) const;
    QTextLayout &slice(int index) const;
    // The text [from, to) with its formats, not yet wrapped.
    std::unique_ptr<QTextLayout> shaped(int from, int to) const;

    QString m_text;
    QList<QTextLayout::FormatRange> m_formats;
    QTextOption m_option;
    QFont m_font;
    qreal m_lineSpacing = 0;
    qreal m_width = 0;
    std::shared_ptr<std::atomic<bool>> m_abandoned;
    QFuture<Lines> m_future;
    std::optional<Lines> m_lines;
    bool m_worthWaiting = false;
    bool m_waited = false;
    mutable std::vector<std::unique_ptr<QTextLayout>> m_slices;
    struct Guess {
        int from = -1;
        qreal top = 0;
        std::unique_ptr<QTextLayout> layout;
    };
    mutable Guess m_guess;
};

} // namespace chat
