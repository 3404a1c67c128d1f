#pragma once

#include <QDateTime>
#include <QString>

#include <optional>

namespace auth {

// The dates the session file can hold: years 0001 to 9999 in UTC. What
// the reader takes, the writer writes back the same.
QDateTime earliestInternetDate();
QDateTime latestInternetDate();
// The date moved into that range.
QDateTime clampToInternetDates(const QDateTime &date);

// Strict ISO 8601 internet date-time: 2026-03-01T09:30:00Z, optionally with
// fractional seconds, with Z or a +hh:mm / -hh:mm offset. Qt's own ISO parser
// also takes a space or a missing zone, which the session file must refuse.
// A date that falls outside the range in UTC (9999-12-31T23:59:59-01:00)
// is refused too, unless `clamp` asks for the nearest date inside it.
enum class OutOfRange { refuse, clamp };
std::optional<QDateTime> parseInternetDate(QStringView text, OutOfRange outOfRange = OutOfRange::refuse);

// UTC, whole seconds: 2026-03-01T09:30:00Z; a date outside the range is
// written as the nearest date inside it.
QString formatInternetDate(const QDateTime &date);

} // namespace auth
