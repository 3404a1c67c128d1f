#pragma once

#include "agent/calls/ToolArguments.h"
#include "model/RunRecords.h"

#include <QJsonObject>
#include <QString>

#include <optional>

namespace agent {

// Both command tables' answers for one shell command, from one reading of it.
struct ShellVerdict {
    QString command; // the text judged
    std::optional<QString> blocked;     // the refusal the model reads; the command never starts
    std::optional<QString> destructive; // why the user is asked first

    friend bool operator==(const ShellVerdict &, const ShellVerdict &) = default;
};

// One tool call as the agent loop takes it up: its arguments read once and
// its command judged once, then handed as it is to the policy, the approval
// card and the router, so what the user approves is what runs.
struct PreparedCall {
    QString id;
    QString name;
    model::ToolRisk risk = model::ToolRisk::Shell;
    QString argumentsJSON; // as the model sent it
    QJsonObject arguments; // empty when the text is not a JSON object
    std::optional<ToolArguments::ParseFailure> unreadable; // why it is not
    // The "command" member when it is a string: what the policy weighs and
    // run_shell runs.
    std::optional<QString> shellCommand;
    // The judgement of commandText(), for a call of shell risk; the loop makes
    // it off the UI thread. Without one the guard judges where it is asked.
    std::optional<ShellVerdict> verdict;

    static PreparedCall read(QString id, QString name, QString argumentsJSON);

    // What the guard judges and the card shows: the command, else the
    // arguments as given.
    QString commandText() const { return shellCommand.value_or(argumentsJSON); }
};

} // namespace agent
