#include "chat/markdown/LongParagraph.h"

#include "chat/markdown/CharacterWrap.h"
#include "chat/markdown/MarkdownDocument.h"

#include <QAbstractTextDocumentLayout>
#include <QDeadlineTimer>
#include <QThread>
#include <QFontMetricsF>
#include <QPainter>
#include <QTextBlock>
#include <QTextBoundaryFinder>
#include <QTextList>
#include <QtConcurrent/QtConcurrentRun>

#include <algorithm>
#include <cmath>

namespace chat {

namespace {

// A font sharing nothing with the one given: a copy shares its engine
// cache, which each thread that draws with it would rewrite.
QFont unshared(const QFont &font)
{
    QFont own;
    own.fromString(font.toString());
    own.setFamilies(font.families());
    return own;
}

// The alignment as the document's layout applies it: left and right swap
// in a right-to-left paragraph.
Qt::Alignment visualAlignment(Qt::LayoutDirection direction, Qt::Alignment alignment)
{
    if (!(alignment & Qt::AlignHorizontal_Mask))
        alignment |= Qt::AlignLeft;
    if (!(alignment & Qt::AlignAbsolute) && (alignment & (Qt::AlignLeft | Qt::AlignRight))) {
        if (direction == Qt::RightToLeft)
            alignment ^= (Qt::AlignLeft | Qt::AlignRight);
        alignment |= Qt::AlignAbsolute;
    }
    return alignment;
}

// Lines a guess holds at most: more than any screen shows.
constexpr int kGuessedRows = 160;

// Below any clip (lines are drawn in order of y); QTextLine keeps y in
// 26.6 fixed point.
constexpr qreal kOutOfSight = 1'000'000;

} // namespace

bool LongParagraph::applies(const QTextDocument &doc)
{
    if (doc.blockCount() != 1 || !doc.rootFrame()->childFrames().isEmpty())
        return false;
    const QTextBlock block = doc.begin();
    return block.length() - 1 >= kShortest && !block.textList() &&
           block.blockFormat().intProperty(QTextFormat::BlockQuoteLevel) <= 0;
}

LongParagraph::Lines LongParagraph::lay(const Source &source)
{
    MarkdownDocument doc(source.style);
    if (source.plain)
        doc.setPlain(source.text);
    else
        doc.setProse(source.text);
    doc.setTextWidth(source.width);
    Lines out;
    out.height = std::ceil(doc.documentLayout()->documentSize().height());
    const QTextLayout *layout = doc.begin().layout();
    out.origin = layout->position();
    out.lines.reserve(layout->lineCount());
    for (int i = 0; i < layout->lineCount(); ++i) {
        const QTextLine line = layout->lineAt(i);
        out.lines.append({line.textStart(), line.textLength(), line.x(), line.y(), line.height(), line.width(),
                          line.naturalTextWidth()});
    }
    return out;
}

CharacterWrap::Frame LongParagraph::frameOf(const Source &source)
{
    MarkdownDocument doc(source.style);
    if (source.plain)
        doc.setPlain(QStringLiteral("x"));
    else
        doc.setProse(QStringLiteral("x"));
    doc.setTextWidth(source.width);
    const qreal height = doc.documentLayout()->documentSize().height(); // lays it out
    const QTextLayout *layout = doc.begin().layout();
    const QTextLine line = layout->lineAt(0);
    const QPointF origin = layout->position();
    return {origin, line.x(), line.width(), line.y(), height - (origin.y() + line.y() + line.height())};
}

LongParagraph::LongParagraph(const QTextDocument &doc, Source source)
    : m_abandoned(std::make_shared<std::atomic<bool>>(false))
{
    const QTextBlock block = doc.begin();
    m_text = block.text();
    for (auto it = block.begin(); !it.atEnd(); ++it) {
        const QTextFragment fragment = it.fragment();
        m_formats.append({fragment.position() - block.position(), fragment.length(), fragment.charFormat()});
    }
    m_option = doc.defaultTextOption();
    const Qt::LayoutDirection direction = block.textDirection();
    m_option.setTextDirection(direction);
    const QTextBlockFormat format = block.blockFormat();
    m_option.setAlignment(visualAlignment(direction, format.hasProperty(QTextFormat::BlockAlignment)
                                                         ? format.alignment()
                                                         : m_option.alignment()));
    m_font = doc.defaultFont();
    m_lineSpacing = source.style.lineSpacing;
    m_width = source.width;

    // Words measured alone: the lines come in a few milliseconds, over the
    // cores, soon enough to wait for them before the first frame.
    std::optional<CharacterWrap::Paragraph> words;
    CharacterWrap::Frame frame;
    if (CharacterWrap::applies(m_text)) {
        words = CharacterWrap::detached({m_text, m_formats, m_option, m_font, m_lineSpacing});
        frame = frameOf(source);
        m_worthWaiting = CharacterWrap::distinctCharacters(m_text) <= kDistinctWorthWaiting;
    }

    source.style.body = unshared(source.style.body);
    source.style.mono = unshared(source.style.mono);
    source.style.label = unshared(source.style.label);
    m_future = QtConcurrent::run([source = std::move(source), words = std::move(words), frame,
                                  abandoned = m_abandoned] {
        // A width or text given up before the pool got to it costs nothing.
        if (abandoned->load())
            return Lines{};
        if (words)
            if (std::optional<Lines> lines = CharacterWrap::lay(*words, frame))
                return *lines;
        return lay(source);
    });
}

bool LongParagraph::awaitLines(std::chrono::milliseconds longest)
{
    // Once: a wait that ran out is not repeated at every layout.
    if (!m_worthWaiting || std::exchange(m_waited, true))
        return adopt();
    const QDeadlineTimer deadline(longest);
    while (!adopt() && !deadline.hasExpired())
        QThread::usleep(250);
    return isReady();
}

LongParagraph::~LongParagraph()
{
    m_abandoned->store(true);
}

bool LongParagraph::adopt()
{
    if (!m_lines && m_future.isFinished())
        m_lines = m_future.result();
    return m_lines.has_value();
}

void LongParagraph::wait()
{
    m_future.waitForFinished();
    adopt();
}

const QList<LongParagraph::Line> &LongParagraph::lines() const
{
    static const QList<Line> none;
    return m_lines ? m_lines->lines : none;
}

qreal LongParagraph::height() const
{
    return m_lines ? m_lines->height : 0;
}

std::unique_ptr<QTextLayout> LongParagraph::shaped(int from, int to) const
{
    auto layout = std::make_unique<QTextLayout>(m_text.mid(from, to - from), m_font);
    layout->setTextOption(m_option);
    QList<QTextLayout::FormatRange> formats;
    for (const QTextLayout::FormatRange &range : m_formats) {
        const int a = qMax(range.start, from);
        const int b = qMin(range.start + range.length, to);
        if (a < b)
            formats.append({a - from, b - a, range.format});
    }
    layout->setFormats(formats);
    // Drawn again at every scroll step: the glyphs are shaped once.
    layout->setCacheEnabled(true);
    return layout;
}

QTextLayout &LongParagraph::slice(int index) const
{
    if (m_slices.size() <= std::size_t(index))
        m_slices.resize(index + 1);
    std::unique_ptr<QTextLayout> &layout = m_slices[index];
    if (layout)
        return *layout;
    const QList<Line> &all = lines();
    const int first = index * kSliceLines;
    const int last = qMin(int(all.size()), first + kSliceLines);
    // One line more than drawn, out of sight: a layout's last line ends
    // its paragraph, and a selection going on past it would be drawn so.
    const int end = qMin(int(all.size()), last + 1);
    const int from = all[first].start;
    layout = shaped(from, all[end - 1].start + all[end - 1].length);
    layout->beginLayout();
    for (int i = first; i < end; ++i) {
        const Line &wanted = all[i];
        QTextLine line = layout->createLine();
        if (!line.isValid())
            break;
        line.setLineWidth(wanted.width);
        // The worker wrapped with the same fonts; should a glyph measure
        // otherwise here, the line still holds exactly the worker's text.
        if (line.textLength() != wanted.length)
            line.setNumColumns(wanted.length, wanted.width);
        line.setPosition({wanted.x, i < last ? wanted.y : kOutOfSight});
    }
    layout->endLayout();
    return *layout;
}

int LongParagraph::lineAt(qreal y) const
{
    const QList<Line> &all = lines();
    const auto it =
        std::partition_point(all.cbegin(), all.cend(), [y](const Line &line) { return line.y + line.height <= y; });
    return qMin(int(it - all.cbegin()), int(all.size()) - 1);
}

int LongParagraph::lineOf(int position) const
{
    const QList<Line> &all = lines();
    const auto it = std::partition_point(all.cbegin(), all.cend(),
                                         [position](const Line &line) { return line.start <= position; });
    return qMax(0, int(it - all.cbegin()) - 1);
}

void LongParagraph::draw(QPainter *painter, const QRectF &clip, std::pair<int, int> selection, const QColor &ink,
                         const QColor &selectionFill) const
{
    const QList<Line> &all = lines();
    if (all.isEmpty())
        return;
    const QPointF origin = m_lines->origin;
    const qreal bottom = clip.bottom() - origin.y();
    painter->save();
    painter->setPen(ink);
    for (int s = lineAt(clip.top() - origin.y()) / kSliceLines; s * kSliceLines < all.size(); ++s) {
        const Line &first = all[s * kSliceLines];
        if (first.y > bottom)
            break;
        QTextLayout &layout = slice(s);
        // Up to the end of the line out of sight: the last line drawn sees
        // the selection go on as the whole paragraph's does.
        const int from = first.start;
        const int to = from + int(layout.text().size());
        QList<QTextLayout::FormatRange> marked;
        // A selection from before the slice starts before its text too: the
        // first line is then filled whole, as in the whole paragraph.
        const int a = selection.first < from ? from - 1 : selection.first;
        const int b = qMin(selection.second, to);
        if (a < b && selection.second > from) {
            QTextCharFormat format;
            format.setBackground(selectionFill);
            format.setForeground(ink);
            marked.append({a - from, b - a, format});
        }
        layout.draw(painter, origin, marked, clip);
    }
    painter->restore();
}

void LongParagraph::drawGuess(QPainter *painter, const QRectF &clip, qreal height, const QColor &ink) const
{
    if (m_text.isEmpty() || clip.isEmpty())
        return;
    const bool covered = m_guess.layout && m_guess.top <= clip.top() &&
                         m_guess.top + m_guess.layout->boundingRect().height() >= qMin(clip.bottom(), height);
    if (!covered) {
        const QFontMetricsF metrics(m_font);
        const qreal lineHeight = metrics.height() + m_lineSpacing;
        const int size = int(m_text.size());
        const bool atEnd = clip.bottom() >= height - lineHeight;
        const int near = atEnd ? size : int(size * qBound<qreal>(0, clip.top() / qMax<qreal>(1, height), 1));
        // Characters a line holds, from the text there: every glyph laid
        // out here and not drawn is loaded for nothing (CJK is twice as wide
        // as the font's average character).
        const QString sample = m_text.mid(qBound(0, near - 64, qMax(0, size - 128)), 128);
        const qreal advance = metrics.horizontalAdvance(sample) / qMax<qsizetype>(1, sample.size());
        const qreal perLine = qMax<qreal>(1, m_width / qMax<qreal>(0.5, advance));
        // A view is a screen high at most: a taller clip (a grab of the whole
        // view) is not worth shaping all the paragraph for a guess.
        const int rows = int(qMin<qreal>(clip.height(), kGuessedRows * lineHeight) / lineHeight) + 2;
        const int count = qMin(size, int(rows * perLine));
        const int from = qBound(0, atEnd ? size - count : near, size - 1);
        // From the next place a line may begin, as a line of the real layout would.
        int start = from;
        if (from > 0) {
            const int window = qMin(size - from, 256);
            QTextBoundaryFinder breaks(QTextBoundaryFinder::Line, m_text.constData() + from, window);
            const qsizetype next = breaks.toNextBoundary();
            if (next > 0 && next < window)
                start += int(next);
        }
        m_guess.layout = shaped(start, qMin(size, from + count));
        qreal y = 0;
        m_guess.layout->beginLayout();
        for (QTextLine line = m_guess.layout->createLine(); line.isValid(); line = m_guess.layout->createLine()) {
            line.setLineWidth(m_width);
            line.setPosition({0, y});
            y += line.height() + m_lineSpacing;
        }
        m_guess.layout->endLayout();
        m_guess.from = start;
        m_guess.top = atEnd ? height - y + m_lineSpacing : clip.top();
    }
    painter->save();
    painter->setPen(ink);
    m_guess.layout->draw(painter, {0, m_guess.top}, {}, clip);
    painter->restore();
}

int LongParagraph::hitTest(QPointF pos) const
{
    const QList<Line> &all = lines();
    if (all.isEmpty())
        return 0;
    const QPointF at = pos - m_lines->origin;
    if (at.y() < all.first().y)
        return 0;
    const int i = lineAt(at.y());
    const QTextLayout &layout = slice(i / kSliceLines);
    return all[i / kSliceLines * kSliceLines].start + layout.lineAt(i % kSliceLines).xToCursor(at.x());
}

QString LongParagraph::anchorAt(QPointF pos) const
{
    const QList<Line> &all = lines();
    if (all.isEmpty())
        return {};
    const QPointF at = pos - m_lines->origin;
    const int i = lineAt(at.y());
    if (at.y() < all[i].y || at.y() >= all[i].y + all[i].height)
        return {};
    const QTextLine line = slice(i / kSliceLines).lineAt(i % kSliceLines);
    const qreal a = line.cursorToX(line.textStart());
    const qreal b = line.cursorToX(line.textStart() + line.textLength());
    if (at.x() < qMin(a, b) || at.x() > qMax(a, b))
        return {};
    const int position =
        all[i / kSliceLines * kSliceLines].start + line.xToCursor(at.x(), QTextLine::CursorOnCharacter);
    for (const QTextLayout::FormatRange &range : m_formats)
        if (position >= range.start && position < range.start + range.length)
            return range.format.anchorHref();
    return {};
}

QRectF LongParagraph::cursorRect(int position) const
{
    const QList<Line> &all = lines();
    if (all.isEmpty())
        return {};
    const int i = lineOf(position);
    const QTextLine line = slice(i / kSliceLines).lineAt(i % kSliceLines);
    const int from = all[i / kSliceLines * kSliceLines].start;
    const QPointF origin = m_lines->origin;
    return {origin.x() + line.cursorToX(position - from), origin.y() + all[i].y, 1, all[i].height};
}

} // namespace chat
