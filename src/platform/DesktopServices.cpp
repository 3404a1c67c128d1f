#include "platform/DesktopServices.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusPendingCall>
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>
#include <QTimer>

#include <QCoroDBusPendingCall>
#include <QCoroProcess>
#include <QCoroTimer>

#include <memory>

#include <unistd.h>

namespace platform {

QCoro::Task<bool> runDesktopProgram(QString program, QStringList arguments, QString folder,
                                    std::chrono::milliseconds window)
{
    if (program.isEmpty())
        co_return false;
    const auto process = std::make_unique<QProcess>();
    // Through a shell that runs the program as its child rather than being
    // replaced by it: once the window has passed, that shell is ended and
    // the program (a browser, a terminal) goes on without this app.
    process->setProgram(QStringLiteral("/bin/sh"));
    process->setArguments(QStringList{QStringLiteral("-c"), QStringLiteral("\"$@\"; exit $?"), QStringLiteral("sh"),
                                      program}
                          + arguments);
    if (!folder.isEmpty())
        process->setWorkingDirectory(folder);
    // No pipes: the program outlives the reader of any pipe given to it.
    process->setStandardInputFile(QProcess::nullDevice());
    process->setStandardOutputFile(QProcess::nullDevice());
    process->setStandardErrorFile(QProcess::nullDevice());
    // A session of its own: closing the terminal this app was started from
    // does not end the program.
    process->setChildProcessModifier([] { ::setsid(); });
    process->start();
    // Started or not: a folder that is gone fails the start a moment later.
    // Heard through a slot that takes the new state only: stateChanged's
    // private tag arrives as a null pointer, which a QCoro signal wait would
    // bind a reference to.
    if (process->state() == QProcess::Starting) {
        QTimer decided;
        decided.setSingleShot(true);
        QObject::connect(process.get(), &QProcess::stateChanged, &decided,
                         [&decided](QProcess::ProcessState) { decided.start(0); });
        decided.start(window);
        co_await decided;
    }
    // A quick program may have ended already: that is no failure to start.
    if (process->state() == QProcess::Starting || process->error() == QProcess::FailedToStart)
        co_return false;
    const bool finished = co_await qCoro(*process).waitForFinished(int(window.count()));
    if (!finished && process->state() != QProcess::NotRunning) {
        process->kill(); // the shell only
        process->waitForFinished(1000);
        co_return true;
    }
    co_return process->exitStatus() == QProcess::NormalExit && process->exitCode() == 0;
}

SystemDesktopServices::SystemDesktopServices(DesktopPrograms programs) : m_programs(std::move(programs))
{
}

QCoro::Task<bool> SystemDesktopServices::openUrl(QUrl url)
{
    // Local files by path: openers that take no URL take a path.
    // Named, not temporaries of the co_await expression (g++ 12 may destroy those twice).
    const QStringList arguments{url.isLocalFile() ? url.toLocalFile() : url.toString(QUrl::FullyEncoded)};
    const DesktopPrograms programs = m_programs;
    const bool opened = co_await runDesktopProgram(programs.opener, arguments, QString(), programs.window);
    co_return opened;
}

QCoro::Task<bool> SystemDesktopServices::revealFile(QString path)
{
    const DesktopPrograms programs = m_programs; // the answer may come after this object went
    if (programs.askFileManager) {
        QDBusMessage call = QDBusMessage::createMethodCall(
            QStringLiteral("org.freedesktop.FileManager1"), QStringLiteral("/org/freedesktop/FileManager1"),
            QStringLiteral("org.freedesktop.FileManager1"), QStringLiteral("ShowItems"));
        call << QStringList{QUrl::fromLocalFile(path).toString()} << QString();
        QDBusPendingCall pending = QDBusConnection::sessionBus().asyncCall(call, 2000);
        const QDBusMessage reply = co_await pending;
        if (reply.type() == QDBusMessage::ReplyMessage)
            co_return true;
    }
    const QStringList folder{QFileInfo(path).absolutePath()};
    const bool opened = co_await runDesktopProgram(programs.opener, folder, QString(), programs.window);
    co_return opened;
}

QCoro::Task<bool> SystemDesktopServices::openTerminal(QString folder)
{
    QString program = m_programs.terminal;
    if (program.isEmpty())
        program = QStandardPaths::findExecutable(QStringLiteral("x-terminal-emulator"));
    if (program.isEmpty())
        program = QString::fromLocal8Bit(qgetenv("TERMINAL"));
    // The folder is the working directory, never text a shell would read.
    const QStringList none;
    const bool started = co_await runDesktopProgram(program, none, folder, m_programs.window);
    co_return started;
}

} // namespace platform
