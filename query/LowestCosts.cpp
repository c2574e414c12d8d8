#include "query/LowestCosts.h"

namespace axf::query {

LowestCosts::LowestCosts(EntrySpan entries) {
    lowest_.reserve(entries.size());
    for (const EmbeddingEntry& e : entries) {
        auto [it, fresh] = lowest_.emplace(e.position, e.cost);
        if (!fresh && e.cost < it->second) it->second = e.cost;
    }
}

const std::int64_t* LowestCosts::find(std::int64_t position) const {
    auto it = lowest_.find(position);
    return it == lowest_.end() ? nullptr : &it->second;
}

}  // namespace axf::query
