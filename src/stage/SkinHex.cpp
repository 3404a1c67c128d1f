#include "stage/SkinHex.h"

#include "platform/Graphemes.h"

#include <limits>

namespace stage {

namespace {

int hexDigit(QChar c)
{
    const char16_t u = c.unicode();
    if (u >= u'0' && u <= u'9')
        return u - u'0';
    if (u >= u'A' && u <= u'F')
        return u - u'A' + 10;
    return -1;
}

// Reads a hexadecimal number from the start of (upper-cased) text the way a
// lenient scanner does: leading white space skipped, an optional 0X, then as
// many digits as there are. Nothing readable gives 0; overflow saturates.
quint64 scanLeadingHex(const QString &text)
{
    qsizetype i = 0;
    while (i < text.size() && text.at(i).isSpace())
        ++i;
    if (i + 2 < text.size() && text.at(i) == u'0' && text.at(i + 1) == u'X' && hexDigit(text.at(i + 2)) >= 0)
        i += 2;
    quint64 value = 0;
    bool overflow = false;
    for (; i < text.size(); ++i) {
        const int d = hexDigit(text.at(i));
        if (d < 0)
            break;
        if (value > (std::numeric_limits<quint64>::max() >> 4))
            overflow = true;
        value = (value << 4) | quint64(d);
    }
    return overflow ? std::numeric_limits<quint64>::max() : value;
}

} // namespace

QColor skinHexFallbackColor()
{
    return QColor::fromRgbF(0.05f, 0.05f, 0.06f, 1.0f);
}

QColor colorFromSkinHex(QStringView input)
{
    QString text = input.toString().trimmed().toUpper();
    if (text.startsWith(u'#'))
        text.remove(0, 1);
    const quint64 value = scanLeadingHex(text);
    const auto channel = [value](int shift) { return float((value >> shift) & 0xFF) / 255.0f; };
    switch (platform::Graphemes::count(text)) {
    case 6:
        return QColor::fromRgbF(channel(16), channel(8), channel(0), 1.0f);
    case 8:
        return QColor::fromRgbF(channel(24), channel(16), channel(8), channel(0));
    default:
        return skinHexFallbackColor();
    }
}

} // namespace stage
