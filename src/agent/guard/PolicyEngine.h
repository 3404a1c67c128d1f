#pragma once

#include "agent/calls/PreparedCall.h"
#include "model/SettingsRecords.h"

#include <QString>

namespace agent {

// What the tool guard decides for one call.
struct PolicyDecision {
    enum class Action { Allow, NeedsApproval, Deny };

    Action action = Action::Allow;
    QString reason; // only for Deny

    static PolicyDecision allow() { return {Action::Allow, {}}; }
    static PolicyDecision needsApproval() { return {Action::NeedsApproval, {}}; }
    static PolicyDecision deny(const QString &reason) { return {Action::Deny, reason}; }

    friend bool operator==(const PolicyDecision &, const PolicyDecision &) = default;
};

// Decides, per tool call, whether it runs at once or waits for the user. The
// controller keeps its two fields current; used on the main thread only.
class PolicyEngine {
public:
    explicit PolicyEngine(const model::AppSettings &settings = {}) : m_settings(settings) {}

    const model::AppSettings &settings() const { return m_settings; }
    void setSettings(const model::AppSettings &settings) { m_settings = settings; }

    bool allowWritesForCurrentChat() const { return m_allowWritesForCurrentChat; }
    void setAllowWritesForCurrentChat(bool allow) { m_allowWritesForCurrentChat = allow; }

    // Allow or NeedsApproval; never Deny. Changes nothing. A shell call is
    // weighed on its verdict (judged now when it came without one).
    PolicyDecision decide(const PreparedCall &call) const;
    PolicyDecision decide(const QString &toolName, const QString &argumentsJSON) const
    {
        return decide(PreparedCall::read({}, toolName, argumentsJSON));
    }

private:
    model::AppSettings m_settings;
    bool m_allowWritesForCurrentChat = false;
};

} // namespace agent
