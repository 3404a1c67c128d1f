#include "platform/ServiceText.h"

#include "platform/Graphemes.h"
#include "platform/JsonPrefix.h"

#include <QJsonArray>
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

// A value as compact JSON (a number as JSON writes it).
QString scalarText(const QJsonValue &value)
{
    const QByteArray json = QJsonDocument(QJsonArray{value}).toJson(QJsonDocument::Compact);
    return QString::fromUtf8(json.mid(1, json.size() - 2));
}

QString objectWords(const QJsonObject &object);

// The words of a value: a string or a number as it is, the first item of a
// list that has words, an object's message or else its code or type.
QString words(const QJsonValue &value)
{
    switch (value.type()) {
    case QJsonValue::String:
        return value.toString().trimmed().isEmpty() ? QString() : value.toString();
    case QJsonValue::Double:
        return scalarText(value);
    case QJsonValue::Array:
        for (const QJsonValue &item : value.toArray()) {
            if (QString found = words(item); !found.isEmpty())
                return found;
        }
        return {};
    case QJsonValue::Object:
        return objectWords(value.toObject());
    default:
        return {};
    }
}

// The first of the keys that has words.
QString firstWords(const QJsonObject &object, std::initializer_list<const char *> keys)
{
    for (const char *key : keys) {
        if (QString found = words(object.value(QLatin1String(key))); !found.isEmpty())
            return found;
    }
    return {};
}

QString messageWords(const QJsonObject &object)
{
    return firstWords(object, {"message", "msg", "detail", "error_description", "error"});
}

// An error object without a message still names itself.
QString nameWords(const QJsonObject &object)
{
    for (const char *key : {"code", "type"}) {
        const QJsonValue value = object.value(QLatin1String(key));
        if ((value.isString() || value.isDouble()) && !words(value).isEmpty())
            return words(value);
    }
    return {};
}

QString objectWords(const QJsonObject &object)
{
    if (QString found = messageWords(object); !found.isEmpty())
        return found;
    return nameWords(object);
}

// The words of a whole body: the error's message comes first, the body's
// own words next, the error's code or type last. A code at the top level
// is no word of the service's.
QString bodyWords(const QJsonObject &body)
{
    const QJsonValue error = body.value(QStringLiteral("error"));
    if (error.isObject()) {
        if (QString found = messageWords(error.toObject()); !found.isEmpty())
            return found;
    }
    if (QString found = firstWords(body, {"message", "msg", "error_description", "detail", "errors"}); !found.isEmpty())
        return found;
    if (error.isObject())
        return nameWords(error.toObject());
    return words(error);
}

// Nothing but nulls, blank strings and empty lists or objects.
bool holdsNothing(const QJsonValue &value)
{
    switch (value.type()) {
    case QJsonValue::Null:
    case QJsonValue::Undefined:
        return true;
    case QJsonValue::String:
        return value.toString().trimmed().isEmpty();
    case QJsonValue::Array:
        for (const QJsonValue &item : value.toArray()) {
            if (!holdsNothing(item))
                return false;
        }
        return true;
    case QJsonValue::Object:
        for (const QJsonValue &item : value.toObject()) {
            if (!holdsNothing(item))
                return false;
        }
        return true;
    default:
        return false;
    }
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

// The page with comments, scripts and styles blanked out (same length), so
// no tag inside them is taken for one of the page's.
QString withoutHiddenParts(QStringView html)
{
    QString out = html.toString();
    const auto blank = [&out](qsizetype from, qsizetype to) {
        for (qsizetype k = from; k < to; ++k)
            out[k] = u' ';
    };
    qsizetype i = 0;
    while ((i = html.indexOf(u'<', i)) >= 0) {
        if (html.sliced(i).startsWith(u"<!--")) {
            const qsizetype end = html.indexOf(u"-->", i + 4);
            const qsizetype stop = end < 0 ? html.size() : end + 3;
            blank(i, stop);
            i = stop;
            continue;
        }
        bool skipped = false;
        for (QStringView raw : {QStringView(u"script"), QStringView(u"style")}) {
            if (!startsTag(html, i + 1, raw))
                continue;
            const qsizetype end = html.indexOf(QStringLiteral("</") + raw.toString(), i + 1, Qt::CaseInsensitive);
            const qsizetype gt = end < 0 ? -1 : html.indexOf(u'>', end);
            const qsizetype stop = gt < 0 ? html.size() : gt + 1;
            blank(i, stop);
            i = stop;
            skipped = true;
            break;
        }
        if (!skipped)
            ++i;
    }
    return out;
}

QString htmlWords(QStringView page)
{
    const QString shown = withoutHiddenParts(page);
    const QStringView html(shown);
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
    // Stateful: a character cut at the limit is left out, not replaced. A
    // byte-order mark is dropped.
    QStringDecoder decoder(QStringDecoder::Utf8);
    QString text = decoder(body);

    const QStringView trimmed = QStringView(text).trimmed();
    if (trimmed.startsWith(u'{') || trimmed.startsWith(u'[')) {
        QJsonDocument doc = QJsonDocument::fromJson(trimmed.toUtf8());
        const bool whole = !doc.isNull();
        if (!whole) {
            // Cut at the limit, or slow to come: what arrived is read.
            const QString closed = closedJsonPrefix(trimmed);
            if (!closed.isEmpty())
                doc = QJsonDocument::fromJson(closed.toUtf8());
        }
        const QJsonValue value = doc.isObject() ? QJsonValue(doc.object()) : QJsonValue(doc.array());
        if (!doc.isNull()) {
            const QString found = doc.isObject() ? bodyWords(doc.object()) : words(value);
            if (!found.isEmpty())
                return forDisplay(found);
            // Only a whole body can be known to say nothing.
            if (whole && holdsNothing(value))
                return {};
        }
    } else if (trimmed.startsWith(u'<')) {
        const QString found = htmlWords(trimmed);
        if (!found.isEmpty())
            return forDisplay(found);
    }
    // Plain text: its lines joined as they are.
    text.remove(u'\r');
    text.remove(u'\n');
    return forDisplay(text).trimmed();
}

QString errorText(const QJsonValue &error)
{
    if (const QString found = words(error); !found.isEmpty())
        return forDisplay(found);
    if (holdsNothing(error))
        return {};
    return forDisplay(scalarText(error));
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
    if (seconds <= 3600)
        return QStringLiteral("Try again in %1 min").arg((seconds + 59) / 60);
    return QStringLiteral("Try again later");
}

} // namespace platform::ServiceText
