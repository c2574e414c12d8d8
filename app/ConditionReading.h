// Reading of a rule's conditions: the texts of the rule's conditions part
// as the driver hands them to the variables step.
//
// A condition text holding the five letters "match" is a regular-expression
// condition: the first word before "match" is the variable, the rest after
// it (leading blanks removed) the pattern. Any other text is an expression
// condition whose variables are its capital letters.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <tuple>
#include <utility>
#include <vector>

#include "filter/ConditionCheck.h"
#include "xml/XML.h"

namespace axf::app {

// A condition on a variable's text by a regular expression, or an
// expression over variables.
enum class ConditionKind : std::uint8_t { Regex, Expression };

struct ConditionReading {
    ConditionKind kind = ConditionKind::Expression;
    std::vector<std::string> names;  // the variable (Regex) or the capital letters (Expression)
    std::string text;                // the pattern (Regex) or the whole text (Expression)
};

// The conditions part of a rule: regular-expression conditions as (variable
// name, pattern) and expression conditions as their whole text, both lists
// last condition first.
filter::RuleConditions parseCond(const xml::Tree* conditions);
ConditionReading parseLabel(std::string_view condition);
std::vector<std::string> searchVars(std::string_view text, std::vector<std::string> namesSoFar);
std::vector<std::string> addDistinctVars(const std::vector<std::string>& newNames, std::vector<std::string> namesSoFar);

// The text of a text leaf.
const std::string& getLabel(const xml::Tree* tree);

}  // namespace axf::app
