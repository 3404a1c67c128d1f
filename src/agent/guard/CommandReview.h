#pragma once

#include <QString>

#include <optional>
#include <stop_token>

namespace agent::CommandReview {

// What the fixed tables cannot see: a reviewer's reading of what the command
// line runs. It is parsed as the shell would (quotes, expansions, here-
// documents, substitutions, functions), each command is taken past its
// wrappers, and text run by a shell or an interpreter (sh -c, eval, pipes,
// here-strings, files written earlier on the line, inline programs) is read
// with the same rules. Words that are only arguments of a harmless command
// are never read as commands.
// Operands are judged by the place they name once the line's own variables,
// loop words, positional parameters and known substitutions are filled in;
// writes by the place written (a redirect, tee, cp, an editor, sed -i, an
// archive unpacked, an output option by its shape, a folder worked in),
// deletes by the place deleted. Git hooks and settings that run programs,
// and the places the app reads credentials from, ask wherever they lie.
// Let through on purpose: what the line cannot show (a script file of the
// project, an environment variable it does not set, process ids read from
// a file), deletes and writes inside the project or a temporary folder,
// kill of a literal process id or with signal 0.

// Both answers of one reading of the command.
struct Findings {
    std::optional<QString> reason; // as destructiveReason
    bool killsOthers = false;      // as killsOtherProcesses
};
// A stop asked for ends the reading promptly, as too complex to judge.
// projectRoot: the project's absolute path, when known, so a path written
// absolute that lies in the project is judged as the project's.
Findings review(const QString &command, std::stop_token stop = {}, const QString &projectRoot = {});
// The same reading with one row of the rule table left out: what the
// command's answer owes to that row alone.
Findings reviewWithout(const QString &command, const char *rowId);

// Why the command can do lasting harm or reach secrets: a command name
// computed when it runs, decoded or downloaded text run, deleting,
// overwriting or wiping files, history, disks or others' data, killing
// others' processes, home, root and credential places. Nothing when none applies.
std::optional<QString> destructiveReason(const QString &command);

// Whether a file of the project at this path runs later, outside any box:
// a git hook, the repository's settings, ".git" itself. A file tool that
// writes there is asked about in every mode.
bool runsLater(const QString &projectPath);

// Whether the command signals processes it did not start: kill of -1, 0, 1
// or a process group, of ids a process listing found, pkill, killall ...
bool killsOtherProcesses(const QString &command);

} // namespace agent::CommandReview
