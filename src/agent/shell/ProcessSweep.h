#pragma once

#include <QByteArray>

#include <optional>
#include <sys/types.h>

namespace agent::ProcessSweep {

// A PID namespace, as the kernel names it.
struct Namespace {
    dev_t dev = 0;
    ino_t ino = 0;
    bool isValid() const { return ino != 0; }
    friend bool operator==(const Namespace &, const Namespace &) = default;
};

// What a shell command started: the members of its process group and of its
// session, every process of this user whose environment carries the
// command's own entry (NAME=token, inherited also by processes that left the
// group and session), and every process of its PID namespace.
struct Target {
    pid_t group = 0;
    pid_t session = 0;
    QByteArray environmentEntry;
    Namespace pidNamespace;
    // Never signalled: the process that ends the others itself.
    pid_t spare = 0;
};

// Signals every running process of the target; returns how many were found.
// Each process is checked and signalled through a pidfd where the system has
// them, so a process id reused meanwhile is never signalled.
int signalAll(const Target &target, int signal);

// Whether a process of the target still runs (zombies do not count).
bool anyAlive(const Target &target);

// The PID namespace a process lives in; nothing when it is gone.
std::optional<Namespace> pidNamespaceOf(pid_t pid);

} // namespace agent::ProcessSweep
