// Node labels: every node of a document tree, a query tree and a match tree
// carries its data in one label string made of components joined by '^',
// counted from 1.
//
//   document element   name^position            (attribute: @name^position)
//   document text      text^position
//   annotated query    number                   (decimal, no caret)
//   match root         value^queryNumber^position
//   boolean result     and^1^0, or^1^0, xor^1^0
//
// Escaping. A name or a text may itself hold '^' (a document text "x^y"), and
// it must never cut or shift a label. So a value is always written into a
// label through escapeLabelValue, which puts a backslash in front of every
// '^' and every '\' of the value, and every component read back through
// getLabelComponent is unescaped: "x^y" at position 9 is the label
// "x\^y^9", whose component 1 is "x^y" and component 2 is "9". A backslash
// in a label that is followed by neither '^' nor '\' stands for itself.
// Numbers, and labels without '^' or '\' in their values, read the same
// escaped or not.
//
// Every writer of labels builds them with makeLabel (or escapeLabelValue
// for a component of its own); every reader cuts them with
// getLabelComponent or rootLabelComponent.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "xml/XML.h"

namespace axf::query {

// The value with every '^' and '\' preceded by a backslash.
std::string escapeLabelValue(std::string_view value);

// Document label: the escaped value, '^', the position in decimal.
std::string makeLabel(std::string_view value, std::int64_t position);

// Match-root label: the escaped value, '^', the query node number, '^', the
// position.
std::string makeLabel(std::string_view value, std::int64_t queryNumber, std::int64_t position);

// Index of the first '^' at or after `from` that separates two components
// (not escaped), or std::string_view::npos. `from` must be the start of a
// component (0, or just after a separating caret).
std::size_t findLabelCaret(std::string_view label, std::size_t from = 0);

// Component k (from 1) of the label, unescaped. Throws InternalError naming
// the label when k < 1 or the label has fewer than k components. The empty
// label has one empty component.
std::string getLabelComponent(std::string_view label, std::int64_t k);

// Component k of the root label of a tree: the name of an element root
// (attributes and children not looked at) or the text of a childless text
// root. Throws InternalError on any other root (a failure's own message for a
// failure).
std::string rootLabelComponent(const xml::Tree* tree, std::int64_t k);

}  // namespace axf::query
