// When to try again: a Retry-After value read, and whether the service's
// words already say when.
#include "platform/ServiceText.h"

#include <QRegularExpression>
#include <QTimeZone>

namespace platform::ServiceText {

namespace {

// Far beyond an hour: a wait that long is said as "later".
constexpr qint64 kLongestWait = 1'000'000'000;

int monthOf(QStringView name)
{
    static const QStringView months[] = {u"Jan", u"Feb", u"Mar", u"Apr", u"May", u"Jun",
                                         u"Jul", u"Aug", u"Sep", u"Oct", u"Nov", u"Dec"};
    for (int i = 0; i < 12; ++i) {
        if (name == months[i])
            return i + 1;
    }
    return 0;
}

// The three forms of an HTTP date, in UTC.
std::optional<QDateTime> httpDate(const QString &text, const QDateTime &now)
{
    static const QRegularExpression imf(
        QStringLiteral("^(?:Mon|Tue|Wed|Thu|Fri|Sat|Sun), (\\d{1,2}) ([A-Z][a-z]{2}) (\\d{4}) "
                       "(\\d{2}):(\\d{2}):(\\d{2}) GMT$"));
    static const QRegularExpression rfc850(
        QStringLiteral("^(?:Monday|Tuesday|Wednesday|Thursday|Friday|Saturday|Sunday), (\\d{1,2})-([A-Z][a-z]{2})-"
                       "(\\d{2}) (\\d{2}):(\\d{2}):(\\d{2}) GMT$"));
    static const QRegularExpression asctime(
        QStringLiteral("^(?:Mon|Tue|Wed|Thu|Fri|Sat|Sun) ([A-Z][a-z]{2}) +(\\d{1,2}) (\\d{2}):(\\d{2}):(\\d{2}) (\\d{4})$"));
    int year = 0;
    int month = 0;
    int day = 0;
    QStringList clock;
    if (const QRegularExpressionMatch m = imf.match(text); m.hasMatch()) {
        day = m.captured(1).toInt();
        month = monthOf(m.capturedView(2));
        year = m.captured(3).toInt();
        clock = {m.captured(4), m.captured(5), m.captured(6)};
    } else if (const QRegularExpressionMatch old = rfc850.match(text); old.hasMatch()) {
        day = old.captured(1).toInt();
        month = monthOf(old.capturedView(2));
        // A two-digit year more than 50 years ahead is one of the past.
        const int thisYear = now.date().year();
        year = thisYear / 100 * 100 + old.captured(3).toInt();
        if (year > thisYear + 50)
            year -= 100;
        clock = {old.captured(4), old.captured(5), old.captured(6)};
    } else if (const QRegularExpressionMatch bare = asctime.match(text); bare.hasMatch()) {
        month = monthOf(bare.capturedView(1));
        day = bare.captured(2).toInt();
        clock = {bare.captured(3), bare.captured(4), bare.captured(5)};
        year = bare.captured(6).toInt();
    } else {
        return std::nullopt;
    }
    const QDate date(year, month, day);
    const QTime time(clock[0].toInt(), clock[1].toInt(), clock[2].toInt());
    if (month == 0 || !date.isValid() || !time.isValid())
        return std::nullopt;
    return QDateTime(date, time, QTimeZone::utc());
}

} // namespace

std::optional<qint64> retryAfterSeconds(QByteArrayView value, const QDateTime &now)
{
    const QByteArray trimmed = value.toByteArray().trimmed();
    if (trimmed.isEmpty())
        return std::nullopt;
    bool digits = true;
    qint64 seconds = 0;
    for (const char c : trimmed) {
        if (c < '0' || c > '9') {
            digits = false;
            break;
        }
        seconds = std::min(seconds * 10 + (c - '0'), kLongestWait);
    }
    if (digits)
        return seconds;
    const std::optional<QDateTime> date = httpDate(QString::fromLatin1(trimmed), now);
    if (!date)
        return std::nullopt;
    const qint64 milliseconds = now.msecsTo(*date);
    if (milliseconds <= 0)
        return 0;
    return std::min((milliseconds + 999) / 1000, kLongestWait);
}

bool saysWhen(const QString &words)
{
    // A wait ("in 20s", "after 5 minutes", "wait a few seconds", "retry in
    // 2"), a time of day ("at 14:30", "after 3pm") or a date and time, or
    // "tomorrow".
    static const QRegularExpression when(
        QStringLiteral("\\b(?:in|after|within|wait|for)\\s+(?:about\\s+|around\\s+|approximately\\s+|roughly\\s+|"
                       "another\\s+|~\\s*)?(?:\\d+(?:[.,]\\d+)?|an?|one|a\\s+few|few|several|a\\s+couple\\s+of)\\s*"
                       "(?:ms|milliseconds?|s|secs?|seconds?|m|mins?|minutes?|h|hrs?|hours?|d|days?|weeks?)(?![a-z])"
                       "|\\b(?:retry|try\\s+again)\\s+(?:in|after)\\s+\\d"
                       "|\\b(?:at|after|until|from)\\s+\\d{1,2}(?::\\d{2}|\\s*[ap]\\.?m\\b)"
                       "|\\d{4}-\\d{2}-\\d{2}[T ]\\d{2}:\\d{2}"
                       "|\\btomorrow\\b"),
        QRegularExpression::CaseInsensitiveOption);
    return when.match(words).hasMatch();
}

} // namespace platform::ServiceText
