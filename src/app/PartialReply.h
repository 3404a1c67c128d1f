#pragma once

#include <QString>

#include <optional>

namespace app::PartialReply {

// Ends the text of a reply the user stopped.
QString stopMark();
// Ends the text of a reply a failure cut short, so it never reads (or is
// sent back to the model) as a whole answer.
QString incompleteMark();

// The stored form of a reply cut short: inline images removed as for any
// stored message, also one the cut left without its end, then the mark.
// None when nothing of the reply is left to keep.
std::optional<QString> marked(const QString &text, const QString &mark);

} // namespace app::PartialReply
