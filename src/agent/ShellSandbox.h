#pragma once

#include <QProcessEnvironment>
#include <QString>
#include <QStringList>

#include <optional>

#include <qcoro/qcorotask.h>

namespace agent::ShellSandbox {

// How a command is started: a program and its arguments.
struct Launch {
    QString program;
    QStringList arguments;
};

// The command in a sandbox of bubblewrap: a PID namespace of its own, with
// its own /proc (the app's processes are not in it), the file system and the
// network as they are, a session of its own and no new privileges. When its
// first process ends (the shell exits, or the sandbox is killed, or the app
// dies) the kernel ends every process in it.
// The sandbox program writes the pid of the sandbox's first process (as this
// process sees it) to infoFd, an open descriptor it inherits.
// What of the person's session a command must not reach.
struct Hidden {
    QStringList sockets; // covered by an empty device
    QStringList folders; // covered by an empty private folder
};
Launch isolated(const QString &sandboxProgram, const QString &command, const QString &workingDirectory, int infoFd,
                const Hidden &hidden = {});

// Found from the environment: the session bus (through it a command could
// read the keyring or have the session's service manager start what
// outlives the call) and the keyring's control socket; the folders of the
// person's tmux and screen servers (a command sent there would run outside
// the sandbox, in the person's own terminals). A bus on an abstract socket
// cannot be hidden this way.
Hidden hiddenFrom(const QProcessEnvironment &environment);

// The pid of the sandbox's first process in what the sandbox program wrote
// to its information descriptor; nothing until it is all there.
std::optional<qint64> firstProcess(const QByteArray &info);

// The command without a sandbox: its login shell runs under a small reaper
// shell that, once the login shell has ended, kills whatever the command left
// below it. The caller makes the reaper a child subreaper before it starts
// (PR_SET_CHILD_SUBREAPER outlives exec), so that orphans of the command,
// also those that left its session or cleared their environment, stay below it.
Launch unisolated(const QString &command);

// The bubblewrap on PATH; empty when there is none.
QString findProgram();

// Whether the program can make the sandbox here (user namespaces may be
// switched off, or /proc may not be mountable): runs /bin/true in it once.
QCoro::Task<bool> probe(QString sandboxProgram);

} // namespace agent::ShellSandbox
