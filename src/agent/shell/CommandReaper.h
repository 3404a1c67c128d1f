#pragma once

#include "agent/shell/ChildDescriptors.h"
#include "agent/shell/ShellSandbox.h"

#include <QByteArrayList>
#include <QProcessEnvironment>

#include <csignal>
#include <vector>

#include <sys/types.h>

namespace agent::CommandReaper {

// A command without a sandbox runs three deep. The process started is the
// reaper, a small shell: a session of its own, a child subreaper told of the
// app's death, that kills whatever is left below it once the command has
// ended or the app has died. Below it a process of ours waits for the
// command's shell and writes its status to the reaper; the command's shell
// runs below that one, confined with a scope of signals where the kernel has
// one, so that it can signal neither of the two (nor anything else outside).
// Killed anyway, the middle one takes the command's shell with it and the
// reaper still ends what the shell left.

// The signal the reaper is sent when the app dies, however it ends.
inline constexpr int kParentDeathSignal = SIGUSR1;

// The reaper; it reads the command's status from statusFd.
ShellSandbox::Launch launch(int statusFd);

// A program, its arguments and its environment as exec takes them: made
// before the fork, since nothing may be allocated after it.
class Exec {
public:
    Exec(const QString &program, const QStringList &arguments, const QProcessEnvironment &environment);
    const char *path() const { return m_path.constData(); }
    char *const *argv() const { return m_argv.data(); }
    char *const *envp() const { return m_envp.data(); }

private:
    QByteArray m_path;
    QByteArrayList m_storage;
    std::vector<char *> m_argv;
    std::vector<char *> m_envp;
};

// In the reaper's process between fork and exec (it may share the app's
// memory until then): makes it a subreaper in a session of its own, in
// folder, and starts the middle process with the command below it, which
// holds only descriptors 0 to 2 and is confined with scope unless that is
// -1. Returns in the reaper; statusRead is left open for it. Only system
// calls.
MOONSHELF_BEFORE_EXEC void startBelow(pid_t app, int folder, int statusRead, int statusWrite, const Exec &command, int scope);

} // namespace agent::CommandReaper
