#include "chat/MarkdownText.h"

#include <QRegularExpression>

namespace chat::MarkdownText {

namespace {

// Spans the clean-up must not touch: code spans, link targets, autolinks
// and bare web addresses. Code spans come first: a link inside one is code.
const QRegularExpression &protectedSpans()
{
    static const QRegularExpression re(
        QStringLiteral(R"re((?<!`)(`+)(?!`).*?(?<!`)\1(?!`)|\]\([^)]*\)|<[A-Za-z][A-Za-z0-9+.\-]{1,31}:[^\s<>]*>|)re"
                       R"re((?:https?://|www\.)[^\s<>]+)re"),
        QRegularExpression::DotMatchesEverythingOption);
    return re;
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
    const QRegularExpression &re = protectedSpans();
    qsizetype from = 0;
    for (auto it = re.globalMatch(line); it.hasNext();) {
        const QRegularExpressionMatch m = it.next();
        if (m.capturedLength() == 0)
            continue;
        out += cleanUnprotected(line.sliced(from, m.capturedStart() - from));
        // A space right before the span may now meet one it ends with.
        if (out.endsWith(u' ') && line[m.capturedStart()] == u' ')
            out.chop(1);
        out += m.capturedView();
        from = m.capturedEnd();
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
