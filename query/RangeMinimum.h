// Leftmost minimum over index ranges of a value array: minima of blocks of
// 64 values and a sparse table over the blocks. The descendant walk asks it
// for the cheapest candidates of a large range nested in an earlier one.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace axf::query {

class RangeMinimum {
public:
    explicit RangeMinimum(std::vector<std::int64_t> values);

    std::int64_t value(std::size_t i) const { return v_[i]; }

    // Index of the leftmost minimum of [lo, hi), lo < hi.
    std::uint32_t leftmostMin(std::size_t lo, std::size_t hi) const;

private:
    static constexpr std::size_t kBlock = 64;

    // The index of the smaller value, the lower index on ties.
    std::uint32_t better(std::uint32_t a, std::uint32_t b) const;
    // The leftmost minimum of [lo, hi) read value by value.
    std::uint32_t scan(std::size_t lo, std::size_t hi) const;

    std::vector<std::int64_t> v_;
    std::vector<std::vector<std::uint32_t>> table_;
};

}  // namespace axf::query
