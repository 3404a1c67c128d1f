#pragma once

#include <QString>

namespace platform {

// The application's own folders.
namespace AppPaths {

// ~/.local/share/com.ovu.QirvMac, created 0700 (with parents) on each call;
// a failure to create it is left to the caller's next file operation.
QString supportDirectory();

// The per-user runtime folder ($XDG_RUNTIME_DIR), private to the user; falls
// back to a 0700 folder in the cache location when the session has none.
QString runtimeDirectory();

// Creates dir (and parents) and sets it to 0700. False when it cannot be
// made or is not a real directory owned by this user.
bool ensurePrivateDirectory(const QString &dir);

// The application folder name under the data location.
inline constexpr char kAppFolderName[] = "com.ovu.QirvMac";

} // namespace AppPaths
} // namespace platform
