// Result-root labels: an index entry or a tree stamped as the match of a
// query node, its root label becoming value^q^position (label-escaped value,
// query node number, document position; see NodeLabel.h).
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>

#include "index/EmbeddingEntry.h"
#include "xml/XML.h"

namespace axf::query {

using index::EmbeddingEntry;

// The result-root label value^q^position, the value label-escaped.
std::string resultLabel(std::string_view value, std::string_view q, std::int64_t position);

// A childless node of the same kind as t's root (an element or a text),
// labelled rootvalue^q^position; a failure stays itself. `who` names the
// caller in the InternalError of any other root.
const xml::Tree* stampLeaf(const xml::Tree* t, std::string_view q, std::int64_t position, const char* who);

// An index entry stamped as a match of query node `prefix`: its root label,
// a raw name or text, becomes the result-root label value^prefix^position.
// A failure tree stays itself.
EmbeddingEntry stampMatch(std::string_view prefix, const EmbeddingEntry& entry);

// The tree with '^' and the suffix appended to its root label (an element
// without attributes, or a text without children; anything else is an
// InternalError). The suffix is appended as it is.
const xml::Tree* setLabel(const xml::Tree* tree, std::string_view suffix);

}  // namespace axf::query
