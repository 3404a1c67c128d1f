#include "agent/files/NativeName.h"

#include "platform/RegularFile.h"

#include <QByteArrayList>

#include <fcntl.h>
#include <sys/stat.h>

namespace agent::NativeName {

namespace {

// The length of the valid UTF-8 sequence at i, or 0: overlong forms,
// surrogates and code points past U+10FFFF are not valid.
int validSequence(QByteArrayView bytes, qsizetype i)
{
    const uchar lead = uchar(bytes[i]);
    if (lead < 0x80)
        return 1;
    int length = 0;
    char32_t minimum = 0;
    char32_t code = 0;
    if ((lead & 0xE0) == 0xC0) {
        length = 2, minimum = 0x80, code = lead & 0x1F;
    } else if ((lead & 0xF0) == 0xE0) {
        length = 3, minimum = 0x800, code = lead & 0x0F;
    } else if ((lead & 0xF8) == 0xF0) {
        length = 4, minimum = 0x10000, code = lead & 0x07;
    } else {
        return 0;
    }
    if (i + length > bytes.size())
        return 0;
    for (int k = 1; k < length; ++k) {
        const uchar next = uchar(bytes[i + k]);
        if ((next & 0xC0) != 0x80)
            return 0;
        code = (code << 6) | (next & 0x3F);
    }
    if (code < minimum || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF))
        return 0;
    return length;
}

int hexValue(QChar c)
{
    const char16_t u = c.unicode();
    if (u >= u'0' && u <= u'9')
        return u - u'0';
    if (u >= u'a' && u <= u'f')
        return u - u'a' + 10;
    if (u >= u'A' && u <= u'F')
        return u - u'A' + 10;
    return -1;
}

bool exists(int dirFd, const QByteArray &name)
{
    struct stat st {};
    return ::fstatat(dirFd, name.constData(), &st, AT_SYMLINK_NOFOLLOW) == 0;
}

} // namespace

QString display(QByteArrayView name)
{
    if (std::optional<QString> text = platform::decodeUtf8Strict(name, platform::Bom::Keep))
        return *text;
    QString out;
    out.reserve(name.size() * 2);
    for (qsizetype i = 0; i < name.size();) {
        const int length = validSequence(name, i);
        if (length > 0 && name[i] != '\\') {
            out.append(QString::fromUtf8(name.sliced(i, length)));
            i += length;
        } else {
            out.append(QLatin1String("\\x"));
            out.append(QString::number(uchar(name[i]), 16).toUpper().rightJustified(2, u'0'));
            ++i;
        }
    }
    return out;
}

QString displayPath(QByteArrayView path)
{
    QStringList parts;
    for (const QByteArray &part : path.toByteArray().split('/'))
        parts.append(display(part));
    return parts.join(u'/');
}

Candidates candidates(QStringView shown)
{
    Candidates out{shown.toUtf8(), std::nullopt};
    if (!shown.contains(QLatin1String("\\x")))
        return out;
    QByteArray bytes;
    bool escapes = false;
    qsizetype plain = 0; // start of the text not yet copied
    for (qsizetype i = 0; i + 3 < shown.size(); ++i) {
        if (shown[i] != u'\\' || shown[i + 1] != u'x')
            continue;
        const int high = hexValue(shown[i + 2]);
        const int low = hexValue(shown[i + 3]);
        if (high < 0 || low < 0)
            continue;
        bytes.append(shown.sliced(plain, i - plain).toUtf8());
        bytes.append(char(high * 16 + low));
        escapes = true;
        plain = i + 4;
        i += 3;
    }
    bytes.append(shown.sliced(plain).toUtf8());
    // A UTF-8 name is always shown as itself, never escaped.
    if (escapes && !platform::decodeUtf8Strict(bytes, platform::Bom::Keep))
        out.escaped = bytes;
    return out;
}

QByteArray pick(int dirFd, const Candidates &candidates)
{
    if (!candidates.escaped || exists(dirFd, candidates.literal) || !exists(dirFd, *candidates.escaped))
        return candidates.literal;
    return *candidates.escaped;
}

} // namespace agent::NativeName
