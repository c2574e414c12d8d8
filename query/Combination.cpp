#include "query/Combination.h"

#include "query/CombinationSteps.h"

namespace axf::query {

EntryList combineAndAll(EntrySpan first, EntrySpan second, std::int64_t n, const LowestCosts& bound) {
    if (first.empty() || second.empty()) return {};
    if (bound.empty()) return andAllInListOrder(first, second, n);
    return andAllWithinBound(first, second, n, bound);
}

// ---------------------------------------------------------------------------
// Combination at query nodes.

EntryList combineAndAll(EntrySpan first, EntrySpan second, std::int64_t n) {
    if (first.empty() || second.empty()) return {};
    return andAllInListOrder(first, second, n);
}

EntryList combineAndAll(EntrySpan first, const Lazy<EntryList>& second, std::int64_t n) {
    if (first.empty()) return {};
    return combineAndAll(first, EntrySpan(second.get()), n);
}

EntryList combineAndBest(EntrySpan first, EntrySpan second, std::int64_t n) {
    if (first.empty() || second.empty()) return {};
    return andBestOrdered(positionOrdered(first).view(), positionOrdered(second).view(), n);
}

EntryList combineAndBest(EntrySpan first, const Lazy<EntryList>& second, std::int64_t n) {
    if (first.empty()) return {};
    return combineAndBest(first, EntrySpan(second.get()), n);
}

EntryList combineOrAll(EntrySpan first, EntrySpan second, std::int64_t n) {
    EntryList out;
    if (first.empty() || second.empty()) {
        appendWithCost(first, n, out);
        appendWithCost(second, n, out);
        return out;
    }
    return orAllOrdered(positionOrdered(first).view(), positionOrdered(second).view(), n);
}

EntryList combineOrBest(EntrySpan first, EntrySpan second, std::int64_t n) {
    if (first.empty() && second.empty()) return {};
    return orBestOrdered(positionOrdered(first).view(), positionOrdered(second).view(), n);
}

EntryList combineXorAll(EntrySpan first, EntrySpan second, std::int64_t n) {
    if (first.empty() && second.empty()) return {};
    return xorAllOrdered(positionOrdered(first).view(), positionOrdered(second).view(), n);
}

EntryList combineXorBest(EntrySpan first, EntrySpan second, std::int64_t n) {
    if (first.empty() && second.empty()) return {};
    return xorBestOrdered(positionOrdered(first).view(), positionOrdered(second).view(), n);
}

EntryList combineOrAll(EntrySpan first, const Lazy<EntryList>& second, std::int64_t n) {
    return combineOrAll(first, EntrySpan(second.get()), n);
}
EntryList combineOrBest(EntrySpan first, const Lazy<EntryList>& second, std::int64_t n) {
    return combineOrBest(first, EntrySpan(second.get()), n);
}
EntryList combineXorAll(EntrySpan first, const Lazy<EntryList>& second, std::int64_t n) {
    return combineXorAll(first, EntrySpan(second.get()), n);
}
EntryList combineXorBest(EntrySpan first, const Lazy<EntryList>& second, std::int64_t n) {
    return combineXorBest(first, EntrySpan(second.get()), n);
}

}  // namespace axf::query
