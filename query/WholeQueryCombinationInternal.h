// Internal: for this folder and its tests. The combinations of whole-query
// results in mode all, built whole: a run streams them through ResultSet.h
// instead, and the tests and benchmarks hold the streamed results against
// these lists.
#pragma once

#include <span>

#include "query/WholeQueryCombination.h"

namespace axf::query {

EntryList combineQueriesAndAll(EntrySpan first, EntrySpan second);
EntryList combineQueriesOrAll(EntrySpan first, EntrySpan second);
EntryList combineQueriesXorAll(EntrySpan first, EntrySpan second);

// combineQueriesOrAll folded over several operands from left to right, for
// operand lists as they are (one list each, the first one first). Only the
// lowest-cost runs of the operands take part, and a product of tied runs is
// built only when no later operand is cheaper than it: what is built is what
// the result lists.
EntryList combineQueriesOrAll(std::span<const EntrySpan> operands);

}  // namespace axf::query
