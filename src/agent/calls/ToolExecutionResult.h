#pragma once

#include <QMetaType>
#include <QString>

namespace agent {

// What a tool call gives back: the text the model reads, and whether it failed.
struct ToolExecutionResult {
    QString output;
    bool isError = false;

    static ToolExecutionResult success(const QString &output) { return {output, false}; }
    static ToolExecutionResult failure(const QString &output) { return {output, true}; }

    friend bool operator==(const ToolExecutionResult &, const ToolExecutionResult &) = default;
};

enum class ToolError { InvalidArguments };
QString description(ToolError error);

} // namespace agent

Q_DECLARE_METATYPE(agent::ToolExecutionResult)
