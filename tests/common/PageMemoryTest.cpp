#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <map>
#include <new>
#include <random>

#include "common/PageMemory.h"

namespace {

using namespace axf;

// Sizes on both sides of a heap block, a mapped block and a huge page.
TEST(PageBlock, ContentsKeptAndFreshBytesZeroAcrossEveryResize) {
    const std::size_t steps[] = {
        100,  kSmallBlockBytes - 1, kSmallBlockBytes + 5, 3 * kHugePageBytes + 7, 9 * kHugePageBytes, kHugePageBytes + 1,
        5000, 7 * kHugePageBytes};
    PageBlock block;
    std::size_t written = 0;  // bytes [0, written) hold their index mod 251
    for (std::size_t bytes : steps) {
        block.resize(bytes);
        ASSERT_GE(block.size(), bytes);
        const std::size_t kept = std::min(written, bytes);
        for (std::size_t i = 0; i < kept; i += 997) ASSERT_EQ(block.data()[i], char(i % 251)) << bytes << " " << i;
        // A block shrunk keeps the page its end falls in whole.
        const std::size_t fresh = (kept + 4095) & ~std::size_t(4095);
        for (std::size_t i = fresh; i < bytes; i += 4093) ASSERT_EQ(block.data()[i], 0) << bytes << " " << i;
        for (std::size_t i = kept; i < bytes; ++i) block.data()[i] = char(i % 251);
        written = bytes;
    }
    EXPECT_EQ(reinterpret_cast<std::uintptr_t>(block.data()) % kHugePageBytes, 0u);
    block.discard(0, block.size());
    for (std::size_t i = 0; i < block.size(); i += 4093) ASSERT_EQ(block.data()[i], 0) << i;
    PageBlock moved = std::move(block);
    EXPECT_EQ(block.data(), nullptr);
    EXPECT_GE(moved.size(), written);
}

TEST(PageArray, AppendsPastEveryReservationInOrder) {
    PageArray<std::uint32_t> values;
    values.reserve(10);
    const std::uint32_t count = 3 * kSmallBlockBytes / sizeof(std::uint32_t) + 17;
    for (std::uint32_t i = 0; i < count; ++i) values.push_back(i * 7);
    ASSERT_EQ(values.size(), count);
    for (std::uint32_t i = 0; i < count; ++i) ASSERT_EQ(values[i], i * 7) << i;
    values.shrinkToFit();
    EXPECT_GE(values.capacity(), count);
    EXPECT_EQ(values.back(), (count - 1) * 7);
}

TEST(PageBlock, RefusedAddressSpaceIsOutOfMemoryAndKeepsTheBlock) {
    PageBlock block(kHugePageBytes);
    block.data()[7] = 'x';
    EXPECT_THROW(block.resize(std::size_t(1) << 60), std::bad_alloc);  // past any address space
    EXPECT_GE(block.size(), kHugePageBytes);
    EXPECT_EQ(block.data()[7], 'x');
    PageArray<std::uint64_t> values;
    EXPECT_THROW(values.reserve(~std::size_t(0) / 4), std::bad_alloc);
}

// A node-based map over shared slots holds the same keys as an ordinary one
// through inserts and erases that reuse slots, across many blocks; a slot of
// another size is refused.
TEST(PageSlots, MapNodesComeAndGo) {
    std::map<std::int64_t, std::int64_t, std::less<>, axf::PageSlotAllocator<std::pair<const std::int64_t, std::int64_t>>>
        slotted;
    std::map<std::int64_t, std::int64_t> plain;
    std::mt19937 rng(32);
    for (int i = 0; i < 300000; ++i) {
        const std::int64_t key = std::uniform_int_distribution<std::int64_t>(0, 100000)(rng);
        if (i % 3 == 2) {
            EXPECT_EQ(slotted.erase(key), plain.erase(key));
        } else {
            slotted[key] = i;
            plain[key] = i;
        }
    }
    EXPECT_TRUE(std::equal(slotted.begin(), slotted.end(), plain.begin(), plain.end()));
    axf::PageSlots slots;
    void* a = slots.take(24);
    EXPECT_EQ(slots.take(64), nullptr);
    EXPECT_FALSE(slots.give(a, 64));
    EXPECT_TRUE(slots.give(a, 24));
    EXPECT_EQ(slots.take(24), a);
}

}  // namespace
