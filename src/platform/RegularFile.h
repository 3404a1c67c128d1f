#pragma once

#include "platform/Result.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

#include <optional>

namespace platform {

struct RegularFileError {
    enum class Kind { System, Directory, NotRegular };
    Kind kind = Kind::System;
    int errorNumber = 0; // errno, for System

    // "Is a directory", "Not a regular file" or the system's text.
    QString reason() const;
    friend bool operator==(const RegularFileError &, const RegularFileError &) = default;
};

struct BoundedRead {
    QByteArray bytes; // at most the bytes asked for
    qint64 size = 0;  // the file's size when it was opened
};

// Reads at most maxBytes of a regular file. Opened without blocking and
// checked after opening, so a FIFO or device (also one swapped in after an
// earlier check) is refused at once instead of hanging the caller; a file
// that grows meanwhile cannot flood memory.
[[nodiscard]] Result<BoundedRead, RegularFileError> readRegularFile(const QString &path, qint64 maxBytes);

// The same for a file already open for reading; the descriptor stays the
// caller's, and is read from where it stands.
[[nodiscard]] Result<BoundedRead, RegularFileError> readOpenRegularFile(int fd, qint64 maxBytes);

enum class Bom { Keep, Drop };

// The text when the bytes are strict UTF-8 (no repair of bad sequences). Keep
// turns a leading byte order mark into U+FEFF, so offsets map back to bytes.
std::optional<QString> decodeUtf8Strict(QByteArrayView bytes, Bom bom = Bom::Keep);

} // namespace platform
