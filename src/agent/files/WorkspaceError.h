#pragma once

#include <QString>

namespace agent {

// Why a path cannot be used by a tool.
struct WorkspaceError {
    enum class Kind { PathOutsideWorkspace, NoWorkspace };

    Kind kind = Kind::NoWorkspace;
    QString path; // as the caller gave it, for PathOutsideWorkspace

    static WorkspaceError pathOutsideWorkspace(const QString &path) { return {Kind::PathOutsideWorkspace, path}; }
    static WorkspaceError noWorkspace() { return {Kind::NoWorkspace, {}}; }

    // The user- and model-facing text.
    QString description() const;

    friend bool operator==(const WorkspaceError &, const WorkspaceError &) = default;
};

} // namespace agent
