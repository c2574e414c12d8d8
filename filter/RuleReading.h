// The parser's rule tree read into the typed rule (Rule.h): the one place
// where the tree's texts for the statement, the polarity and the count are
// decoded.
#pragma once

#include "filter/Rule.h"
#include "xml/XML.h"

namespace axf::filter {

// The rule of a rule tree (FilterParser.h), nested rules included. Its parts
// are read in the order the tree gives them, a nested source after the
// conditions and the count of the rule that holds it. A count bound past
// what the program counts to ends the run ("Attention: the count bound ...
// is out of range"); a tree of another shape is an InternalError.
Rule readRule(const xml::Tree* ruleTree);

}  // namespace axf::filter
