#pragma once

#include <QString>

#include <optional>

namespace agent::PathResolution {

// The absolute path with every symbolic link resolved component by component
// (also a dangling one, also in the parents of a part that does not exist
// yet). Components past the first missing one are kept literally. Nothing on
// a loop, on too deep a chain, or on ".." after a missing component.
std::optional<QString> resolveAll(const QString &absolutePath);

// Whether candidate lies at or below root, both already resolved; compares
// whole components, so /p2 is not inside /p and every path is inside /.
bool isInside(const QString &candidate, const QString &root);

} // namespace agent::PathResolution
