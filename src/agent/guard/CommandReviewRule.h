#pragma once

// A row of the guard's rule table: what it matches, what must hold, the
// reason it gives (written once, in the row), and the commands it must catch
// and the look-alikes it must leave alone. The rows are in
// CommandReviewTable.cpp, their conditions in CommandReviewConditions.h.

#include "agent/guard/CommandReviewReasons.h"
#include "agent/guard/CommandReviewer.h"

#include <QString>
#include <QStringList>

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
    Walk,    // a command whose words the review reads further, after its writes and places: the row's
             // condition flags through the review what it finds (other rows' reasons) and applies to nothing itself
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
    QStringList catches;      // asked in YOLO, each caught by this row alone (left out, it passes)
    QStringList leaves;       // look-alikes: not flagged by this row
    bool killsOthers = false; // also refused outright: it signals processes it did not start (a Walk row: its catches are)
};

} // namespace agent::CommandReview
