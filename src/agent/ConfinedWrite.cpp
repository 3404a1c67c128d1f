#include "agent/ConfinedWrite.h"

#include "platform/AtomicFile.h"

#include <QFile>
#include <QRandomGenerator>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace agent::ConfinedWrite {

namespace {

class Fd {
public:
    explicit Fd(int fd = -1) : m_fd(fd) {}
    ~Fd() { reset(); }
    Fd(const Fd &) = delete;
    Fd &operator=(const Fd &) = delete;
    int get() const { return m_fd; }
    void reset(int fd = -1)
    {
        if (m_fd >= 0)
            ::close(m_fd);
        m_fd = fd;
    }

private:
    int m_fd;
};

Failure systemFailure(const QString &what, const QString &path, int error)
{
    return {FailureKind::Other,
            QStringLiteral("%1 %2: %3").arg(what, path, QString::fromLocal8Bit(std::strerror(error)))};
}

} // namespace

std::optional<Failure> write(const QString &root, const QString &target, const QByteArray &bytes, bool createParents)
{
    if (target == root)
        return systemFailure(QStringLiteral("Could not write"), target, EISDIR);
    const QString prefix = root == u"/" ? root : root + u'/';
    if (!target.startsWith(prefix) || target.size() == prefix.size())
        return Failure{FailureKind::Escape, {}};
    const QByteArrayList parts = QFile::encodeName(target.mid(prefix.size())).split('/');

    Fd dir(::open(QFile::encodeName(root).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (dir.get() < 0)
        return systemFailure(QStringLiteral("Could not open"), root, errno);
    QString walked = root;
    for (qsizetype i = 0; i + 1 < parts.size(); ++i) {
        const QByteArray &part = parts[i];
        if (part.isEmpty() || part == "." || part == "..")
            return Failure{FailureKind::Escape, {}};
        walked += u'/' + QFile::decodeName(part);
        int next = ::openat(dir.get(), part.constData(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
        if (next < 0 && errno == ENOENT && createParents) {
            if (::mkdirat(dir.get(), part.constData(), 0777) != 0 && errno != EEXIST)
                return systemFailure(QStringLiteral("Could not create folder"), walked, errno);
            next = ::openat(dir.get(), part.constData(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
        }
        if (next < 0) {
            if (errno == ELOOP)
                return Failure{FailureKind::Escape, {}}; // a link appeared where a folder was
            return systemFailure(QStringLiteral("Could not open folder"), walked, errno);
        }
        dir.reset(next);
    }

    const QByteArray name = parts.last();
    if (name.isEmpty() || name == "." || name == "..")
        return Failure{FailureKind::Escape, {}};
    std::optional<mode_t> mode; // a new file gets the usual mode under the user's umask
    struct stat st {};
    if (::fstatat(dir.get(), name.constData(), &st, AT_SYMLINK_NOFOLLOW) == 0) {
        if (S_ISLNK(st.st_mode))
            return Failure{FailureKind::Escape, {}};
        if (S_ISDIR(st.st_mode))
            return systemFailure(QStringLiteral("Could not write"), target, EISDIR);
        mode = st.st_mode & 07777;
    }

    QByteArray temp;
    Fd file;
    for (int attempt = 0; attempt < 16 && file.get() < 0; ++attempt) {
        temp = '.' + name + '.' + QByteArray::number(QRandomGenerator::global()->generate(), 36);
        file.reset(::openat(dir.get(), temp.constData(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC,
                            mode ? 0600 : 0666));
        if (file.get() < 0 && errno != EEXIST)
            break;
    }
    if (file.get() < 0)
        return systemFailure(QStringLiteral("Could not create a file beside"), target, errno);
    bool ok = (!mode || ::fchmod(file.get(), *mode) == 0) && platform::writeAllToFd(file.get(), bytes) && ::fsync(file.get()) == 0;
    int error = errno;
    file.reset();
    if (ok && ::renameat(dir.get(), temp.constData(), dir.get(), name.constData()) != 0) {
        ok = false;
        error = errno;
    }
    if (!ok) {
        ::unlinkat(dir.get(), temp.constData(), 0);
        return systemFailure(QStringLiteral("Could not write"), target, error);
    }
    return std::nullopt;
}

} // namespace agent::ConfinedWrite
