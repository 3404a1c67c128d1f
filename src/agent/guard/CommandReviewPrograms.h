#pragma once

#include "agent/guard/ShellWords.h"

#include <QString>
#include <QStringList>

#include <algorithm>
#include <initializer_list>
#include <optional>
#include <vector>

namespace agent::CommandReview {

enum class Language { Shell, Python, Perl, Ruby, JavaScript, Php, Lua, R, Awk, Tcl, Vim, Other };

// The language of an interpreter that runs program text, by command name.
std::optional<Language> interpreterLanguage(const QString &name);

// Where an interpreter takes its program from.
struct ProgramSource {
    std::vector<const ShellWords::Word *> codeWords; // -c, -e, --eval values; awk's program operand
    QStringList codeTexts;                           // code attached to its option ("--eval=...")
    const ShellWords::Word *script = nullptr;        // a program file
    bool fromStdin = false;                          // no program given: it is read from standard input
    bool remote = false;                             // a program fetched by the interpreter itself
    bool encoded = false;                            // a program given encoded (pwsh -EncodedCommand)
};

ProgramSource programSource(Language language, const QString &name, const std::vector<const ShellWords::Word *> &args);

// What an inline program does.
struct ProgramFindings {
    std::optional<QString> effect; // deletes, overwrites, changes permissions of files, kills processes
    QStringList commands;          // literal command lines it runs (system("..."), backticks)
    bool runsUnknown = false;      // runs commands whose text it does not spell out
    bool decodesAndRuns = false;   // decodes text and runs or evaluates it
    bool downloadsAndRuns = false; // fetches text from the network and runs or evaluates it
    bool credential = false;       // names a credential place
};

ProgramFindings inspectProgram(const QString &program, Language language);

// Whether name is one of the names given.
inline bool isOneOf(const QString &name, std::initializer_list<const char16_t *> names)
{
    return std::any_of(names.begin(), names.end(), [&](const char16_t *n) { return name == QStringView(n); });
}

// Whether a program setting (a pager, an editor, an ssh command) is a shell
// line rather than a program with its arguments: a shell or interpreter
// given its text, or shell operators.
bool isShellLine(const QString &value);

} // namespace agent::CommandReview
