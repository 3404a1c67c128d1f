#pragma once

#include <QString>

#include <optional>

namespace platform {

// Where the folder a descriptor holds is now: an absolute path that leads to
// that very folder (checked by its identity), with every link resolved.
// Nothing when it was removed, is no folder, or no path leads there.
std::optional<QString> placeOfFolder(int fd);

} // namespace platform
