#pragma once

#include <QDateTime>
#include <QString>

#include <optional>

namespace auth {

// Strict ISO 8601 internet date-time: 2026-03-01T09:30:00Z, optionally with
// fractional seconds, with Z or a +hh:mm / -hh:mm offset. Qt's own ISO parser
// also takes a space or a missing zone, which the session file must refuse.
std::optional<QDateTime> parseInternetDate(QStringView text);

// UTC, whole seconds: 2026-03-01T09:30:00Z.
QString formatInternetDate(const QDateTime &date);

} // namespace auth
