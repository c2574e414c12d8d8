#include "query/RangeMinimum.h"

#include <algorithm>
#include <utility>

namespace axf::query {

RangeMinimum::RangeMinimum(std::vector<std::int64_t> values) : v_(std::move(values)) {
    std::size_t nb = (v_.size() + kBlock - 1) / kBlock;
    std::vector<std::uint32_t> level(nb);
    for (std::size_t b = 0; b < nb; ++b) level[b] = scan(b * kBlock, std::min(v_.size(), (b + 1) * kBlock));
    table_.push_back(std::move(level));
    for (std::size_t w = 1; 2 * w <= nb; w *= 2) {
        const auto& prev = table_.back();
        std::vector<std::uint32_t> next(nb - 2 * w + 1);
        for (std::size_t b = 0; b + 2 * w <= nb; ++b) next[b] = better(prev[b], prev[b + w]);
        table_.push_back(std::move(next));
    }
}

std::uint32_t RangeMinimum::leftmostMin(std::size_t lo, std::size_t hi) const {
    std::size_t bl = lo / kBlock, bh = (hi - 1) / kBlock;
    if (bh - bl <= 1) return scan(lo, hi);
    std::uint32_t best = scan(lo, (bl + 1) * kBlock);
    std::size_t from = bl + 1, to = bh;  // whole blocks [from, to)
    std::size_t k = 0;
    while ((std::size_t(2) << k) <= to - from) ++k;
    best = better(best, table_[k][from]);
    best = better(best, table_[k][to - (std::size_t(1) << k)]);
    return better(best, scan(bh * kBlock, hi));
}

std::uint32_t RangeMinimum::better(std::uint32_t a, std::uint32_t b) const {
    if (v_[b] < v_[a] || (v_[b] == v_[a] && b < a)) return b;
    return a;
}

std::uint32_t RangeMinimum::scan(std::size_t lo, std::size_t hi) const {
    std::uint32_t best = std::uint32_t(lo);
    for (std::size_t i = lo + 1; i < hi; ++i)
        if (v_[i] < v_[best]) best = std::uint32_t(i);
    return best;
}

}  // namespace axf::query
