#pragma once

#include <QString>

namespace platform {

// The application's own folders.
namespace AppPaths {

// ~/.local/share/com.ovu.QirvMac, created 0700 (with parents) on each call;
// a failure to create it is left to the caller's next file operation.
QString supportDirectory();

// Removes the temporary files that interrupted saves left in the support
// folder (conversations, settings, the sign-in session, the stage's files).
// Call once at start, right after the instance lock is taken and before
// any store is opened. Returns how many were removed.
int removeLeftoverTemporaryFiles();

// The per-user runtime folder ($XDG_RUNTIME_DIR), private to the user; falls
// back to a 0700 folder in the cache location when the session has none.
QString runtimeDirectory();

// Creates dir (and any missing parents) with mode 0700 from the start, and
// sets an existing one to 0700. Empty on success, else what failed: it
// cannot be made, is not a real directory owned by this user, or cannot be
// made private.
[[nodiscard]] QString makePrivateDirectory(const QString &dir);
// The same, as a flag.
bool ensurePrivateDirectory(const QString &dir);

// The application folder name under the data location.
inline constexpr char kAppFolderName[] = "com.ovu.QirvMac";

} // namespace AppPaths
} // namespace platform
