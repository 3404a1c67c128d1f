#pragma once

#include "chat/markdown/LongParagraph.h"
#include "chat/markdown/MarkdownDocument.h"
#include "chat/markdown/MarkdownStyle.h"
#include "chat/markdown/MarkdownText.h"

#include <QElapsedTimer>
#include <QList>
#include <QString>
#include <QStringList>

#include <memory>
#include <optional>
#include <vector>

namespace chat {

// Turns a message's text, at one width, into laid-out pieces: prose blocks
// (one document each) and code cards (lines). The text may arrive in
// fragments: finished pieces are built once and kept; only the open tail
// (the paragraph or code line still being written, and the one before it)
// is built again, at refresh(). A prose block is laid out only when it is
// asked for; until then its height is an estimate.
//
// Prose is cut into blocks at blank lines, like the clean-up's paragraphs;
// an ordered-list paragraph stays in the block before it, so a loose list
// keeps counting.
class MarkdownRenderer {
public:
    enum class Mode { Markdown, Plain };

    struct Code {
        std::optional<QString> language;
        QStringList lines;      // as written (tabs kept)
        qreal widest = 0;       // advance of the widest line, tabs expanded
        QString text() const { return lines.join(u'\n'); }
    };
    struct Piece {
        MarkdownText::Block::Kind kind = MarkdownText::Block::Kind::Prose;
        QString markdown;                       // prose
        std::unique_ptr<MarkdownDocument> doc;  // prose, once laid out
        // prose that is one long paragraph: drawn in slices, its lines found
        // by a worker; its document is never laid out
        std::unique_ptr<LongParagraph> paragraph;
        Code code;                              // code
        qreal height = 0;
        bool exact = false;                     // height from a layout
        // A long paragraph whose lines the worker has not yet found.
        bool waiting() const { return paragraph && !exact; }
    };

    MarkdownRenderer(const MarkdownStyle &style, qreal width, Mode mode = Mode::Markdown);

    // Adds text at the end: O(fragment) plus the lines it completes.
    void append(QStringView fragment);
    // Appends what text adds to the text so far, or starts over when it
    // does not continue it.
    void setText(const QString &text);
    // The text is complete: the last line is taken as a whole line.
    void finish();
    bool isFinished() const { return m_finished; }
    const QString &text() const { return m_text; }

    // Rebuilds the open tail if the text changed since. While streaming, a
    // tail that costs much is rebuilt less often than asked (so rebuilding
    // takes at most a quarter of the time); returns false when it skipped.
    bool refresh(bool force = false);
    // The pieces show all the text appended so far.
    bool isTailCurrent() const { return m_finished || !m_tailDirty; }

    int count() const;
    const Piece &piece(int index) const;
    // Lays the piece out if it is not yet; true when its height changed.
    // A long paragraph starts its worker, and takes its lines once it is done.
    bool layOut(int index);
    // Lays out pieces not yet laid out until the deadline; true when all
    // are or wait for their workers (which are not waited for).
    bool layOutSome(qint64 nanoseconds);
    // Lays out every piece, waiting for the workers.
    void layOutAll();
    // Whether a long paragraph laid out from now on is waited for a moment
    // when its lines come soon (LongParagraph::awaitLines): for a view on
    // screen, not for the widths a layout tries before its window is up.
    void setAwaitsLines(bool awaits) { m_awaitsLines = awaits; }
    // Waits for the lines of a long paragraph still waiting for them; true
    // when it waited (heights below it may have changed).
    bool waitForLines(int index);
    qreal top(int index) const;
    qreal height() const;
    // Where the open tail begins: appending changes nothing above it.
    qreal tailTop() const { return top(int(m_pieces.size())); }
    // First piece whose bottom lies below y.
    int pieceAt(qreal y) const;

    // The pieces as plain blocks (prose text as given to the reader).
    QList<MarkdownText::Block> blocks() const;

    const MarkdownStyle &style() const { return m_style; }
    qreal width() const { return m_width; }
    Mode mode() const { return m_mode; }
    // Takes style for drawing when it lays out as the current one does
    // (fonts, spacing, and the link and rule colours the documents hold);
    // false, changing nothing, when it does not.
    bool restyle(const MarkdownStyle &style);
    qreal codeLineHeight() const { return m_codeLine; }
    qreal codeHeaderHeight() const { return m_codeHeader; }
    static constexpr qreal kCodePadding = 12;

    // Tabs as spaces to the next multiple of four columns (for drawing).
    static QString expandTabs(const QString &line);

    // The narrowest width a text is laid out at: Qt's layouts ask a new
    // row's height at the few dozen pixels of its default geometry before
    // it has its place, and a long text costs most there. Below it the
    // height is only estimated.
    static qreal narrowestLayoutWidth(const MarkdownStyle &style);
    // A height from the text's length alone, without a layout.
    static qreal estimateHeight(const MarkdownStyle &style, QStringView text, qreal width);

private:
    struct State {
        bool inCode = false;
        bool blockHasLine = false;
        QString paragraph;       // raw text of the open paragraph
        QStringList chunk;       // normalised paragraphs of the open prose block
    };
    // Where the state machine puts what it finishes.
    struct Sink {
        virtual ~Sink() = default;
        virtual void prose(QString markdown) = 0;
        virtual void codeOpened(std::optional<QString> language) = 0;
        virtual void codeLine(QString line) = 0;
        virtual void codeClosed() = 0;
    };
    struct Finished;
    struct Provisional;

    static void feedLine(State &state, QStringView line, Sink &sink);
    static void endProse(State &state, Sink &sink);
    static void closeParagraph(State &state, QStringView raw, Sink &sink);
    static void endText(State &state, Sink &sink);

    void consumeLines();
    void finishPlain();
    Piece makeProse(QString markdown) const;
    void addCodeLine(Code &code, QString line) const;
    qreal codeHeight(const Code &code) const;
    qreal estimate(QStringView markdown) const;
    static qreal estimate(QStringView markdown, qreal width, qreal averageChar, qreal lineHeight);
    // whole: laid out at once (a streaming tail, shaped anew at every
    // refresh), not in slices.
    void measure(Piece &piece, bool whole = false) const;
    Piece &mutablePiece(int index);
    void invalidateTops(int from);

    MarkdownStyle m_style;
    qreal m_width;
    Mode m_mode;
    qreal m_codeLine = 0;
    qreal m_codeHeader = 0;
    qreal m_avgChar = 0;
    qreal m_proseLine = 0;

    QString m_text;
    qsizetype m_lineStart = 0;
    bool m_finished = false;
    State m_state;
    std::vector<Piece> m_pieces;     // finished
    std::optional<Code> m_openCode;  // the code card still being written
    mutable std::vector<qreal> m_tops;
    mutable int m_topsValid = 0;

    // The open tail, rebuilt by refresh().
    std::vector<Piece> m_tail;
    bool m_tailDirty = false;
    QElapsedTimer m_sinceTail;
    qint64 m_tailCost = 0;
    bool m_awaitsLines = true;
};

} // namespace chat
