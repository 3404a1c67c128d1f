#include "chat/markdown/CharacterWrap.h"

#include <QHash>
#include <QTextBoundaryFinder>
#include <QThread>
#include <QtConcurrent/QtConcurrentMap>

#include <cmath>
#include <vector>

namespace chat::CharacterWrap {

namespace {

// Characters that neither join nor carry marks: a word of them is shaped
// alone as in its run (a kerning with the next character is measured with it).
bool measuredAlone(char16_t c)
{
    return (c >= 0x20 && c <= 0x7e) || (c >= 0xa1 && c <= 0xff && c != 0xad) || (c >= 0x2010 && c <= 0x2027) ||
           (c >= 0x2030 && c <= 0x205e) || (c >= 0x3000 && c <= 0x303f) || (c >= 0x3041 && c <= 0x3096) ||
           (c >= 0x309b && c <= 0x30ff) || (c >= 0x3400 && c <= 0x4dbf) || (c >= 0x4e00 && c <= 0x9fff) ||
           (c >= 0xac00 && c <= 0xd7a3) || (c >= 0xf900 && c <= 0xfaff) || (c >= 0xff01 && c <= 0xffdc);
}

// Ideographs: the fonts kern none of them with its neighbour.
bool isIdeograph(char16_t c)
{
    return (c >= 0x3400 && c <= 0x4dbf) || (c >= 0x4e00 && c <= 0x9fff) || (c >= 0xf900 && c <= 0xfaff);
}

// The spaces the text layout lets hang at the end of a line.
bool isSpace(char16_t c)
{
    return c == u' ' || c == 0x3000;
}

struct Metrics {
    qint64 advance = 0; // in 64ths of a pixel, as the text layout adds widths up
    qint64 overhang = 0; // how far the last glyph's ink reaches past its advance
    qreal ascent = 0;
    qreal descent = 0;
};

// A distinct word (or space) in the formats of its characters, with the
// character after it where the fonts may kern across the two.
struct Word {
    QString text;
    QList<int> formats; // one per character, and the context's last
    QChar context;      // null: none
};

// One thread's share of the words.
struct Share {
    QList<Word> words;
    QFont font;                     // its own, not shared with another thread
    QList<QTextCharFormat> formats; // the same
    QTextOption option;
    std::vector<Metrics> metrics;
};

// Each word on a line of its own (a forced break after it): the line is as
// wide and as high as the word makes a line.
void measure(Share &share)
{
    // Each word on a line of its own (a forced break after it), followed by
    // its context; with a context, the word alone on the next line too.
    QString text;
    QList<QTextLayout::FormatRange> ranges;
    const auto add = [&](QChar c, int format) {
        const int at = int(text.size());
        const QTextCharFormat &f = share.formats[format];
        if (!ranges.isEmpty() && ranges.last().start + ranges.last().length == at && ranges.last().format == f)
            ++ranges.last().length;
        else
            ranges.append({at, 1, f});
        text += c;
    };
    for (const Word &word : std::as_const(share.words)) {
        for (qsizetype i = 0; i < word.text.size(); ++i)
            add(word.text[i], word.formats[i]);
        if (!word.context.isNull()) {
            add(word.context, word.formats.last());
            text += QChar::LineSeparator;
            for (qsizetype i = 0; i < word.text.size(); ++i)
                add(word.text[i], word.formats[i]);
        }
        text += QChar::LineSeparator;
    }
    QTextLayout layout(text, share.font);
    layout.setTextOption(share.option);
    layout.setFormats(ranges);
    share.metrics.resize(std::size_t(share.words.size()));
    layout.beginLayout();
    const auto next = [&layout] {
        QTextLine line = layout.createLine();
        if (line.isValid())
            line.setLineWidth(1e6);
        return line;
    };
    // The word's advance is where the cursor stands after it (a kerning with
    // the context included); a line's width also counts the ink of its last
    // glyph past the advance, which the wrapping counts at a line's end.
    const auto advanceOf = [](const QTextLine &line, qsizetype length) {
        return qRound64((line.cursorToX(line.textStart() + int(length)) - line.x()) * 64);
    };
    for (std::size_t i = 0; i < share.metrics.size(); ++i) {
        const Word &word = share.words[qsizetype(i)];
        QTextLine line = next();
        if (!line.isValid())
            break;
        const qint64 advance = advanceOf(line, word.text.size());
        if (!word.context.isNull() && !(line = next()).isValid())
            break;
        const qint64 natural = qRound64(line.naturalTextWidth() * 64);
        share.metrics[i] = {advance, qMax<qint64>(0, natural - advanceOf(line, word.text.size())), line.ascent(),
                            line.descent()};
    }
    layout.endLayout();
}

// A copy that shares nothing with the one given: Qt's font and format data
// keep caches that each thread using them would rewrite.
QTextCharFormat ownFormat(const QTextCharFormat &format)
{
    QTextCharFormat own;
    const QMap<int, QVariant> properties = format.properties();
    for (auto it = properties.cbegin(); it != properties.cend(); ++it)
        own.setProperty(it.key(), it.value());
    return own;
}

QFont ownFont(const QFont &font)
{
    QFont own;
    own.fromString(font.toString());
    own.setFamilies(font.families());
    return own;
}

} // namespace

Paragraph detached(const Paragraph &paragraph)
{
    Paragraph out = paragraph;
    out.font = ownFont(paragraph.font);
    for (QTextLayout::FormatRange &range : out.formats)
        range.format = ownFormat(range.format);
    return out;
}

bool applies(QStringView text)
{
    for (const QChar c : text)
        if (!measuredAlone(c.unicode()))
            return false;
    return true;
}

qsizetype distinctCharacters(QStringView text)
{
    std::vector<bool> seen(0x10000, false);
    qsizetype count = 0;
    for (const QChar c : text)
        if (!seen[c.unicode()]) {
            seen[c.unicode()] = true;
            ++count;
        }
    return count;
}

std::optional<ParagraphLines> lay(const Paragraph &paragraph, const Frame &frame)
{
    const QString &text = paragraph.text;
    const QTextOption::WrapMode wrap = paragraph.option.wrapMode();
    if (text.isEmpty() || !applies(text) || paragraph.option.textDirection() == Qt::RightToLeft ||
        !(paragraph.option.alignment() & Qt::AlignLeft) ||
        (wrap != QTextOption::WordWrap && wrap != QTextOption::WrapAtWordBoundaryOrAnywhere))
        return std::nullopt;

    // The format of each character, as an index into the distinct ones.
    QList<QTextCharFormat> formats{QTextCharFormat()};
    std::vector<int> formatAt(std::size_t(text.size()), 0);
    for (const QTextLayout::FormatRange &range : paragraph.formats) {
        qsizetype index = formats.indexOf(range.format);
        if (index < 0) {
            index = formats.size();
            formats.append(range.format);
        }
        for (int i = qMax(0, range.start); i < qMin(int(text.size()), range.start + range.length); ++i)
            formatAt[std::size_t(i)] = int(index);
    }
    if (formats.size() > 16)
        return std::nullopt;

    std::vector<bool> breakBefore(std::size_t(text.size()) + 1, false);
    QTextBoundaryFinder breaks(QTextBoundaryFinder::Line, text);
    for (qsizetype p = breaks.toNextBoundary(); p > 0; p = breaks.toNextBoundary())
        breakBefore[std::size_t(p)] = true;

    // The text as the layout takes it in: words up to the next place a line
    // may break or a space, and spaces one by one. Each distinct one once:
    // one character (an ideograph) by a table, longer ones by their text.
    struct Unit {
        qsizetype start = 0;
        qsizetype end = 0;
        int word = 0;
        bool space = false;
    };
    std::vector<Unit> units;
    units.reserve(std::size_t(text.size()));
    QList<Word> words;
    constexpr int kNone = -1;
    std::vector<int> single(std::size_t(formats.size()) << 16, kNone);
    QHash<QString, int> longer;
    const qsizetype n = text.size();
    for (qsizetype pos = 0; pos < n;) {
        const bool space = isSpace(text[pos].unicode());
        qsizetype end = pos + 1;
        if (!space)
            while (end < n && !isSpace(text[end].unicode()) && !breakBefore[std::size_t(end)])
                ++end;
        // Kana, punctuation and Latin are kerned with what follows them.
        const QChar context =
            end < n && !(isIdeograph(text[end - 1].unicode()) && isIdeograph(text[end].unicode())) ? text[end] : QChar();
        int *slot = nullptr;
        if (end - pos == 1 && context.isNull()) {
            slot = &single[std::size_t(formatAt[std::size_t(pos)]) << 16 | text[pos].unicode()];
        } else {
            QString key = text.mid(pos, end - pos);
            key += context.isNull() ? QChar(0xffff) : context;
            for (qsizetype i = pos; i < end + (context.isNull() ? 0 : 1); ++i)
                key += QChar(char16_t(formatAt[std::size_t(i)]));
            slot = &longer.insert(key, longer.value(key, kNone)).value();
        }
        if (*slot == kNone) {
            *slot = int(words.size());
            Word word{text.mid(pos, end - pos), {}, context};
            for (qsizetype i = pos; i < end + (context.isNull() ? 0 : 1); ++i)
                word.formats.append(formatAt[std::size_t(i)]);
            words.append(std::move(word));
        }
        units.push_back({pos, end, *slot, space});
        pos = end;
    }

    // Split over a few cores, never all: one is left to the UI thread, and
    // each thread first sets up its own fonts (their fallbacks found anew),
    // which costs more than it saves past a few. This thread measures a
    // share too.
    const int cores = qBound(1, QThread::idealThreadCount() - 1, 4);
    const int shareCount = int(qBound(qsizetype(1), words.size() / 1024, qsizetype(cores)));
    std::vector<Share> work(static_cast<std::size_t>(shareCount));
    QTextOption measuring = paragraph.option;
    measuring.setWrapMode(QTextOption::NoWrap);
    for (int s = 0; s < shareCount; ++s) {
        const qsizetype from = words.size() * s / shareCount, to = words.size() * (s + 1) / shareCount;
        Share &share = work[std::size_t(s)];
        share.words = words.mid(from, to - from);
        share.font = ownFont(paragraph.font);
        for (const QTextCharFormat &format : std::as_const(formats))
            share.formats.append(ownFormat(format));
        share.option = measuring;
    }
    QtConcurrent::blockingMap(work, measure);
    std::vector<Metrics> metrics;
    metrics.reserve(std::size_t(words.size()));
    for (Share &share : work) {
        if (share.metrics.size() != std::size_t(share.words.size()))
            return std::nullopt;
        metrics.insert(metrics.end(), share.metrics.begin(), share.metrics.end());
    }

    // As the text layout wraps: a word (up to the next place a line may
    // break, or a space) goes on the line when the line's text, the spaces
    // before the word and the word fit the width; spaces at the end of a
    // line hang past it.
    const qint64 width = qRound64(frame.lineWidth * 64);
    ParagraphLines out;
    out.origin = frame.origin;
    qreal y = frame.firstY;
    for (std::size_t u = 0; u < units.size();) {
        const qsizetype start = units[u].start;
        qint64 committed = 0, spaces = 0, overhang = 0;
        qreal ascent = 0, descent = 0;
        bool hasText = false;
        for (; u < units.size(); ++u) {
            const Unit &unit = units[u];
            const Metrics &m = metrics[std::size_t(unit.word)];
            if (unit.space) {
                spaces += m.advance;
            } else {
                if (hasText && committed + spaces + m.advance + m.overhang > width)
                    break;
                if (!hasText && m.advance + m.overhang > width)
                    return std::nullopt; // the layout would break the word itself
                committed += spaces + m.advance;
                overhang = m.overhang;
                spaces = 0;
                hasText = true;
            }
            ascent = qMax(ascent, m.ascent);
            descent = qMax(descent, m.descent);
        }
        const qsizetype end = u < units.size() ? units[u].start : n;
        const qreal height = std::ceil(ascent + descent);
        out.lines.append({int(start), int(end - start), frame.x, y, height, frame.lineWidth,
                             qreal(committed + overhang) / 64});
        y += height + paragraph.lineSpacing;
    }
    const ParagraphLine &last = out.lines.constLast();
    out.height = std::ceil(frame.origin.y() + last.y + last.height + frame.below);
    return out;
}

} // namespace chat::CharacterWrap
