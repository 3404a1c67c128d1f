#include "agent/shell/CommandReaper.h"

#include "agent/shell/AbstractSocketScope.h"
#include "agent/shell/ChildDescriptors.h"

#include <QFile>

#include <cerrno>
#include <fcntl.h>
#include <sys/prctl.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

namespace agent::CommandReaper {

namespace {

// Taken when the app loads: a first call through the lazy binding stub would
// run the dynamic linker in a child that may share the app's memory.
pid_t (*const forkProcess)() = &::_Fork;

// Runs as zsh without start-up files but /etc/zshenv. A trap with a command
// (not an ignored signal) keeps the reaper alive through the SIGTERM of a
// time-out while the command's own processes get the default action.
// $(<file) reads without starting a process, so the list of children holds
// only what the command left; a child that ended before the shell started
// stays unreaped, and is passed over. SIGUSR1 comes when the app dies: traps
// run at once, and one sent while the app still lives changes nothing. No
// status (the middle process was killed) reads as killed.
constexpr char kReaperScript[] = R"(trap : TERM INT HUP
zmodload zsh/zselect 2>/dev/null
setopt traps_async
app=$PPID
endAll() {
  local left pid stat fields
  while :; do
    left=()
    for pid in ${=$(</proc/$$/task/$$/children)}; do
      stat=$(</proc/$pid/stat) 2>/dev/null
      fields=(${=stat##*\) })
      [[ $fields[1] == [ZX] ]] || left+=($pid)
    done
    (( $#left )) || break
    kill -KILL $left 2>/dev/null
    zselect -t 1 2>/dev/null
  done
}
appGone() {
  local stat=$(</proc/$$/stat)
  local fields=(${=stat##*\) })
  [[ $fields[2] != $app ]]
}
trap 'appGone && { endAll; exit 137 }' USR1
fd=$1
code=
read -r -u $fd code
exec {fd}<&-
endAll
[[ $code == <-> ]] || code=137
exit $code)";

MOONSHELF_BEFORE_EXEC void writeStatus(int fd, int code)
{
    char text[16];
    int at = int(sizeof text);
    text[--at] = '\n';
    do {
        text[--at] = char('0' + code % 10);
        code /= 10;
    } while (code > 0 && at > 0);
    while (::write(fd, text + at, size_t(int(sizeof text) - at)) < 0 && errno == EINTR) {
    }
}

[[noreturn]] MOONSHELF_BEFORE_EXEC void runCommand(pid_t middle, const Exec &command, int scope)
{
    if (::prctl(PR_SET_PDEATHSIG, SIGKILL, 0, 0, 0) != 0 || ::getppid() != middle)
        ::_exit(127);
    // A fresh program's signals: none blocked, none ignored.
    struct sigaction standard {};
    standard.sa_handler = SIG_DFL;
    for (int s = 1; s < NSIG; ++s)
        ::sigaction(s, &standard, nullptr);
    sigset_t none;
    sigemptyset(&none);
    ::sigprocmask(SIG_SETMASK, &none, nullptr);
    ChildDescriptors::keepOnlyStandard();
    if (scope >= 0)
        AbstractSocketScope::applyToSelf(scope);
    ::execve(command.path(), command.argv(), command.envp());
    ::_exit(127);
}

// Every signal stays blocked here: a SIGTERM for the command leaves it to
// report; only a SIGKILL, or the reaper's end, ends it first.
[[noreturn]] MOONSHELF_BEFORE_EXEC void runMiddle(pid_t reaper, int statusWrite, const Exec &command, int scope)
{
    if (::prctl(PR_SET_PDEATHSIG, SIGKILL, 0, 0, 0) != 0 || ::getppid() != reaper)
        ::_exit(127);
    // Its memory is the app's: not to be read through /proc.
    ::prctl(PR_SET_DUMPABLE, 0, 0, 0, 0);
    const pid_t self = ::getpid();
    const pid_t shell = forkProcess();
    if (shell == 0)
        runCommand(self, command, scope);
    // Holds nothing but the status pipe: the command's output ends with it.
    if (statusWrite > 0)
        ::syscall(SYS_close_range, 0U, unsigned(statusWrite - 1), 0U);
    ::syscall(SYS_close_range, unsigned(statusWrite + 1), ~0U, 0U);
    if (shell < 0)
        ::_exit(127);
    int status = 0;
    while (::waitpid(shell, &status, __WALL) < 0) {
        if (errno != EINTR)
            ::_exit(127);
    }
    writeStatus(statusWrite, WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status));
    ::_exit(0);
}

} // namespace

ShellSandbox::Launch launch(int statusFd)
{
    return {QStringLiteral("/bin/zsh"),
            {QStringLiteral("-fc"), QString::fromLatin1(kReaperScript), QStringLiteral("moonshelf-shell"),
             QString::number(statusFd)}};
}

Exec::Exec(const QString &program, const QStringList &arguments, const QProcessEnvironment &environment)
    : m_path(QFile::encodeName(program))
{
    m_storage.append(m_path);
    for (const QString &argument : arguments)
        m_storage.append(argument.toLocal8Bit());
    const qsizetype argc = m_storage.size();
    for (const QString &entry : environment.toStringList())
        m_storage.append(entry.toLocal8Bit());
    for (qsizetype i = 0; i < m_storage.size(); ++i)
        (i < argc ? m_argv : m_envp).push_back(m_storage[i].data());
    m_argv.push_back(nullptr);
    m_envp.push_back(nullptr);
}

MOONSHELF_BEFORE_EXEC void startBelow(pid_t app, int folder, int statusRead, int statusWrite, const Exec &command, int scope)
{
    ::setsid();
    ::prctl(PR_SET_CHILD_SUBREAPER, 1, 0, 0, 0);
    ::prctl(PR_SET_PDEATHSIG, kParentDeathSignal, 0, 0, 0);
    // An app gone before the request took effect is seen in the parent that changed.
    if (::getppid() != app || ::fchdir(folder) != 0)
        ::_exit(127);
    // No handler of the app's may run in the copies made here.
    sigset_t all;
    sigfillset(&all);
    sigset_t previous;
    ::sigprocmask(SIG_BLOCK, &all, &previous);
    const pid_t reaper = ::getpid();
    const pid_t middle = forkProcess();
    if (middle == 0)
        runMiddle(reaper, statusWrite, command, scope);
    ::sigprocmask(SIG_SETMASK, &previous, nullptr);
    if (middle < 0)
        ::_exit(127);
    ChildDescriptors::keepOnlyStandard(statusRead);
    ::fcntl(statusRead, F_SETFD, 0);
}

} // namespace agent::CommandReaper
