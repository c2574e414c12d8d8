// The lowest cost of every position of a result list: the bound that an
// `or` or `xor` in mode all puts on an `and` operand, whose dearer products
// it never keeps.
#pragma once

#include <cstdint>
#include <span>
#include <unordered_map>

#include "index/EmbeddingEntry.h"

namespace axf::query {

using index::EmbeddingEntry;
using EntrySpan = std::span<const EmbeddingEntry>;

class LowestCosts {
public:
    LowestCosts() = default;
    explicit LowestCosts(EntrySpan entries);
    // Sets the lowest cost of a position not yet held.
    void add(std::int64_t position, std::int64_t cost) { lowest_.emplace(position, cost); }
    // Lowers the cost of a position to `cost`, or sets it when not yet held.
    void lower(std::int64_t position, std::int64_t cost) {
        auto [it, fresh] = lowest_.emplace(position, cost);
        if (!fresh && cost < it->second) it->second = cost;
    }
    // f(position, cost) for every position held, in no particular order.
    template <class F>
    void forEach(F f) const {
        for (const auto& [position, cost] : lowest_) f(position, cost);
    }
    // The lowest cost of the position, or nullptr when the list has none.
    const std::int64_t* find(std::int64_t position) const;
    bool empty() const { return lowest_.empty(); }

private:
    std::unordered_map<std::int64_t, std::int64_t> lowest_;
};

}  // namespace axf::query
