#pragma once

#include <QString>

#include <optional>

namespace agent {

// The system prompt of a run. It names the open project folder, or says that
// none is open when the path is absent or empty. Same for every model.
QString systemPrompt(const std::optional<QString> &workspacePath);

} // namespace agent
