#include "agent/ConfinedOpen.h"

#include "agent/PathResolution.h"

#include <QByteArrayList>
#include <QFile>

#include <cerrno>
#include <climits>
#include <fcntl.h>
#include <sys/stat.h>
#include <vector>

namespace agent::ConfinedOpen {

namespace {

using OpenResult = platform::Result<UniqueFd, Failure>;

constexpr int kMaxLinkHops = 40; // as the kernel's own limit

OpenResult escape()
{
    return OpenResult::failure({Failure::Kind::Escape, 0});
}

OpenResult systemError(int error)
{
    return OpenResult::failure({Failure::Kind::System, error});
}

void pushComponents(QByteArrayList &pending, const QByteArray &path)
{
    const QByteArrayList parts = path.split('/');
    for (auto it = parts.crbegin(); it != parts.crend(); ++it) {
        if (!it->isEmpty() && *it != ".")
            pending.append(*it);
    }
}

// The part of an inside path below root, as native bytes.
QByteArray below(const QString &root, const QString &inside)
{
    return QFile::encodeName(inside.mid(root == u"/" ? 1 : root.size()));
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

} // namespace

OpenResult open(const QString &root, const QString &target, Want want)
{
    if (!PathResolution::isInside(target, root))
        return escape();
    const UniqueFd rootFd(::open(QFile::encodeName(root).constData(), O_PATH | O_DIRECTORY | O_CLOEXEC));
    if (!rootFd.isValid())
        return systemError(errno);

    // Folders walked below the root, the current one last; each is an O_PATH
    // descriptor of the very folder that was checked, so ".." is a pop.
    std::vector<UniqueFd> walked;
    const auto current = [&] { return walked.empty() ? rootFd.get() : walked.back().get(); };
    QByteArrayList pending; // components still to walk, the next one last
    pushComponents(pending, below(root, target));
    int hops = 0;

    while (!pending.isEmpty()) {
        const QByteArray part = pending.takeLast();
        if (part == "..") {
            if (walked.empty())
                return escape();
            walked.pop_back();
            continue;
        }
        UniqueFd node(::openat(current(), part.constData(), O_PATH | O_NOFOLLOW | O_CLOEXEC));
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
                const std::optional<QString> resolved = PathResolution::resolveAll(QFile::decodeName(*link));
                if (!resolved || !PathResolution::isInside(*resolved, root))
                    return escape();
                walked.clear();
                pushComponents(pending, below(root, *resolved));
            } else {
                pushComponents(pending, *link);
            }
            continue;
        }
        if (S_ISDIR(st.st_mode)) {
            walked.push_back(std::move(node));
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
        UniqueFd file(::open(self.constData(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC));
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
    UniqueFd dir(::openat(current(), ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (!dir.isValid())
        return systemError(errno);
    return dir;
}

} // namespace agent::ConfinedOpen
