#pragma once

#include "agent/guard/WorkBudget.h"

#include <QByteArray>
#include <QString>

#include <optional>
#include <vector>

namespace agent::ShellWords {

struct CommandList;

// One shell word with its quotes and backslashes removed. Expansions stay as
// written ("$x", "${HOME}", "$((1+2))"); a command or process substitution
// reads "$()" and what it runs is parsed as well.
struct Word {
    QString text;
    // For each character of text: 'u' unquoted, 'd' inside double quotes,
    // 's' literal (single quotes, a backslash, ANSI-C quotes).
    QByteArray quoting;
    std::vector<CommandList> substitutions; // $( ), ` `, <( ), >( ), =( ), zsh (e:...:)
    bool expands = false; // parameter, substitution, arithmetic or brace expansion
    bool glob = false;    // an unquoted *, ? or [
    bool tooDeep = false; // a substitution nested too deeply was not parsed

    // Whether the character at i can start an expansion (not quoted literally).
    bool live(qsizetype i) const { return i < quoting.size() && quoting.at(i) != 's'; }
    bool unquoted(qsizetype i) const { return i < quoting.size() && quoting.at(i) == 'u'; }
    bool anyQuoted() const { return quoting.contains('s') || quoting.contains('d'); }
};

struct Redirect {
    QString op;   // ">", ">>", "<", "<<", "<<-", "<<<", "&>", ">&", "<&", "<>", ">|", ...
    int fd = -1;  // the descriptor written before the operator, -1 when none
    Word target;  // the file, descriptor, here-string or here-document delimiter
    std::optional<Word> hereDoc; // the body of a here-document
};

struct SimpleCommand {
    std::vector<Word> words;
    std::vector<Redirect> redirects;
    // "name()" or "function name()": the body follows as the next commands.
    bool definesFunction = false;
};

// Commands joined by "|" or "|&".
struct Pipeline {
    std::vector<SimpleCommand> commands;
    bool background = false; // ended by a single "&"
};

// Pipelines separated by ";", "&", "&&", "||", line breaks and parentheses.
struct CommandList {
    std::vector<Pipeline> pipelines;
};

// The command line as the shell would split it, for looking at what it runs;
// nothing is expanded. Unbalanced quotes or parentheses end at the end of the
// text. A substitution nested deeper than a limit ends the parse, and its
// word says so. Case patterns and arithmetic commands are skipped.
CommandList parse(const QString &command);
// The same, spending from a judgement's budget: once it is gone the parse
// ends where it stands, and the budget says so.
CommandList parse(const QString &command, WorkBudget &work);

// Text with ANSI-C backslash escapes ($'...', echo -e, printf) decoded.
QString decodeEscapes(QStringView text);

} // namespace agent::ShellWords
