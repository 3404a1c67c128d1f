#include "agent/stream/StreamChunkText.h"

#include <limits>

namespace agent {

namespace {

bool isDigit(char c)
{
    return c >= '0' && c <= '9';
}

int hexValue(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

// The code unit of a \uXXXX escape at `at`, or -1.
int escapedUnit(QByteArrayView text, qsizetype at)
{
    if (at + 6 > text.size() || text[at] != '\\' || text[at + 1] != 'u')
        return -1;
    int unit = 0;
    for (qsizetype k = at + 2; k < at + 6; ++k) {
        const int digit = hexValue(text[k]);
        if (digit < 0)
            return -1;
        unit = unit * 16 + digit;
    }
    return unit;
}

bool isHigh(int unit)
{
    return unit >= 0xD800 && unit <= 0xDBFF;
}

bool isLow(int unit)
{
    return unit >= 0xDC00 && unit <= 0xDFFF;
}

// The mark: a noncharacter, kept for use inside a program. It is followed
// by a second one, or by the lone unit moved to U+E000..U+E7FF.
constexpr char16_t kMark = 0xFDD0;
constexpr char16_t kLoneUnitBase = 0xE000;
constexpr QByteArrayView kMarkUtf8("\xEF\xB7\x90");
constexpr QByteArrayView kDoubledMark("\\ufdd0\\ufdd0");

QByteArray loneUnitMark(int unit)
{
    static constexpr char hex[] = "0123456789abcdef";
    const int moved = kLoneUnitBase + (unit - 0xD800);
    QByteArray out("\\ufdd0\\u");
    for (int shift = 12; shift >= 0; shift -= 4)
        out += hex[(moved >> shift) & 0xF];
    return out;
}

// Past the number that starts at `at` (no check of its form).
qsizetype numberEnd(QByteArrayView text, qsizetype at)
{
    while (at < text.size() && (isDigit(text[at]) || text[at] == '-' || text[at] == '+' || text[at] == '.'
                                || text[at] == 'e' || text[at] == 'E'))
        ++at;
    return at;
}

// RapidJSON refuses a number whose integer part or positive exponent would
// pass the double range; these bounds stay safely below it.
bool tooLargeForDouble(QByteArrayView number)
{
    qsizetype i = number.startsWith('-') ? 1 : 0;
    qsizetype integerDigits = 0;
    while (i < number.size() && isDigit(number[i])) {
        ++integerDigits;
        ++i;
    }
    if (integerDigits > 300)
        return true;
    while (i < number.size() && number[i] != 'e' && number[i] != 'E')
        ++i;
    if (i >= number.size())
        return false;
    ++i;
    if (i < number.size() && number[i] == '-')
        return false;
    if (i < number.size() && number[i] == '+')
        ++i;
    qint64 exponent = 0;
    for (; i < number.size() && isDigit(number[i]); ++i) {
        exponent = exponent * 10 + (number[i] - '0');
        if (exponent > 300)
            return true;
    }
    return false;
}

// A number of the same kind as `number` for the turn: the same integer,
// zero, or a huge one that is no index either.
QByteArray sameKindOfNumber(QByteArrayView number)
{
    if (const std::optional<qint64> value = exactInteger(number))
        return QByteArray::number(*value);
    const qsizetype exponentAt = std::max(number.indexOf('e'), number.indexOf('E'));
    const QByteArrayView mantissa = exponentAt < 0 ? number : number.first(exponentAt);
    for (const char c : mantissa) {
        if (c >= '1' && c <= '9')
            return number.startsWith('-') ? QByteArrayLiteral("-1e300") : QByteArrayLiteral("1e300");
    }
    return QByteArrayLiteral("0");
}

} // namespace

std::optional<qint64> exactInteger(QByteArrayView number)
{
    qsizetype i = 0;
    const bool negative = number.startsWith('-');
    if (negative)
        ++i;
    // The digits without the point, and how far the point moves them.
    QByteArray digits;
    const qsizetype integerStart = i;
    while (i < number.size() && isDigit(number[i]))
        digits += number[i++];
    if (i == integerStart)
        return std::nullopt;
    qint64 shift = 0;
    if (i < number.size() && number[i] == '.') {
        const qsizetype fractionStart = ++i;
        while (i < number.size() && isDigit(number[i])) {
            digits += number[i++];
            --shift;
        }
        if (i == fractionStart)
            return std::nullopt;
    }
    if (i < number.size() && (number[i] == 'e' || number[i] == 'E')) {
        ++i;
        bool exponentNegative = false;
        if (i < number.size() && (number[i] == '+' || number[i] == '-'))
            exponentNegative = number[i++] == '-';
        const qsizetype exponentStart = i;
        qint64 exponent = 0;
        for (; i < number.size() && isDigit(number[i]); ++i)
            exponent = std::min<qint64>(exponent * 10 + (number[i] - '0'), qint64(1) << 40);
        if (i == exponentStart)
            return std::nullopt;
        shift += exponentNegative ? -exponent : exponent;
    }
    if (i != number.size())
        return std::nullopt;

    qsizetype first = 0;
    while (first < digits.size() && digits[first] == '0')
        ++first;
    if (first == digits.size())
        return 0;
    qsizetype last = digits.size();
    while (digits[last - 1] == '0') {
        --last;
        ++shift;
    }
    if (shift < 0 || (last - first) + shift > 19)
        return std::nullopt;
    // At most 19 digits: fits in an unsigned 64-bit value.
    quint64 magnitude = 0;
    for (qsizetype k = first; k < last; ++k)
        magnitude = magnitude * 10 + quint64(digits[k] - '0');
    for (qint64 k = 0; k < shift; ++k)
        magnitude *= 10;
    const quint64 limit = quint64(std::numeric_limits<qint64>::max()) + (negative ? 1 : 0);
    if (magnitude > limit)
        return std::nullopt;
    return negative ? qint64(0 - magnitude) : qint64(magnitude);
}

std::optional<QByteArray> readablePayload(QByteArrayView payload)
{
    QByteArray out;
    qsizetype copied = 0; // payload[0, copied) is in `out`
    const auto replace = [&](qsizetype from, qsizetype to, QByteArrayView with) {
        out.append(payload.sliced(copied, from - copied));
        out.append(with);
        copied = to;
    };
    bool inString = false;
    int previousUnit = -1; // the escape just before, inside a string
    for (qsizetype i = 0; i < payload.size();) {
        const char c = payload[i];
        if (inString) {
            if (c == '"') {
                inString = false;
                ++i;
            } else if (c == '\\') {
                const int unit = escapedUnit(payload, i);
                if (unit < 0) {
                    previousUnit = -1;
                    i += 2;
                    continue;
                }
                const bool paired = isHigh(unit) ? isLow(escapedUnit(payload, i + 6)) : isLow(unit) && isHigh(previousUnit);
                if ((isHigh(unit) || isLow(unit)) && !paired) {
                    replace(i, i + 6, loneUnitMark(unit));
                    previousUnit = -1;
                } else if (unit == kMark) {
                    replace(i, i + 6, kDoubledMark);
                    previousUnit = -1;
                } else {
                    previousUnit = unit;
                }
                i += 6;
                continue;
            } else if (c == kMarkUtf8.front() && payload.sliced(i).startsWith(kMarkUtf8)) {
                replace(i, i + kMarkUtf8.size(), kDoubledMark);
                i += kMarkUtf8.size();
            } else {
                ++i;
            }
            previousUnit = -1;
            continue;
        }
        if (c == '"') {
            inString = true;
            ++i;
        } else if (c == '-' || isDigit(c)) {
            const qsizetype end = numberEnd(payload, i);
            const QByteArrayView number = payload.sliced(i, end - i);
            if (tooLargeForDouble(number))
                replace(i, end, sameKindOfNumber(number));
            i = end;
        } else {
            ++i;
        }
    }
    if (copied == 0)
        return std::nullopt;
    out.append(payload.sliced(copied));
    return out;
}

QString unmarked(QString text, bool keepEdges)
{
    qsizetype at = text.indexOf(QChar(kMark));
    if (at < 0)
        return text;
    QString out = text.first(at);
    out.reserve(text.size());
    while (at < text.size()) {
        const char16_t c = text.at(at).unicode();
        if (c != kMark) {
            out += QChar(c);
            ++at;
            continue;
        }
        const char16_t next = at + 1 < text.size() ? text.at(at + 1).unicode() : 0;
        if (next == kMark) {
            out += QChar(kMark);
            at += 2;
        } else if (next >= kLoneUnitBase && next < kLoneUnitBase + 0x800) {
            out += QChar(char16_t(0xD800 + (next - kLoneUnitBase)));
            at += 2;
        } else {
            out += QChar::ReplacementCharacter; // a mark cut from its unit
            ++at;
        }
    }
    // Only lone units came from marks; a pair is whole already.
    for (qsizetype k = 0; k < out.size(); ++k) {
        const QChar c = out.at(k);
        if (c.isHighSurrogate() && k + 1 < out.size() && out.at(k + 1).isLowSurrogate()) {
            ++k;
            continue;
        }
        if (!c.isSurrogate())
            continue;
        const bool edge = (c.isLowSurrogate() && k == 0) || (c.isHighSurrogate() && k == out.size() - 1);
        if (!keepEdges || !edge)
            out[k] = QChar::ReplacementCharacter;
    }
    return out;
}

} // namespace agent
