#include "agent/ShellSandbox.h"

#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>

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

} // namespace

Launch isolated(const QString &sandboxProgram, const QString &command, const QString &workingDirectory, int infoFd)
{
    QStringList arguments{QStringLiteral("--info-fd"), QString::number(infoFd)};
    arguments << sandboxArguments(workingDirectory) << QString::fromLatin1(kShell) << QStringLiteral("-lc") << command;
    return {sandboxProgram, arguments};
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
