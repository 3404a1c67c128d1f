#pragma once

#include "agent/files/NativeName.h"

#include <QList>
#include <QString>

#include <optional>

namespace agent::PathResolution {

// The absolute path with every symbolic link resolved component by component
// (also a dangling one, also in the parents of a part that does not exist
// yet). Components past the first missing one are kept literally. Nothing on
// a loop, on too deep a chain, or on ".." after a missing component. Names
// are as NativeName shows them, and a shown name reaches its own bytes; the
// path may be longer than the system's limit for one path.
std::optional<QString> resolveAll(const QString &absolutePath);

// Whether candidate lies at or below root, both already resolved; compares
// whole components, so /p2 is not inside /p and every path is inside /.
bool isInside(const QString &candidate, const QString &root);

// One component still to walk: as the caller showed it, or as read from a
// link (then its bytes are exact).
struct Part {
    QString shown;
    NativeName::Candidates names;
};
// Appends the components of path so that the first is taken last; "" and "."
// are left out.
void pushShown(QList<Part> &pending, QStringView path);
void pushBytes(QList<Part> &pending, const QByteArray &path);

} // namespace agent::PathResolution
