#pragma once

#include "agent/calls/ToolExecutionResult.h"

#include <QJsonObject>

namespace agent {

class WorkspaceManager;

// The four file tools. Each takes the parsed arguments, touches only paths the
// workspace confines, and completes at once on the calling thread.
namespace FileTools {

inline constexpr qint64 kReadFileCap = 400'000;
// The largest file str_replace edits (and a preview compares) in memory.
inline constexpr qint64 kEditCap = 16 * 1024 * 1024;

ToolExecutionResult listDir(const WorkspaceManager &workspace, const QJsonObject &arguments);
ToolExecutionResult readFile(const WorkspaceManager &workspace, const QJsonObject &arguments);
ToolExecutionResult writeFile(const WorkspaceManager &workspace, const QJsonObject &arguments);
ToolExecutionResult strReplace(const WorkspaceManager &workspace, const QJsonObject &arguments);

} // namespace FileTools
} // namespace agent
