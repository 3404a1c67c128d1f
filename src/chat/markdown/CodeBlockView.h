#pragma once

#include "chat/markdown/MarkdownRenderer.h"

#include <QColor>
#include <QHash>
#include <QRectF>
#include <QStaticText>

class QPainter;

namespace chat {

// A fenced code block as a card: a header with the language (or "code")
// and a "Copy" button, over the code in the code font. Long lines never
// wrap: the code scrolls sideways. Only the lines inside the clip are drawn,
// so a card of ten thousand lines costs what a screenful does.
// The card is drawn by its host view, which keeps its sideways offset and
// its "Copied" state.
namespace CodeBlockView {

// Code lines shaped once and kept between paints, by piece and line; a
// line still being written is shaped again when its text changed. The
// host clears it whenever its pieces are made anew.
class LineCache {
public:
    const QStaticText &line(int piece, int index, const QString &text);
    void clear() { m_lines.clear(); }

private:
    QHash<quint64, QStaticText> m_lines;
};

QString label(const MarkdownRenderer::Code &code);
QRectF headerRect(const QRectF &card, const MarkdownRenderer &r);
QRectF codeRect(const QRectF &card, const MarkdownRenderer &r);
QRectF copyButtonRect(const QRectF &card, const MarkdownRenderer &r, bool copied);
// The code lines' box (inside the padding), and where a line starts when
// the code is scrolled sideways by offset.
QRectF linesRect(const QRectF &card, const MarkdownRenderer &r);
qreal lineLeft(const QRectF &card, qreal offset);
// How far the code can scroll sideways.
qreal maxOffset(const QRectF &card, const MarkdownRenderer::Code &code);
// Where a column of a line as written is drawn, from the line's start, and
// the column nearest to such an x (tabs drawn as spaces).
qreal columnX(const QString &line, int column, const QFont &mono);
int columnAt(const QString &line, qreal x, const QFont &mono);

// The selected stretch of the code as written, [from, to).
struct Selected {
    int from = 0;
    int to = 0;
    QColor color;
};

// piece names the card in cache (none: every line is shaped as it is drawn).
void paint(QPainter &painter, const QRectF &card, const QRectF &clip, const MarkdownRenderer::Code &code,
           const MarkdownRenderer &r, qreal offset, bool copied, LineCache *cache = nullptr, int piece = -1,
           const Selected *selected = nullptr);

} // namespace CodeBlockView
} // namespace chat
