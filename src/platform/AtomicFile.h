#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <QStringList>

#include <functional>
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

// Takes a file's bytes piece by piece, in order; false when a piece could
// not be written, and nothing more should be handed to it then.
using ByteSink = std::function<bool(QByteArrayView piece)>;
// Hands a file's bytes to the sink, in order; false when the sink refused one.
using ByteSource = std::function<bool(const ByteSink &sink)>;
// The same for a file made while it is written: a large file is never held
// in memory whole.
[[nodiscard]] QString writeFileAtomically(const QString &path, const ByteSource &source,
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
