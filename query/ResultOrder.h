// Orderings of result lists: by position then cost (the order the
// combinations at query nodes work in) and by cost alone. Each returns at
// once when the list is already in order and otherwise makes one stable sort.
// The sorted copies that only tests and benchmarks make are declared in the
// internal CombinationSteps.h.
#pragma once

#include <algorithm>
#include <span>

#include "index/EmbeddingEntry.h"

namespace axf::query {

using index::EmbeddingEntry;
using index::EntryList;
using EntrySpan = std::span<const EmbeddingEntry>;

// True when the list's positions do not descend.
bool ascendingByPosition(EntrySpan list);

inline bool byPositionThenCost(const EmbeddingEntry& a, const EmbeddingEntry& b) {
    return a.position < b.position || (a.position == b.position && a.cost < b.cost);
}

// A list in an order: a sorted input kept as it is, otherwise a sorted copy.
class Ordered {
public:
    template <class Less>
    Ordered(EntrySpan in, Less less) : in_(in) {
        if (!std::is_sorted(in.begin(), in.end(), less)) {
            storage_.assign(in.begin(), in.end());
            std::stable_sort(storage_.begin(), storage_.end(), less);
            sorted_ = true;
        }
    }
    EntrySpan view() const { return sorted_ ? EntrySpan(storage_) : in_; }

private:
    EntrySpan in_;
    EntryList storage_;
    bool sorted_ = false;
};

// The list ascending by position, then by cost.
inline Ordered positionOrdered(EntrySpan s) {
    return Ordered(s, [](const EmbeddingEntry& a, const EmbeddingEntry& b) { return byPositionThenCost(a, b); });
}

}  // namespace axf::query
