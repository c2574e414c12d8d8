// Internal: for this folder and its tests. The steps behind the combinations
// at query nodes (Combination.h): list functions by position and cost, and
// the pairwise workers over lists already in order, by operator in
// AndSteps.cpp, OrSteps.cpp and XorSteps.cpp (list functions in
// PositionRuns.cpp), and the sorted copies of ResultOrder.cpp that tests and
// benchmarks make. The joins of two entries are in TreeJoin.h.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

#include "query/Combination.h"

namespace axf::query {

// ---------------------------------------------------------------------------
// Position and same-cost list functions.

// The entry with n added into its cost.
inline EmbeddingEntry withCost(const EmbeddingEntry& e, std::int64_t n) {
    EmbeddingEntry r = e;
    r.cost = e.cost + n;
    return r;
}

// Every entry of s with n added into its cost, appended to out.
inline void appendWithCost(EntrySpan s, std::int64_t n, EntryList& out) {
    for (const EmbeddingEntry& e : s) out.push_back(withCost(e, n));
}

// Index of the first entry at or after i whose position is not p.
inline std::size_t skipPosition(EntrySpan s, std::size_t i, std::int64_t p) {
    while (i < s.size() && s[i].position == p) ++i;
    return i;
}

// The entries after the leading run of entries of position p (a suffix).
inline EntrySpan afterPosition(std::int64_t p, EntrySpan entries) { return entries.subspan(skipPosition(entries, 0, p)); }
// True when the first entry has the position and the cost of e.
inline bool headTiesWith(const EmbeddingEntry& e, EntrySpan entries) {
    return !entries.empty() && entries.front().position == e.position && entries.front().cost == e.cost;
}
// The leading entries of position p and cost c, each with cost + k; stops at
// the first entry of any other position or cost.
EntryList leadingTiesRaised(std::int64_t p, std::int64_t c, std::int64_t k, EntrySpan entries);
// The leading entries of cost c as whole-query entries (position 1, depth 0,
// last 0, renaming cost 0, own cost and tree).
EntryList leadingCostRunAsWholeQuery(std::int64_t c, EntrySpan entries);

// ---------------------------------------------------------------------------
// Orderings (ResultOrder.cpp).

// Ascending by position, then by cost; stable.
EntryList sortByPositionThenCost(EntrySpan entries);
// Ascending by cost; stable; positions are not looked at.
EntryList sortByCost(EntrySpan entries);
// Comparisons of entries by cost alone.
inline bool costAtMost(const EmbeddingEntry& a, const EmbeddingEntry& b) { return a.cost <= b.cost; }
inline bool costBelow(const EmbeddingEntry& a, const EmbeddingEntry& b) { return a.cost < b.cost; }

// ---------------------------------------------------------------------------
// Pairwise workers of the combination at query nodes. Both lists are expected
// ascending by position and, within a position, by cost (the order of
// sortByPositionThenCost); none of them checks or restores it.

// `and`, mode best: one joined entry per position both lists hold, from the
// first entry of that position on each side.
EntryList andBestOrdered(EntrySpan first, EntrySpan second, std::int64_t n);
// `and`, mode all, over the lists as they come (the one worker that does not
// expect them in order): andAllStep for every entry of the first list in turn,
// each step on what the last one left.
EntryList andAllInListOrder(EntrySpan first, EntrySpan second, std::int64_t n);
// andAllInListOrder with the bound of combineAndAll(first, second, n, bound).
EntryList andAllWithinBound(EntrySpan first, EntrySpan second, std::int64_t n, const LowestCosts& bound);

// One step of the `and` combination in mode all: the joined entries of x with
// the entries of its position met before the walk of the list stops, and the
// list left for the next entry of the first list.
struct AndAllStepResult {
    EntryList joined;
    EntryList rest;
};
AndAllStepResult andAllStep(const EmbeddingEntry& x, EntrySpan second, std::int64_t n);

// `or`, mode best: the cheaper head, or the joined heads on equal costs, at a
// shared position; the entries of a position only one list holds pass.
EntryList orBestOrdered(EntrySpan first, EntrySpan second, std::int64_t n);
// `or`, mode all: the step loop of orAllStep over two ordered lists.
EntryList orAllOrdered(EntrySpan first, EntrySpan second, std::int64_t n);

// One step of the `or` combination in mode all, for the entry a taken from the
// front of the first list (whose remaining entries are rest) against the second
// list. `joined` tells whether a was already joined with an entry of the
// second list (and so emitted); sameNext is headTiesWith(a, rest): the next
// entry of the first list ties with a, so the entries a is joined with stay
// in the second list for it.
struct OrAllStepResult {
    EntryList emitted;
    EntryList secondLeft;
    EntryList firstLeft;
};
OrAllStepResult orAllStep(const EmbeddingEntry& a, EntrySpan second, EntrySpan rest, std::int64_t n, bool joined, bool sameNext);

// `xor`: each position is settled by one list, the first on equal costs; mode
// best emits the settling head, mode all the head's tied run.
EntryList xorBestOrdered(EntrySpan first, EntrySpan second, std::int64_t n);
EntryList xorAllOrdered(EntrySpan first, EntrySpan second, std::int64_t n);

}  // namespace axf::query
