// Internal: for this folder and its tests. The reading of one condition text
// (see ConditionReading.h).
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace axf::filter {

// A condition on a variable's text by a regular expression, or an
// expression over variables.
enum class ConditionKind : std::uint8_t { Regex, Expression };

struct ConditionReading {
    ConditionKind kind = ConditionKind::Expression;
    std::vector<std::string> names;  // the variable (Regex) or the capital letters, last one first (Expression)
    std::string text;                // the pattern (Regex) or the whole text (Expression)
};

// One condition text read as a regular-expression or an expression condition.
ConditionReading readCondition(std::string_view condition);

// `namesSoFar` followed by the names of `newNames` it does not hold yet, in
// order, each once.
std::vector<std::string> addDistinctVars(const std::vector<std::string>& newNames, std::vector<std::string> namesSoFar);

}  // namespace axf::filter
