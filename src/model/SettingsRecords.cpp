#include "model/SettingsRecords.h"

namespace model {

ToolGuardMode AppSettings::derivedToolGuardMode() const
{
    return (policyMode == PolicyMode::PowerUser && yoloEnabled) ? ToolGuardMode::Yolo : ToolGuardMode::Ask;
}

} // namespace model
