#include "chat/markdown/MarkdownText.h"

#include <QHash>
#include <QRegularExpression>

namespace chat::MarkdownText {

namespace {

// Spans the clean-up must not touch, left to right: code spans, link
// targets, autolinks and bare web addresses (a link inside a code span is
// code). One pass over the line: a code span's closer (the next backtick run
// of the same length) and a link target's ")" come from tables built once,
// not from a scan ahead per opener, which made a line of backtick runs of
// rising length cost about n^1.5 and a line of "](" n^2.
struct Span {
    qsizetype start = 0;
    qsizetype end = 0;
};

// The regular expression's \s: ASCII white space only.
bool isAsciiSpace(QChar c)
{
    return c == u' ' || (c.unicode() >= 9 && c.unicode() <= 13);
}

bool isAddressChar(QChar c)
{
    return !isAsciiSpace(c) && c != u'<' && c != u'>';
}

bool isAsciiLetter(QChar c)
{
    return (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z');
}

bool isSchemeChar(QChar c)
{
    return isAsciiLetter(c) || (c >= u'0' && c <= u'9') || c == u'+' || c == u'.' || c == u'-';
}

// <scheme:address>, the scheme 2 to 32 characters; the end, or -1.
qsizetype autolinkEnd(QStringView line, qsizetype at)
{
    qsizetype i = at + 1;
    if (i >= line.size() || !isAsciiLetter(line[i]))
        return -1;
    ++i;
    const qsizetype schemeStart = i;
    while (i < line.size() && isSchemeChar(line[i]) && i - schemeStart < 31)
        ++i;
    if (i == schemeStart || i >= line.size() || line[i] != u':')
        return -1;
    ++i;
    while (i < line.size() && isAddressChar(line[i]))
        ++i;
    return i < line.size() && line[i] == u'>' ? i + 1 : -1;
}

// http://, https:// or www. and at least one more address character.
qsizetype bareAddressEnd(QStringView line, qsizetype at)
{
    const QStringView rest = line.sliced(at);
    qsizetype i = at;
    if (rest.startsWith(u"https://"))
        i += 8;
    else if (rest.startsWith(u"http://"))
        i += 7;
    else if (rest.startsWith(u"www."))
        i += 4;
    else
        return -1;
    const qsizetype body = i;
    while (i < line.size() && isAddressChar(line[i]))
        ++i;
    return i > body ? i : -1;
}

QList<Span> protectedSpans(QStringView line)
{
    struct Run {
        qsizetype start = 0;
        qsizetype length = 0;
        qsizetype closer = -1; // the next run of the same length
    };
    QList<Run> runs;
    for (qsizetype i = 0; i < line.size();) {
        if (line[i] != u'`') {
            ++i;
            continue;
        }
        const qsizetype start = i;
        while (i < line.size() && line[i] == u'`')
            ++i;
        runs.append({start, i - start});
    }
    QHash<qsizetype, qsizetype> nextOfLength;
    for (qsizetype r = runs.size() - 1; r >= 0; --r) {
        runs[r].closer = nextOfLength.value(runs[r].length, -1);
        nextOfLength.insert(runs[r].length, r);
    }

    QList<Span> spans;
    qsizetype run = 0;   // the first run that does not start before p
    qsizetype paren = 0; // no ")" lies in [p + 2, paren)
    for (qsizetype p = 0; p < line.size();) {
        const QChar c = line[p];
        qsizetype end = -1;
        if (c == u'`') {
            while (run < runs.size() && runs[run].start < p)
                ++run;
            if (run == runs.size() || runs[run].start != p) { // inside a run: never an opener
                ++p;
                continue;
            }
            const Run &opener = runs[run];
            if (opener.closer < 0) { // no closer: the backticks are prose
                p += opener.length;
                continue;
            }
            end = runs[opener.closer].start + opener.length;
        } else if (c == u']' && p + 1 < line.size() && line[p + 1] == u'(') {
            paren = qMax(paren, p + 2);
            while (paren < line.size() && line[paren] != u')')
                ++paren;
            if (paren < line.size())
                end = paren + 1;
        } else if (c == u'<') {
            end = autolinkEnd(line, p);
        } else if (c == u'h' || c == u'w') {
            end = bareAddressEnd(line, p);
        }
        if (end < 0) {
            ++p;
            continue;
        }
        spans.append({p, end});
        p = end;
    }
    return spans;
}

const QRegularExpression &sentenceEnd()
{
    static const QRegularExpression re(QStringLiteral("([.?!][\"'\u201D\u2019)]*)([A-Z])"));
    return re;
}

// A line that starts a Markdown block of its own: a list item, a heading, a
// block quote or a table row.
const QRegularExpression &structuralLine()
{
    static const QRegularExpression re(
        QStringLiteral(R"re(^[ \t]*(?:[-*+]|\d{1,9}[.)])(?:[ \t]|$)|^[ \t]{0,3}#{1,6}(?:[ \t]|$)|^[ \t]*>|^[ \t]*\|)re"));
    return re;
}

const QRegularExpression &headingLine()
{
    static const QRegularExpression re(QStringLiteral(R"re(^[ \t]{0,3}#{1,6}(?:[ \t]|$))re"));
    return re;
}

// Tabs to spaces, runs of spaces to one, and the sentence-end rule, outside
// protected spans.
QString cleanUnprotected(QStringView text)
{
    QString out;
    out.reserve(text.size());
    bool lastWasSpace = false;
    for (QChar c : text) {
        if (c == u'\t')
            c = u' ';
        if (c == u' ' && lastWasSpace)
            continue;
        lastWasSpace = c == u' ';
        out.append(c);
    }
    const QRegularExpression &re = sentenceEnd();
    if (re.isValid() && out.size() > 1)
        out.replace(re, QStringLiteral("\\1 \\2"));
    return out;
}

QString cleanLine(QStringView line)
{
    QString out;
    out.reserve(line.size());
    qsizetype from = 0;
    for (const Span &span : protectedSpans(line)) {
        out += cleanUnprotected(line.sliced(from, span.start - from));
        out += line.sliced(span.start, span.end - span.start);
        from = span.end;
    }
    QString rest = cleanUnprotected(line.sliced(from));
    if (out.endsWith(u' ') && rest.startsWith(u' '))
        rest.remove(0, 1);
    out += rest;
    return out;
}

} // namespace

QString squeezeSpaces(QStringView text)
{
    QString out;
    out.reserve(text.size());
    bool lastWasSpace = false;
    for (QChar c : text) {
        if (c == u' ' && lastWasSpace)
            continue;
        lastWasSpace = c == u' ';
        out.append(c);
    }
    return trimHorizontal(out).toString();
}

QString normalizeParagraph(QStringView paragraph)
{
    // Logical lines: raw lines joined by spaces, except that a structural
    // line starts a new one, and so does the line after a heading.
    struct Logical {
        QString indent;
        QString text;
    };
    QList<Logical> lines;
    bool previousIsHeading = false;
    for (QStringView raw : paragraph.split(u'\n')) {
        if (raw.endsWith(u'\r'))
            raw.chop(1);
        if (trimHorizontal(raw).isEmpty()) {
            if (!lines.isEmpty() && !previousIsHeading)
                lines.last().text += u' ';
            continue;
        }
        const bool structural = structuralLine().match(raw).hasMatch();
        if (lines.isEmpty() || structural || previousIsHeading) {
            Logical next;
            qsizetype indent = 0;
            while (indent < raw.size() && isHorizontalSpace(raw[indent]))
                ++indent;
            // The first line's indentation would turn it into indented code.
            if (!lines.isEmpty())
                next.indent = raw.first(indent).toString();
            next.text = raw.sliced(indent).toString();
            lines.append(next);
            previousIsHeading = headingLine().match(raw).hasMatch();
        } else {
            lines.last().text += u' ';
            lines.last().text += raw;
        }
    }

    QStringList out;
    for (const Logical &line : std::as_const(lines)) {
        const QString cleaned = trimHorizontal(cleanLine(line.text)).toString();
        out.append(line.indent + cleaned);
    }
    return trimHorizontal(out.join(u'\n')).toString();
}

QString normalizeProse(QStringView text)
{
    QString s = text.toString();
    s.replace(QLatin1String("\r\n"), QLatin1String("\n"));
    s.replace(u'\r', u'\n');
    s = s.trimmed();
    if (s.isEmpty())
        return {};
    QStringList paragraphs;
    for (QStringView p : QStringView(s).split(u"\n\n"))
        paragraphs.append(normalizeParagraph(p));
    return paragraphs.join(QLatin1String("\n\n"));
}

bool startsOrderedItem(QStringView paragraph)
{
    qsizetype digits = 0;
    while (digits < paragraph.size() && digits < 10 && paragraph[digits].isDigit() && paragraph[digits].unicode() < 128)
        ++digits;
    if (digits == 0 || digits > 9 || digits >= paragraph.size())
        return false;
    const QChar mark = paragraph[digits];
    if (mark != u'.' && mark != u')')
        return false;
    return digits + 1 == paragraph.size() || paragraph[digits + 1] == u' ' || paragraph[digits + 1] == u'\n';
}

} // namespace chat::MarkdownText
