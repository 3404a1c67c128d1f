#pragma once

#include <QString>

#include <vector>

namespace agent::ShellWords {

struct CommandList;

// One shell word with its quotes and backslashes removed. What a command or
// process substitution inside it runs is parsed as well.
struct Word {
    QString text;
    std::vector<CommandList> substitutions; // $( ), ` `, <( ), >( )
    bool tooDeep = false; // a substitution nested too deeply was not parsed
};

struct Redirect {
    QString op; // ">", ">>", "<", "<<<", "&>", ...
    Word target;
};

struct SimpleCommand {
    std::vector<Word> words;
    std::vector<Redirect> redirects;
};

// Commands joined by "|" or "|&".
struct Pipeline {
    std::vector<SimpleCommand> commands;
};

// Pipelines separated by ";", "&", "&&", "||", line breaks and parentheses.
struct CommandList {
    std::vector<Pipeline> pipelines;
};

// The command line as the shell would split it, for looking at what it runs;
// nothing is expanded. Unbalanced quotes or parentheses end at the end of the
// text. A substitution nested deeper than a limit ends the parse, and its
// word says so.
CommandList parse(const QString &command);

} // namespace agent::ShellWords
