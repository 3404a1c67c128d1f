#include "agent/shell/ShellSandbox.h"

#include "agent/shell/AbstractSocketScope.h"
#include "agent/shell/ChildDescriptors.h"
#include "platform/AppPaths.h"
#include "platform/CredentialEnvironment.h"
#include "platform/UserDefaults.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QProcessEnvironment>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QUrl>

#include <sys/stat.h>
#include <unistd.h>

#include <qcoro/qcoroprocess.h>

#include <algorithm>
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

// Each path by its real location, only what exists (the sandbox would make
// the rest outside), nothing under a folder already covered, and never the
// root or a folder holding the home folder.
Hidden covering(const QStringList &folders, const QStringList &files, const QString &home)
{
    const auto canonical = [](const QString &path) {
        return path.isEmpty() ? QString() : QFileInfo(path).canonicalFilePath();
    };
    const auto under = [](const QString &path, const QString &folder) {
        return path == folder || path.startsWith(folder.endsWith(u'/') ? folder : folder + u'/');
    };
    const QString realHome = canonical(home);
    Hidden out;
    for (const QString &folder : folders) {
        const QString path = canonical(folder);
        if (path.isEmpty() || !hasType(path, S_IFDIR) || path == u"/" || (!realHome.isEmpty() && under(realHome, path)))
            continue;
        if (std::any_of(out.folders.cbegin(), out.folders.cend(), [&](const QString &f) { return under(path, f); }))
            continue;
        out.folders.removeIf([&](const QString &f) { return under(f, path); });
        out.folders.append(path);
    }
    for (const QString &file : files) {
        const QString path = canonical(file);
        if (path.isEmpty() || hasType(path, S_IFDIR) || out.files.contains(path)
            || std::any_of(out.folders.cbegin(), out.folders.cend(), [&](const QString &f) { return under(path, f); }))
            continue;
        out.files.append(path);
    }
    return out;
}

} // namespace

Launch isolated(const QString &sandboxProgram, const QString &command, const QString &workingDirectory, int infoFd,
                const Hidden &hidden)
{
    QStringList arguments{QStringLiteral("--info-fd"), QString::number(infoFd)};
    arguments << sandboxArguments(workingDirectory);
    // Over the root bound first. An empty device in place of each file, on a
    // mount without devices: a socket refuses connections, a file cannot be
    // opened.
    qsizetype at = arguments.indexOf(QStringLiteral("--proc"));
    for (const QString &path : hidden.files) {
        for (const QString &a : {QStringLiteral("--ro-bind"), QStringLiteral("/dev/null"), path})
            arguments.insert(at++, a);
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
    QString home = environment.value(QStringLiteral("HOME"));
    if (home.isEmpty())
        home = QDir::homePath();
    const QString uid = QString::number(::getuid());
    const auto at = [](const QString &base, const QString &relative) {
        return base.isEmpty() ? QString() : QDir(base).filePath(relative);
    };

    QStringList folders;
    // The app's own: made when missing, so that a command cannot make one
    // that the app would later take for its own.
    const QString settings = QFileInfo(platform::UserDefaults::location()).absolutePath();
    platform::AppPaths::ensurePrivateDirectory(settings);
    folders << platform::AppPaths::supportDirectory() << settings << platform::AppPaths::runtimeDirectory()
            << QStandardPaths::writableLocation(QStandardPaths::CacheLocation);
    QStringList files;
    for (const QString &relative : platform::CredentialEnvironment::files()) {
        const QString file = at(home, relative);
        files << file;
        folders << QFileInfo(file).absolutePath();
    }
    // The person's runtime folder: an empty private one in its place.
    folders << environment.value(QStringLiteral("XDG_RUNTIME_DIR")) << QStringLiteral("/run/user/") + uid;
    // Terminal servers.
    folders << at(environment.value(QStringLiteral("TMUX_TMPDIR")), QStringLiteral("tmux-") + uid)
            << QStringLiteral("/tmp/tmux-") + uid << environment.value(QStringLiteral("SCREENDIR"))
            << at(home, QStringLiteral(".screen")) << QStringLiteral("/run/screen") << QStringLiteral("/var/run/screen");
    // The X display.
    folders << QStringLiteral("/tmp/.X11-unix");
    files << environment.value(QStringLiteral("XAUTHORITY")) << at(home, QStringLiteral(".Xauthority"));
    // Sockets outside the runtime folder.
    files << sessionSockets(environment);
    const QString gnupg = environment.value(QStringLiteral("GNUPGHOME"), at(home, QStringLiteral(".gnupg")));
    if (!gnupg.isEmpty()) {
        for (const QFileInfo &entry : QDir(gnupg).entryInfoList({QStringLiteral("S.*")}, QDir::System | QDir::Hidden))
            files << entry.filePath();
    }
    return covering(folders, files, home);
}

QProcessEnvironment sandboxEnvironment(QProcessEnvironment environment)
{
    environment.insert(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"), QStringLiteral("unix:path=/dev/null"));
    for (const char *name : {"TMUX", "STY", "DISPLAY", "WAYLAND_DISPLAY", "XAUTHORITY"})
        environment.remove(QString::fromLatin1(name));
    return environment;
}

Launch unisolated(const QString &command)
{
    return {QString::fromLatin1(kShell), {QStringLiteral("-lc"), command}};
}

std::optional<qint64> firstProcess(const QByteArray &info)
{
    static const QRegularExpression childPid(QStringLiteral(R"("child-pid"\s*:\s*(\d+)\s*[,}])"));
    const QRegularExpressionMatch match = childPid.match(QString::fromLatin1(info));
    if (!match.hasMatch())
        return std::nullopt;
    return match.captured(1).toLongLong();
}

platform::UniqueFd socketScopeFor(const QString &program, bool withSignals)
{
    struct stat st {};
    if (::stat(QFile::encodeName(program).constData(), &st) == 0 && (st.st_mode & S_ISUID))
        return platform::UniqueFd();
    return AbstractSocketScope::prepare(withSignals);
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
    // Tried as commands run: confined to their own abstract sockets, which
    // also sets no_new_privs before the sandbox program starts.
    const platform::UniqueFd scope = socketScopeFor(sandboxProgram);
    process->setChildProcessModifier([scope = scope.get()] {
        ChildDescriptors::keepOnlyStandard();
        AbstractSocketScope::applyToSelf(scope);
    });
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
