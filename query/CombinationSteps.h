// The steps behind the combinations of Combination.h, public so that tests can
// check each one: list functions by position and cost, the join of two
// entries, and the pairwise workers over lists already in order. Nothing on
// the run path needs this header; the combinations call the steps inside
// Combination.cpp.
#pragma once

#include <cstdint>
#include <string_view>

#include "query/Combination.h"

namespace axf::query {

// ---------------------------------------------------------------------------
// Position and same-cost list functions.

// The entries after the leading run of entries of position p (a suffix).
EntrySpan afterPosition(std::int64_t p, EntrySpan entries);
// True when the first entry has the position and the cost of e.
bool headTiesWith(const EmbeddingEntry& e, EntrySpan entries);
// The leading entries of position p and cost c, each with cost + k; stops at
// the first entry of any other position or cost.
EntryList extractSameCostandPre(std::int64_t p, std::int64_t c, std::int64_t k, EntrySpan entries);
// The leading entries of cost c as whole-query entries (position 1, depth 0,
// last 0, renaming cost 0, own cost and tree).
EntryList extractSameCost(std::int64_t c, EntrySpan entries);

// ---------------------------------------------------------------------------
// Joined entry of x (from the first list) and y (from the second list): the
// position, depth, last and renaming cost of x, the cost x + y + n, and a new
// root with the name and attributes of x's root over x's children followed by
// y's children. `combination` names the caller in the error text of a failure
// tree.
EmbeddingEntry joinEntries(const EmbeddingEntry& x, const EmbeddingEntry& y, std::int64_t n,
                           std::string_view combination);

// ---------------------------------------------------------------------------
// Pairwise workers of the combination at query nodes. Both lists are expected
// ascending by position and, within a position, by cost (the order of
// embSort); none of them checks or restores it.

// `and`, mode best: one joined entry per position both lists hold, from the
// first entry of that position on each side.
EntryList andBestOrdered(EntrySpan first, EntrySpan second, std::int64_t n);
// `or`, mode best: the cheaper head, or the joined heads on equal costs, at a
// shared position; the entries of a position only one list holds pass.
EntryList orBestOrdered(EntrySpan first, EntrySpan second, std::int64_t n);
// `xor`: each position is settled by one list, the first on equal costs.
EntryList xorBestOrdered(EntrySpan first, EntrySpan second, std::int64_t n);
EntryList xorAllOrdered(EntrySpan first, EntrySpan second, std::int64_t n);

// One step of the `or` combination in mode all, for the entry a taken from the
// front of the first list (whose remaining entries are rest) against the second
// list. `joined` tells whether a was already joined with an entry of the
// second list (and so emitted); sameNext is headTiesWith(a, rest).
struct MinStep {
    EntryList emitted;
    EntryList secondLeft;
    EntryList firstLeft;
};
MinStep orAllStep(const EmbeddingEntry& a, EntrySpan second, EntrySpan rest, std::int64_t n,
                         bool joined, bool sameNext);
// The step loop of the `or` combination in mode all, over two ordered lists.
EntryList orAllOrdered(EntrySpan first, EntrySpan second, std::int64_t n);

// One step of the `and` combination in mode all: the joined entries of x with
// the entries of its position met before the walk of the list stops, and the
// list left for the next entry of the first list.
struct SumStep {
    EntryList joined;
    EntryList rest;
};
SumStep andAllStep(const EmbeddingEntry& x, EntrySpan second, std::int64_t n);

}  // namespace axf::query
