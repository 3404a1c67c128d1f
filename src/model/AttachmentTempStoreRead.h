#pragma once

#include "platform/Result.h"

#include <QByteArray>
#include <QString>

namespace model {

// Why a user's file could not be looked at or read.
struct FileReadError {
    QString path;
    QString reason;

    QString description() const;
    friend bool operator==(const FileReadError &, const FileReadError &) = default;
};

namespace AttachmentRead {

// Size of a regular file (symlinks followed). A FIFO, device, socket or
// folder is refused: it has no size worth trusting and reading could block.
[[nodiscard]] platform::Result<qint64, FileReadError> regularFileSize(const QString &path);

// At most maxBytes of a regular file. The file is opened non-blocking and
// checked again after opening, so a file swapped for a FIFO cannot hang us.
[[nodiscard]] platform::Result<QByteArray, FileReadError> readAtMost(const QString &path, qint64 maxBytes);

} // namespace AttachmentRead
} // namespace model
