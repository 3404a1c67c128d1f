#include "platform/AtomicFile.h"

#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace platform {

namespace {

QString errnoText(const char *what)
{
    return QStringLiteral("%1: %2").arg(QString::fromLatin1(what), QString::fromLocal8Bit(std::strerror(errno)));
}

} // namespace

bool writeAllToFd(int fd, QByteArrayView bytes)
{
    const char *data = bytes.data();
    qsizetype size = bytes.size();
    while (size > 0) {
        const ssize_t n = ::write(fd, data, static_cast<size_t>(size));
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        data += n;
        size -= n;
    }
    return true;
}

QString writeFileAtomically(const QString &path, const QByteArray &bytes, const WriteOptions &options)
{
    const QByteArray target = QFile::encodeName(path);
    mode_t mode = 0644;
    if (options.mode) {
        mode = *options.mode;
    } else {
        struct stat st {};
        if (::stat(target.constData(), &st) == 0)
            mode = st.st_mode & 07777;
    }

    QByteArray tmpl = QFile::encodeName(QFileInfo(path).absolutePath()) + "/."
                      + QFile::encodeName(QFileInfo(path).fileName()) + ".XXXXXX";
    // mkstemp creates the file 0600; fchmod before the first byte if the mode differs.
    const int fd = ::mkstemp(tmpl.data());
    if (fd < 0)
        return errnoText("create");
    bool ok = (mode == 0600 || ::fchmod(fd, mode) == 0);
    ok = ok && writeAllToFd(fd, bytes);
    if (ok && options.sync)
        ok = ::fsync(fd) == 0;
    const QString failure = ok ? QString() : errnoText("write");
    ::close(fd);
    if (!ok) {
        ::unlink(tmpl.constData());
        return failure;
    }
    if (::rename(tmpl.constData(), target.constData()) != 0) {
        const QString err = errnoText("rename");
        ::unlink(tmpl.constData());
        return err;
    }
    return {};
}

} // namespace platform
