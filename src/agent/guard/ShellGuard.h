#pragma once

#include "agent/calls/PreparedCall.h"

#include <QString>

#include <optional>
#include <stop_token>

namespace agent {

// Two judges of a shell command. First, fixed tables of command fragments:
// matching lower-cases the command and collapses runs of whitespace to one
// space, then looks for each pattern as a plain substring; the first row
// that matches wins. Then the rule table (CommandReview) reads the command
// as the shell would, word by word, within a bounded budget of work: other
// spellings of the same harms, where each write lands, what runs later
// (git hooks and settings, credentials planted), and the classes the fixed
// rows do not name.
namespace ShellGuard {

// Judged once per tool call and carried with it to the policy, the approval
// card and the run.
using Verdict = ShellVerdict;

// A stop asked for while it judges ends the judging promptly; the verdict
// then asks (too complex to judge), though a stopped run uses none.
// projectRoot: the absolute path of the project the command runs in, when
// known: a path written absolute that lies in it is the project's.
Verdict judge(const QString &command, std::stop_token stop = {}, const QString &projectRoot = {});

// A command that must never start, with the refusal the model reads.
std::optional<QString> blockedReason(const QString &command);

// A command that can do lasting harm, with the reason shown to the user.
std::optional<QString> destructiveReason(const QString &command);

// The call's verdict when it was judged on its command text, else one made
// now: the one place a call missing its judgement is judged.
Verdict verdictOf(const PreparedCall &call);

} // namespace ShellGuard
} // namespace agent
