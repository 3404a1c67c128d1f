#include "agent/FileReading.h"

#include "platform/RegularFile.h"

#include <QFile>

#include <cerrno>
#include <cstring>
#include <sys/stat.h>

namespace agent::FileReading {

namespace {

using ReadResult = platform::Result<QByteArray, ReadFailure>;

ReadResult systemFailure(const QString &displayPath, int error)
{
    return ReadResult::failure({ReadFailure::Kind::System, 0,
                                QStringLiteral("Could not read %1: %2")
                                    .arg(displayPath, QString::fromLocal8Bit(std::strerror(error)))});
}

ReadFailure tooLarge(qint64 size, const QString &displayPath)
{
    return {ReadFailure::Kind::TooLarge, size, QStringLiteral("File too large: %1").arg(displayPath)};
}

ReadFailure wrongKind(bool directory, const QString &displayPath)
{
    if (directory)
        return {ReadFailure::Kind::Directory, 0, QStringLiteral("Could not read %1: Is a directory").arg(displayPath)};
    return {ReadFailure::Kind::NotRegular, 0, QStringLiteral("Could not read %1: Not a regular file").arg(displayPath)};
}

} // namespace

ReadResult readRegularFile(const QString &path, qint64 cap, const QString &displayPath)
{
    const QByteArray native = QFile::encodeName(path);
    struct stat st {};
    if (::stat(native.constData(), &st) != 0)
        return systemFailure(displayPath, errno);
    // Checked before opening: opening a device can already act on it.
    if (!S_ISREG(st.st_mode))
        return ReadResult::failure(wrongKind(S_ISDIR(st.st_mode), displayPath));
    if (st.st_size > cap)
        return ReadResult::failure(tooLarge(st.st_size, displayPath));

    // Refuse a link swapped in for the final component after the path was resolved.
    const auto read = platform::readRegularFile(path, cap + 1, platform::FinalLink::Refuse);
    if (!read) {
        const platform::RegularFileError &e = read.error();
        if (e.kind == platform::RegularFileError::Kind::System)
            return systemFailure(displayPath, e.errorNumber);
        return ReadResult::failure(wrongKind(e.kind == platform::RegularFileError::Kind::Directory, displayPath));
    }
    if (read->size > cap || read->bytes.size() > cap)
        return ReadResult::failure(tooLarge(qMax<qint64>(read->bytes.size(), read->size), displayPath));
    return read->bytes;
}

std::optional<QString> decodeUtf8Strict(const QByteArray &bytes)
{
    return platform::decodeUtf8Strict(bytes, platform::Bom::Keep);
}

} // namespace agent::FileReading
