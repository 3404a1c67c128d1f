#include "platform/ServiceText.h"

#include "platform/Graphemes.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QStringDecoder>

namespace platform::ServiceText {

namespace {

bool isSpace(QChar c)
{
    return c.isSpace();
}

// Runs of white space made one space, none at the ends.
QString collapsed(QStringView text)
{
    QString out;
    out.reserve(text.size());
    bool space = false;
    for (const QChar c : text) {
        if (isSpace(c)) {
            space = !out.isEmpty();
            continue;
        }
        if (space)
            out += u' ';
        space = false;
        out += c;
    }
    return out;
}

// The first non-empty string among the keys, in order.
QString firstString(const QJsonObject &object)
{
    const QJsonValue error = object.value(QStringLiteral("error"));
    if (error.isObject()) {
        const QJsonValue message = error.toObject().value(QStringLiteral("message"));
        if (message.isString() && !message.toString().trimmed().isEmpty())
            return message.toString();
    }
    for (const char *key : {"message", "error_description", "detail", "error"}) {
        const QJsonValue value = object.value(QLatin1String(key));
        if (value.isString() && !value.toString().trimmed().isEmpty())
            return value.toString();
    }
    return {};
}

// &amp;, &lt;, &gt;, &quot;, &apos;, &#39;, &nbsp; and numeric references;
// anything else stays as written.
QString decodeEntities(QStringView text)
{
    if (!text.contains(u'&'))
        return text.toString();
    static const struct {
        QStringView name;
        char16_t value;
    } named[] = {{u"amp", u'&'}, {u"lt", u'<'}, {u"gt", u'>'}, {u"quot", u'"'}, {u"apos", u'\''}, {u"nbsp", u' '}};
    QString out;
    out.reserve(text.size());
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text[i];
        const qsizetype semicolon = c == u'&' ? text.indexOf(u';', i + 1) : -1;
        if (semicolon < 0 || semicolon - i > 10) {
            out += c;
            continue;
        }
        const QStringView name = text.sliced(i + 1, semicolon - i - 1);
        bool done = false;
        if (name.startsWith(u'#') && name.size() > 1) {
            bool ok = false;
            const bool hex = name[1] == u'x' || name[1] == u'X';
            const uint code = hex ? name.sliced(2).toUInt(&ok, 16) : name.sliced(1).toUInt(&ok, 10);
            if (ok && code > 0 && code <= 0x10FFFF && !(code >= 0xD800 && code <= 0xDFFF)) {
                const char32_t ucs4 = code;
                out += QString::fromUcs4(&ucs4, 1);
                done = true;
            }
        } else {
            for (const auto &entity : named) {
                if (name == entity.name) {
                    out += QChar(entity.value);
                    done = true;
                    break;
                }
            }
        }
        if (done)
            i = semicolon;
        else
            out += c;
    }
    return out;
}

bool startsTag(QStringView html, qsizetype at, QStringView name)
{
    if (!html.sliced(at).startsWith(name, Qt::CaseInsensitive))
        return false;
    const qsizetype after = at + name.size();
    return after >= html.size() || !html[after].isLetterOrNumber();
}

bool isInlineTag(QStringView name)
{
    static const QStringView inlineTags[] = {u"a",    u"b",    u"i",   u"em",  u"strong", u"span", u"code",
                                             u"small", u"big",  u"u",   u"s",   u"sub",    u"sup",  u"font",
                                             u"abbr", u"tt",   u"kbd", u"var", u"cite",   u"q",    u"mark"};
    for (QStringView tag : inlineTags) {
        if (name.compare(tag, Qt::CaseInsensitive) == 0)
            return true;
    }
    return false;
}

// The page's text: scripts, styles and comments left out, a line break for
// every tag that is not inline. One pass.
QString visibleText(QStringView html)
{
    QString out;
    out.reserve(html.size());
    qsizetype i = 0;
    while (i < html.size()) {
        if (html[i] != u'<') {
            out += html[i++];
            continue;
        }
        if (html.sliced(i).startsWith(u"<!--")) {
            const qsizetype end = html.indexOf(u"-->", i + 4);
            i = end < 0 ? html.size() : end + 3;
            continue;
        }
        bool skipped = false;
        for (QStringView raw : {QStringView(u"script"), QStringView(u"style")}) {
            if (!startsTag(html, i + 1, raw))
                continue;
            const QString close = QStringLiteral("</") + raw.toString();
            const qsizetype end = html.indexOf(close, i + 1, Qt::CaseInsensitive);
            const qsizetype gt = end < 0 ? -1 : html.indexOf(u'>', end);
            i = gt < 0 ? html.size() : gt + 1;
            out += u'\n';
            skipped = true;
            break;
        }
        if (skipped)
            continue;
        const qsizetype gt = html.indexOf(u'>', i + 1);
        if (gt < 0)
            break; // an unclosed tag: the rest is markup
        qsizetype nameStart = i + 1;
        if (nameStart < gt && html[nameStart] == u'/')
            ++nameStart;
        qsizetype nameEnd = nameStart;
        while (nameEnd < gt && html[nameEnd].isLetterOrNumber())
            ++nameEnd;
        if (!isInlineTag(html.sliced(nameStart, nameEnd - nameStart)))
            out += u'\n';
        i = gt + 1;
    }
    return out;
}

QString htmlWords(QStringView html)
{
    for (qsizetype at = html.indexOf(u"<title", 0, Qt::CaseInsensitive); at >= 0;
         at = html.indexOf(u"<title", at + 1, Qt::CaseInsensitive)) {
        if (!startsTag(html, at + 1, u"title"))
            continue;
        const qsizetype gt = html.indexOf(u'>', at);
        if (gt < 0)
            break;
        const qsizetype close = html.indexOf(u"</title", gt, Qt::CaseInsensitive);
        const QStringView inner = html.sliced(gt + 1, (close < 0 ? html.size() : close) - gt - 1);
        const QString title = collapsed(decodeEntities(visibleText(inner)));
        if (!title.isEmpty())
            return title;
        break;
    }
    const QString text = visibleText(html);
    for (QStringView line : QStringView(text).split(u'\n')) {
        const QString words = collapsed(decodeEntities(line));
        if (!words.isEmpty())
            return words;
    }
    return {};
}

bool isInvisibleControl(QChar c)
{
    const char16_t u = c.unicode();
    // Embeddings, overrides and isolates: they reorder what is shown.
    return (u >= 0x202A && u <= 0x202E) || (u >= 0x2066 && u <= 0x2069);
}

} // namespace

QString fromBody(QByteArrayView body)
{
    body = body.first(std::min(body.size(), kBodyLimit));
    // Stateful: a character cut at the limit is left out, not replaced.
    QStringDecoder decoder(QStringDecoder::Utf8);
    QString text = decoder(body);

    const QStringView trimmed = QStringView(text).trimmed();
    if (trimmed.startsWith(u'{')) {
        const QJsonDocument doc = QJsonDocument::fromJson(body.toByteArray());
        if (doc.isObject()) {
            const QString words = firstString(doc.object());
            if (!words.isEmpty())
                return forDisplay(words);
        }
    } else if (trimmed.startsWith(u'<')) {
        const QString words = htmlWords(trimmed);
        if (!words.isEmpty())
            return forDisplay(words);
    }
    // Plain text: its lines joined as they are.
    text.remove(u'\r');
    text.remove(u'\n');
    return forDisplay(text);
}

QString forDisplay(const QString &text, qsizetype characters)
{
    QString out;
    out.reserve(text.size());
    for (const QChar c : text) {
        const QChar::Category category = c.category();
        if (c == u'\t' || c == u'\n' || category == QChar::Separator_Line || category == QChar::Separator_Paragraph)
            out += u' ';
        else if (category != QChar::Other_Control && !isInvisibleControl(c))
            out += c;
    }
    // Characters are counted in a window a little past the cut, so a long
    // text costs no more than a short one; it never splits a surrogate pair.
    QStringView window(out);
    if (window.size() > characters * 32 + 32) {
        window = window.first(characters * 32 + 32);
        if (window.back().isHighSurrogate())
            window.chop(1);
    }
    const qsizetype cut = Graphemes::offsetOf(window.toString(), characters);
    if (cut >= out.size())
        return out;
    out.truncate(cut);
    while (!out.isEmpty() && out.back().isSpace())
        out.chop(1);
    return out + QStringLiteral("\u2026");
}

std::optional<QString> retryHint(qint64 seconds)
{
    if (seconds <= 0)
        return std::nullopt;
    if (seconds < 100)
        return QStringLiteral("Try again in %1 s").arg(seconds);
    if (seconds < 100 * 60)
        return QStringLiteral("Try again in %1 min").arg((seconds + 59) / 60);
    return QStringLiteral("Try again in %1 h").arg((seconds + 3599) / 3600);
}

} // namespace platform::ServiceText
