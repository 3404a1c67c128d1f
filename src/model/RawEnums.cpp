#include "model/ChatRecords.h"
#include "model/RunRecords.h"
#include "model/SettingsRecords.h"

namespace model {

namespace {

template <typename E, std::size_t N>
std::optional<E> lookup(QStringView raw, const std::array<E, N> &all)
{
    for (E e : all) {
        if (toRaw(e) == raw)
            return e;
    }
    return std::nullopt;
}

} // namespace

QString toRaw(MessageRole role)
{
    switch (role) {
    case MessageRole::System: return QStringLiteral("system");
    case MessageRole::User: return QStringLiteral("user");
    case MessageRole::Assistant: return QStringLiteral("assistant");
    case MessageRole::Tool: return QStringLiteral("tool");
    }
    return {};
}

template <>
std::optional<MessageRole> fromRaw<MessageRole>(QStringView raw)
{
    return lookup(raw, kAllMessageRoles);
}

QString toRaw(PolicyMode mode)
{
    switch (mode) {
    case PolicyMode::Tiered: return QStringLiteral("tiered");
    case PolicyMode::PowerUser: return QStringLiteral("powerUser");
    }
    return {};
}

template <>
std::optional<PolicyMode> fromRaw<PolicyMode>(QStringView raw)
{
    return lookup(raw, kAllPolicyModes);
}

QString toRaw(ToolGuardMode mode)
{
    switch (mode) {
    case ToolGuardMode::Ask: return QStringLiteral("ask");
    case ToolGuardMode::Balanced: return QStringLiteral("balanced");
    case ToolGuardMode::Yolo: return QStringLiteral("yolo");
    }
    return {};
}

template <>
std::optional<ToolGuardMode> fromRaw<ToolGuardMode>(QStringView raw)
{
    return lookup(raw, kAllToolGuardModes);
}

QString toRaw(ToolRisk risk)
{
    switch (risk) {
    case ToolRisk::Read: return QStringLiteral("read");
    case ToolRisk::Write: return QStringLiteral("write");
    case ToolRisk::Shell: return QStringLiteral("shell");
    }
    return {};
}

template <>
std::optional<ToolRisk> fromRaw<ToolRisk>(QStringView raw)
{
    return lookup(raw, kAllToolRisks);
}

QString toRaw(ToolLogEntry::Status status)
{
    using S = ToolLogEntry::Status;
    switch (status) {
    case S::Pending: return QStringLiteral("pending");
    case S::Approved: return QStringLiteral("approved");
    case S::Denied: return QStringLiteral("denied");
    case S::Running: return QStringLiteral("running");
    case S::Success: return QStringLiteral("success");
    case S::Failure: return QStringLiteral("failure");
    }
    return {};
}

template <>
std::optional<ToolLogEntry::Status> fromRaw<ToolLogEntry::Status>(QStringView raw)
{
    return lookup(raw, kAllToolLogStatuses);
}

} // namespace model
