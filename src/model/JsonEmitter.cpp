#include "model/JsonEmitter.h"

#include <algorithm>

namespace model {

namespace {

constexpr char kHex[] = "0123456789abcdef";

// Writes the escape of an ASCII byte that JSON does not allow raw; returns
// the position after it.
char *putEscape(char *p, unsigned c)
{
    *p++ = '\\';
    switch (c) {
    case '"': *p++ = '"'; break;
    case '\\': *p++ = '\\'; break;
    case '\n': *p++ = 'n'; break;
    case '\r': *p++ = 'r'; break;
    case '\t': *p++ = 't'; break;
    case '\b': *p++ = 'b'; break;
    case '\f': *p++ = 'f'; break;
    default:
        *p++ = 'u';
        *p++ = '0';
        *p++ = '0';
        *p++ = kHex[c >> 4];
        *p++ = kHex[c & 0xF];
    }
    return p;
}

} // namespace

void appendJsonString(QByteArray &out, QStringView text)
{
    // One pass from UTF-16 to escaped UTF-8, straight into the output: the
    // store encodes tens of megabytes of message text per full save.
    const qsizetype start = out.size();
    out.resize(start + 2 + text.size() * 6); // the longest form of a code unit is \u00XX
    char *p = out.data() + start;
    *p++ = '"';
    const char16_t *s = text.utf16();
    const char16_t *end = s + text.size();
    while (s < end) {
        const char16_t c = *s++;
        if (c < 0x80) {
            if (c >= 0x20 && c != '"' && c != '\\')
                *p++ = static_cast<char>(c);
            else
                p = putEscape(p, c);
        } else if (c < 0x800) {
            *p++ = static_cast<char>(0xC0 | (c >> 6));
            *p++ = static_cast<char>(0x80 | (c & 0x3F));
        } else if (QChar::isHighSurrogate(c) && s < end && QChar::isLowSurrogate(*s)) {
            const char32_t u = QChar::surrogateToUcs4(c, *s++);
            *p++ = static_cast<char>(0xF0 | (u >> 18));
            *p++ = static_cast<char>(0x80 | ((u >> 12) & 0x3F));
            *p++ = static_cast<char>(0x80 | ((u >> 6) & 0x3F));
            *p++ = static_cast<char>(0x80 | (u & 0x3F));
        } else {
            // A lone surrogate cannot be stored as UTF-8: the replacement character.
            const char32_t u = QChar::isSurrogate(c) ? 0xFFFD : c;
            *p++ = static_cast<char>(0xE0 | (u >> 12));
            *p++ = static_cast<char>(0x80 | ((u >> 6) & 0x3F));
            *p++ = static_cast<char>(0x80 | (u & 0x3F));
        }
    }
    *p++ = '"';
    out.truncate(p - out.constData());
}

void appendJsonString(QByteArray &out, QByteArrayView utf8)
{
    out.append('"');
    const char *p = utf8.data();
    const char *end = p + utf8.size();
    const char *run = p;
    for (; p < end; ++p) {
        const auto c = static_cast<unsigned char>(*p);
        if (c >= 0x20 && c != '"' && c != '\\')
            continue;
        out.append(run, p - run);
        run = p + 1;
        char esc[6];
        out.append(esc, putEscape(esc, c) - esc);
    }
    out.append(run, end - run);
    out.append('"');
}

void JsonEmitter::newline(int depth)
{
    static constexpr char kSpaces[] = "\n                                                                ";
    qsizetype n = depth * 2;
    m_out.append(kSpaces, 1 + std::min<qsizetype>(n, sizeof(kSpaces) - 2));
    for (n -= sizeof(kSpaces) - 2; n > 0; --n)
        m_out.append(' ');
}

void JsonEmitter::beforeValue()
{
    if (m_afterKey) {
        m_afterKey = false;
        return;
    }
    if (m_stack.empty())
        return;
    Level &level = m_stack.back();
    if (!level.empty)
        m_out.append(',');
    level.empty = false;
    newline(depth());
}

void JsonEmitter::beginObject()
{
    beforeValue();
    m_out.append('{');
    m_stack.push_back({true});
}

void JsonEmitter::close(char bracket)
{
    const bool empty = m_stack.back().empty;
    m_stack.pop_back();
    if (!empty)
        newline(depth());
    m_out.append(bracket);
}

void JsonEmitter::endObject()
{
    close('}');
}

void JsonEmitter::beginArray()
{
    beforeValue();
    m_out.append('[');
    m_stack.push_back({false});
}

void JsonEmitter::endArray()
{
    close(']');
}

void JsonEmitter::key(QByteArrayView name)
{
    beforeValue();
    m_out.append('"');
    m_out.append(name);
    m_out.append("\" : ", 4);
    m_afterKey = true;
}

void JsonEmitter::string(const QString &text)
{
    beforeValue();
    appendJsonString(m_out, QStringView(text));
}

void JsonEmitter::utf8String(QByteArrayView utf8)
{
    beforeValue();
    appendJsonString(m_out, utf8);
}

void JsonEmitter::boolean(bool value)
{
    beforeValue();
    m_out.append(value ? QByteArrayView("true") : QByteArrayView("false"));
}

void JsonEmitter::raw(QByteArrayView encoded)
{
    beforeValue();
    m_out.append(encoded);
}

} // namespace model
