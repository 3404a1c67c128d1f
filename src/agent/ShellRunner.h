#pragma once

#include "agent/ProcessSweep.h"
#include "agent/ToolExecutionResult.h"

#include <QByteArray>
#include <QObject>
#include <QProcess>
#include <QTimer>

#include <sys/types.h>

namespace agent {

// One shell command in a child process of its own process group. The output
// is read as it comes; at the time-out or on cancel everything the command
// started gets SIGTERM, then SIGKILL after a grace period, and the result is
// given only once all of it is gone, so nothing is left changing the project.
// "Everything" is the process group and every process carrying the call's
// own environment entry, which also finds what left the group (setsid,
// double forks, orphans).
class ShellRunner : public QObject {
    Q_OBJECT

public:
    struct Limits {
        qsizetype streamCap = 4 * 1024 * 1024; // bytes kept of each stream
        int graceMs = 2000;                    // SIGTERM to SIGKILL
    };

    explicit ShellRunner(QObject *parent = nullptr) : ShellRunner(Limits(), parent) {}
    ShellRunner(Limits limits, QObject *parent);
    // A group still running is killed and reaped here: a QProcess must never
    // be destroyed while its child runs.
    ~ShellRunner() override;

    // Starts `/bin/zsh -lc command` in workingDirectory. timeoutSeconds must
    // already be sane (finite, above 0). May finish at once (start failure).
    void start(const QString &command, const QString &workingDirectory, double timeoutSeconds);
    void cancel();

    bool isFinished() const { return m_finished; }
    ToolExecutionResult result() const { return m_result; }
    pid_t processGroup() const { return m_group; }
    // NAME=token, set in the command's environment; unique to this call.
    QByteArray environmentEntry() const { return m_sweep.environmentEntry; }
    // The name of the entry (the token differs per call).
    static constexpr char kTokenVariable[] = "MOONSHELF_SHELL_RUN";

    // A time-out as used: not finite or not above 0 means 120 s; at most a day.
    static double effectiveTimeout(double seconds);

Q_SIGNALS:
    // Queued after the result is set, never from inside QProcess's own signals.
    void finished();

private:
    enum class Ending { None, TimedOut, Cancelled };

    void drain(QProcess::ProcessChannel channel);
    void onProcessFinished();
    void onProcessError(QProcess::ProcessError error);
    void beginTermination(Ending ending);
    void onGraceOver();
    void checkGroupGone();
    void signalCommand(int signal);
    bool commandAlive() const;
    void finish(const ToolExecutionResult &result);
    ToolExecutionResult normalResult();
    ToolExecutionResult endingResult() const;

    Limits m_limits;
    QProcess m_process;
    QTimer m_timeout;
    QTimer m_grace;
    QTimer m_groupPoll; // after the shell exits, until the rest of its group is gone
    QByteArray m_out;
    QByteArray m_err;
    bool m_outTruncated = false;
    bool m_errTruncated = false;
    double m_timeoutSeconds = 120;
    pid_t m_group = 0;
    ProcessSweep::Target m_sweep;
    Ending m_ending = Ending::None;
    bool m_processExited = false;
    bool m_finished = false;
    ToolExecutionResult m_result;
};

} // namespace agent
