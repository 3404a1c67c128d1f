#include "agent/ShellSandbox.h"

#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QProcessEnvironment>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QUrl>

#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <qcoro/qcoroprocess.h>

#include <memory>

namespace agent::ShellSandbox {

namespace {

constexpr char kShell[] = "/bin/zsh";

QStringList sandboxArguments(const QString &workingDirectory)
{
    return {
        QStringLiteral("--dev-bind"), QStringLiteral("/"), QStringLiteral("/"),
        QStringLiteral("--proc"), QStringLiteral("/proc"),
        QStringLiteral("--unshare-pid"),
        QStringLiteral("--die-with-parent"),
        QStringLiteral("--new-session"),
        QStringLiteral("--chdir"), workingDirectory,
        QStringLiteral("--"),
    };
}

// Runs as zsh without start-up files but /etc/zshenv. A trap with a command
// (not an ignored signal) keeps the reaper alive through the SIGTERM of a
// time-out while the command's own processes get the default action.
// $(<file) reads without starting a process, so the list of children holds
// only what the command left.
constexpr char kReaperScript[] = R"(trap : TERM INT HUP
/bin/zsh -lc "$1"
code=$?
zmodload zsh/zselect 2>/dev/null
while :; do
  left=$(</proc/$$/task/$$/children)
  [[ -z ${left// } ]] && break
  kill -KILL ${=left} 2>/dev/null
  zselect -t 1 2>/dev/null
done
exit $code)";

bool hasType(const QString &path, mode_t type)
{
    struct stat st;
    return ::stat(QFile::encodeName(path).constData(), &st) == 0 && (st.st_mode & S_IFMT) == type;
}

QStringList sessionSockets(const QProcessEnvironment &environment)
{
    QStringList candidates;
    for (const QString &address : environment.value(QStringLiteral("DBUS_SESSION_BUS_ADDRESS")).split(u';', Qt::SkipEmptyParts)) {
        if (!address.startsWith(QLatin1String("unix:")))
            continue;
        for (const QString &pair : address.mid(5).split(u',')) {
            if (pair.startsWith(QLatin1String("path=")))
                candidates.append(QUrl::fromPercentEncoding(pair.mid(5).toUtf8()));
        }
    }
    const QString runtime = environment.value(QStringLiteral("XDG_RUNTIME_DIR"));
    if (!runtime.isEmpty())
        candidates << runtime + QStringLiteral("/bus") << runtime + QStringLiteral("/keyring/control");
    QStringList out;
    for (const QString &path : std::as_const(candidates)) {
        if (hasType(path, S_IFSOCK) && !out.contains(path))
            out.append(path);
    }
    return out;
}

} // namespace

Launch isolated(const QString &sandboxProgram, const QString &command, const QString &workingDirectory, int infoFd,
                const Hidden &hidden)
{
    QStringList arguments{QStringLiteral("--info-fd"), QString::number(infoFd)};
    arguments << sandboxArguments(workingDirectory);
    // An empty device in place of each socket, over the root bound first:
    // connecting to it is refused.
    qsizetype at = arguments.indexOf(QStringLiteral("--proc"));
    for (const QString &path : hidden.sockets) {
        arguments.insert(at++, QStringLiteral("--ro-bind"));
        arguments.insert(at++, QStringLiteral("/dev/null"));
        arguments.insert(at++, path);
    }
    for (const QString &path : hidden.folders) {
        for (const QString &a : {QStringLiteral("--perms"), QStringLiteral("0700"), QStringLiteral("--tmpfs"), path})
            arguments.insert(at++, a);
    }
    arguments << QString::fromLatin1(kShell) << QStringLiteral("-lc") << command;
    return {sandboxProgram, arguments};
}


Hidden hiddenFrom(const QProcessEnvironment &environment)
{
    Hidden out;
    out.sockets = sessionSockets(environment);
    const QString uid = QString::number(::getuid());
    const passwd *user = ::getpwuid(::getuid());
    const QString name = user ? QString::fromLocal8Bit(user->pw_name) : QString();
    QStringList folders{environment.value(QStringLiteral("TMUX_TMPDIR"), QStringLiteral("/tmp")) + QStringLiteral("/tmux-") + uid,
                        environment.value(QStringLiteral("SCREENDIR"))};
    if (!name.isEmpty())
        folders << QStringLiteral("/run/screen/S-") + name << QStringLiteral("/var/run/screen/S-") + name;
    for (const QString &folder : std::as_const(folders)) {
        // Only folders that exist: the sandbox would make the others outside.
        const QString path = QFileInfo(folder).canonicalFilePath();
        if (!folder.isEmpty() && !path.isEmpty() && hasType(path, S_IFDIR) && !out.folders.contains(path))
            out.folders.append(path);
    }
    return out;
}


Launch unisolated(const QString &command)
{
    return {QString::fromLatin1(kShell),
            {QStringLiteral("-fc"), QString::fromLatin1(kReaperScript), QStringLiteral("moonshelf-shell"), command}};
}

std::optional<qint64> firstProcess(const QByteArray &info)
{
    static const QRegularExpression childPid(QStringLiteral(R"("child-pid"\s*:\s*(\d+)\s*[,}])"));
    const QRegularExpressionMatch match = childPid.match(QString::fromLatin1(info));
    if (!match.hasMatch())
        return std::nullopt;
    return match.captured(1).toLongLong();
}

QString findProgram()
{
    return QStandardPaths::findExecutable(QStringLiteral("bwrap"));
}

QCoro::Task<bool> probe(QString sandboxProgram)
{
    if (sandboxProgram.isEmpty())
        co_return false;
    const auto process = std::make_unique<QProcess>();
    process->setProgram(sandboxProgram);
    process->setArguments(sandboxArguments(QStringLiteral("/")) << QStringLiteral("/bin/true"));
    process->setStandardInputFile(QProcess::nullDevice());
    process->setStandardOutputFile(QProcess::nullDevice());
    process->setStandardErrorFile(QProcess::nullDevice());
    process->start();
    if (!co_await qCoro(*process).waitForStarted(5000))
        co_return false;
    const bool finished = co_await qCoro(*process).waitForFinished(5000);
    if (!finished) {
        process->kill();
        process->waitForFinished(1000);
        co_return false;
    }
    co_return process->exitStatus() == QProcess::NormalExit && process->exitCode() == 0;
}

} // namespace agent::ShellSandbox
