#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QDateTime>

#include <optional>

namespace model::IsoDate {

// "yyyy-MM-ddTHH:mm:ssZ" in UTC; any sub-second part is dropped.
QByteArray format(const QDateTime &date);

// Reads the internet date-time form with whole seconds and a zone ("Z" or
// "+HH:MM"/"-HH:MM"). Fractional seconds, a missing zone or any other form
// give nothing: Qt's own ISO parser accepts all of those.
std::optional<QDateTime> parse(QByteArrayView text);

} // namespace model::IsoDate
