#include <gtest/gtest.h>

#include <cstdint>
#include <new>

#include "common/PageMemory.h"

namespace {

using namespace axf;

// Sizes on both sides of a heap block, a mapped block and a huge page.
TEST(PageBlock, ContentsKeptAndFreshBytesZeroAcrossEveryResize) {
    const std::size_t steps[] = {100, kSmallBlockBytes - 1, kSmallBlockBytes + 5, 3 * kHugePageBytes + 7,
                                 9 * kHugePageBytes, kHugePageBytes + 1, 5000, 7 * kHugePageBytes};
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

}  // namespace
