#pragma once

#include <QByteArray>
#include <QByteArrayView>

#include <optional>

namespace agent {

// The payload of a data line, made readable by both parsers without
// changing what it means to the turn: a lone surrogate escape becomes
// \ufffd, and a number too large for a double becomes one that is not an
// index either. Nothing when there is nothing to change.
std::optional<QByteArray> readablePayload(QByteArrayView payload);

// The exact value of a JSON number's text when it is an integer that fits
// 64 bits ("1.0", "2e3" and "-0" are; "0.99999999999999999999" is not).
std::optional<qint64> exactInteger(QByteArrayView number);

} // namespace agent
