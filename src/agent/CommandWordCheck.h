#pragma once

#include <QString>

#include <optional>

namespace agent::CommandWordCheck {

// What the fixed tables cannot see: a reviewer's reading of what the command
// line runs. It is parsed as the shell would (quotes, expansions, here-
// documents, substitutions, functions), each command is taken past its
// wrappers, and text run by a shell or an interpreter (sh -c, eval, pipes,
// here-strings, files written earlier on the line, inline programs) is read
// with the same rules. Words that are only arguments of a harmless command
// are never read as commands.

// Why the command can do lasting harm or reach secrets: a command name
// computed when it runs, decoded or downloaded text run, deleting,
// overwriting or wiping files, history, disks or others' data, killing
// others' processes, home, root and credential places. Nothing when none applies.
std::optional<QString> destructiveReason(const QString &command);

// Whether the command signals processes it did not start: kill of -1, 0, 1
// or a process group, of ids a process listing found, pkill, killall ...
bool killsOtherProcesses(const QString &command);

} // namespace agent::CommandWordCheck
