#pragma once

#include "platform/UniqueFd.h"

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

// What of the person's session a command must not reach, each by its real
// location, so that no other spelling of the path (a symbolic link, "..")
// leads there.
struct Hidden {
    QStringList files;   // covered by an empty device: sockets, credential files
    QStringList folders; // covered by an empty private folder
};
// The command in a sandbox of bubblewrap: a PID namespace of its own, with
// its own /proc (the app's processes are not in it), the file system and the
// network as they are, a session of its own and no new privileges. When its
// first process ends (the shell exits, or the sandbox is killed, or the app
// dies) the kernel ends every process in it.
// The sandbox program writes the pid of the sandbox's first process (as this
// process sees it) to infoFd, an open descriptor it inherits.
Launch isolated(const QString &sandboxProgram, const QString &command, const QString &workingDirectory, int infoFd,
                const Hidden &hidden = {});

// Found from the environment and the app's own paths:
// - the app's data, settings and cache folders (its session, settings and
//   conversations) and every file it reads a credential from, with the
//   folders they lie in;
// - the person's runtime folder, with the session bus, the keyring, the user
//   service manager, gpg-agent, the sound server, the accessibility bus and
//   the Wayland display in it; a session bus or gpg-agent socket elsewhere;
// - the folders of the person's tmux and screen servers, the X display's
//   sockets and its authority file.
// Through any of these a command would read a secret or have something
// outside the sandbox run what it asks. A socket in the abstract namespace
// is not a file and cannot be hidden this way (see AbstractSocketScope).
Hidden hiddenFrom(const QProcessEnvironment &environment);

// The command's environment in the sandbox: nothing in it points to what is
// hidden (display, bus, terminal servers), and the bus address says plainly
// that there is none rather than leaving tools to look for one elsewhere.
QProcessEnvironment sandboxEnvironment(QProcessEnvironment environment);

// The pid of the sandbox's first process in what the sandbox program wrote
// to its information descriptor; nothing until it is all there.
std::optional<qint64> firstProcess(const QByteArray &info);

// The command without a sandbox: its login shell, which the caller starts
// below a reaper of its own (see CommandReaper).
Launch unisolated(const QString &command);

// The abstract-socket scope (see AbstractSocketScope) for a command started
// through program, with signals for a command without a sandbox (its reaper
// and the app lie outside); none where program is setuid, which the
// no_new_privs the scope may bring along would keep from working.
platform::UniqueFd socketScopeFor(const QString &program, bool withSignals = false);

// The bubblewrap on PATH; empty when there is none.
QString findProgram();

// Whether the program can make the sandbox here (user namespaces may be
// switched off, or /proc may not be mountable): runs /bin/true in it once.
QCoro::Task<bool> probe(QString sandboxProgram);

} // namespace agent::ShellSandbox
