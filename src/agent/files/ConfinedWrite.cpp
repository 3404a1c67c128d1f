#include "agent/files/ConfinedWrite.h"

#include "agent/files/NativeName.h"
#include "platform/AtomicFile.h"
#include "platform/UniqueFd.h"

#include <QFile>
#include <QRandomGenerator>

#include <cerrno>
#include <climits>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace agent::ConfinedWrite {

namespace {

constexpr char kTemporaryPrefix[] = ".moonshelf-write-";
constexpr char kTemporarySuffix[] = ".tmp";

Failure systemFailure(const QString &what, const QString &path, int error)
{
    return {FailureKind::Other,
            QStringLiteral("%1 %2: %3").arg(what, path, QString::fromLocal8Bit(std::strerror(error)))};
}

} // namespace

QByteArray temporaryName()
{
    QByteArray random = QByteArray::number(QRandomGenerator::global()->generate64(), 16);
    return kTemporaryPrefix + random.rightJustified(16, '0') + kTemporarySuffix;
}

bool isTemporaryName(QByteArrayView name)
{
    const qsizetype prefix = qsizetype(sizeof kTemporaryPrefix) - 1;
    const qsizetype suffix = qsizetype(sizeof kTemporarySuffix) - 1;
    if (name.size() != prefix + 16 + suffix || !name.startsWith(kTemporaryPrefix) || !name.endsWith(kTemporarySuffix))
        return false;
    for (const char c : name.sliced(prefix, 16)) {
        if (!((c >= '0' && c <= '9') || (c >= 'a' && c <= 'f')))
            return false;
    }
    return true;
}

std::optional<Failure> write(const QString &root, const QString &target, const QByteArray &bytes, bool createParents)
{
    if (target == root)
        return systemFailure(QStringLiteral("Could not write"), target, EISDIR);
    const QString prefix = root == u"/" ? root : root + u'/';
    if (!target.startsWith(prefix) || target.size() == prefix.size())
        return Failure{FailureKind::Escape, {}};
    const QList<QStringView> parts = QStringView(target).sliced(prefix.size()).split(u'/');

    platform::UniqueFd dir(::open(QFile::encodeName(root).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (dir.get() < 0)
        return systemFailure(QStringLiteral("Could not open"), root, errno);
    QString walked = root;
    for (qsizetype i = 0; i + 1 < parts.size(); ++i) {
        const QStringView part = parts[i];
        if (part.isEmpty() || part == u"." || part == u"..")
            return Failure{FailureKind::Escape, {}};
        walked += u'/' + part.toString();
        // The folder as the model named it: the bytes of a name it was shown.
        const QByteArray name = NativeName::pick(dir.get(), NativeName::candidates(part));
        int next = ::openat(dir.get(), name.constData(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
        if (next < 0 && errno == ENOENT && createParents) {
            if (::mkdirat(dir.get(), name.constData(), 0777) != 0 && errno != EEXIST)
                return systemFailure(QStringLiteral("Could not create folder"), walked, errno);
            next = ::openat(dir.get(), name.constData(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
        }
        if (next < 0) {
            if (errno == ELOOP)
                return Failure{FailureKind::Escape, {}}; // a link appeared where a folder was
            return systemFailure(QStringLiteral("Could not open folder"), walked, errno);
        }
        dir.reset(next);
    }

    const QStringView last = parts.last();
    if (last.isEmpty() || last == u"." || last == u"..")
        return Failure{FailureKind::Escape, {}};
    const QByteArray name = NativeName::pick(dir.get(), NativeName::candidates(last));
    std::optional<mode_t> mode; // a new file gets the usual mode under the user's umask
    struct stat st {};
    if (::fstatat(dir.get(), name.constData(), &st, AT_SYMLINK_NOFOLLOW) == 0) {
        if (S_ISLNK(st.st_mode))
            return Failure{FailureKind::Escape, {}};
        if (S_ISDIR(st.st_mode))
            return systemFailure(QStringLiteral("Could not write"), target, EISDIR);
        mode = st.st_mode & 07777;
    }

    // Checked here so the platform's own text names the fault, not the temporary file.
    if (name.size() > NAME_MAX)
        return systemFailure(QStringLiteral("Could not write"), target, ENAMETOOLONG);

    QByteArray temp;
    platform::UniqueFd file;
    for (int attempt = 0; attempt < 16 && file.get() < 0; ++attempt) {
        // Independent of the target's name, so any legal name can be written.
        temp = temporaryName();
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
