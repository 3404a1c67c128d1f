#include "agent/guard/PolicyEngine.h"

#include "agent/guard/CommandReview.h"
#include "agent/guard/ShellGuard.h"
#include "agent/calls/ToolArguments.h"
#include "agent/calls/ToolDefinitions.h"

namespace agent {

using model::ToolGuardMode;
using model::ToolRisk;

PolicyDecision PolicyEngine::decide(const QString &toolName, const QString &argumentsJSON,
                                    const std::optional<ShellGuard::Verdict> &verdict) const
{
    const ToolRisk risk = ToolDefinitions::risk(toolName);
    if (risk == ToolRisk::Read)
        return PolicyDecision::allow();
    // A git hook or the repository's settings run at the person's next git
    // command, outside any box: written by a file tool, they ask in every mode.
    if (risk == ToolRisk::Write) {
        const std::optional<QString> path = ToolArguments::string(ToolArguments::parseOrEmpty(argumentsJSON), QStringLiteral("path"));
        if (path && CommandReview::runsLater(*path))
            return PolicyDecision::needsApproval();
    }

    switch (m_settings.effectiveToolGuardMode()) {
    case ToolGuardMode::Ask:
        if (risk == ToolRisk::Write && m_allowWritesForCurrentChat)
            return PolicyDecision::allow();
        return PolicyDecision::needsApproval();
    case ToolGuardMode::Balanced:
        return risk == ToolRisk::Write ? PolicyDecision::allow() : PolicyDecision::needsApproval();
    case ToolGuardMode::Yolo:
        break;
    }
    if (risk == ToolRisk::Write)
        return PolicyDecision::allow();
    const std::optional<QString> command = shellCommand(argumentsJSON);
    if (!command)
        return PolicyDecision::allow();
    const bool destructive = verdict && verdict->command == *command ? verdict->destructive.has_value()
                                                                     : ShellGuard::destructiveReason(*command).has_value();
    if (destructive)
        return PolicyDecision::needsApproval();
    return PolicyDecision::allow();
}

std::optional<QString> PolicyEngine::shellCommand(const QString &argumentsJSON)
{
    return ToolArguments::string(ToolArguments::parseOrEmpty(argumentsJSON), QStringLiteral("command"));
}

} // namespace agent
