#include "agent/FileReading.h"

#include <QFile>
#include <QStringDecoder>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace agent::FileReading {

namespace {

using ReadResult = platform::Result<QByteArray, ReadFailure>;

ReadResult systemFailure(const QString &displayPath, int error)
{
    return ReadResult::failure({ReadFailure::Kind::System, 0,
                                QStringLiteral("Could not read %1: %2")
                                    .arg(displayPath, QString::fromLocal8Bit(std::strerror(error)))});
}

std::optional<ReadFailure> kindFailure(const struct stat &st, qint64 cap, const QString &displayPath)
{
    if (S_ISDIR(st.st_mode))
        return ReadFailure{ReadFailure::Kind::Directory, 0, QStringLiteral("Could not read %1: Is a directory").arg(displayPath)};
    if (!S_ISREG(st.st_mode))
        return ReadFailure{ReadFailure::Kind::NotRegular, 0, QStringLiteral("Could not read %1: Not a regular file").arg(displayPath)};
    if (st.st_size > cap)
        return ReadFailure{ReadFailure::Kind::TooLarge, qint64(st.st_size), QStringLiteral("File too large: %1").arg(displayPath)};
    return std::nullopt;
}

} // namespace

ReadResult readRegularFile(const QString &path, qint64 cap, const QString &displayPath)
{
    const QByteArray native = QFile::encodeName(path);
    struct stat st {};
    if (::stat(native.constData(), &st) != 0)
        return systemFailure(displayPath, errno);
    if (auto failure = kindFailure(st, cap, displayPath))
        return ReadResult::failure(*failure);

    // O_NONBLOCK: should a FIFO be swapped in after the stat, open returns at once.
    const int fd = ::open(native.constData(), O_RDONLY | O_NONBLOCK | O_NOFOLLOW | O_CLOEXEC | O_NOCTTY);
    if (fd < 0)
        return systemFailure(displayPath, errno);
    if (::fstat(fd, &st) != 0) {
        const int error = errno;
        ::close(fd);
        return systemFailure(displayPath, error);
    }
    if (auto failure = kindFailure(st, cap, displayPath)) {
        ::close(fd);
        return ReadResult::failure(*failure);
    }

    QByteArray bytes(qsizetype(st.st_size) + 1, Qt::Uninitialized);
    qint64 total = 0;
    const qint64 limit = cap + 1;
    for (;;) {
        if (total == bytes.size())
            bytes.resize(qsizetype(qMin(limit, qMax<qint64>(total * 2, 4096))));
        if (total >= limit)
            break;
        const ssize_t n = ::read(fd, bytes.data() + total, size_t(bytes.size() - total));
        if (n < 0) {
            if (errno == EINTR)
                continue;
            const int error = errno;
            ::close(fd);
            return systemFailure(displayPath, error);
        }
        if (n == 0)
            break;
        total += n;
    }
    ::close(fd);
    if (total > cap)
        return ReadResult::failure({ReadFailure::Kind::TooLarge, qMax<qint64>(total, st.st_size),
                                    QStringLiteral("File too large: %1").arg(displayPath)});
    bytes.truncate(qsizetype(total));
    return bytes;
}

std::optional<QString> decodeUtf8Strict(const QByteArray &bytes)
{
    QStringDecoder decoder(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless | QStringDecoder::Flag::ConvertInitialBom);
    QString text = decoder.decode(bytes);
    if (decoder.hasError())
        return std::nullopt;
    return text;
}

} // namespace agent::FileReading
