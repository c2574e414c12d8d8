#include "query/CombinationSteps.h"

namespace axf::query {

EntryList leadingTiesRaised(std::int64_t p, std::int64_t c, std::int64_t k, EntrySpan entries) {
    EntryList out;
    for (const EmbeddingEntry& e : entries) {
        if (e.position != p || e.cost != c) break;
        out.push_back(withCost(e, k));
    }
    return out;
}

EntryList leadingCostRunAsWholeQuery(std::int64_t c, EntrySpan entries) {
    EntryList out;
    for (const EmbeddingEntry& e : entries) {
        if (e.cost != c) break;
        out.push_back(wholeQueryEntry(e.cost, e.tree));
    }
    return out;
}

}  // namespace axf::query
