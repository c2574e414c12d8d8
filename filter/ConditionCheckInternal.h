// Internal: for this folder and its tests. The values conditions read of a
// bound subtree, and the condition check of one association.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "filter/ConditionCheck.h"
#include "xml/XML.h"

namespace axf::filter {

// The text a regular-expression condition tests: a text's value, or the
// texts below an element each followed by a blank.
std::string extractText(const xml::Tree* t);

// The value an expression condition reads (see ConditionCheck.h).
std::string conditionValue(const xml::Tree* t);

// One-shot form of ConditionChecker::verify.
std::optional<Association> verifyConditions(const Association& a, const RuleConditions& conditions, Polarity polarity,
                                            const std::vector<std::string>& declared);

}  // namespace axf::filter
