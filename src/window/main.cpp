// The moonshelf executable: one instance per user, one main window.

#include "platform/AppPaths.h"
#include "platform/InstanceChannel.h"
#include "platform/InstanceLock.h"
#include "window/AfterFirstFrame.h"
#include "window/AppRoot.h"
#include "window/MainWindow.h"
#include "window/WindowIcon.h"

#include <QApplication>
#include <QDBusConnection>
#include <QDBusMessage>

#include <cstdio>
#include <sys/prctl.h>

namespace {

QString alreadyRunningText(qint64 pid)
{
    return pid > 0 ? QStringLiteral("Moonshelf Mac is already running (process %1). Only one can run at a time, so "
                                    "that two never overwrite each other's conversations and settings.")
                         .arg(pid)
                   : QStringLiteral("Moonshelf Mac is already running. Only one can run at a time, so that two "
                                    "never overwrite each other's conversations and settings.");
}

// For a launch from the desktop with no terminal, when the running window
// could not be brought forward: a desktop notification, if a service is there.
void notify(const QString &text)
{
    QDBusMessage notify = QDBusMessage::createMethodCall(
        QStringLiteral("org.freedesktop.Notifications"), QStringLiteral("/org/freedesktop/Notifications"),
        QStringLiteral("org.freedesktop.Notifications"), QStringLiteral("Notify"));
    notify << QStringLiteral("Moonshelf Mac") << 0u << QStringLiteral("moonshelf") << QStringLiteral("Moonshelf Mac")
           << text << QStringList() << QVariantMap() << -1;
    QDBusConnection::sessionBus().call(notify, QDBus::Block, 500);
}

} // namespace

int main(int argc, char **argv)
{
    // Before any secret is read: other processes of the user (a command run
    // without a sandbox among them) can then neither read this one's memory
    // nor attach a debugger to it.
    ::prctl(PR_SET_DUMPABLE, 0, 0, 0, 0);
    QApplication application(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Moonshelf Mac"));
    QApplication::setApplicationVersion(QStringLiteral(MOONSHELF_VERSION));
    QApplication::setDesktopFileName(QStringLiteral("moonshelf"));
    // The main window's close ends the app (with its question, if any); the
    // settings window alone never does.
    QApplication::setQuitOnLastWindowClosed(false);
    // The menu bar sits in the window's own title strip, never in the
    // desktop's: without this, making it asks the session bus whether the
    // desktop has a global menu, before the first frame.
    QApplication::setAttribute(Qt::AA_DontUseNativeMenuBar);

    // Before any store is opened: two processes saving the same files lose
    // each other's updates.
    const QString supportDirectory = platform::AppPaths::supportDirectory();
    platform::InstanceLock lock(supportDirectory);
    if (!lock.tryLock()) {
        const QString text = alreadyRunningText(lock.ownerPid());
        std::fprintf(stderr, "%s\n", text.toLocal8Bit().constData());
        // The running one may still be starting: give it a few seconds.
        if (platform::InstanceChannel::askToRaise(supportDirectory, std::chrono::seconds(5)))
            return 0;
        notify(text);
        return 3;
    }

    // Temporary files of saves a crash interrupted: nobody else can be
    // writing them now, and no store has read its folder yet.
    platform::AppPaths::removeLeftoverTemporaryFiles();

    window::AppRoot root(window::MainWindow::systemFrameRequested());
    // A second start brings this window forward.
    platform::InstanceChannel channel(supportDirectory);
    QObject::connect(&channel, &platform::InstanceChannel::raiseRequested, &root.window(),
                     &window::MainWindow::bringToFront);
    // Replacing the socket file waits on the disk: after the first frame,
    // as a second start keeps trying for a few seconds.
    window::afterFirstFrame(root.window(), [&channel] { channel.listen(); });
    window::setWindowIconAfterFirstFrame(root.window());
    root.window().show();
    // Without a window manager nothing else gives the new window the keyboard.
    root.window().activateWindow();
    return application.exec();
}
