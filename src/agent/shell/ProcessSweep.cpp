#include "agent/shell/ProcessSweep.h"

#include "platform/UniqueFd.h"

#include <QByteArrayList>

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <dirent.h>
#include <fcntl.h>
#include <sys/syscall.h>
#include <sys/stat.h>
#include <unistd.h>

namespace agent::ProcessSweep {

namespace {

// Called directly: the C library's declarations of these lack C linkage here.
int pidfdOpen(pid_t pid)
{
    return int(::syscall(SYS_pidfd_open, pid, 0));
}

int pidfdSendSignal(int pidfd, int signal)
{
    return int(::syscall(SYS_pidfd_send_signal, pidfd, signal, nullptr, 0));
}

QByteArray readAll(const QByteArray &path, qsizetype cap)
{
    const platform::UniqueFd fd(::open(path.constData(), O_RDONLY | O_CLOEXEC));
    QByteArray out;
    if (!fd.isValid())
        return out;
    char buffer[8192];
    while (out.size() < cap) {
        const ssize_t n = ::read(fd.get(), buffer, sizeof buffer);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            break;
        out.append(buffer, n);
    }
    return out;
}

struct ProcState {
    char state = 0;
    pid_t parent = 0;
    pid_t group = 0;
    pid_t session = 0;
};

// pid (comm) state ppid pgrp session ...; comm may hold spaces and parentheses.
ProcState readState(const QByteArray &dir)
{
    const QByteArray line = readAll(dir + "/stat", 1024);
    const qsizetype close = line.lastIndexOf(')');
    if (close < 0)
        return {};
    const QByteArrayList fields = line.mid(close + 2).split(' ');
    if (fields.size() < 4 || fields[0].isEmpty())
        return {};
    return {fields[0].at(0), pid_t(fields[1].toLongLong()), pid_t(fields[2].toLongLong()), pid_t(fields[3].toLongLong())};
}

std::optional<Namespace> namespaceOf(const QByteArray &dir)
{
    struct stat st {};
    if (::stat((dir + "/ns/pid").constData(), &st) != 0)
        return std::nullopt;
    return Namespace{st.st_dev, st.st_ino};
}

bool carries(const QByteArray &dir, const QByteArray &entry)
{
    // An environment holds at most a few megabytes (the kernel's argument limit).
    const QByteArray environ = '\0' + readAll(dir + "/environ", 8 * 1024 * 1024) + '\0';
    return environ.contains('\0' + entry + '\0');
}

bool belongs(pid_t pid, const QByteArray &dir, const Target &target)
{
    if (pid == target.spare)
        return false;
    const ProcState st = readState(dir);
    if (st.state == 0 || st.state == 'Z' || st.state == 'X')
        return false;
    if ((target.group > 0 && st.group == target.group) || (target.session > 0 && st.session == target.session))
        return true;
    if (target.pidNamespace.isValid() && namespaceOf(dir) == target.pidNamespace)
        return true;
    return !target.environmentEntry.isEmpty() && carries(dir, target.environmentEntry);
}

// Calls visit(pid, dir) for every process of this user but this one; stops
// when visit returns false.
template <typename Visit>
void forEachOwnProcess(Visit visit)
{
    DIR *proc = ::opendir("/proc");
    if (!proc)
        return;
    const uid_t self = ::geteuid();
    const pid_t me = ::getpid();
    while (const dirent *e = ::readdir(proc)) {
        if (e->d_name[0] < '1' || e->d_name[0] > '9')
            continue;
        const pid_t pid = pid_t(std::atoll(e->d_name));
        struct stat st {};
        if (pid == me || ::fstatat(::dirfd(proc), e->d_name, &st, 0) != 0 || st.st_uid != self)
            continue;
        if (!visit(pid, QByteArray("/proc/") + e->d_name))
            break;
    }
    ::closedir(proc);
}

} // namespace

int signalAll(const Target &target, int signal)
{
    // At once to the whole group, unless a member of it must be spared.
    if (target.group > 0 && target.spare == 0)
        ::kill(-target.group, signal);
    int found = 0;
    forEachOwnProcess([&](pid_t pid, const QByteArray &dir) {
        // The pidfd pins the process before it is looked at: if the id is
        // reused after this, the signal goes nowhere.
        const platform::UniqueFd pidfd(pidfdOpen(pid));
        if (!pidfd.isValid() && errno != ENOSYS)
            return true; // gone already
        if (!belongs(pid, dir, target))
            return true;
        ++found;
        if (pidfd.isValid())
            pidfdSendSignal(pidfd.get(), signal);
        else
            ::kill(pid, signal);
        return true;
    });
    return found;
}

bool anyAlive(const Target &target)
{
    bool alive = false;
    forEachOwnProcess([&](pid_t pid, const QByteArray &dir) {
        alive = belongs(pid, dir, target);
        return !alive;
    });
    return alive;
}

std::optional<Namespace> pidNamespaceOf(pid_t pid)
{
    return namespaceOf("/proc/" + QByteArray::number(pid));
}

} // namespace agent::ProcessSweep
