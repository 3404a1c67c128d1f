#include "model/AttachmentTempStoreRead.h"

#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

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
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    if (fd < 0)
        return R::failure(errnoError(path));
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        const FileReadError error = S_ISREG(st.st_mode) ? errnoError(path) : notRegular(path);
        ::close(fd);
        return R::failure(error);
    }
    QByteArray bytes;
    bytes.resize(qMin<qint64>(maxBytes, qMax<qint64>(st.st_size, 0)));
    qint64 filled = 0;
    for (;;) {
        const qint64 room = qMin<qint64>(maxBytes - filled, 1 << 20);
        if (room <= 0)
            break;
        if (filled + room > bytes.size())
            bytes.resize(filled + room); // the file grew since fstat
        const ssize_t n = ::read(fd, bytes.data() + filled, size_t(room));
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0) {
            const FileReadError error = errnoError(path);
            ::close(fd);
            return R::failure(error);
        }
        if (n == 0)
            break;
        filled += n;
    }
    ::close(fd);
    bytes.truncate(filled);
    return bytes;
}

} // namespace AttachmentRead
} // namespace model
