#pragma once

#include <QString>

#include <optional>

namespace agent::PrivilegeNote {

// In the sandbox no program gains privileges when it starts (setuid and
// setgid bits and file capabilities are ignored), so sudo, su and the like
// fail there. For a command that failed, the note saying so: when a word of
// the command names such a program (found as a path, or on searchPath) or its
// output is such a program's refusal. Nothing otherwise.
std::optional<QString> forFailedCommand(const QString &command, const QString &output, const QString &searchPath,
                                        const QString &workingDirectory);

} // namespace agent::PrivilegeNote
