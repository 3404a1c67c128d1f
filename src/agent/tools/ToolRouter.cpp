#include "agent/tools/ToolRouter.h"

#include "agent/calls/ToolArguments.h"
#include "agent/files/WorkspaceManager.h"
#include "agent/guard/ShellGuard.h"
#include "agent/shell/ShellRunner.h"
#include "agent/shell/ShellSandbox.h"
#include "agent/tools/FileTools.h"

#include <QPointer>

#include <qcoro/qcorosignal.h>

#include <memory>
#include <utility>

namespace agent {

QString description(ToolError error)
{
    switch (error) {
    case ToolError::InvalidArguments:
        break;
    }
    return QStringLiteral("Invalid tool arguments JSON");
}

ToolRouter::ToolRouter(WorkspaceManager *workspace, QObject *parent)
    : QObject(parent), m_workspace(workspace), m_sandboxProgram(ShellSandbox::findProgram())
{
}

void ToolRouter::setSandboxProgram(const QString &program)
{
    m_sandboxProgram = program;
    m_sandboxWorks.reset();
}

ToolRouter::~ToolRouter()
{
    // The suspended execute() owns the runner and resumes with "cancelled".
    cancelRunningCommand();
}

bool ToolRouter::isCommandRunning() const
{
    return m_running && !m_running->isFinished();
}

void ToolRouter::cancelRunningCommand()
{
    if (m_running)
        m_running->cancel();
    else if (m_probing)
        m_cancelWhileProbing = true;
}

std::optional<QString> ToolRouter::destructiveShellReason(const PreparedCall &call)
{
    return ShellGuard::verdictOf(call).destructive;
}

std::optional<QString> ToolRouter::blockedShellReason(const PreparedCall &call)
{
    return ShellGuard::verdictOf(call).blocked;
}

QCoro::Task<ToolExecutionResult> ToolRouter::execute(PreparedCall call)
{
    if (const std::optional<ToolArguments::ParseFailure> &f = call.unreadable)
        co_return ToolExecutionResult::failure(f->kind == ToolArguments::ParseFailure::Kind::Syntax
                                                   ? f->message
                                                   : description(ToolError::InvalidArguments));

    if (call.name == u"run_shell") {
        if (!call.shellCommand)
            co_return ToolExecutionResult::failure(QStringLiteral("Missing command"));
        co_return co_await runShell(std::move(call));
    }

    using FileTool = ToolExecutionResult (*)(const WorkspaceManager &, const QJsonObject &);
    FileTool tool = nullptr;
    if (call.name == u"list_dir")
        tool = FileTools::listDir;
    else if (call.name == u"read_file")
        tool = FileTools::readFile;
    else if (call.name == u"write_file")
        tool = FileTools::writeFile;
    else if (call.name == u"str_replace")
        tool = FileTools::strReplace;
    else
        co_return ToolExecutionResult::failure(QStringLiteral("Unknown tool: ") + call.name);
    if (!m_workspace)
        co_return ToolExecutionResult::failure(WorkspaceError::noWorkspace().description());
    co_return tool(*m_workspace, call.arguments);
}

QCoro::Task<ToolExecutionResult> ToolRouter::runShell(PreparedCall call)
{
    // A folder that is gone cannot be the working directory.
    if (!m_workspace || !m_workspace->hasRoot() || !m_workspace->resolvedRoot())
        co_return ToolExecutionResult::failure(WorkspaceError::noWorkspace().description());
    if (const std::optional<QString> message = blockedShellReason(call))
        co_return ToolExecutionResult::failure(*message);

    if (!m_sandboxWorks) {
        const QPointer<ToolRouter> self(this);
        const QString program = m_sandboxProgram;
        m_probing = true;
        m_cancelWhileProbing = false;
        const bool works = co_await ShellSandbox::probe(program);
        if (!self)
            co_return ToolExecutionResult::failure(QStringLiteral("Command cancelled"));
        m_probing = false;
        if (program == m_sandboxProgram)
            m_sandboxWorks = works;
        // A stop while the sandbox was tried reaches the command before it starts.
        if (std::exchange(m_cancelWhileProbing, false))
            co_return ToolExecutionResult::failure(QStringLiteral("Command cancelled"));
    }
    const QString sandbox = m_sandboxWorks.value_or(false) ? m_sandboxProgram : QString();

    // The coroutine owns the runner: it outlives the router if need be, and is
    // deleted from the event loop, never inside its own signal.
    const std::unique_ptr<ShellRunner, void (*)(ShellRunner *)> runner(new ShellRunner(),
                                                                       [](ShellRunner *r) { r->deleteLater(); });
    m_running = runner.get();
    // In the folder that was opened, held open: not wherever its path leads now.
    runner->start(*call.shellCommand, m_workspace->rootDescriptor(), m_shellTimeout, sandbox);
    if (!runner->isFinished())
        co_await qCoro(runner.get(), &ShellRunner::finished);
    co_return runner->result();
}

} // namespace agent
