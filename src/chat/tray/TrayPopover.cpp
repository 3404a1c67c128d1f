#include "chat/tray/TrayPopover.h"

#include <array>

namespace chat {

namespace {
constexpr std::array kAll{TrayPopover::project, TrayPopover::permissions, TrayPopover::model, TrayPopover::skin};
}

QString toRaw(TrayPopover popover)
{
    switch (popover) {
    case TrayPopover::project:
        return QStringLiteral("project");
    case TrayPopover::permissions:
        return QStringLiteral("permissions");
    case TrayPopover::model:
        return QStringLiteral("model");
    case TrayPopover::skin:
        return QStringLiteral("skin");
    }
    return {};
}

std::optional<TrayPopover> trayPopoverFromRaw(QStringView raw)
{
    for (TrayPopover p : kAll)
        if (raw == toRaw(p))
            return p;
    return std::nullopt;
}

} // namespace chat
