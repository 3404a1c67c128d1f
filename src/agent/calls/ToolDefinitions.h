#pragma once

#include "model/RunRecords.h"

#include <QJsonArray>
#include <QStringView>

namespace agent {

// The five tools offered to the model and the risk class of a tool name.
namespace ToolDefinitions {

// The tool list of every chat-completions request: list_dir, read_file,
// write_file, str_replace, run_shell, in that order. Built once.
const QJsonArray &schemas();

// Exact, case-sensitive; any name that is not one of the five tools is Shell.
model::ToolRisk risk(QStringView toolName);

} // namespace ToolDefinitions
} // namespace agent
