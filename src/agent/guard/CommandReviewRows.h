#pragma once

// The walkers that try the rule table's rows on what the review meets:
// commands, loops, inline programs, places written.

#include "agent/guard/CommandReviewRule.h"

#include <optional>

namespace agent::CommandReview {

// The Command rows (or the Walk rows), tried on each command in table order.
void judgeByRows(Review &review, const Invocation &inv, Scope &scope, Trigger trigger = Trigger::Command);
// The Loop rows: the pipelines of one command list; background when the
// list itself runs as a background job.
void judgeLoops(Review &review, const ShellWords::CommandList &commands, bool background);
// The Program rows: an inline program's text.
void judgeProgram(Review &review, const QString &program);
// The Place rows: a place a command writes, with what it writes there.
void judgePlaceWritten(Review &review, const Place &place, const Text &content);

// Whether a Wrapper row's name and options flag the wrapper; its reason.
std::optional<QString> wrapperReason(const QString &name, const QStringList &options);

} // namespace agent::CommandReview
