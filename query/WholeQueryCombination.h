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

// Mode best: the first cheapest result of each side, combined by the operator.
// The combinations of mode all, which a run streams through ResultSet.h, are
// built whole by those of the internal WholeQueryCombinationInternal.h.
EntryList combineQueriesAndBest(EntrySpan first, EntrySpan second);
EntryList combineQueriesOrBest(EntrySpan first, EntrySpan second);
EntryList combineQueriesXorBest(EntrySpan first, EntrySpan second);

}  // namespace axf::query
