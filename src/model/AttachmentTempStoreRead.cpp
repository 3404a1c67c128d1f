#include "model/AttachmentTempStoreRead.h"

#include "platform/RegularFile.h"

#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <cstring>
#include <sys/stat.h>

namespace model {

QString FileReadError::description() const
{
    return QStringLiteral("Could not read \u201C%1\u201D: %2.").arg(QFileInfo(path).fileName(), reason);
}

namespace AttachmentRead {

namespace {

FileReadError errnoError(const QString &path)
{
    return FileReadError{path, QString::fromLocal8Bit(std::strerror(errno))};
}

FileReadError notRegular(const QString &path)
{
    return FileReadError{path, QStringLiteral("not a regular file")};
}

} // namespace

platform::Result<qint64, FileReadError> regularFileSize(const QString &path)
{
    struct stat st {};
    if (::stat(QFile::encodeName(path).constData(), &st) != 0)
        return platform::Result<qint64, FileReadError>::failure(errnoError(path));
    if (!S_ISREG(st.st_mode))
        return platform::Result<qint64, FileReadError>::failure(notRegular(path));
    return qint64(st.st_size);
}

platform::Result<QByteArray, FileReadError> readAtMost(const QString &path, qint64 maxBytes)
{
    using R = platform::Result<QByteArray, FileReadError>;
    auto read = platform::readRegularFile(path, maxBytes);
    if (!read) {
        const platform::RegularFileError &e = read.error();
        if (e.kind == platform::RegularFileError::Kind::System)
            return R::failure(FileReadError{path, e.reason()});
        return R::failure(notRegular(path));
    }
    return std::move(read).value().bytes;
}

} // namespace AttachmentRead
} // namespace model
