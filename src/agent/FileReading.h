#pragma once

#include "platform/Result.h"

#include <QByteArray>
#include <QString>

#include <optional>

namespace agent::FileReading {

struct ReadFailure {
    enum class Kind { System, NotRegular, Directory, TooLarge };
    Kind kind = Kind::System;
    qint64 size = 0;  // the file's size in bytes, for TooLarge
    QString message;  // what went wrong, naming the path

    friend bool operator==(const ReadFailure &, const ReadFailure &) = default;
};

// The bytes of a regular file of at most cap bytes. Checks the kind first and
// never opens a FIFO or a device (which could block or act on open), and never
// reads more than cap + 1 bytes, so a file that grows cannot flood memory.
// displayPath names the file in messages.
[[nodiscard]] platform::Result<QByteArray, ReadFailure> readRegularFile(const QString &path, qint64 cap,
                                                                        const QString &displayPath);

// The text when the bytes are strict UTF-8; a leading byte order mark is kept
// as U+FEFF, so offsets in the text map back to the same bytes.
std::optional<QString> decodeUtf8Strict(const QByteArray &bytes);

} // namespace agent::FileReading
