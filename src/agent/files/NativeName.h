#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

#include <optional>

namespace agent::NativeName {

// A file name as the tools show it: the name itself when it is UTF-8. A name
// that is not shows each byte outside valid UTF-8, and each backslash, as
// \xNN, so the model can name the file again and reach the very bytes.
QString display(QByteArrayView name);

// display() of every component of a path.
QString displayPath(QByteArrayView path);

// The names a shown component may stand for: its UTF-8 bytes, and, when its
// \xNN escapes decode to a name that is not UTF-8, those bytes.
struct Candidates {
    QByteArray literal;
    std::optional<QByteArray> escaped;
};
Candidates candidates(QStringView shown);

// The candidate that names an entry of the folder dirFd: the literal one when
// it exists or when neither does (a name still to be made), else the escaped one.
QByteArray pick(int dirFd, const Candidates &candidates);

} // namespace agent::NativeName
