// Result combination: the merging of result lists under `and`, `or` and `xor`
// in the modes best and all. This header is the entry of the combinations and
// includes every part of them.
//
// Two levels of combination:
//  - at the boolean nodes of a query, during the embedding search: lists of
//    child embeddings rooted at matches of the same parent element are merged
//    position by position (combineAnd*, combineOr*, combineXor* below, in
//    Combination.cpp; the many-list `and` in ManyListAnd.h; their steps in
//    the internal CombinationSteps.h, by operator in AndSteps.cpp,
//    OrSteps.cpp and XorSteps.cpp);
//  - between whole queries below a boolean top, in the driver: results are
//    chosen and paired by cost alone and every result becomes a whole-query
//    entry (combineQueries*, WholeQueryCombination.h; the lists of mode all,
//    which a run streams through ResultSet.h, built whole in the internal
//    WholeQueryCombinationInternal.h).
// The parts they share: the joins of result trees and the scopes that defer
// or cover them (TreeJoin.h), failure trees (FailureTree.h; their text read
// without raising them in the internal FailureTreeInternal.h), the orderings of
// result lists (ResultOrder.h) and the lowest costs by position that bound an
// `and` below an `or` (LowestCosts.h).
//
// Lists are taken as spans and returned as new vectors; inputs are never
// changed. Every combination walks its inputs once; the orderings return at
// once when the list is already in order and otherwise make one stable sort.
// Trees built here share every subtree with their operands.
#pragma once

#include <cstdint>
#include <span>

#include "common/Lazy.h"
#include "index/EmbeddingEntry.h"
#include "query/FailureTree.h"
#include "query/LowestCosts.h"
#include "query/ManyListAnd.h"
#include "query/ResultOrder.h"
#include "query/TreeJoin.h"
#include "query/WholeQueryCombination.h"
#include "xml/XML.h"

namespace axf::query {

using index::EmbeddingEntry;
using index::EntryList;
using EntrySpan = std::span<const EmbeddingEntry>;

// ---------------------------------------------------------------------------
// Combination of child results at `and`, `or` and `xor` query nodes: the list
// so far first, the next child's list second, the boolean node's deletion cost
// as n, added once to every entry emitted.
//
// The and-combinations do not examine the second list when the first is
// empty; their overloads taking a Lazy second list then leave it
// unevaluated. The other four always read it; their Lazy overloads exist so
// that a fold can call all six the same way (CombineStep).

EntryList combineAndAll(EntrySpan first, EntrySpan second, std::int64_t n);
EntryList combineAndAll(EntrySpan first, const Lazy<EntryList>& second, std::int64_t n);
EntryList combineAndBest(EntrySpan first, EntrySpan second, std::int64_t n);
EntryList combineAndBest(EntrySpan first, const Lazy<EntryList>& second, std::int64_t n);
EntryList combineOrAll(EntrySpan first, EntrySpan second, std::int64_t n);
EntryList combineOrBest(EntrySpan first, EntrySpan second, std::int64_t n);
EntryList combineXorAll(EntrySpan first, EntrySpan second, std::int64_t n);
EntryList combineXorBest(EntrySpan first, EntrySpan second, std::int64_t n);

// combineAndAll for a result that becomes the second list of combineOrAll
// against a first list F whose lowest costs are `bound`. At a position that F
// holds, that combination keeps no second-list entry dearer than F's cheapest
// entry there, but it reads whether the position holds any such entry. So at
// every position the bound holds, the joined entries dearer than the bound are
// left out (never built), except the first joined entry of the position when
// every joined entry of it is dearer. Other positions keep every joined entry.
// combineOrAll(F, this result, m) equals combineOrAll(F,
// combineAndAll(first, second, n), m) for every m, while the result stays
// proportional to what the or-combination keeps.
EntryList combineAndAll(EntrySpan first, EntrySpan second, std::int64_t n, const LowestCosts& bound);

using CombineStep = EntryList (*)(EntrySpan first, const Lazy<EntryList>& second, std::int64_t n);
EntryList combineOrAll(EntrySpan first, const Lazy<EntryList>& second, std::int64_t n);
EntryList combineOrBest(EntrySpan first, const Lazy<EntryList>& second, std::int64_t n);
EntryList combineXorAll(EntrySpan first, const Lazy<EntryList>& second, std::int64_t n);
EntryList combineXorBest(EntrySpan first, const Lazy<EntryList>& second, std::int64_t n);

}  // namespace axf::query
