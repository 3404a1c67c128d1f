#include "agent/files/WorkspaceError.h"

namespace agent {

QString WorkspaceError::description() const
{
    switch (kind) {
    case Kind::PathOutsideWorkspace:
        return QStringLiteral("Path escapes the project workspace: ") + path;
    case Kind::NoWorkspace:
        break;
    }
    return QStringLiteral("Open a project folder first (Ctrl+O).");
}

} // namespace agent
