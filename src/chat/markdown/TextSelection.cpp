#include "chat/markdown/TextSelection.h"

#include "chat/markdown/CodeBlockView.h"
#include "chat/markdown/MarkdownRenderer.h"

#include <QAbstractTextDocumentLayout>
#include <QTextBlock>
#include <QTextBoundaryFinder>
#include <QTextCursor>
#include <QTextDocumentFragment>

#include <cmath>

namespace chat {

using Kind = MarkdownText::Block::Kind;

std::optional<std::pair<int, int>> TextSelection::spanIn(int piece, int length) const
{
    const TextPoint a = start();
    const TextPoint b = end();
    if (isEmpty() || piece < a.piece || piece > b.piece)
        return std::nullopt;
    const int from = piece == a.piece ? qBound(0, a.offset, length) : 0;
    const int to = piece == b.piece ? qBound(0, b.offset, length) : length;
    if (from >= to)
        return std::nullopt;
    return std::pair{from, to};
}

namespace TextSelecting {

namespace {

struct LineColumn {
    int line = 0;
    int column = 0;
};

LineColumn lineColumn(const MarkdownRenderer::Code &code, int offset)
{
    int start = 0;
    for (int i = 0; i < code.lines.size(); ++i) {
        const int end = start + int(code.lines[i].size());
        if (offset <= end)
            return {i, offset - start};
        start = end + 1;
    }
    return {int(qMax<qsizetype>(0, code.lines.size() - 1)), code.lines.isEmpty() ? 0 : int(code.lines.last().size())};
}

int lineStart(const MarkdownRenderer::Code &code, int line)
{
    int start = 0;
    for (int i = 0; i < line && i < code.lines.size(); ++i)
        start += int(code.lines[i].size()) + 1;
    return start;
}

// Pieces hold a document once laid out (a long paragraph's as soon as its
// worker starts); a selection may reach pieces that were never on screen.
QTextDocument *document(MarkdownRenderer &r, int piece)
{
    r.layOut(piece);
    return r.piece(piece).doc.get();
}

} // namespace

int pieceLength(MarkdownRenderer &r, int piece)
{
    if (piece < 0 || piece >= r.count())
        return 0;
    if (r.piece(piece).kind == Kind::Code) {
        const QStringList &lines = r.piece(piece).code.lines;
        int length = int(qMax<qsizetype>(0, lines.size() - 1));
        for (const QString &line : lines)
            length += int(line.size());
        return length;
    }
    const QTextDocument *doc = document(r, piece);
    return doc ? qMax(0, doc->characterCount() - 1) : 0;
}

TextPoint pointAt(MarkdownRenderer &r, QPointF pos, const QHash<int, qreal> &codeOffsets)
{
    if (r.count() == 0 || pos.y() < 0)
        return {};
    const int i = r.pieceAt(pos.y());
    if (i >= r.count())
        return {r.count() - 1, pieceLength(r, r.count() - 1)};
    if (r.top(i) > pos.y())
        return {i, 0};
    const QRectF card(0, r.top(i), r.width(), r.piece(i).height);
    if (r.piece(i).kind != Kind::Code) {
        QTextDocument *doc = document(r, i);
        // A place in a long paragraph needs its lines; once they are known
        // the pieces below may sit elsewhere.
        if (r.waitForLines(i))
            return pointAt(r, pos, codeOffsets);
        if (const LongParagraph *paragraph = r.piece(i).paragraph.get())
            return {i, paragraph->hitTest(pos - card.topLeft())};
        const int at = doc ? doc->documentLayout()->hitTest(pos - card.topLeft(), Qt::FuzzyHit) : 0;
        return {i, qMax(0, at)};
    }
    const auto &code = r.piece(i).code;
    const QRectF area = CodeBlockView::linesRect(card, r);
    if (pos.y() < area.top() || code.lines.isEmpty())
        return {i, 0};
    const int line = int(std::floor((pos.y() - area.top()) / r.codeLineHeight()));
    if (line >= code.lines.size())
        return {i, pieceLength(r, i)};
    const qreal x = pos.x() - CodeBlockView::lineLeft(card, codeOffsets.value(i));
    return {i, lineStart(code, line) + CodeBlockView::columnAt(code.lines[line], x, r.style().mono)};
}

QString text(MarkdownRenderer &r, const TextSelection &selection)
{
    QStringList parts;
    const int last = qMin(selection.end().piece, r.count() - 1);
    for (int i = qMax(0, selection.start().piece); i <= last; ++i) {
        const auto span = selection.spanIn(i, pieceLength(r, i));
        if (!span)
            continue;
        if (r.piece(i).kind == Kind::Code) {
            parts << r.piece(i).code.text().mid(span->first, span->second - span->first);
            continue;
        }
        QTextCursor cursor(document(r, i));
        cursor.setPosition(span->first);
        cursor.setPosition(span->second, QTextCursor::KeepAnchor);
        parts << QTextDocumentFragment(cursor).toPlainText();
    }
    return parts.join(u'\n');
}

namespace {

// The selection around a point, from a span within the point's own line
// (a code line, or a paragraph's block).
template <typename SpanInLine>
TextSelection spanAround(MarkdownRenderer &r, TextPoint point, SpanInLine spanInLine)
{
    if (point.piece < 0 || point.piece >= r.count())
        return {point, point};
    if (r.piece(point.piece).kind == Kind::Code) {
        const auto &code = r.piece(point.piece).code;
        if (code.lines.isEmpty())
            return {point, point};
        const LineColumn at = lineColumn(code, point.offset);
        const int start = lineStart(code, at.line);
        const auto [from, to] = spanInLine(QStringView(code.lines[at.line]), at.column);
        return {{point.piece, start + from}, {point.piece, start + to}};
    }
    const QTextBlock block = document(r, point.piece)->findBlock(point.offset);
    const QString text = block.text();
    const auto [from, to] = spanInLine(QStringView(text), point.offset - block.position());
    return {{point.piece, block.position() + from}, {point.piece, block.position() + to}};
}

} // namespace

TextSelection wordAt(MarkdownRenderer &r, TextPoint point)
{
    return spanAround(r, point, wordSpan);
}

TextSelection lineAt(MarkdownRenderer &r, TextPoint point)
{
    return spanAround(r, point, [](QStringView line, int) { return std::pair<int, int>(0, int(line.size())); });
}

std::pair<int, int> wordSpan(QStringView text, int column)
{
    const int n = int(text.size());
    if (n == 0)
        return {0, 0};
    column = qBound(0, column, n);
    QTextBoundaryFinder finder(QTextBoundaryFinder::Word, text.toString());
    // The place between a word and the space after it (a click on the
    // word's last letter) means the word.
    int at = qMin(column, n - 1);
    if (column > 0 && (column == n || (text[column].isSpace() && !text[column - 1].isSpace())))
        at = column - 1;
    finder.setPosition(at);
    const int from = finder.isAtBoundary() ? at : int(finder.toPreviousBoundary());
    finder.setPosition(at);
    const int to = int(finder.toNextBoundary());
    return {qMax(0, from), to < 0 ? n : to};
}

} // namespace TextSelecting
} // namespace chat
