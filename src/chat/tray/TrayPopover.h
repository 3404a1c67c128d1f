#pragma once

#include <QString>
#include <QStringView>

#include <optional>

namespace chat {

// The one tray popover that may be open under the composer.
enum class TrayPopover { project, permissions, model, skin };

QString toRaw(TrayPopover popover);
// Nothing for any other text.
std::optional<TrayPopover> trayPopoverFromRaw(QStringView raw);

} // namespace chat
