#include "agent/files/ConfinedOpen.h"

#include "agent/files/FolderTrail.h"
#include "agent/files/NativeName.h"
#include "agent/files/PathResolution.h"

#include <QFile>

#include <cerrno>
#include <climits>
#include <fcntl.h>
#include <sys/stat.h>

namespace agent::ConfinedOpen {

namespace {

using OpenResult = platform::Result<platform::UniqueFd, Failure>;
using PathResolution::Part;

constexpr int kMaxLinkHops = 40; // as the kernel's own limit

OpenResult escape()
{
    return OpenResult::failure({Failure::Kind::Escape, 0});
}

OpenResult systemError(int error)
{
    return OpenResult::failure({Failure::Kind::System, error});
}

// The part of an inside path below root.
QStringView below(const QString &root, const QString &inside)
{
    return QStringView(inside).sliced(root == u"/" ? 1 : root.size());
}

std::optional<QByteArray> readLink(int linkFd)
{
    QByteArray target(PATH_MAX, Qt::Uninitialized);
    // An empty path reads the link the O_PATH descriptor itself holds.
    const ssize_t n = ::readlinkat(linkFd, "", target.data(), target.size());
    if (n <= 0 || n >= target.size())
        return std::nullopt;
    target.truncate(n);
    return target;
}

bool sameFile(const struct stat &a, const struct stat &b)
{
    return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

platform::UniqueFd duplicate(int fd)
{
    return platform::UniqueFd(::fcntl(fd, F_DUPFD_CLOEXEC, 0));
}

} // namespace

OpenResult open(const QString &root, const QString &target, Want want)
{
    if (!PathResolution::isInside(target, root))
        return escape();
    const platform::UniqueFd rootFd(::open(QFile::encodeName(root).constData(), O_PATH | O_DIRECTORY | O_CLOEXEC));
    if (!rootFd.isValid())
        return systemError(errno);

    // The folder walked to, below the root, holding one descriptor of the
    // very folder that was checked; ".." goes back the way it came.
    FolderTrail trail(duplicate(rootFd.get()));
    if (trail.fd() < 0)
        return systemError(errno);
    QList<Part> pending; // components still to walk, the next one last
    PathResolution::pushShown(pending, below(root, target));
    int hops = 0;

    while (!pending.isEmpty()) {
        const Part part = pending.takeLast();
        if (part.names.literal == "..") {
            if (trail.isAtStart())
                return escape();
            if (!trail.leave())
                return systemError(ENOENT); // the folder was moved meanwhile
            continue;
        }
        const QByteArray name = NativeName::pick(trail.fd(), part.names);
        platform::UniqueFd node(::openat(trail.fd(), name.constData(), O_PATH | O_NOFOLLOW | O_CLOEXEC));
        struct stat st {};
        if (!node.isValid() || ::fstat(node.get(), &st) != 0)
            return systemError(errno);

        if (S_ISLNK(st.st_mode)) {
            if (++hops > kMaxLinkHops)
                return systemError(ELOOP);
            const std::optional<QByteArray> link = readLink(node.get());
            if (!link)
                return systemError(EINVAL);
            if (link->startsWith('/')) {
                // Resolved again as a whole; only a place inside is walked to,
                // and that walk checks every component once more.
                const std::optional<QString> resolved = PathResolution::resolveAll(NativeName::displayPath(*link));
                if (!resolved || !PathResolution::isInside(*resolved, root))
                    return escape();
                trail.restart(duplicate(rootFd.get()));
                PathResolution::pushShown(pending, below(root, *resolved));
            } else {
                PathResolution::pushBytes(pending, *link);
            }
            continue;
        }
        if (S_ISDIR(st.st_mode)) {
            if (!trail.enter(std::move(node)))
                return systemError(errno);
            continue;
        }
        if (!pending.isEmpty())
            return systemError(ENOTDIR);
        if (want == Want::Directory)
            return systemError(ENOTDIR);
        // Decided on the O_PATH descriptor: opening a device can already act on it.
        if (!S_ISREG(st.st_mode))
            return OpenResult::failure({Failure::Kind::NotRegular, 0});
        // Re-opened through the descriptor that was checked, never by name:
        // a FIFO swapped in meanwhile would be opened (and its writer woken).
        const QByteArray self = "/proc/self/fd/" + QByteArray::number(node.get());
        platform::UniqueFd file(::open(self.constData(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC));
        if (!file.isValid())
            return systemError(errno);
        struct stat opened {};
        if (::fstat(file.get(), &opened) != 0)
            return systemError(errno);
        if (!sameFile(st, opened) || !S_ISREG(opened.st_mode))
            return OpenResult::failure({Failure::Kind::NotRegular, 0});
        return file;
    }

    if (want == Want::File)
        return OpenResult::failure({Failure::Kind::Directory, 0});
    platform::UniqueFd dir(::openat(trail.fd(), ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (!dir.isValid())
        return systemError(errno);
    return dir;
}

} // namespace agent::ConfinedOpen
