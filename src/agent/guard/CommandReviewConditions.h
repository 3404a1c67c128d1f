#pragma once

// The conditions of the rule table's rows: each tells whether its row
// applies to one command as it runs. The table (CommandReviewTable.cpp)
// names them; a condition that walks text a command runs (git bisect run,
// git submodule foreach) judges it through the review and may apply to
// nothing itself.

#include "agent/guard/CommandReviewTable.h"

namespace agent::CommandReview::Conditions {

// Programs that replace the running system or its start.
bool shutsDown(const RuleContext &c);
bool reboots(const RuleContext &c);
bool changesCron(const RuleContext &c);
bool changesBootSettings(const RuleContext &c);

// Packages fetched from a URL, a repository or an index other than the
// tool's own (pip install git+https://..., npm i https://.../p.tgz,
// pip install -i http://..., npx https://...).
bool installsFromElsewhere(const RuleContext &c);

// A secret variable of the environment spelled into what a network client
// sends: a URL, a header, a form or a body.
bool sendsSecret(const RuleContext &c);

// What keeps running or comes back after the command: a container with a
// restart policy, a process manager's boot entry.
bool restartsOnItsOwn(const RuleContext &c);
bool addsBootEntry(const RuleContext &c);

// Keys and passwords deleted from their stores; system logs deleted.
bool deletesKeys(const RuleContext &c);
bool deletesLogs(const RuleContext &c);

// A file server whose folder lies outside the project; a tunnel that lets
// another machine reach this one.
bool servesOutside(const RuleContext &c);
bool opensTunnel(const RuleContext &c);

// git runs the command it is given (bisect run, difftool -x, submodule
// foreach, rebase --exec, an upload-pack program): judged by what it runs.
bool gitRunsGiven(const RuleContext &c);

} // namespace agent::CommandReview::Conditions
