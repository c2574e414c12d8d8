// The `and` of several lists at once, at a query node of many operands.
#pragma once

#include <cstdint>
#include <span>

#include "index/EmbeddingEntry.h"
#include "query/LowestCosts.h"

namespace axf::query {

using index::EmbeddingEntry;
using index::EntryList;
using EntrySpan = std::span<const EmbeddingEntry>;

// The `and` of several lists at once: the same list as folding them from left
// to right with combineAndAll (or combineAndBest), n added at every step,
// for lists that each ascend by position (the caller checks). Each joined
// tree is built once, over the children of every operand's tree, so a query
// node of many operands costs what its results hold, not the square of it.
// With a bound (the lowest costs of the list an `or` or `xor` in mode all
// meets this result with), a position the bound holds keeps only its joined
// entries not dearer than the bound there, or its first joined entry when
// every one is dearer: the combination with that list is unchanged, and the
// dearer products are never built.
EntryList combineAndAll(std::span<const EntrySpan> lists, std::int64_t n, const LowestCosts* bound = nullptr);
EntryList combineAndBest(std::span<const EntrySpan> lists, std::int64_t n);
// The lowest cost at every position of combineAndAll(lists, n) without
// building it (lists ascending by position).
LowestCosts lowestOfAndAll(std::span<const EntrySpan> lists, std::int64_t n);

}  // namespace axf::query
