#include "agent/shell/ChildDescriptors.h"

#include <cerrno>
#include <climits>
#include <cstddef>
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace agent::ChildDescriptors {

namespace {

MOONSHELF_BEFORE_EXEC void markCloseOnExec(int fd)
{
    const int flags = ::fcntl(fd, F_GETFD);
    if (flags >= 0 && !(flags & FD_CLOEXEC))
        ::fcntl(fd, F_SETFD, flags | FD_CLOEXEC);
}

MOONSHELF_BEFORE_EXEC bool markRange(unsigned first, unsigned last)
{
    if (first > last)
        return true;
    return ::syscall(SYS_close_range, first, last, CLOSE_RANGE_CLOEXEC) == 0;
}

// Kernels before 5.11: each open descriptor, as /proc lists it.
MOONSHELF_BEFORE_EXEC bool markListed(int keep)
{
    const int dir = ::open("/proc/self/fd", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dir < 0)
        return false;
    alignas(8) char buffer[1024]; // small: the stack may be a small one
    for (;;) {
        const long n = ::syscall(SYS_getdents64, dir, buffer, sizeof buffer);
        if (n <= 0)
            break;
        for (long at = 0; at < n;) {
            struct Entry {
                unsigned long long ino;
                long long off;
                unsigned short reclen;
                unsigned char type;
                char name[1];
            };
            const auto *entry = reinterpret_cast<const Entry *>(buffer + at);
            at += entry->reclen;
            int fd = 0;
            const char *c = entry->name;
            if (*c < '0' || *c > '9')
                continue;
            for (; *c >= '0' && *c <= '9'; ++c)
                fd = fd * 10 + (*c - '0');
            if (fd > 2 && fd != keep && fd != dir)
                markCloseOnExec(fd);
        }
    }
    ::close(dir);
    return true;
}

} // namespace

void keepOnlyStandard(int keep)
{
    const unsigned top = ~0U;
    if (keep > 2 ? markRange(3, unsigned(keep) - 1) && markRange(unsigned(keep) + 1, top) : markRange(3, top))
        return;
    if (markListed(keep))
        return;
    // No /proc either: every number the limit allows.
    rlimit limit{};
    const rlim_t end = ::getrlimit(RLIMIT_NOFILE, &limit) == 0 && limit.rlim_cur != RLIM_INFINITY ? limit.rlim_cur : 65536;
    for (rlim_t fd = 3; fd < end && fd <= rlim_t(INT_MAX); ++fd) {
        if (int(fd) != keep)
            markCloseOnExec(int(fd));
    }
}

} // namespace agent::ChildDescriptors
