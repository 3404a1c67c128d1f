#pragma once

#include "agent/guard/ShellGuard.h"

#include <QString>

#include <optional>

namespace agent {

class WorkspaceManager;

// The summary line and the preview text of a call held for approval. Reads
// the project's files, never changes them.
namespace ApprovalPreview {

struct Built {
    QString summary;
    QString preview;

    friend bool operator==(const Built &, const Built &) = default;
};

Built build(const QString &toolName, const QString &argumentsJSON, const WorkspaceManager &workspace);
// The same, with the shell command already judged; a verdict on another
// text than the one the preview shows is not used.
Built build(const QString &toolName, const QString &argumentsJSON, const WorkspaceManager &workspace,
            const std::optional<ShellGuard::Verdict> &verdict);

} // namespace ApprovalPreview
} // namespace agent
