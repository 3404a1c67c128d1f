#include "agent/files/WriteLeftovers.h"

#include "agent/files/ConfinedWrite.h"
#include "agent/files/FolderTrail.h"

#include <QByteArrayList>
#include <QFile>

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <vector>

namespace agent::WriteLeftovers {

namespace {

bool isBefore(const timespec &a, const timespec &b)
{
    return a.tv_sec < b.tv_sec || (a.tv_sec == b.tv_sec && a.tv_nsec < b.tv_nsec);
}

// Removes the leftovers of the folder dirFd and returns its sub-folders.
QByteArrayList sweepFolder(int dirFd, const timespec &before, int &removed)
{
    QByteArrayList folders;
    const int readable = ::openat(dirFd, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (readable < 0)
        return folders;
    DIR *dir = ::fdopendir(readable);
    if (!dir) {
        ::close(readable);
        return folders;
    }
    const uid_t self = ::geteuid();
    while (const dirent *e = ::readdir(dir)) {
        const QByteArray name(e->d_name);
        if (name == "." || name == "..")
            continue;
        if (e->d_type == DT_DIR) {
            folders.append(name);
            continue;
        }
        const bool candidate = ConfinedWrite::isTemporaryName(name);
        if (e->d_type != DT_UNKNOWN && !candidate)
            continue;
        struct stat st {};
        if (::fstatat(dirFd, name.constData(), &st, AT_SYMLINK_NOFOLLOW) != 0)
            continue;
        if (S_ISDIR(st.st_mode))
            folders.append(name);
        else if (candidate && S_ISREG(st.st_mode) && st.st_uid == self && isBefore(st.st_mtim, before)
                 && ::unlinkat(dirFd, name.constData(), 0) == 0)
            ++removed;
    }
    ::closedir(dir);
    return folders;
}

} // namespace

int remove(const QString &root, const timespec &before, const std::atomic<bool> &stop)
{
    platform::UniqueFd top(::open(QFile::encodeName(root).constData(), O_PATH | O_DIRECTORY | O_CLOEXEC));
    struct stat rootStat {};
    if (!top.isValid() || ::fstat(top.get(), &rootStat) != 0)
        return 0;
    FolderTrail trail(std::move(top));
    int removed = 0;
    // Per folder on the trail, its sub-folders still to visit.
    std::vector<QByteArrayList> levels;
    levels.push_back(sweepFolder(trail.fd(), before, removed));
    while (!levels.empty() && !stop) {
        if (levels.back().isEmpty()) {
            levels.pop_back();
            if (!levels.empty() && !trail.leave())
                break; // moved meanwhile: the way back is gone
            continue;
        }
        const QByteArray name = levels.back().takeLast();
        platform::UniqueFd sub(::openat(trail.fd(), name.constData(), O_PATH | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
        struct stat st {};
        if (!sub.isValid() || ::fstat(sub.get(), &st) != 0 || st.st_dev != rootStat.st_dev)
            continue;
        if (trail.enter(std::move(sub)))
            levels.push_back(sweepFolder(trail.fd(), before, removed));
    }
    return removed;
}

} // namespace agent::WriteLeftovers
