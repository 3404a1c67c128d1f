#pragma once

#include "model/SettingsRecords.h"

#include <QString>

#include <optional>

namespace settings {

// What the model, safety, agent and stage sections show of a value, and
// how their steppers move. Pure.
namespace SectionValues {

// The timeout in whole seconds, truncated toward zero; none when it has no
// 64-bit equivalent (not finite, or too large).
std::optional<qint64> wholeSeconds(double seconds);
// "Shell timeout: 120s"; a value without whole seconds shows as stored ("nans", "infs").
QString timeoutLabel(double seconds);
QString iterationsLabel(qint64 iterations);

// A stepper's range and step.
struct StepRange {
    double min;
    double max;
    double step;
};
inline constexpr StepRange kIterations{5, 50, 1};
inline constexpr StepRange kTimeout{15, 600, 15};

// The value after one step up (+1) or down (-1): the stored value moved by
// the step and brought into the range; a value that is not finite goes to
// the range's lower end up, its upper end down.
double stepped(double value, int direction, const StepRange &range);
// Whether a step that way can change anything.
bool canStep(double value, int direction, const StepRange &range);

// The timeout a stepper starts from: its whole seconds (truncated), or the
// stored value itself when it has none.
double timeoutStepBase(double seconds);

// The caption under the tool guard and whether it is drawn as a danger.
struct GuardCaption {
    QString text;
    bool danger = false;
};
GuardCaption guardCaption(model::ToolGuardMode mode);
QString guardTitle(model::ToolGuardMode mode);

} // namespace SectionValues
} // namespace settings
