#pragma once

#include <QString>

#include <optional>

namespace agent::CommandWordCheck {

// What the fixed tables cannot see: the command split into shell words
// (quotes and backslashes removed, wrappers such as sudo, env, command and
// path prefixes looked through, every part of a pipeline, list and
// substitution looked at).

// Why the command can do lasting harm: recursive force removal, find -delete,
// raw device writes, forced pushes, hard resets and forced cleans, recursive
// world-writable or ownership changes, a download fed to an interpreter,
// power commands, credential files. Nothing when none applies.
std::optional<QString> destructiveReason(const QString &command);

// Whether the command signals processes it did not start: kill of -1 or of a
// process group, pkill, killall.
bool killsOtherProcesses(const QString &command);

} // namespace agent::CommandWordCheck
