#include "agent/shell/AbstractSocketScope.h"
#include "agent/files/WorkspaceManager.h"
#include "agent/shell/PrivilegeNote.h"
#include "agent/shell/ShellRunner.h"
#include "agent/shell/ShellSandbox.h"
#include "agent/tools/ToolRouter.h"
#include "auth/CliSessionImport.h"
#include "auth/CredentialPlace.h"
#include "platform/AppPaths.h"
#include "platform/UserDefaults.h"
#include "support/MarkedProcess.h"
#include "support/TestMain.h"

#include <QElapsedTimer>
#include <QJsonDocument>
#include <QJsonObject>
#include <QPointer>
#include <QProcess>
#include <QRandomGenerator>
#include <QScopeGuard>
#include <QTemporaryDir>
#include <QThread>
#include <QTimer>

#include <cstddef>
#include <cstring>
#include <fcntl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

using namespace agent;

namespace {

QString shellArgs(const QString &command)
{
    return QString::fromUtf8(QJsonDocument(QJsonObject{{"command", command}}).toJson(QJsonDocument::Compact));
}

QString withNote(const QString &text)
{
    return text + (text.endsWith(u'\n') ? QString() : QStringLiteral("\n")) + ShellRunner::unisolatedNote();
}

// How a call ends in a row of the table.
// ParentKilled: the command tries to end what runs it, then exits.
enum class Ending { Exit, ParentKilled, TimeOut, Stop, RouterDeleted, RunnerDeleted };

// Waits, inside the command, until the test has seen the marked process run
// and made seenFile (at most a minute, the call's own limit): the command
// exits only after that, however long the machine takes to get there.
QString waitUntilSeen(const QString &seenFile)
{
    return QStringLiteral("for i in {1..1200}; do [ -e %1 ] && break; sleep 0.05; done").arg(seenFile);
}

} // namespace

// Real commands, in the real sandbox (and without it), as whichever user runs
// the test: CI runs it as root and, through run_unprivileged.sh, as nobody.
class TestSandbox : public QObject {
    Q_OBJECT

    QTemporaryDir m_tmp;
    WorkspaceManager *m_ws = nullptr;
    QString m_sandbox;
    bool m_sandboxWorks = false;

    ToolRouter *router(bool isolated)
    {
        auto *r = new ToolRouter(m_ws, this);
        r->setSandboxProgram(isolated ? m_sandbox : QString());
        return r;
    }
    ToolExecutionResult shell(bool isolated, const QString &command, double timeout = 60)
    {
        ToolRouter *r = router(isolated);
        r->setShellTimeout(timeout);
        const ToolExecutionResult result = QCoro::waitFor(r->execute(QStringLiteral("run_shell"), shellArgs(command)));
        delete r;
        return result;
    }
    void skipUnlessSandbox(bool isolated)
    {
        if (isolated && !m_sandboxWorks)
            QSKIP("bubblewrap cannot make a sandbox on this machine");
    }

private Q_SLOTS:
    void initTestCase()
    {
        m_ws = new WorkspaceManager(this);
        m_ws->setWorkspace(m_tmp.path());
        m_sandbox = ShellSandbox::findProgram();
        m_sandboxWorks = QCoro::waitFor(ShellSandbox::probe(m_sandbox));
        // CI installs bubblewrap: there the sandbox must work, for root and nobody alike.
        if (!m_sandboxWorks && qEnvironmentVariableIsSet("CI"))
            QFAIL("bubblewrap is missing or cannot make a sandbox here");
    }

    void nothingOutlivesItsCall_data()
    {
        QTest::addColumn<QString>("wrapper"); // put before the marked process
        QTest::addColumn<QString>("command"); // %1: the marked process, %2: a wait for it
        QTest::addColumn<Ending>("ending");
        QTest::addColumn<bool>("isolated");
        const QString clearedSession = QStringLiteral("env -i setsid ");
        const QString setpgrp = QStringLiteral("env -i perl -e 'setpgrp(0,0); exec @ARGV' ");
        const QString ignoresTerm = QStringLiteral("setsid sh -c 'trap \"\" TERM; exec \"$@\"' ignore-term ");
        const struct {
            const char *name;
            QString wrapper;
            const char *command;
            Ending ending;
        } rows[] = {
            {"background job at a normal exit", {}, "%1 & %2; echo started", Ending::Exit},
            {"orphan of a subshell at a normal exit", {}, "(%1 &); %2", Ending::Exit},
            {"cleared environment in a new session, normal exit", clearedSession, "%1 & %2", Ending::Exit},
            {"cleared environment in a new session, time-out", clearedSession, "%1 & sleep 1000", Ending::TimeOut},
            {"setpgrp with a cleared environment, stop", setpgrp, "%1 & sleep 1000", Ending::Stop},
            {"per-call mark unset in a new session, stop", QStringLiteral("env -u MOONSHELF_SHELL_RUN setsid "),
             "%1 & sleep 1000", Ending::Stop},
            {"orphan of a subshell, time-out", {}, "(%1 &); sleep 1000", Ending::TimeOut},
            {"shell ignoring SIGTERM, time-out", {}, "trap '' TERM; %1 & sleep 1000", Ending::TimeOut},
            {"new session ignoring SIGTERM, stop", ignoresTerm, "%1 & sleep 1000", Ending::Stop},
            {"nohup at a normal exit", QStringLiteral("nohup "), "%1 > /dev/null 2>&1 & %2", Ending::Exit},
            {"double fork at a normal exit", {}, "( ( %1 & ) & ); %2", Ending::Exit},
            // Its parent is a process of this test's own runner (in the
            // sandbox, the sandbox's first process).
            {"parent killed, cleared environment in a new session", clearedSession,
             "%1 & echo $PPID | xargs kill -KILL; %2", Ending::ParentKilled},
            {"router deleted (session deleted)", {}, "%1 & sleep 1000", Ending::RouterDeleted},
            {"runner deleted (app quits)", clearedSession, "%1 & sleep 1000", Ending::RunnerDeleted},
        };
        for (const bool isolated : {true, false}) {
            for (const auto &row : rows)
                QTest::addRow("%s, %s", isolated ? "sandbox" : "without sandbox", row.name)
                    << row.wrapper << QString::fromLatin1(row.command) << row.ending << isolated;
        }
    }
    void nothingOutlivesItsCall()
    {
        QFETCH(QString, wrapper);
        QFETCH(QString, command);
        QFETCH(Ending, ending);
        QFETCH(bool, isolated);
        skipUnlessSandbox(isolated);
        MarkedProcess marked;
        const QString pidFile = QStringLiteral("marked-") + QString::fromLatin1(marked.mark());
        const QString pidPath = m_tmp.filePath(pidFile);
        const QString seenFile = QStringLiteral("seen-") + QString::fromLatin1(marked.mark());
        const QString text = QString(command)
                                 .replace(QStringLiteral("%1"), marked.spawn(pidFile, wrapper))
                                 .replace(QStringLiteral("%2"), waitUntilSeen(seenFile));
        const double timeout = ending == Ending::TimeOut ? 3 : 60;

        QPointer<ToolRouter> r = router(isolated);
        r->setShellTimeout(timeout);
        ShellRunner *runner = nullptr;
        std::optional<QCoro::Task<ToolExecutionResult>> task;
        if (ending == Ending::RunnerDeleted) {
            runner = new ShellRunner();
            runner->start(text, m_tmp.path(), timeout, isolated ? m_sandbox : QString());
        } else {
            task.emplace(r->execute(QStringLiteral("run_shell"), shellArgs(text)));
        }
        bool seen = false;
        bool acted = false;
        QTimer poll;
        poll.setInterval(20);
        connect(&poll, &QTimer::timeout, this, [&] {
            marked.readPid(pidPath);
            seen = seen || marked.running();
            if (!seen || acted)
                return;
            acted = true;
            if (ending == Ending::Exit || ending == Ending::ParentKilled)
                QFile(m_tmp.filePath(seenFile)).open(QIODevice::WriteOnly);
            else if (ending == Ending::Stop)
                r->cancelRunningCommand();
            else if (ending == Ending::RouterDeleted)
                delete r;
            else if (ending == Ending::RunnerDeleted)
                delete std::exchange(runner, nullptr); // waits until it is all gone
        });
        poll.start();
        ToolExecutionResult result;
        if (task) {
            result = QCoro::waitFor(*task);
        } else {
            QTRY_VERIFY_WITH_TIMEOUT(acted, 30000);
        }
        poll.stop();
        marked.readPid(pidPath);
        const bool survived = marked.running();
        marked.endIfRunning();
        delete r;
        delete runner;

        QVERIFY2(marked.writtenPid() > 0, "the marked process never started");
        QVERIFY2(seen, "the marked process was never seen running, so its end proves nothing");
        QVERIFY2(!survived, "a process the command started outlived the call");
        const auto expect = [&](const QString &said) { return isolated ? said : withNote(said); };
        switch (ending) {
        case Ending::Exit:
            QVERIFY2(!result.isError && result.output.startsWith(u"exit 0\n"), qPrintable(result.output));
            QCOMPARE(result.output.endsWith(ShellRunner::unisolatedNote()), !isolated);
            break;
        case Ending::ParentKilled:
            // It cannot: signals stay in its scope. Where the kernel cannot
            // scope them, the shell goes with its parent.
            QVERIFY2(result.output.startsWith(isolated || AbstractSocketScope::available() ? u"exit 0\n" : u"exit 137\n"),
                     qPrintable(result.output));
            break;
        case Ending::TimeOut:
            QCOMPARE(result, ToolExecutionResult::failure(expect(QStringLiteral("Command timed out after 3s"))));
            break;
        case Ending::Stop:
        case Ending::RouterDeleted:
            QCOMPARE(result, ToolExecutionResult::failure(expect(QStringLiteral("Command cancelled"))));
            break;
        case Ending::RunnerDeleted:
            break;
        }
    }

    // The command gets none of the app's credentials: not in its environment,
    // and the app's own environment cannot be read in the sandbox.
    void credentialsOutOfReach_data()
    {
        QTest::addColumn<QString>("command");
        QTest::addColumn<bool>("isolated");
        QTest::addColumn<QString>("output");
        QTest::newRow("variable, sandbox") << "echo \"[$OVU_API_KEY]\"" << true << "exit 0\n[]\n";
        QTest::newRow("variable, without sandbox") << "echo \"[$OVU_API_KEY]\"" << false << withNote("exit 0\n[]\n");
        const QString scan = QStringLiteral("cat /proc/[0-9]*/environ 2>/dev/null | tr '\\0' '\\n' | grep -c '^OVU_API_KEY='; true");
        QTest::newRow("every process's environment, sandbox") << scan << true << "exit 0\n0\n";
        // The same scan outside finds the app's own, so the check can fail;
        // unless the command is confined to its own abstract sockets, which
        // also keeps it from the memory of processes outside (root excepted).
        QTest::newRow("every process's environment, without sandbox") << scan << false << "";
        QTest::newRow("its own /proc, sandbox") << "echo $$" << true << "exit 0\n2\n";
    }
    void credentialsOutOfReach()
    {
        QFETCH(QString, command);
        QFETCH(bool, isolated);
        QFETCH(QString, output);
        skipUnlessSandbox(isolated);
        QFile own(QStringLiteral("/proc/self/environ"));
        QVERIFY(own.open(QIODevice::ReadOnly));
        if (!('\0' + own.readAll()).contains(QByteArray("\0OVU_API_KEY=", 13)))
            QSKIP("the test's own environment has no OVU_API_KEY (ctest sets one)");
        qputenv("OVU_API_KEY", "secret-key");
        const ToolExecutionResult r = shell(isolated, command);
        qunsetenv("OVU_API_KEY");
        if (output.isEmpty())
            QVERIFY2(r.output.startsWith(u"exit 0\n0\n") == (AbstractSocketScope::available() && ::geteuid() != 0), qPrintable(r.output));
        else
            QCOMPARE(r.output, output);
        QCOMPARE(r.isError, false);
    }

    // The session's services stay outside the sandbox: through the session
    // bus a command could read the keyring, or have the session's service
    // manager start what outlives the call. Without the sandbox the same
    // command reaches the bus, so the check can fail.
    void sessionBusOutOfReach_data()
    {
        QTest::addColumn<QString>("command");
        QTest::addColumn<bool>("isolated");
        QTest::addColumn<QString>("output");
        const QString ask = QStringLiteral("dbus-send --session --print-reply --dest=org.freedesktop.DBus / org.freedesktop.DBus.ListNames "
                                           ">/dev/null 2>&1; echo $?");
        QTest::newRow("bus from the environment, sandbox") << ask << true << "exit 0\n1\n";
        QTest::newRow("bus from the environment, without sandbox") << ask << false << withNote("exit 0\n0\n");
        // The address as the app knows it, given back to the command: the socket itself is hidden.
        QTest::newRow("bus by its own address, sandbox") << "DBUS_SESSION_BUS_ADDRESS=\"$BUS\" " + ask << true << "exit 0\n1\n";
    }
    void sessionBusOutOfReach()
    {
        QFETCH(QString, command);
        QFETCH(bool, isolated);
        QFETCH(QString, output);
        skipUnlessSandbox(isolated);
        const QByteArray bus = qgetenv("DBUS_SESSION_BUS_ADDRESS");
        if (bus.isEmpty())
            QSKIP("no session bus this test can reach (test.sh starts one)");
        QProcess reach;
        reach.start(QStringLiteral("dbus-send"), {QStringLiteral("--session"), QStringLiteral("--print-reply"), QStringLiteral("--dest=org.freedesktop.DBus"),
                                                  QStringLiteral("/"), QStringLiteral("org.freedesktop.DBus.ListNames")});
        if (!reach.waitForFinished(10000) || reach.exitStatus() != QProcess::NormalExit || reach.exitCode() != 0)
            QSKIP("no session bus this test can reach (test.sh starts one)");
        qputenv("BUS", bus);
        const ToolExecutionResult r = shell(isolated, command);
        qunsetenv("BUS");
        QCOMPARE(r.output, output);
    }

    // A secret the person keeps in the keyring cannot be read by a command in
    // the sandbox, though outside it the same lookup finds it.
    void keyringOutOfReach()
    {
        skipUnlessSandbox(true);
        const QString attribute = QStringLiteral("moonshelf-sandbox-test-") + QString::number(::getpid());
        QProcess store;
        store.start(QStringLiteral("secret-tool"), {QStringLiteral("store"), QStringLiteral("--label=sandbox test"), QStringLiteral("service"), attribute});
        if (!store.waitForStarted(5000))
            QSKIP("secret-tool is not installed");
        store.write("kept-outside");
        store.closeWriteChannel();
        if (!store.waitForFinished(10000) || store.exitCode() != 0)
            QSKIP("no keyring this test can store into (test.sh starts one)");
        const QString lookup = QStringLiteral("secret-tool lookup service ") + attribute;
        const ToolExecutionResult outside = shell(false, lookup);
        const ToolExecutionResult inside = shell(true, lookup);
        QProcess::execute(QStringLiteral("secret-tool"), {QStringLiteral("clear"), QStringLiteral("service"), attribute});
        QVERIFY2(outside.output.contains(u"kept-outside"), qPrintable(outside.output));
        QVERIFY2(!inside.output.contains(u"kept-outside"), qPrintable(inside.output));
    }

    // A tmux server of the person's runs outside the sandbox: a command sent
    // to it would run there, in the person's terminal, and outlive the call.
    // The test starts its own server and ends it: under a folder of its own
    // found through TMUX_TMPDIR, or on a socket in the person's runtime folder.
    void terminalServerOutOfReach_data()
    {
        QTest::addColumn<bool>("inRuntimeFolder");
        QTest::newRow("folder from TMUX_TMPDIR") << false;
        QTest::newRow("socket in the runtime folder") << true;
    }
    void terminalServerOutOfReach()
    {
        QFETCH(bool, inRuntimeFolder);
        skipUnlessSandbox(true);
        QTemporaryDir dir;
        QString where = QStringLiteral("-L moonshelf-test");
        if (inRuntimeFolder) {
            const QString folder = qEnvironmentVariable("XDG_RUNTIME_DIR") + QStringLiteral("/tmux-") + QString::number(::getuid());
            QVERIFY(QDir().mkpath(folder));
            where = QStringLiteral("-S ") + folder + QStringLiteral("/default");
        }
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("TMUX_TMPDIR"), dir.path());
        env.remove(QStringLiteral("TMUX"));
        // tmux runs the session's command through $SHELL, else the user's
        // login shell, which for nobody is nologin: the session would end at
        // once and take the server with it.
        env.insert(QStringLiteral("SHELL"), QStringLiteral("/bin/sh"));
        const auto runTmux = [&](const QStringList &args) {
            QProcess tmux;
            tmux.setProcessEnvironment(env);
            tmux.start(QStringLiteral("tmux"), QStringList{QStringLiteral("-f"), QStringLiteral("/dev/null")} + where.split(u' ') + args);
            if (!tmux.waitForStarted(5000))
                return -2;
            return tmux.waitForFinished(10000) && tmux.exitStatus() == QProcess::NormalExit ? tmux.exitCode() : -1;
        };
        const int started = runTmux({QStringLiteral("new-session"), QStringLiteral("-d"), QStringLiteral("sleep 60")});
        if (started == -2)
            QSKIP("tmux is not installed");
        QCOMPARE(started, 0);
        QCOMPARE(runTmux({QStringLiteral("has-session")}), 0);
        const QString ask = QStringLiteral("tmux %1 list-sessions >/dev/null 2>&1; echo $?").arg(where);
        qputenv("TMUX_TMPDIR", dir.path().toLocal8Bit());
        const ToolExecutionResult outside = shell(false, ask);
        const ToolExecutionResult inside = shell(true, ask);
        qunsetenv("TMUX_TMPDIR");
        runTmux({QStringLiteral("kill-server")});
        QCOMPARE(outside.output, withNote(QStringLiteral("exit 0\n0\n")));
        QCOMPARE(inside.output, QStringLiteral("exit 0\n1\n"));
    }

    // The app's own files and those it reads a credential from are not there
    // in the sandbox, however the path is spelled, and settings.json cannot
    // be rewritten; without the sandbox the same command reads (or writes)
    // each, so every row can fail. %D: the app's data folder, %P: that of its
    // saved preferences, %E: where ~/.config/qirv/api_key links to.
    void appFilesOutOfReach_data()
    {
        QTest::addColumn<QString>("command");
        QTest::addColumn<bool>("writes");
        QTest::newRow("session file by its path") << "cat %D/moonshelf_session.json" << false;
        QTest::newRow("session file found by name") << "find ~ -name moonshelf_session.json -exec cat {} +" << false;
        QTest::newRow("through a link in the project") << "cat data-link/moonshelf_session.json" << false;
        QTest::newRow("through ..") << "cat %D/../com.ovu.QirvMac/moonshelf_session.json" << false;
        QTest::newRow("preferences, command-line session, key file") << "cat %P/* ~/.qirv/auth.json ~/.config/ovu/api_key" << false;
        QTest::newRow("linked key file's real location") << "cat %E/api_key" << false;
        QTest::newRow("settings rewritten through a link") << "echo '{}' > data-link/settings.json" << true;
    }
    void appFilesOutOfReach()
    {
        QFETCH(QString, command);
        QFETCH(bool, writes);
        skipUnlessSandbox(true);
        const QByteArray secret = "moonshelf-test-secret\n";
        const QString data = platform::AppPaths::supportDirectory();
        const QString preferences = platform::UserDefaults::location();
        const QString home = QDir::homePath();
        QTemporaryDir elsewhere;
        const auto put = [&](const QString &path) {
            QFile f(path);
            return QDir().mkpath(QFileInfo(path).absolutePath()) && f.open(QIODevice::WriteOnly | QIODevice::Truncate) && f.write(secret) > 0;
        };
        for (const QString &path : {data + "/moonshelf_session.json", data + "/settings.json", preferences, home + "/.qirv/auth.json",
                                    home + "/.config/ovu/api_key", elsewhere.filePath("api_key")})
            QVERIFY(put(path));
        QFile::remove(home + "/.config/qirv/api_key");
        QVERIFY(QDir().mkpath(home + "/.config/qirv") && QFile::link(elsewhere.filePath("api_key"), home + "/.config/qirv/api_key"));
        QFile::remove(m_tmp.filePath("data-link"));
        QVERIFY(QFile::link(data, m_tmp.filePath("data-link")));
        const QString text = QString(command).replace("%D", data).replace("%P", QFileInfo(preferences).absolutePath()).replace("%E", elsewhere.path());
        const auto settings = [&] {
            QFile f(data + "/settings.json");
            return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
        };

        const ToolExecutionResult outside = shell(false, text);
        QVERIFY2(writes ? settings() != secret : outside.output.contains(QString::fromLatin1(secret)), qPrintable(outside.output));
        QVERIFY(put(data + "/settings.json"));
        const ToolExecutionResult inside = shell(true, text);
        QVERIFY2(inside.output.startsWith(u"exit ") && !inside.output.contains(QString::fromLatin1(secret)), qPrintable(inside.output));
        QCOMPARE(settings(), secret);
    }

    // The person's runtime folder (bus, keyring, service manager, sound,
    // accessibility, Wayland) is an empty one in the sandbox, and nothing
    // points to the X display; without the sandbox each is there.
    void sessionPlacesOutOfReach_data()
    {
        QTest::addColumn<QString>("command");
        QTest::addColumn<QString>("inside");
        QTest::newRow("runtime folder is empty") << "ls -A \"$XDG_RUNTIME_DIR\"" << "exit 0\n(no output)";
        QTest::newRow("display variables unset") << "echo \"[$DISPLAY][$WAYLAND_DISPLAY][$XAUTHORITY]\"" << "exit 0\n[][][]\n";
    }
    void sessionPlacesOutOfReach()
    {
        QFETCH(QString, command);
        QFETCH(QString, inside);
        skipUnlessSandbox(true);
        QFile place(qEnvironmentVariable("XDG_RUNTIME_DIR") + "/wayland-test");
        QVERIFY(place.open(QIODevice::WriteOnly));
        qputenv("DISPLAY", ":99");
        qputenv("WAYLAND_DISPLAY", "wayland-test");
        qputenv("XAUTHORITY", "/nonexistent/Xauthority");
        const ToolExecutionResult outside = shell(false, command);
        const ToolExecutionResult in = shell(true, command);
        qunsetenv("DISPLAY");
        qunsetenv("WAYLAND_DISPLAY");
        qunsetenv("XAUTHORITY");
        place.remove();
        QVERIFY2(outside.output != withNote(inside), qPrintable(outside.output));
        QCOMPARE(in.output, inside);
    }

    // An abstract socket has no file to hide: where the kernel can scope
    // them, a command reaches only those made inside its own sandbox. The
    // listener outside is the test's own, and the test itself connects to it.
    void abstractSocketsOutOfReach_data()
    {
        QTest::addColumn<bool>("isolated");
        QTest::addColumn<bool>("madeInside");
        QTest::addColumn<QString>("output");
        QTest::newRow("sandbox, listener outside") << true << false << "exit 0\nrefused\n";
        QTest::newRow("sandbox, listener made by the command") << true << true << "exit 0\nconnected\n";
        QTest::newRow("without sandbox, listener outside") << false << false << withNote("exit 0\nrefused\n");
    }
    void abstractSocketsOutOfReach()
    {
        QFETCH(bool, isolated);
        QFETCH(bool, madeInside);
        QFETCH(QString, output);
        skipUnlessSandbox(isolated);
        if (!AbstractSocketScope::available())
            QSKIP("the kernel cannot scope abstract sockets (before Linux 6.12)");
        const QByteArray name = "moonshelf-test-" + QByteArray::number(QRandomGenerator::global()->generate64());
        const platform::UniqueFd listener(::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0));
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        std::memcpy(address.sun_path + 1, name.constData(), size_t(name.size()));
        QVERIFY(::bind(listener.get(), reinterpret_cast<const sockaddr *>(&address), socklen_t(offsetof(sockaddr_un, sun_path) + 1 + name.size())) == 0);
        QVERIFY(::listen(listener.get(), 8) == 0);
        const QString connect = "socket(my $c, AF_UNIX, SOCK_STREAM, 0); print connect($c, pack_sockaddr_un(\"\\0%1\")) ? \"connected\\n\" : \"refused\\n\";";
        const QString listen = "socket(my $l, AF_UNIX, SOCK_STREAM, 0); bind($l, pack_sockaddr_un(\"\\0%1\")) && listen($l, 1) or die; ";
        const QString script = madeInside ? listen.arg(name + "-own") + connect.arg(name + "-own") : connect.arg(name);
        QProcess control;
        control.start("perl", {"-MSocket", "-e", connect.arg(name)});
        QVERIFY(control.waitForFinished(10000));
        QCOMPARE(control.readAllStandardOutput(), QByteArray("connected\n"));
        QCOMPARE(shell(isolated, "perl -MSocket -e '" + script + "'").output, output);
    }

    // Without the sandbox too, nothing of a command outlives the process that
    // runs it, even killed outright: the helper runs the command as the app
    // does and is the only process the test kills.
    void killedRunnerTakesItsCommand_data()
    {
        QTest::addColumn<QString>("wrapper");
        QTest::addColumn<bool>("isolated");
        for (const bool isolated : {false, true}) {
            const char *place = isolated ? "sandbox" : "without sandbox";
            QTest::addRow("%s, background job", place) << QString() << isolated;
            QTest::addRow("%s, cleared environment in a new session", place) << QStringLiteral("env -i setsid ") << isolated;
        }
    }
    void killedRunnerTakesItsCommand()
    {
        QFETCH(QString, wrapper);
        QFETCH(bool, isolated);
        skipUnlessSandbox(isolated);
        const QString helperProgram = qEnvironmentVariable("MOONSHELF_TEST_RUNNER_HELPER");
        if (helperProgram.isEmpty())
            QSKIP("MOONSHELF_TEST_RUNNER_HELPER names no helper (ctest sets it)");
        MarkedProcess marked;
        const auto cleanUp = qScopeGuard([&] { marked.endIfRunning(); });
        const QString pidFile = QStringLiteral("marked-") + QString::fromLatin1(marked.mark());
        QProcess helper;
        helper.setStandardOutputFile(QProcess::nullDevice());
        helper.start(helperProgram, {isolated ? m_sandbox : QStringLiteral("-"), m_tmp.path(),
                                     marked.spawn(pidFile, wrapper) + QStringLiteral(" & sleep 1000")});
        QVERIFY(helper.waitForStarted(5000));
        QTRY_VERIFY_WITH_TIMEOUT((marked.readPid(m_tmp.filePath(pidFile)), marked.running()), 30000);
        helper.kill();
        QVERIFY(helper.waitForFinished(5000));
        QTRY_VERIFY2_WITH_TIMEOUT(!marked.running(), "the command outlived the process that ran it", 5000);
    }

    // A command holds only its standard descriptors, though the app holds a
    // connection and a pipe that any child would inherit.
    void commandHoldsOnlyItsOwnDescriptors_data()
    {
        QTest::addColumn<bool>("isolated");
        QTest::newRow("sandbox") << true;
        QTest::newRow("without sandbox") << false;
    }
    void commandHoldsOnlyItsOwnDescriptors()
    {
        QFETCH(bool, isolated);
        skipUnlessSandbox(isolated);
        int connection[2];
        int pipe[2];
        QVERIFY(::socketpair(AF_UNIX, SOCK_STREAM, 0, connection) == 0);
        QVERIFY(::pipe(pipe) == 0);
        const platform::UniqueFd held[] = {platform::UniqueFd(connection[0]), platform::UniqueFd(connection[1]),
                                           platform::UniqueFd(pipe[0]), platform::UniqueFd(pipe[1])};
        for (const platform::UniqueFd &fd : held)
            QCOMPARE(::fcntl(fd.get(), F_GETFD) & FD_CLOEXEC, 0);
        // What a program the command starts holds, and what the shell holds
        // (some of its own, on /dev/null).
        const ToolExecutionResult r = shell(isolated, QStringLiteral("sh -c 'ls /proc/$$/fd'; ls -l /proc/$$/fd; :"));
        const QString listed = QStringLiteral("exit 0\n0\n1\n2\n");
        QVERIFY2(r.output.startsWith(listed), qPrintable(r.output));
        for (const platform::UniqueFd &fd : held) {
            const QString target = QFile::symLinkTarget(QStringLiteral("/proc/self/fd/%1").arg(fd.get()));
            QVERIFY(!target.isEmpty());
            QVERIFY2(!r.output.contains(target), qPrintable(r.output));
        }
    }

    // A command that plants a link at a credential place leading into the
    // project gets nothing through it: the app takes no credential from there.
    void plantedCredentialLinkIsUnused_data()
    {
        QTest::addColumn<bool>("isolated");
        QTest::newRow("sandbox") << true;
        QTest::newRow("without sandbox") << false;
    }
    void plantedCredentialLinkIsUnused()
    {
        QFETCH(bool, isolated);
        skipUnlessSandbox(isolated);
        const QString planted = QDir::home().filePath(QStringLiteral(".qirv"));
        const auto cleanUp = qScopeGuard([&] {
            QFile::remove(planted);
            QDir(m_tmp.filePath(QStringLiteral(".loot"))).removeRecursively();
        });
        m_ws->setWorkspace(m_tmp.path()); // the folder last opened, as the app stores it
        // The test's own home: what an earlier test left there goes.
        if (!QFileInfo(planted).isSymLink())
            QDir(planted).removeRecursively();
        QFile::remove(planted);
        const ToolExecutionResult r = shell(isolated, QStringLiteral("mkdir -p .loot && ln -s \"$PWD/.loot\" ~/.qirv && "
                                                                     "echo '{\"a\": {\"key\": \"planted\"}}' > .loot/auth.json && "
                                                                     "echo planted-key > .loot/api_key"));
        QVERIFY2(r.output.startsWith(u"exit 0\n"), qPrintable(r.output));
        QVERIFY(QFileInfo(planted).isSymLink());
        const QString file = auth::CliSessionImport::path(QDir::homePath());
        const auto imported = auth::CliSessionImport::read(file, QDateTime::currentDateTimeUtc());
        QVERIFY(!imported);
        QCOMPARE(imported.error().lastError,
                 std::optional(QStringLiteral("Could not read %1: It lies in the open project folder %2, where tools can read and change it")
                                   .arg(file, QFileInfo(m_tmp.path()).canonicalFilePath())));
        QCOMPARE(auth::CredentialPlace::refusal(QDir::home().filePath(QStringLiteral(".qirv/api_key"))).isEmpty(), false);
    }

    // A Stop that comes once the command has ended, before the app has
    // heard of the end, leaves the command's own result: it did its work.
    void stopAfterTheCommandEnded_data()
    {
        QTest::addColumn<bool>("isolated");
        QTest::newRow("sandbox") << true;
        QTest::newRow("without sandbox") << false;
    }
    void stopAfterTheCommandEnded()
    {
        QFETCH(bool, isolated);
        skipUnlessSandbox(isolated);
        const QString written = m_tmp.filePath(QStringLiteral("written-before-stop"));
        QFile::remove(written);
        ShellRunner runner;
        runner.start(QStringLiteral("echo done > written-before-stop; exit 3"), m_tmp.path(), 60, isolated ? m_sandbox : QString());
        QVERIFY(!runner.isFinished());
        // Without the event loop: the end is not handled until the Stop is.
        const QByteArray stat = "/proc/" + QByteArray::number(runner.processId()) + "/stat";
        QElapsedTimer waited;
        waited.start();
        const auto ended = [&] {
            QFile f(QString::fromLatin1(stat));
            if (!f.open(QIODevice::ReadOnly))
                return true;
            const QByteArray line = f.readAll();
            return line.mid(line.lastIndexOf(')') + 2, 1) == "Z";
        };
        while (!ended() && waited.elapsed() < 30000)
            QThread::msleep(5);
        QVERIFY2(ended(), "the command did not end");
        runner.cancel();
        QTRY_VERIFY_WITH_TIMEOUT(runner.isFinished(), 10000);
        const QString said = QStringLiteral("exit 3\n(no output)");
        QCOMPARE(runner.result(), ToolExecutionResult::failure(isolated ? said : withNote(said)));
        QVERIFY(QFile::exists(written));
    }

    // A command that moves the project folder away and leaves a link or
    // another folder at its path does not move the next call: commands and
    // file tools stay in the folder that was opened.
    void folderMovedByACommand_data()
    {
        QTest::addColumn<bool>("isolated");
        QTest::addColumn<QString>("replacement"); // made at the folder's path
        for (const bool isolated : {true, false}) {
            const char *place = isolated ? "sandbox" : "without sandbox";
            QTest::addRow("%s, link to another folder", place) << isolated << "ln -s elsewhere project";
            QTest::addRow("%s, another folder", place) << isolated << "mkdir project";
        }
    }
    void folderMovedByACommand()
    {
        QFETCH(bool, isolated);
        QFETCH(QString, replacement);
        skipUnlessSandbox(isolated);
        QTemporaryDir dir;
        const QString project = dir.filePath(QStringLiteral("project"));
        QVERIFY(QDir().mkpath(project) && QDir().mkpath(dir.filePath(QStringLiteral("elsewhere"))));
        QFile marker(project + QStringLiteral("/marker"));
        QVERIFY(marker.open(QIODevice::WriteOnly) && marker.write("opened\n") > 0);
        marker.close();
        WorkspaceManager workspace;
        workspace.setWorkspace(project);
        ToolRouter r(&workspace);
        r.setSandboxProgram(isolated ? m_sandbox : QString());
        const auto run = [&](const QString &command) {
            return QCoro::waitFor(r.execute(QStringLiteral("run_shell"), shellArgs(command))).output;
        };
        const QString moved = run(QStringLiteral("cd .. && mv project moved && ") + replacement);
        QVERIFY2(moved.startsWith(u"exit 0\n"), qPrintable(moved));
        const QString said = QStringLiteral("exit 0\n%1/moved\nopened\n").arg(QFileInfo(dir.path()).canonicalFilePath());
        QCOMPARE(run(QStringLiteral("pwd -P; cat marker")), isolated ? said : withNote(said));
        const QString args = QString::fromUtf8(QJsonDocument(QJsonObject{{"path", "marker"}}).toJson(QJsonDocument::Compact));
        const ToolExecutionResult read = QCoro::waitFor(r.execute(QStringLiteral("read_file"), args));
        QVERIFY2(!read.isError && read.output.contains(u"opened"), qPrintable(read.output));
    }

    // A process outside the sandbox cannot be seen or signalled from inside:
    // its pid names nothing there. Without the sandbox it is seen, and
    // signalled only where the kernel cannot keep signals in the command's
    // scope. Signal 0 is sent to a sleep the test started, which only asks
    // whether it may be signalled.
    void processesOutsideOutOfReach()
    {
        skipUnlessSandbox(true);
        QProcess sleeper;
        sleeper.start(QStringLiteral("sleep"), {QStringLiteral("60")});
        QVERIFY(sleeper.waitForStarted(5000));
        const QString pid = QString::number(sleeper.processId());
        const QString probe = QStringLiteral("kill -0 %1 2>/dev/null; echo $?; [ -e /proc/%1 ] && echo seen || echo unseen").arg(pid);
        const ToolExecutionResult outside = shell(false, probe);
        const ToolExecutionResult inside = shell(true, probe);
        sleeper.kill();
        sleeper.waitForFinished(5000);
        QCOMPARE(outside.output, withNote(QStringLiteral("exit 0\n%1\nseen\n").arg(AbstractSocketScope::available() ? 1 : 0)));
        QCOMPARE(inside.output, QStringLiteral("exit 0\n1\nunseen\n"));
    }

    // Without the sandbox the result says so, once; and a sandbox program that
    // is missing or cannot make the sandbox leads there.
    void withoutSandboxSaysSoOnce_data()
    {
        QTest::addColumn<QString>("program");
        QTest::addColumn<bool>("isolated");
        QTest::newRow("no sandbox program") << "" << false;
        QTest::newRow("sandbox program missing") << "/nonexistent/bwrap" << false;
        QTest::newRow("sandbox program that fails") << "/bin/false" << false;
        QTest::newRow("bubblewrap") << "bwrap" << true;
    }
    void withoutSandboxSaysSoOnce()
    {
        QFETCH(QString, program);
        QFETCH(bool, isolated);
        skipUnlessSandbox(isolated);
        ToolRouter r(m_ws);
        r.setSandboxProgram(program == u"bwrap" ? m_sandbox : program);
        for (int call = 0; call < 2; ++call) {
            const ToolExecutionResult result = QCoro::waitFor(r.execute(QStringLiteral("run_shell"), shellArgs(QStringLiteral("echo hi"))));
            QCOMPARE(result, ToolExecutionResult::success(isolated ? QStringLiteral("exit 0\nhi\n") : withNote(QStringLiteral("exit 0\nhi\n"))));
            QCOMPARE(result.output.count(ShellRunner::unisolatedNote()), isolated ? 0 : 1);
        }
    }

    // A setuid program gains nothing in the sandbox, and the result says why.
    // run_unprivileged.sh prepares a setuid-root copy of cat and a file only
    // root may read; outside the sandbox that copy reads the file.
    void setuidProgramSaysSo()
    {
        skipUnlessSandbox(true);
        const QString program = qEnvironmentVariable("MOONSHELF_TEST_SETUID_PROGRAM");
        const QString rootOnly = qEnvironmentVariable("MOONSHELF_TEST_ROOT_ONLY_FILE");
        if (::geteuid() == 0 || program.isEmpty())
            QSKIP("needs an unprivileged user and a setuid program (run_unprivileged.sh)");
        QProcess outside;
        outside.start(program, {rootOnly});
        QVERIFY(outside.waitForFinished(10000));
        if (outside.readAllStandardOutput() != "root only\n")
            QSKIP("setuid programs do not work in the temporary folder here (mounted nosuid?)");
        const ToolExecutionResult r = shell(true, program + u' ' + rootOnly);
        QVERIFY2(r.isError, qPrintable(r.output));
        QVERIFY2(!r.output.contains(u"root only"), qPrintable(r.output));
        QVERIFY2(r.output.endsWith(QStringLiteral("Note: setuid programs (setuid-cat) cannot raise privileges in the sandbox "
                                                  "this command runs in; what needs root cannot be done from here.")),
                 qPrintable(r.output));
    }

    void privilegeNote_data()
    {
        QTest::addColumn<QString>("command");
        QTest::addColumn<QString>("output");
        QTest::addColumn<QString>("named"); // "-": no note at all
        QTest::newRow("setuid program on the search path") << "fakesu -c id" << "" << "fakesu";
        QTest::newRow("setgid program by path") << "./bin/fakegroup x" << "" << "fakegroup";
        QTest::newRow("after an operator, quoted") << "true && 'fakesu'" << "" << "fakesu";
        QTest::newRow("refusal of a program the command did not name")
            << "make install" << "sudo: The \"no new privileges\" flag is set, which prevents sudo from running as root." << "";
        QTest::newRow("ordinary program") << "plain x" << "failed" << "-";
        QTest::newRow("ordinary failure") << "false" << "" << "-";
    }
    void privilegeNote()
    {
        QFETCH(QString, command);
        QFETCH(QString, output);
        QFETCH(QString, named);
        QTemporaryDir dir;
        QVERIFY(QDir(dir.path()).mkpath(QStringLiteral("bin")));
        for (const auto &[name, mode] : {std::pair{"fakesu", 04755}, {"fakegroup", 02755}, {"plain", 0755}}) {
            const QString path = dir.filePath(QStringLiteral("bin/") + QLatin1String(name));
            QVERIFY(QFile(path).open(QIODevice::WriteOnly));
            QVERIFY(::chmod(QFile::encodeName(path).constData(), mode_t(mode)) == 0);
        }
        const auto note = PrivilegeNote::forFailedCommand(command, output, dir.filePath(QStringLiteral("bin")), dir.path());
        if (named == u"-") {
            QVERIFY(!note);
            return;
        }
        QVERIFY(note);
        QCOMPARE(*note, QStringLiteral("Note: setuid programs%1 cannot raise privileges in the sandbox this command runs in; "
                                       "what needs root cannot be done from here.")
                            .arg(named.isEmpty() ? QString() : QStringLiteral(" (%1)").arg(named)));
    }
};

MOONSHELF_TEST_GUILESS_MAIN(TestSandbox)
#include "tst_sandbox.moc"
