#pragma once

// The reasons the review gives, looked up by the id of the rule row that
// writes them (CommandReviewTable), for the parts below the table.

#include <QString>

namespace agent::CommandReview {

// The reason of the row with this id, its "%1" filled with name.
QString reasonOf(const char *id, const QString &name = {});
// Whether the text is the reason of the row with this id, for any name.
bool isReasonOf(const char *id, const QString &text);

} // namespace agent::CommandReview
