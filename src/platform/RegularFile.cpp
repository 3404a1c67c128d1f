#include "platform/RegularFile.h"

#include <QFile>
#include <QStringDecoder>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace platform {

QString RegularFileError::reason() const
{
    switch (kind) {
    case Kind::Directory: return QStringLiteral("Is a directory");
    case Kind::NotRegular: return QStringLiteral("Not a regular file");
    case Kind::System: break;
    }
    return QString::fromLocal8Bit(std::strerror(errorNumber));
}

Result<BoundedRead, RegularFileError> readRegularFile(const QString &path, qint64 maxBytes)
{
    using R = Result<BoundedRead, RegularFileError>;
    const auto system = [](int error) { return R::failure({RegularFileError::Kind::System, error}); };

    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    if (fd < 0)
        return system(errno);
    auto read = readOpenRegularFile(fd, maxBytes);
    ::close(fd);
    return read;
}

Result<BoundedRead, RegularFileError> readOpenRegularFile(int fd, qint64 maxBytes)
{
    using R = Result<BoundedRead, RegularFileError>;
    const auto system = [](int error) { return R::failure({RegularFileError::Kind::System, error}); };

    struct stat st {};
    if (::fstat(fd, &st) != 0)
        return system(errno);
    if (!S_ISREG(st.st_mode)) {
        return R::failure({S_ISDIR(st.st_mode) ? RegularFileError::Kind::Directory
                                               : RegularFileError::Kind::NotRegular,
                           0});
    }

    BoundedRead out;
    out.size = st.st_size;
    out.bytes.resize(qsizetype(qBound<qint64>(0, qint64(st.st_size), maxBytes)));
    qint64 filled = 0;
    while (filled < maxBytes) {
        if (filled == out.bytes.size()) // the file grew since fstat
            out.bytes.resize(qsizetype(qMin(maxBytes, filled + qMax<qint64>(filled, 64 * 1024))));
        const ssize_t n = ::read(fd, out.bytes.data() + filled, size_t(out.bytes.size() - filled));
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            return system(errno);
        if (n == 0)
            break;
        filled += n;
    }
    out.bytes.truncate(qsizetype(filled));
    return out;
}

std::optional<QString> decodeUtf8Strict(QByteArrayView bytes, Bom bom)
{
    QStringDecoder::Flags flags = QStringDecoder::Flag::Stateless;
    if (bom == Bom::Keep)
        flags |= QStringDecoder::Flag::ConvertInitialBom;
    QStringDecoder decoder(QStringDecoder::Utf8, flags);
    QString text = decoder.decode(bytes);
    if (decoder.hasError())
        return std::nullopt;
    return text;
}

} // namespace platform
