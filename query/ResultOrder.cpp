#include "query/ResultOrder.h"

#include "query/CombinationSteps.h"

namespace axf::query {

namespace {

bool byCost(const EmbeddingEntry& a, const EmbeddingEntry& b) { return a.cost < b.cost; }

}  // namespace

EntryList sortByPositionThenCost(EntrySpan entries) {
    const Ordered ordered(entries, byPositionThenCost);
    const EntrySpan v = ordered.view();
    return EntryList(v.begin(), v.end());
}

EntryList sortByCost(EntrySpan entries) {
    EntryList out(entries.begin(), entries.end());
    if (!std::is_sorted(out.begin(), out.end(), byCost)) std::stable_sort(out.begin(), out.end(), byCost);
    return out;
}

bool ascendingByPosition(EntrySpan list) {
    return std::is_sorted(list.begin(), list.end(),
                          [](const EmbeddingEntry& x, const EmbeddingEntry& y) { return x.position < y.position; });
}

}  // namespace axf::query
