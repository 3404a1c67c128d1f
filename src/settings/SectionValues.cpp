#include "settings/SectionValues.h"

#include <cmath>

namespace settings::SectionValues {

namespace {
// 2^63: the first double that no longer fits a qint64.
constexpr double kInt64Limit = 9223372036854775808.0;
} // namespace

std::optional<qint64> wholeSeconds(double seconds)
{
    if (!std::isfinite(seconds))
        return std::nullopt;
    const double truncated = std::trunc(seconds);
    if (truncated >= kInt64Limit || truncated < -kInt64Limit)
        return std::nullopt;
    return static_cast<qint64>(truncated);
}

QString timeoutLabel(double seconds)
{
    const auto whole = wholeSeconds(seconds);
    const QString shown = whole ? QString::number(*whole) : QString::number(seconds, 'g', 17);
    return QStringLiteral("Shell timeout: ") + shown + QLatin1Char('s');
}

QString iterationsLabel(qint64 iterations)
{
    return QStringLiteral("Max tool iterations: ") + QString::number(iterations);
}

double stepped(double value, int direction, const StepRange &range)
{
    if (!std::isfinite(value))
        return direction > 0 ? range.min : range.max;
    return std::clamp(value + direction * range.step, range.min, range.max);
}

bool canStep(double value, int direction, const StepRange &range)
{
    if (!std::isfinite(value))
        return true;
    return direction > 0 ? value < range.max : value > range.min;
}

double timeoutStepBase(double seconds)
{
    const auto whole = wholeSeconds(seconds);
    return whole ? double(*whole) : seconds;
}

GuardCaption guardCaption(model::ToolGuardMode mode)
{
    switch (mode) {
    case model::ToolGuardMode::Ask:
        return {QStringLiteral("Ask: approve every write and shell. Reads are free."), false};
    case model::ToolGuardMode::Balanced:
        return {QStringLiteral("Balanced: writes auto-run; shell still needs your OK. Good default for builders."),
                false};
    case model::ToolGuardMode::Yolo:
        return {QStringLiteral("YOLO: tools run without approval prompts. Fast. Dangerous. You own the blast radius."),
                true};
    }
    return {};
}

QString guardTitle(model::ToolGuardMode mode)
{
    switch (mode) {
    case model::ToolGuardMode::Ask:
        return QStringLiteral("Ask");
    case model::ToolGuardMode::Balanced:
        return QStringLiteral("Balanced");
    case model::ToolGuardMode::Yolo:
        return QStringLiteral("YOLO");
    }
    return {};
}

} // namespace settings::SectionValues
