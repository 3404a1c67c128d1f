#include "chat/markdown/MarkdownRenderer.h"

#include <QFontMetricsF>
#include <QAbstractTextDocumentLayout>
#include <QTextBlock>
#include <QTextLayout>

#include <algorithm>
#include <cmath>

namespace chat {

using Kind = MarkdownText::Block::Kind;

namespace {

// Lines are cut at line feeds; a carriage return before one goes with it,
// and a lone one inside prose counts as a line feed.
QString proseLine(QStringView line)
{
    QString out = line.toString();
    out.replace(u'\r', u'\n');
    return out;
}

QStringView chopReturn(QStringView line)
{
    return line.endsWith(u'\r') ? line.chopped(1) : line;
}

// flushCode: one trailing empty line is not part of the code.
void dropClosingBlank(QStringList &lines)
{
    if (lines.size() >= 2 && lines.last().isEmpty())
        lines.removeLast();
}

} // namespace

// What is final goes into the renderer's pieces.
struct MarkdownRenderer::Finished final : Sink {
    MarkdownRenderer &r;
    explicit Finished(MarkdownRenderer &renderer) : r(renderer) {}
    void prose(QString markdown) override
    {
        // The tail usually holds this block laid out already: keep that.
        if (!r.m_tail.empty() && r.m_tail.front().kind == Kind::Prose && r.m_tail.front().exact &&
            r.m_tail.front().markdown == markdown) {
            r.m_pieces.push_back(std::move(r.m_tail.front()));
            r.m_tail.erase(r.m_tail.begin());
            return;
        }
        r.m_pieces.push_back(r.makeProse(std::move(markdown)));
    }
    void codeOpened(std::optional<QString> language) override { r.m_openCode = Code{std::move(language), {}, 0}; }
    void codeLine(QString line) override { r.addCodeLine(*r.m_openCode, std::move(line)); }
    void codeClosed() override
    {
        Piece piece;
        piece.kind = Kind::Code;
        piece.code = std::move(*r.m_openCode);
        r.m_openCode.reset();
        dropClosingBlank(piece.code.lines);
        piece.height = r.codeHeight(piece.code);
        piece.exact = true;
        r.m_pieces.push_back(std::move(piece));
    }
};

// What the unfinished end of the text would make of it, were it complete.
struct MarkdownRenderer::Provisional final : Sink {
    const MarkdownRenderer &r;
    std::vector<Piece> pieces;
    std::optional<Code> open;
    Provisional(const MarkdownRenderer &renderer, std::optional<Code> openCode)
        : r(renderer), open(std::move(openCode)) {}
    void prose(QString markdown) override { pieces.push_back(r.makeProse(std::move(markdown))); }
    void codeOpened(std::optional<QString> language) override { open = Code{std::move(language), {}, 0}; }
    void codeLine(QString line) override { r.addCodeLine(*open, std::move(line)); }
    void codeClosed() override
    {
        Piece piece;
        piece.kind = Kind::Code;
        piece.code = std::move(*open);
        open.reset();
        dropClosingBlank(piece.code.lines);
        piece.height = r.codeHeight(piece.code);
        piece.exact = true;
        pieces.push_back(std::move(piece));
    }
};

MarkdownRenderer::MarkdownRenderer(const MarkdownStyle &style, qreal width, Mode mode)
    : m_style(style), m_width(qMax<qreal>(1, width)), m_mode(mode)
{
    const QFontMetricsF mono(style.mono);
    m_codeLine = mono.lineSpacing();
    m_codeHeader = QFontMetricsF(style.label).height() + 16;
    const QFontMetricsF body(style.body);
    m_avgChar = body.averageCharWidth();
    m_proseLine = body.lineSpacing() + style.lineSpacing;
}

bool MarkdownRenderer::restyle(const MarkdownStyle &style)
{
    const MarkdownStyle &now = m_style;
    if (style.body != now.body || style.mono != now.mono || style.label != now.label ||
        style.lineSpacing != now.lineSpacing || style.blockSpacing != now.blockSpacing || style.link != now.link ||
        style.rule != now.rule)
        return false;
    m_style = style;
    return true;
}

void MarkdownRenderer::append(QStringView fragment)
{
    if (fragment.isEmpty() || m_finished)
        return;
    m_text.append(fragment);
    m_tailDirty = true;
    if (m_mode == Mode::Markdown && fragment.contains(u'\n'))
        consumeLines();
}

void MarkdownRenderer::setText(const QString &text)
{
    if (text.size() >= m_text.size() && QStringView(text).first(m_text.size()) == m_text && !m_finished) {
        append(QStringView(text).sliced(m_text.size()));
        return;
    }
    *this = MarkdownRenderer(m_style, m_width, m_mode);
    append(text);
}

void MarkdownRenderer::consumeLines()
{
    Finished sink(*this);
    for (;;) {
        const qsizetype end = m_text.indexOf(u'\n', m_lineStart);
        if (end < 0)
            break;
        feedLine(m_state, QStringView(m_text).sliced(m_lineStart, end - m_lineStart), sink);
        m_lineStart = end + 1;
    }
}

void MarkdownRenderer::finish()
{
    if (m_finished)
        return;
    if (m_mode == Mode::Plain) {
        finishPlain();
    } else {
        Finished sink(*this);
        feedLine(m_state, QStringView(m_text).sliced(m_lineStart), sink);
        m_lineStart = m_text.size();
        endText(m_state, sink);
    }
    m_finished = true;
    m_tail.clear();
    m_tailDirty = false;
}

void MarkdownRenderer::finishPlain()
{
    // Plain text in pieces of a few thousand characters, cut at line ends,
    // so a long paste is laid out only where it is seen.
    constexpr qsizetype kPiece = 4000;
    qsizetype from = 0;
    while (from < m_text.size()) {
        qsizetype cut = m_text.size();
        if (cut - from > kPiece) {
            const qsizetype nl = m_text.indexOf(u'\n', from + kPiece);
            cut = nl < 0 ? m_text.size() : nl;
        }
        Piece piece;
        piece.markdown = m_text.sliced(from, cut - from);
        piece.height = estimate(piece.markdown);
        m_pieces.push_back(std::move(piece));
        from = cut + 1;
    }
}

void MarkdownRenderer::feedLine(State &state, QStringView rawLine, Sink &sink)
{
    const QStringView line = chopReturn(rawLine);
    if (MarkdownText::isFenceLine(line)) {
        if (state.inCode) {
            sink.codeClosed();
            state.inCode = false;
        } else {
            endProse(state, sink);
            sink.codeOpened(MarkdownText::fenceLanguage(line));
            state.inCode = true;
        }
        return;
    }
    if (state.inCode) {
        sink.codeLine(line.toString());
        return;
    }
    const qsizetype scanFrom = qMax<qsizetype>(0, state.paragraph.size() - 1);
    if (state.blockHasLine)
        state.paragraph.append(u'\n');
    state.paragraph.append(proseLine(line));
    state.blockHasLine = true;
    // A paragraph ends at every "\n\n", as the clean-up splits them.
    qsizetype at = state.paragraph.indexOf(QLatin1String("\n\n"), scanFrom);
    while (at >= 0) {
        closeParagraph(state, QStringView(state.paragraph).first(at), sink);
        state.paragraph.remove(0, at + 2);
        at = state.paragraph.indexOf(QLatin1String("\n\n"));
    }
}

void MarkdownRenderer::closeParagraph(State &state, QStringView raw, Sink &sink)
{
    QString normalized = MarkdownText::normalizeParagraph(raw);
    if (normalized.isEmpty())
        return;
    if (!state.chunk.isEmpty() && !MarkdownText::startsOrderedItem(normalized)) {
        sink.prose(state.chunk.join(QLatin1String("\n\n")));
        state.chunk.clear();
    }
    state.chunk.append(std::move(normalized));
}

void MarkdownRenderer::endProse(State &state, Sink &sink)
{
    closeParagraph(state, state.paragraph, sink);
    state.paragraph.clear();
    state.blockHasLine = false;
    if (!state.chunk.isEmpty())
        sink.prose(state.chunk.join(QLatin1String("\n\n")));
    state.chunk.clear();
}

void MarkdownRenderer::endText(State &state, Sink &sink)
{
    if (state.inCode) {
        sink.codeClosed();
        state.inCode = false;
    } else {
        endProse(state, sink);
    }
}

bool MarkdownRenderer::refresh(bool force)
{
    if (!m_tailDirty || m_finished)
        return true;
    if (m_mode == Mode::Plain) {
        // A user's text never streams; show it whole.
        finish();
        return true;
    }
    if (!force && m_sinceTail.isValid() && m_sinceTail.nsecsElapsed() < 3 * m_tailCost)
        return false;
    QElapsedTimer cost;
    cost.start();

    State state = m_state;
    Provisional sink(*this, m_openCode);
    feedLine(state, QStringView(m_text).sliced(m_lineStart), sink);
    endText(state, sink);

    // Keep what did not change from the last rebuild.
    std::vector<Piece> previous = std::move(m_tail);
    for (std::size_t i = 0; i < sink.pieces.size(); ++i) {
        Piece &piece = sink.pieces[i];
        if (piece.kind == Kind::Prose && i < previous.size() && previous[i].kind == Kind::Prose &&
            previous[i].markdown == piece.markdown && previous[i].exact) {
            piece = std::move(previous[i]);
        }
    }
    m_tail = std::move(sink.pieces);
    // The tail is what one sees while a reply streams: lay it out now.
    for (Piece &piece : m_tail)
        if (!piece.exact)
            measure(piece, true);
    m_tailDirty = false;
    m_tailCost = cost.nsecsElapsed();
    m_sinceTail.start();
    return true;
}

MarkdownRenderer::Piece MarkdownRenderer::makeProse(QString markdown) const
{
    Piece piece;
    piece.kind = Kind::Prose;
    piece.height = estimate(markdown);
    piece.markdown = std::move(markdown);
    return piece;
}

void MarkdownRenderer::addCodeLine(Code &code, QString line) const
{
    const QString shown = expandTabs(line);
    // A very long line is measured by its length: shaping it all costs more
    // than the width is worth.
    const qreal advance = shown.size() > 2000 ? shown.size() * QFontMetricsF(m_style.mono).averageCharWidth()
                                              : QFontMetricsF(m_style.mono).horizontalAdvance(shown);
    code.widest = qMax(code.widest, advance);
    code.lines.append(std::move(line));
}

qreal MarkdownRenderer::codeHeight(const Code &code) const
{
    return m_codeHeader + 2 * kCodePadding + qMax<qsizetype>(1, code.lines.size()) * m_codeLine;
}

qreal MarkdownRenderer::estimate(QStringView markdown) const
{
    return estimate(markdown, m_width, m_avgChar, m_proseLine);
}

qreal MarkdownRenderer::estimate(QStringView markdown, qreal width, qreal averageChar, qreal lineHeight)
{
    const qreal perLine = qMax<qreal>(1, std::floor(width / qMax<qreal>(1, averageChar)));
    qreal lines = 0;
    for (QStringView line : markdown.split(u'\n'))
        lines += qMax<qreal>(1, std::ceil(line.size() / perLine));
    return lines * lineHeight;
}

qreal MarkdownRenderer::narrowestLayoutWidth(const MarkdownStyle &style)
{
    return 8 * QFontMetricsF(style.body).averageCharWidth();
}

qreal MarkdownRenderer::estimateHeight(const MarkdownStyle &style, QStringView text, qreal width)
{
    const QFontMetricsF body(style.body);
    return estimate(text, qMax<qreal>(1, width), body.averageCharWidth(), body.lineSpacing() + style.lineSpacing);
}

void MarkdownRenderer::measure(Piece &piece, bool whole) const
{
    if (!piece.doc) {
        piece.doc = std::make_unique<MarkdownDocument>(m_style);
        if (m_mode == Mode::Plain)
            piece.doc->setPlain(piece.markdown);
        else
            piece.doc->setProse(piece.markdown);
        if (!whole && LongParagraph::applies(*piece.doc)) {
            piece.paragraph = std::make_unique<LongParagraph>(
                *piece.doc, LongParagraph::Source{piece.markdown, m_mode == Mode::Plain, m_style, m_width});
            if (m_awaitsLines)
                piece.paragraph->awaitLines(LongParagraph::kLinesWait);
        }
    }
    if (piece.paragraph) {
        if (piece.paragraph->adopt()) {
            piece.height = piece.paragraph->height();
            piece.exact = true;
        }
        return;
    }
    piece.doc->setTextWidth(m_width);
    piece.height = std::ceil(piece.doc->documentLayout()->documentSize().height());
    piece.exact = true;
    // Lines keep their shaped glyphs once drawn: a document is drawn again
    // at every scroll step and would otherwise be shaped again each time.
    for (QTextBlock block = piece.doc->begin(); block.isValid(); block = block.next())
        if (QTextLayout *layout = block.layout())
            layout->setCacheEnabled(true);
}

int MarkdownRenderer::count() const
{
    return int(m_pieces.size() + m_tail.size());
}

const MarkdownRenderer::Piece &MarkdownRenderer::piece(int index) const
{
    if (std::size_t(index) < m_pieces.size())
        return m_pieces[index];
    return m_tail[index - m_pieces.size()];
}

MarkdownRenderer::Piece &MarkdownRenderer::mutablePiece(int index)
{
    if (std::size_t(index) < m_pieces.size())
        return m_pieces[index];
    return m_tail[index - m_pieces.size()];
}

bool MarkdownRenderer::layOut(int index)
{
    Piece &piece = mutablePiece(index);
    if (piece.exact)
        return false;
    const qreal before = piece.height;
    measure(piece);
    if (!piece.exact || piece.height == before)
        return false;
    invalidateTops(index + 1);
    return true;
}

void MarkdownRenderer::layOutAll()
{
    for (int i = 0; i < count(); ++i) {
        layOut(i);
        waitForLines(i);
    }
}

bool MarkdownRenderer::waitForLines(int index)
{
    if (index < 0 || index >= count() || !piece(index).waiting())
        return false;
    mutablePiece(index).paragraph->wait();
    layOut(index);
    return true;
}

bool MarkdownRenderer::layOutSome(qint64 nanoseconds)
{
    QElapsedTimer clock;
    clock.start();
    // At least one piece a call: a call that lost the processor before its
    // first piece still moves the layout on.
    bool laidOne = false;
    for (int i = 0; i < count(); ++i) {
        if (piece(i).exact)
            continue;
        if (piece(i).waiting()) {
            layOut(i); // takes the lines if the worker is done
            continue;
        }
        if (laidOne && clock.nsecsElapsed() >= nanoseconds)
            return false;
        layOut(i);
        laidOne = true;
    }
    return true;
}

void MarkdownRenderer::invalidateTops(int from)
{
    m_topsValid = qMin(m_topsValid, from);
}

qreal MarkdownRenderer::top(int index) const
{
    const int finished = int(m_pieces.size());
    if (int(m_tops.size()) < finished + 1)
        m_tops.resize(finished + 1);
    if (m_topsValid > finished)
        m_topsValid = finished;
    if (m_topsValid == 0) {
        m_tops[0] = 0;
        m_topsValid = 1;
    }
    const int upTo = qMin(index, finished);
    for (int i = m_topsValid; i <= upTo; ++i)
        m_tops[i] = m_tops[i - 1] + m_pieces[i - 1].height + m_style.blockSpacing;
    m_topsValid = qMax(m_topsValid, upTo + 1);
    qreal y = m_tops[upTo];
    for (int i = upTo; i < index; ++i)
        y += piece(i).height + m_style.blockSpacing;
    return y;
}

qreal MarkdownRenderer::height() const
{
    const int n = count();
    if (n == 0)
        return 0;
    return top(n - 1) + piece(n - 1).height;
}

int MarkdownRenderer::pieceAt(qreal y) const
{
    int lo = 0;
    int hi = count();
    while (lo < hi) {
        const int mid = (lo + hi) / 2;
        if (top(mid) + piece(mid).height < y)
            lo = mid + 1;
        else
            hi = mid;
    }
    return lo;
}

QList<MarkdownText::Block> MarkdownRenderer::blocks() const
{
    QList<MarkdownText::Block> out;
    for (int i = 0; i < count(); ++i) {
        const Piece &p = piece(i);
        if (p.kind == Kind::Code)
            out.append(MarkdownText::Block::code(p.code.language, p.code.text()));
        else
            out.append(MarkdownText::Block::prose(p.markdown));
    }
    return out;
}

QString MarkdownRenderer::expandTabs(const QString &line)
{
    if (!line.contains(u'\t'))
        return line;
    QString out;
    out.reserve(line.size() + 16);
    for (QChar c : line) {
        if (c == u'\t') {
            const qsizetype pad = 4 - out.size() % 4;
            out.append(QString(pad, u' '));
        } else {
            out.append(c);
        }
    }
    return out;
}

} // namespace chat
