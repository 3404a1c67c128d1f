#pragma once

#include <QByteArray>

#include <sys/types.h>

namespace agent::ProcessSweep {

// What a shell command started: the members of its process group, and every
// process of this user whose environment carries the command's own entry
// (NAME=token). The entry is inherited by whatever the command starts, also
// by processes that left the group with setsid or were orphaned.
struct Target {
    pid_t group = 0;
    QByteArray environmentEntry;
};

// Signals every running process of the target; returns how many were found.
// Each process is checked and signalled through a pidfd where the system has
// them, so a process id reused meanwhile is never signalled.
int signalAll(const Target &target, int signal);

// Whether a process of the target still runs (zombies do not count).
bool anyAlive(const Target &target);

} // namespace agent::ProcessSweep
