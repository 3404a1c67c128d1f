#pragma once

// The guard's rules as rows: what each matches, what must hold, the reason
// it gives (written once, here), and the commands it must catch and the
// look-alikes it must leave alone. A new rule is a new row; the examples of
// every row are walked by one test.

#include "agent/guard/CommandReviewReasons.h"
#include "agent/guard/CommandReviewer.h"

#include <QString>
#include <QStringList>

#include <vector>

namespace agent::CommandReview {

// What a row looks at.
enum class Trigger {
    Command, // a command, by name, subcommand and options
    Loop,    // a loop of the command line (while, until, for)
    Program, // an inline program's text
    Flow,    // what flows out of a command (its standard output)
    Place,   // a place written, by any command
    Wrapper, // a wrapper, by name and options, as it is read
    Code,    // judged by the review's own walk (what runs, what is read); the row holds its reason and examples
};

// What a row's condition is given: the command as it runs, its options and
// operands, and the review to ask about places and texts.
struct RuleContext {
    Review &review;
    const Invocation &inv;
    Scope &scope;
    Flags flags;
    QStringList operands;       // words that are not options, after the subcommand
    QStringList operandsBefore; // the same with the subcommand
};

struct Rule {
    const char *id;
    Trigger trigger;
    QStringList names;        // lower-cased command names; "python -m NAME" counts as NAME
    QStringList subcommands;  // phrases the first operands must spell ("self+uninstall"); any when empty
    QStringList options;      // one of them must be given (short letters in clusters, long with =); any when empty
    QStringList except;       // none of them may be given (dry runs, listings)
    QStringList valueOptions; // options before the subcommand that take the next word
    bool (*when)(const RuleContext &) = nullptr; // the further condition; none when null
    QString reason;           // "%1" stands for the command name
    QStringList catches;      // asked in YOLO
    QStringList leaves;       // look-alikes: not flagged by this row
    bool killsOthers = false; // also refused outright: it signals processes it did not start
};

const std::vector<Rule> &ruleTable();

// The Command rows, tried on each command before its own rules.
void judgeByRows(Review &review, const Invocation &inv, Scope &scope);
// The Loop rows: the pipelines of one command list; background when the
// list itself runs as a background job.
void judgeLoops(Review &review, const ShellWords::CommandList &commands, bool background);
// The Program rows: an inline program's text.
void judgeProgram(Review &review, const QString &program);
// The Place rows: a place a command writes, with what it writes there.
void judgePlaceWritten(Review &review, const Place &place, const Text &content);

// Whether a Wrapper row's name and options flag the wrapper; its reason.
std::optional<QString> wrapperReason(const QString &name, const QStringList &options);

// Whether a program setting (a pager, an editor, an ssh command) is a shell
// line rather than a program with its arguments: a shell or interpreter
// given its text, or shell operators.
bool isShellLine(const QString &value);

// Whether a place lies inside the project (a relative path that does not climb out).
bool isInsideProject(const Place &p);

} // namespace agent::CommandReview
