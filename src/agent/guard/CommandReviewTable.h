#pragma once

// The guard's rules as rows (CommandReviewRule.h). A new rule is a new row
// with its examples; every row's examples are walked by one test, each
// caught by its row alone.

#include "agent/guard/CommandReviewRule.h"

#include <vector>

namespace agent::CommandReview {

const std::vector<Rule> &ruleTable();

} // namespace agent::CommandReview
