#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

#include <optional>

namespace agent {

// The payload of a data line, made readable by both parsers without
// changing what it means to the turn: a lone surrogate escape becomes a
// mark that unmarked() takes out again (the half may meet its other half
// in the next string of its member), and a number too large for a double
// becomes one that is not an index either. Nothing when there is nothing
// to change. The strings of what it gives are marked text: U+FDD0 starts a
// mark, and one that was in the text is doubled.
std::optional<QByteArray> readablePayload(QByteArrayView payload);

// A string read from readablePayload()'s text with its marks taken out. A
// lone surrogate stays a lone code unit where the next or the last string
// may still hold its other half (a low one first, a high one last) when
// `keepEdges` is set; everywhere else it is U+FFFD.
QString unmarked(QString text, bool keepEdges);

// The exact value of a JSON number's text when it is an integer that fits
// 64 bits ("1.0", "2e3" and "-0" are; "0.99999999999999999999" is not).
std::optional<qint64> exactInteger(QByteArrayView number);

} // namespace agent
