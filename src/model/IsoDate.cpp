#include "model/IsoDate.h"

#include <cstdint>

namespace model::IsoDate {

namespace {

// Days since 1970-01-01 of a proleptic Gregorian date (Howard Hinnant's
// days_from_civil); QDate would do it too but costs more per call, and a
// large history holds a hundred thousand dates.
constexpr std::int64_t daysFromCivil(std::int64_t y, unsigned m, unsigned d)
{
    y -= m <= 2;
    const std::int64_t era = (y >= 0 ? y : y - 399) / 400;
    const unsigned yoe = static_cast<unsigned>(y - era * 400);
    const unsigned doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + static_cast<std::int64_t>(doe) - 719468;
}

constexpr bool isLeap(int y)
{
    return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0;
}

constexpr int daysInMonth(int y, int m)
{
    constexpr int days[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    return m == 2 && isLeap(y) ? 29 : days[m - 1];
}

bool digits(QByteArrayView s, qsizetype at, qsizetype n, int &out)
{
    int v = 0;
    for (qsizetype i = at; i < at + n; ++i) {
        const char c = s[i];
        if (c < '0' || c > '9')
            return false;
        v = v * 10 + (c - '0');
    }
    out = v;
    return true;
}

void put(char *p, int value, int width)
{
    for (int i = width - 1; i >= 0; --i) {
        p[i] = static_cast<char>('0' + value % 10);
        value /= 10;
    }
}

} // namespace

QByteArray format(const QDateTime &date)
{
    // Whatever is written must read back, or the whole file would be lost.
    if (!date.isValid())
        return QByteArrayLiteral("1970-01-01T00:00:00Z");
    const QDateTime utc = date.toUTC();
    const QDate d = utc.date();
    const QTime t = utc.time();
    const int year = d.year();
    if (year < 0)
        return QByteArrayLiteral("0000-01-01T00:00:00Z");
    if (year > 9999)
        return QByteArrayLiteral("9999-12-31T23:59:59Z");
    QByteArray out(20, Qt::Uninitialized);
    char *p = out.data();
    put(p, year, 4);
    p[4] = '-';
    put(p + 5, d.month(), 2);
    p[7] = '-';
    put(p + 8, d.day(), 2);
    p[10] = 'T';
    put(p + 11, t.hour(), 2);
    p[13] = ':';
    put(p + 14, t.minute(), 2);
    p[16] = ':';
    put(p + 17, t.second(), 2);
    p[19] = 'Z';
    return out;
}

std::optional<QDateTime> parse(QByteArrayView s)
{
    if (s.size() != 20 && s.size() != 25)
        return std::nullopt;
    int year, month, day, hour, minute, second;
    if (!digits(s, 0, 4, year) || s[4] != '-' || !digits(s, 5, 2, month) || s[7] != '-' || !digits(s, 8, 2, day)
        || (s[10] != 'T' && s[10] != 't') || !digits(s, 11, 2, hour) || s[13] != ':' || !digits(s, 14, 2, minute)
        || s[16] != ':' || !digits(s, 17, 2, second))
        return std::nullopt;
    if (month < 1 || month > 12 || day < 1 || day > daysInMonth(year, month) || hour > 23 || minute > 59
        || second > 59)
        return std::nullopt;
    int offsetSeconds = 0;
    if (s.size() == 20) {
        if (s[19] != 'Z' && s[19] != 'z')
            return std::nullopt;
    } else {
        int oh, om;
        if ((s[19] != '+' && s[19] != '-') || !digits(s, 20, 2, oh) || s[22] != ':' || !digits(s, 23, 2, om)
            || oh > 23 || om > 59)
            return std::nullopt;
        offsetSeconds = (oh * 60 + om) * 60 * (s[19] == '-' ? -1 : 1);
    }
    const std::int64_t secs = daysFromCivil(year, static_cast<unsigned>(month), static_cast<unsigned>(day)) * 86400
                              + hour * 3600 + minute * 60 + second - offsetSeconds;
    return QDateTime::fromSecsSinceEpoch(secs, Qt::UTC);
}

} // namespace model::IsoDate
