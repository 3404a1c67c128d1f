#pragma once

#include <QByteArray>
#include <QByteArrayList>
#include <QByteArrayView>
#include <QString>
#include <QStringList>

#include <optional>
#include <sys/types.h>

namespace platform {

struct WriteOptions {
    // Mode of the new file from its first byte; std::nullopt keeps the mode
    // of the file being replaced (0644 when there is none).
    std::optional<mode_t> mode = 0600;
    // fsync the data before the rename. Off for throw-away files.
    bool sync = true;
};

// Writes bytes to path atomically: a temporary file in the same folder,
// created with the final mode, then renamed over the target. A reader sees
// the old file or the new one, never a half-written one. Returns an empty
// string on success, else what failed.
[[nodiscard]] QString writeFileAtomically(const QString &path, const QByteArray &bytes,
                                          const WriteOptions &options = {});
// The same for a file made of parts, written one after the other: a large
// file need not be put together in memory first.
[[nodiscard]] QString writeFileAtomically(const QString &path, const QByteArrayList &parts,
                                          const WriteOptions &options = {});

// Removes what interrupted atomic writes left in dir: the temporary files
// writeFileAtomically() makes for each of `fileNames`
// (".<name>.moonshelf-tmp.XXXXXX"), and nothing else. Only regular files of this user are removed. Call it
// only while no writer of those files runs, that is once the instance lock
// is held. Returns how many were removed.
int removeLeftoverTemporaryFiles(const QString &dir, const QStringList &fileNames);

// Writes all of bytes to an open descriptor, going on after short writes and
// interrupted calls. False on failure, with errno set.
[[nodiscard]] bool writeAllToFd(int fd, QByteArrayView bytes);

} // namespace platform
