#pragma once

#include "agent/calls/PreparedCall.h"

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

// A shell call's warning is its verdict's (judged now when it came without one).
Built build(const PreparedCall &call, const WorkspaceManager &workspace);
Built build(const QString &toolName, const QString &argumentsJSON, const WorkspaceManager &workspace);

} // namespace ApprovalPreview
} // namespace agent
