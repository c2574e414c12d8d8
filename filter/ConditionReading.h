// Reading of a rule's conditions: the texts of the conditions part of the
// parser's rule tree read into RuleConditions.
//
// A condition text holding the five letters "match" is a regular-expression
// condition: the first word before "match" is the variable, the rest after
// it (leading blanks removed) the pattern. Any other text is an expression
// condition whose variables are its capital letters.
#pragma once

#include <string>

#include "filter/Rule.h"
#include "xml/XML.h"

namespace axf::filter {

// The conditions part of a rule tree: regular-expression conditions as
// (variable name, pattern) and expression conditions as their whole text,
// both lists last condition first.
RuleConditions readConditions(const xml::Tree* conditions);

// The text of a text leaf of the rule tree (anything else: InternalError).
const std::string& leafText(const xml::Tree* tree);

}  // namespace axf::filter
