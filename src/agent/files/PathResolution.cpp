#include "agent/files/PathResolution.h"

#include "agent/files/FolderTrail.h"
#include "agent/files/NativeName.h"

#include <QStringList>

#include <cerrno>
#include <climits>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace agent::PathResolution {

namespace {

constexpr int kMaxLinkHops = 40; // as the kernel's own limit

// Walked from the folder's descriptor: no system call sees the whole path,
// so a path longer than the system's limit resolves like any other.
std::optional<QByteArray> readLinkAt(int dirFd, const QByteArray &name)
{
    QByteArray target(PATH_MAX, Qt::Uninitialized);
    const ssize_t n = ::readlinkat(dirFd, name.constData(), target.data(), target.size());
    if (n <= 0 || n >= target.size())
        return std::nullopt;
    target.truncate(n);
    return target;
}

platform::UniqueFd openSystemRoot()
{
    return platform::UniqueFd(::open("/", O_PATH | O_DIRECTORY | O_CLOEXEC));
}

} // namespace

void pushShown(QList<Part> &pending, QStringView path)
{
    const QList<QStringView> parts = path.split(u'/');
    for (auto it = parts.crbegin(); it != parts.crend(); ++it) {
        if (!it->isEmpty() && *it != u".")
            pending.append({it->toString(), NativeName::candidates(*it)});
    }
}

void pushBytes(QList<Part> &pending, const QByteArray &path)
{
    const QByteArrayList parts = path.split('/');
    for (auto it = parts.crbegin(); it != parts.crend(); ++it) {
        if (!it->isEmpty() && *it != ".")
            pending.append({NativeName::display(*it), {*it, std::nullopt}});
    }
}

std::optional<QString> resolveAll(const QString &absolutePath)
{
    if (!absolutePath.startsWith(u'/') || absolutePath.contains(QChar(0)))
        return std::nullopt;
    platform::UniqueFd top = openSystemRoot();
    if (!top.isValid())
        return std::nullopt;
    FolderTrail trail(std::move(top));

    QList<Part> pending; // components still to walk, the next one last
    pushShown(pending, absolutePath);
    QStringList resolved; // as shown, the way the trail went
    bool missing = false; // a component was not there: the rest is kept as given
    bool pastFile = false; // the last component is not a folder
    int hops = 0;

    while (!pending.isEmpty()) {
        const Part part = pending.takeLast();
        if (part.names.literal == "..") {
            // The kernel cannot walk up out of a folder that does not exist.
            if (missing)
                return std::nullopt;
            if (resolved.isEmpty())
                continue; // "/.." is "/"
            if (pastFile)
                pastFile = false; // the trail still stands in the file's folder
            else if (!trail.leave())
                return std::nullopt;
            resolved.removeLast();
            continue;
        }
        if (missing || pastFile) {
            missing = true;
            resolved.append(part.shown);
            continue;
        }
        const QByteArray name = NativeName::pick(trail.fd(), part.names);
        struct stat st {};
        // A name too long for any folder cannot exist; the operation on it
        // reports the platform's own error.
        const bool found = name.size() <= NAME_MAX && ::fstatat(trail.fd(), name.constData(), &st, AT_SYMLINK_NOFOLLOW) == 0;
        if (!found) {
            if (name.size() <= NAME_MAX && errno == ELOOP)
                return std::nullopt;
            // Not there (or not reachable): nothing below it can be a link.
            missing = true;
            resolved.append(part.shown);
            continue;
        }
        if (S_ISLNK(st.st_mode)) {
            if (++hops > kMaxLinkHops)
                return std::nullopt;
            const std::optional<QByteArray> target = readLinkAt(trail.fd(), name);
            if (!target)
                return std::nullopt;
            if (target->startsWith('/')) {
                trail.restart(openSystemRoot());
                resolved.clear();
            }
            pushBytes(pending, *target);
            continue;
        }
        resolved.append(NativeName::display(name));
        if (!S_ISDIR(st.st_mode))
            pastFile = true;
        else if (!trail.enter(platform::UniqueFd(::openat(trail.fd(), name.constData(), O_PATH | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC))))
            missing = true; // replaced meanwhile, or not searchable
    }
    return u'/' + resolved.join(u'/');
}

bool isInside(const QString &candidate, const QString &root)
{
    if (root == u"/")
        return candidate.startsWith(u'/');
    return candidate == root || (candidate.startsWith(root) && candidate.at(root.size()) == u'/');
}

} // namespace agent::PathResolution
