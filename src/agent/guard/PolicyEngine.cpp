#include "agent/guard/PolicyEngine.h"

#include "agent/guard/CommandReview.h"
#include "agent/guard/ShellGuard.h"
#include "agent/calls/ToolArguments.h"

namespace agent {

using model::ToolGuardMode;
using model::ToolRisk;

PolicyDecision PolicyEngine::decide(const PreparedCall &call) const
{
    const ToolRisk risk = call.risk;
    if (risk == ToolRisk::Read)
        return PolicyDecision::allow();
    // A git hook or the repository's settings run at the person's next git
    // command, outside any box: written by a file tool, they ask in every mode.
    if (risk == ToolRisk::Write) {
        const std::optional<QString> path = ToolArguments::string(call.arguments, QStringLiteral("path"));
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
    // Arguments without a "command" string carry nothing to weigh.
    if (risk == ToolRisk::Write || !call.shellCommand)
        return PolicyDecision::allow();
    return ShellGuard::verdictOf(call).destructive ? PolicyDecision::needsApproval() : PolicyDecision::allow();
}

} // namespace agent
