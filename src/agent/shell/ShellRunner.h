#pragma once

#include "agent/calls/ToolExecutionResult.h"
#include "agent/shell/ProcessSweep.h"
#include "platform/UniqueFd.h"

#include <QByteArray>
#include <QObject>
#include <QProcess>
#include <QSocketNotifier>
#include <QTimer>

#include <memory>

#include <sys/types.h>

namespace agent {

// One shell command, and everything it starts, for the length of one call.
// Isolated (with a sandbox program): the command runs in a PID namespace of
// its own, which the kernel empties as soon as its first process ends, so
// nothing the command starts outlives the call, however it ends. Without
// one: the command runs in a session of its own under a reaper that kills
// what is left below it when the shell ends or the app dies (a SIGKILL too),
// and that the command cannot signal where the kernel can scope signals; at
// the time-out or on cancel
// the group, the session and every process carrying the call's environment
// entry are ended as well. Either way the output is read as it comes, a
// time-out or cancel sends SIGTERM and then SIGKILL after a grace period, and
// the result is given only once all of it is gone.
class ShellRunner : public QObject {
    Q_OBJECT

public:
    struct Limits {
        qsizetype streamCap = 4 * 1024 * 1024; // bytes kept of each stream
        int graceMs = 2000;                    // SIGTERM to SIGKILL
    };

    explicit ShellRunner(QObject *parent = nullptr) : ShellRunner(Limits(), parent) {}
    ShellRunner(Limits limits, QObject *parent);
    // A command still running is killed and reaped here: a QProcess must
    // never be destroyed while its child runs.
    ~ShellRunner() override;

    // Starts `/bin/zsh -lc command` in the folder workingFolder holds (a
    // descriptor, borrowed for the call: the folder is never looked up again
    // by a path), in the sandbox of sandboxProgram, or without isolation when
    // that is empty (the result then says so). The command holds no
    // descriptor of the app's but its standard three. timeoutSeconds must
    // already be sane (finite, above 0). May finish at once (start failure).
    void start(const QString &command, int workingFolder, double timeoutSeconds, const QString &sandboxProgram);
    // The same in the folder at workingDirectory, opened once here.
    void start(const QString &command, const QString &workingDirectory, double timeoutSeconds,
               const QString &sandboxProgram);
    // Ends the command, unless it has already ended: then its result stands.
    void cancel();
    // The process started: the sandbox program, or the reaper.
    qint64 processId() const { return m_first; }

    bool isFinished() const { return m_finished; }
    ToolExecutionResult result() const { return m_result; }
    // NAME=token, set in the environment of a command run without isolation;
    // unique to this call.
    QByteArray environmentEntry() const { return m_sweep.environmentEntry; }
    // The name of the entry (the token differs per call).
    static constexpr char kTokenVariable[] = "MOONSHELF_SHELL_RUN";

    // A time-out as used: not finite or not above 0 means 120 s; at most a day.
    static double effectiveTimeout(double seconds);
    // The line a result of a command run without isolation ends with.
    static QString unisolatedNote();

Q_SIGNALS:
    // Queued after the result is set, never from inside QProcess's own signals.
    void finished();

private:
    enum class Ending { None, TimedOut, Cancelled };

    void drain(QProcess::ProcessChannel channel);
    void onProcessFinished();
    void onProcessError(QProcess::ProcessError error);
    bool commandEnded() const;
    void beginTermination(Ending ending);
    void onGraceOver();
    void checkAllGone();
    void readSandboxInfo();
    bool sandboxEmptied() const;
    void signalCommand(int signal);
    void killAll();
    bool commandAlive() const;
    void finish(ToolExecutionResult result);
    ToolExecutionResult normalResult();
    ToolExecutionResult endingResult() const;

    Limits m_limits;
    QProcess m_process;
    QTimer m_timeout;
    QTimer m_grace;
    QTimer m_allGonePoll; // after the first process exits, until the rest is gone
    QByteArray m_out;
    QByteArray m_err;
    bool m_outTruncated = false;
    bool m_errTruncated = false;
    double m_timeoutSeconds = 120;
    QString m_command;
    QString m_workingDirectory;
    bool m_isolated = false;
    bool m_scoped = false; // confined to its own abstract sockets
    // The process QProcess started: the sandbox program, or the reaper.
    pid_t m_first = 0;
    // Isolated: what the sandbox program tells of its first process, whose
    // end (the kernel empties the namespace first) is the end of the command.
    platform::UniqueFd m_infoRead;
    std::unique_ptr<QSocketNotifier> m_infoNotifier;
    QByteArray m_info;
    pid_t m_sandboxFirst = 0;
    platform::UniqueFd m_sandboxFirstPidfd;
    std::unique_ptr<QSocketNotifier> m_sandboxFirstNotifier;
    ProcessSweep::Target m_sweep;
    Ending m_ending = Ending::None;
    bool m_killedOnce = false;
    bool m_processExited = false;
    bool m_finished = false;
    ToolExecutionResult m_result;
};

} // namespace agent
