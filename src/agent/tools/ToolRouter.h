#pragma once

#include "agent/calls/ToolExecutionResult.h"
#include "agent/calls/PreparedCall.h"

#include <QObject>
#include <QPointer>
#include <QString>

#include <qcoro/qcorotask.h>

#include <optional>

namespace agent {

class ShellRunner;
class WorkspaceManager;

// Carries out the model's tool calls. A failing tool never fails the caller:
// every outcome is a result text with an error flag.
class ToolRouter : public QObject {
    Q_OBJECT

public:
    static constexpr double kDefaultShellTimeout = 120;

    explicit ToolRouter(WorkspaceManager *workspace, QObject *parent = nullptr);
    // Ends a command that is still running, with everything it started.
    ~ToolRouter() override;

    WorkspaceManager *workspace() const { return m_workspace; }

    // Seconds a shell command may run. Not finite or not above 0 means 120;
    // clamped to one day when used.
    void setShellTimeout(double seconds) { m_shellTimeout = seconds; }

    // Dispatches on the name and returns the result. File tools complete
    // without suspending; run_shell suspends until the command exits, times
    // out or is cancelled, leaving the thread free. By value: the call must
    // outlive the suspension. A command its verdict blocks never starts.
    QCoro::Task<ToolExecutionResult> execute(PreparedCall call);
    QCoro::Task<ToolExecutionResult> execute(QString name, QString argumentsJSON)
    {
        return execute(PreparedCall::read({}, std::move(name), std::move(argumentsJSON)));
    }

    // Why the call's shell command looks destructive, or nothing: its
    // verdict's reason, the one the approval card shows and the policy weighs.
    static std::optional<QString> destructiveShellReason(const PreparedCall &call);

    // The sandbox program shell commands run in: bubblewrap from PATH unless
    // set; an empty one runs them without isolation. Whether it works here is
    // tried once, at the first command.
    QString sandboxProgram() const { return m_sandboxProgram; }
    void setSandboxProgram(const QString &program);

    bool isCommandRunning() const;
    // Ends the running shell command and every process it started, also
    // those that left its process group (SIGTERM, SIGKILL after 2 s); its
    // execute() then returns "Command cancelled". No-op when idle.
    void cancelRunningCommand();

private:
    // The refusal of a command that must never start, or nothing; likewise.
    static std::optional<QString> blockedShellReason(const PreparedCall &call);
    QCoro::Task<ToolExecutionResult> runShell(PreparedCall call);

    WorkspaceManager *m_workspace;
    double m_shellTimeout = kDefaultShellTimeout;
    QString m_sandboxProgram;
    std::optional<bool> m_sandboxWorks; // tried at the first command
    bool m_probing = false;
    bool m_cancelWhileProbing = false;
    QPointer<ShellRunner> m_running;
};

} // namespace agent
