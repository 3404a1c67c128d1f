#pragma once

#include <QString>

#include <optional>

namespace app {

// The "path" argument of a tool call, from its (possibly cut short)
// arguments preview.
std::optional<QString> extractToolPath(const QString &argumentsPreview);

} // namespace app
