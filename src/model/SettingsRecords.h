#pragma once

#include "model/RawEnum.h"

#include <QString>

#include <array>
#include <optional>

namespace model {

// The older policy setting, consulted only when no tool-guard mode is stored.
enum class PolicyMode { Tiered, PowerUser };
inline constexpr std::array kAllPolicyModes{PolicyMode::Tiered, PolicyMode::PowerUser};
QString toRaw(PolicyMode mode);
template <>
std::optional<PolicyMode> fromRaw<PolicyMode>(QStringView raw);

enum class ToolGuardMode { Ask, Balanced, Yolo };
inline constexpr std::array kAllToolGuardModes{ToolGuardMode::Ask, ToolGuardMode::Balanced, ToolGuardMode::Yolo};
QString toRaw(ToolGuardMode mode);
template <>
std::optional<ToolGuardMode> fromRaw<ToolGuardMode>(QStringView raw);

struct AppSettings {
    QString model = QStringLiteral("qirv-4.5");
    PolicyMode policyMode = PolicyMode::Tiered;
    bool yoloEnabled = false;
    bool allowForChatWrites = false;
    // Kept as read from the file (may be any double); clamped where used.
    double shellTimeoutSeconds = 120;
    // Kept as read from the file; clamped where used.
    qint64 maxAgentIterations = 25;
    bool hasCompletedOnboarding = false;
    std::optional<ToolGuardMode> toolGuardMode = ToolGuardMode::Ask;

    // The level the older fields select: yolo for powerUser with yolo on, else ask.
    ToolGuardMode derivedToolGuardMode() const;
    // The stored level, or the derived one when none is stored.
    ToolGuardMode effectiveToolGuardMode() const { return toolGuardMode.value_or(derivedToolGuardMode()); }

    friend bool operator==(const AppSettings &, const AppSettings &) = default;
};

} // namespace model
