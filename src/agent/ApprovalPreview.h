#pragma once

#include <QString>

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

} // namespace ApprovalPreview
} // namespace agent
