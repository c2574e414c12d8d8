// Combination of whole-query results below a boolean top: results are chosen
// and paired by cost alone, and every result becomes a whole-query entry
// whose tree is the boolean result root over its operands' trees.
#pragma once

#include <cstdint>
#include <span>
#include <string_view>

#include "index/EmbeddingEntry.h"
#include "xml/XML.h"

namespace axf::query {

using index::EmbeddingEntry;
using index::EntryList;
using EntrySpan = std::span<const EmbeddingEntry>;

// ---------------------------------------------------------------------------
// Boolean result root: a new element named `op` (no attributes) over the two
// operand trees; an operand whose root is an element without attributes named
// exactly "and", "or" or "xor" contributes its children instead of itself.
// An operand of another shape (an element with attributes, a text with
// children, any other node kind) gives a failure tree.
const xml::Tree* buildExternalTree(std::string_view op, const xml::Tree* left, const xml::Tree* right);
// True when buildExternalTree takes the tree as one operand, itself: an
// element without attributes not named "and", "or" or "xor", or a text leaf.
bool joinsAsItself(const xml::Tree* t);

// ---------------------------------------------------------------------------
// Combination of whole-query results: the results combined so far first, the
// next operand's results second. Every entry returned has position 1, depth 0,
// last 0 and renaming cost 0.

// An entry of whole-query results: the cost and tree at position 1, depth 0.
EmbeddingEntry wholeQueryEntry(std::int64_t cost, const xml::Tree* tree);

EntryList combineQueriesAndBest(EntrySpan first, EntrySpan second);
EntryList combineQueriesAndAll(EntrySpan first, EntrySpan second);
EntryList combineQueriesOrBest(EntrySpan first, EntrySpan second);
EntryList combineQueriesOrAll(EntrySpan first, EntrySpan second);
EntryList combineQueriesXorBest(EntrySpan first, EntrySpan second);
EntryList combineQueriesXorAll(EntrySpan first, EntrySpan second);

// combineQueriesOrAll folded over several operands from left to right, for
// operand lists as they are (one list each, the first one first). Only the
// lowest-cost runs of the operands take part, and a product of tied runs is
// built only when no later operand is cheaper than it: what is built is what
// the result lists.
EntryList combineQueriesOrAll(std::span<const EntrySpan> operands);

}  // namespace axf::query
