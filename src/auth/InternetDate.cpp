#include "auth/InternetDate.h"

#include <QRegularExpression>

namespace auth {

QDateTime earliestInternetDate()
{
    return QDateTime(QDate(1, 1, 1), QTime(0, 0, 0), Qt::UTC);
}

QDateTime latestInternetDate()
{
    return QDateTime(QDate(9999, 12, 31), QTime(23, 59, 59), Qt::UTC);
}

QDateTime clampToInternetDates(const QDateTime &date)
{
    if (date < earliestInternetDate())
        return earliestInternetDate();
    if (date > latestInternetDate())
        return latestInternetDate();
    return date.toUTC();
}

std::optional<QDateTime> parseInternetDate(QStringView text, OutOfRange outOfRange)
{
    static const QRegularExpression pattern(QStringLiteral(
        R"(^(\d{4})-(\d{2})-(\d{2})T(\d{2}):(\d{2}):(\d{2})(?:\.(\d{1,9}))?(?:(Z)|([+-])(\d{2}):(\d{2}))$)"));
    const QRegularExpressionMatch m = pattern.match(text);
    if (!m.hasMatch())
        return std::nullopt;
    const auto number = [&](int group) { return m.capturedView(group).toInt(); };
    const QDate date(number(1), number(2), number(3));
    if (!date.isValid())
        return std::nullopt;
    int msec = 0;
    if (m.hasCaptured(7))
        msec = m.capturedView(7).left(3).toString().leftJustified(3, QLatin1Char('0')).toInt();
    const QTime time(number(4), number(5), number(6), msec);
    if (!time.isValid())
        return std::nullopt;
    int offsetSeconds = 0;
    if (!m.hasCaptured(8)) {
        const int hours = number(10);
        const int minutes = number(11);
        if (hours > 23 || minutes > 59)
            return std::nullopt;
        offsetSeconds = (hours * 60 + minutes) * 60;
        if (m.capturedView(9) == QLatin1String("-"))
            offsetSeconds = -offsetSeconds;
    }
    const QDateTime utc = QDateTime(date, time, Qt::OffsetFromUTC, offsetSeconds).toUTC();
    if (utc >= earliestInternetDate() && utc < latestInternetDate().addSecs(1))
        return utc;
    if (outOfRange == OutOfRange::refuse)
        return std::nullopt;
    return clampToInternetDates(utc);
}

QString formatInternetDate(const QDateTime &date)
{
    return clampToInternetDates(date).toString(QStringLiteral("yyyy-MM-dd'T'HH:mm:ss'Z'"));
}

} // namespace auth
