#include "chat/markdown/CodeBlockView.h"

#include "chat/markdown/TabColumns.h"

#include <QFontMetricsF>
#include <QPainter>
#include <QPainterPath>
#include <QTextLayout>

#include <cmath>

namespace chat::CodeBlockView {

namespace {

constexpr qreal kRadius = 12;
constexpr qreal kHeaderPadding = 12;
// Longer lines are drawn by the stretch in view, each character one
// average advance from the line's start.
constexpr qsizetype kShapedLine = 400;

QString buttonText(bool copied)
{
    return copied ? QStringLiteral("Copied") : QStringLiteral("Copy");
}

// The small symbols of the button: two sheets, or a tick once copied.
void paintSymbol(QPainter &p, const QRectF &box, bool copied, const QColor &color)
{
    p.save();
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(QPen(color, 1.1, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p.setBrush(Qt::NoBrush);
    if (copied) {
        QPainterPath tick;
        tick.moveTo(box.left() + box.width() * 0.15, box.top() + box.height() * 0.55);
        tick.lineTo(box.left() + box.width() * 0.42, box.top() + box.height() * 0.8);
        tick.lineTo(box.left() + box.width() * 0.88, box.top() + box.height() * 0.22);
        p.drawPath(tick);
    } else {
        const qreal s = box.width() * 0.62;
        p.drawRoundedRect(QRectF(box.left() + box.width() - s, box.top(), s, s), 1.5, 1.5);
        p.drawRoundedRect(QRectF(box.left(), box.top() + box.height() - s, s, s), 1.5, 1.5);
    }
    p.restore();
}

// The card's frame as far as it can be seen: a long card cut off by the
// clip keeps its ends, rounded corners and all, beyond it, so the painted
// pixels stay the same while clip and fill only cover what is in view.
QRectF frameInView(const QRectF &card, const QRectF &clip)
{
    constexpr qreal kBeyond = kRadius + 4;
    QRectF frame = card;
    if (clip.top() - kBeyond > card.top())
        frame.setTop(clip.top() - kBeyond);
    if (clip.bottom() + kBeyond < card.bottom())
        frame.setBottom(clip.bottom() + kBeyond);
    return frame.height() > 0 ? frame : card;
}

} // namespace

const QStaticText &LineCache::line(int piece, int index, const QString &text)
{
    // Enough for a few screens of code; a long scroll starts over.
    constexpr qsizetype kMostLines = 1024;
    const quint64 key = (quint64(quint32(piece)) << 32) | quint32(index);
    auto it = m_lines.find(key);
    if (it != m_lines.end() && it->text() == text)
        return *it;
    if (it == m_lines.end() && m_lines.size() >= kMostLines)
        m_lines.clear();
    QStaticText shaped(text);
    shaped.setTextFormat(Qt::PlainText);
    shaped.setPerformanceHint(QStaticText::AggressiveCaching);
    return *m_lines.insert(key, shaped);
}

QString label(const MarkdownRenderer::Code &code)
{
    const QString text = code.language && !code.language->isEmpty() ? *code.language : QStringLiteral("code");
    return text.toUpper();
}

QRectF headerRect(const QRectF &card, const MarkdownRenderer &r)
{
    return {card.left(), card.top(), card.width(), r.codeHeaderHeight()};
}

QRectF codeRect(const QRectF &card, const MarkdownRenderer &r)
{
    return card.adjusted(0, r.codeHeaderHeight(), 0, 0);
}

QRectF copyButtonRect(const QRectF &card, const MarkdownRenderer &r, bool copied)
{
    const QRectF header = headerRect(card, r);
    const QFontMetricsF fm(r.style().label);
    const qreal symbol = fm.height() * 0.8;
    const qreal width = symbol + 4 + fm.horizontalAdvance(buttonText(copied));
    return {header.right() - kHeaderPadding - width, header.top(), width, header.height()};
}

QRectF linesRect(const QRectF &card, const MarkdownRenderer &r)
{
    return codeRect(card, r).adjusted(0, MarkdownRenderer::kCodePadding, 0, -MarkdownRenderer::kCodePadding);
}

qreal lineLeft(const QRectF &card, qreal offset)
{
    return card.left() + MarkdownRenderer::kCodePadding - offset;
}

qreal maxOffset(const QRectF &card, const MarkdownRenderer::Code &code)
{
    return qMax<qreal>(0, code.widest + 2 * MarkdownRenderer::kCodePadding - card.width());
}

qreal columnX(const QString &line, int column, const QFont &mono)
{
    const QString shown = MarkdownRenderer::expandTabs(line);
    const int at = TabColumns::shownColumn(line, column);
    const QFontMetricsF metrics(mono);
    if (shown.size() > kShapedLine)
        return at * metrics.averageCharWidth();
    return metrics.horizontalAdvance(shown.left(at));
}

int columnAt(const QString &line, qreal x, const QFont &mono)
{
    const QString shown = MarkdownRenderer::expandTabs(line);
    int at = 0;
    if (shown.size() > kShapedLine) {
        at = qBound(0, int(std::lround(x / QFontMetricsF(mono).averageCharWidth())), int(shown.size()));
    } else {
        QTextLayout layout(shown, mono);
        QTextOption option;
        option.setWrapMode(QTextOption::NoWrap);
        layout.setTextOption(option);
        layout.beginLayout();
        QTextLine textLine = layout.createLine();
        layout.endLayout();
        at = textLine.isValid() ? textLine.xToCursor(x) : 0;
    }
    return TabColumns::writtenColumn(line, at);
}

void paint(QPainter &p, const QRectF &card, const QRectF &clip, const MarkdownRenderer::Code &code,
           const MarkdownRenderer &r, qreal offset, bool copied, LineCache *cache, int piece,
           const Selected *selected)
{
    const MarkdownStyle &st = r.style();
    const QRectF frame = frameInView(card, clip);
    p.save();
    p.setRenderHint(QPainter::Antialiasing);
    QPainterPath shape;
    shape.addRoundedRect(frame, kRadius, kRadius);
    p.setClipPath(shape, Qt::IntersectClip);
    p.fillPath(shape, st.codeFill);

    // Header: label left, copy button right.
    const QRectF header = headerRect(card, r);
    p.fillRect(header, st.codeHeaderFill);
    p.setFont(st.label);
    p.setPen(st.codeLabel);
    p.drawText(header.adjusted(kHeaderPadding, 0, -kHeaderPadding, 0), Qt::AlignLeft | Qt::AlignVCenter,
               label(code));
    const QRectF button = copyButtonRect(card, r, copied);
    const QFontMetricsF fm(st.label);
    const qreal symbol = fm.height() * 0.8;
    paintSymbol(p, QRectF(button.left(), button.center().y() - symbol / 2, symbol, symbol), copied, st.codeLabel);
    p.drawText(button.adjusted(symbol + 4, 0, 0, 0), Qt::AlignLeft | Qt::AlignVCenter, buttonText(copied));

    // Code: only the lines that meet the clip.
    const QRectF area = codeRect(card, r).adjusted(0, MarkdownRenderer::kCodePadding, 0, -MarkdownRenderer::kCodePadding);
    const qreal lineHeight = r.codeLineHeight();
    const int first = qMax(0, int(std::floor((clip.top() - area.top()) / lineHeight)));
    const int last = qMin(int(code.lines.size()) - 1, int(std::ceil((clip.bottom() - area.top()) / lineHeight)));
    p.restore();

    // The code under a plain rectangle, inside the rounded shape: glyphs
    // blended through a path clip cost several times as much.
    p.save();
    p.setRenderHint(QPainter::Antialiasing);
    p.setClipRect(card.adjusted(MarkdownRenderer::kCodePadding / 2, r.codeHeaderHeight(),
                                -MarkdownRenderer::kCodePadding / 2, -kRadius / 4),
                  Qt::IntersectClip);
    p.setFont(st.mono);
    p.setPen(st.codeText);
    const QFontMetricsF mono(st.mono);
    const qreal advance = mono.averageCharWidth();
    const qreal left = lineLeft(card, offset);
    if (selected && selected->to > selected->from && first <= last) {
        // Behind the glyphs: the selected columns of each line in view, and
        // a space's width where the line break after it is selected too.
        int start = 0;
        for (int i = 0; i < first; ++i)
            start += int(code.lines[i].size()) + 1;
        const qreal breakWidth = mono.horizontalAdvance(u' ');
        for (int i = first; i <= last; start += int(code.lines[i].size()) + 1, ++i) {
            const int end = start + int(code.lines[i].size());
            if (selected->to <= start)
                break;
            if (selected->from > end)
                continue;
            const int from = qMax(selected->from, start) - start;
            const int to = qMin(selected->to, end) - start;
            const qreal x0 = left + columnX(code.lines[i], from, st.mono);
            qreal x1 = left + columnX(code.lines[i], to, st.mono);
            if (selected->to > end)
                x1 += breakWidth;
            if (x1 > x0)
                p.fillRect(QRectF(x0, area.top() + i * lineHeight, x1 - x0, lineHeight), selected->color);
        }
    }
    for (int i = first; i <= last; ++i) {
        QString line = MarkdownRenderer::expandTabs(code.lines[i]);
        qreal x = left;
        // A very long line: draw only the stretch in view.
        if (line.size() > kShapedLine) {
            const qsizetype from = qMax<qsizetype>(0, qsizetype(offset / advance) - 8);
            const qsizetype to = qMin<qsizetype>(line.size(), qsizetype((offset + card.width()) / advance) + 8);
            x += from * advance;
            line = line.sliced(from, qMax<qsizetype>(0, to - from));
        } else if (cache && piece >= 0) {
            // Shaping every line of every frame costs a quarter of a frame.
            p.drawStaticText(QPointF(x, area.top() + i * lineHeight), cache->line(piece, i, line));
            continue;
        }
        p.drawText(QPointF(x, area.top() + i * lineHeight + mono.ascent()), line);
    }
    p.restore();

    p.save();
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(QPen(st.codeStroke, 1));
    p.setBrush(Qt::NoBrush);
    p.drawRoundedRect(frame.adjusted(0.5, 0.5, -0.5, -0.5), kRadius - 0.5, kRadius - 0.5);
    p.restore();
}

} // namespace chat::CodeBlockView
