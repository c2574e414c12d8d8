#include "common/PageMemory.h"

#include <sys/mman.h>
#include <unistd.h>

#include <cstdint>
#include <cstdlib>

namespace axf {
namespace {

constexpr std::size_t kPageBytes = 4096;

std::size_t roundUp(std::size_t bytes, std::size_t unit) {
    if (bytes > ~std::size_t(0) - unit) throw std::bad_alloc();
    return (bytes + unit - 1) & ~(unit - 1);
}

// The bytes a mapped block of at least `bytes` takes: whole huge pages from
// one huge page on (a last partial huge page would come in small pages).
std::size_t mappedSize(std::size_t bytes) { return roundUp(bytes, bytes >= kHugePageBytes ? kHugePageBytes : kPageBytes); }

// Fresh address space of `bytes` (a multiple of the page size) starting on a
// huge-page boundary, offered for huge pages; nullptr when refused.
char* reserveAligned(std::size_t bytes) {
    const std::size_t slack = bytes >= kHugePageBytes ? kHugePageBytes : 0;
    void* p = ::mmap(nullptr, bytes + slack, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE, -1, 0);
    if (p == MAP_FAILED) return nullptr;
    char* start = static_cast<char*>(p);
    if (slack) {
        // The unaligned head and the tail past the block are given back.
        const std::uintptr_t at = reinterpret_cast<std::uintptr_t>(start);
        char* aligned = start + (((at + slack - 1) & ~(slack - 1)) - at);
        if (aligned > start) ::munmap(start, static_cast<std::size_t>(aligned - start));
        const std::size_t tail = static_cast<std::size_t>(start + bytes + slack - (aligned + bytes));
        if (tail) ::munmap(aligned + bytes, tail);
        start = aligned;
        adviseHugePages(start, bytes);
    }
    return start;
}

}  // namespace

void adviseHugePages(const void* p, std::size_t bytes) {
#ifdef MADV_HUGEPAGE
    const std::uintptr_t at = reinterpret_cast<std::uintptr_t>(p);
    const std::uintptr_t from = (at + kHugePageBytes - 1) & ~(kHugePageBytes - 1);
    const std::uintptr_t to = (at + bytes) & ~(kHugePageBytes - 1);
    // A kernel without huge pages refuses the advice: the pages are then
    // ordinary ones, and nothing else changes.
    if (to > from) ::madvise(reinterpret_cast<void*>(from), to - from, MADV_HUGEPAGE);
#else
    (void)p;
    (void)bytes;
#endif
}

void PageBlock::resize(std::size_t bytes) {
    if (bytes == 0) {
        reset();
        return;
    }
    if (!mapped_ && bytes < kSmallBlockBytes) {
        void* p = std::realloc(data_, bytes);
        if (!p) throw std::bad_alloc();
        data_ = static_cast<char*>(p);
        if (bytes > size_) std::memset(data_ + size_, 0, bytes - size_);
        size_ = bytes;
        return;
    }
    if (mapped_ && bytes <= size_) {
        // Shrunk to whole small pages: the part of a huge page past the new
        // end, touched or not, stops counting as the block's memory.
        const std::size_t size = roundUp(bytes, kPageBytes);
        if (size < size_) ::munmap(data_ + size, size_ - size);
        size_ = size;
        return;
    }
    const std::size_t size = mappedSize(bytes);
    if (!mapped_) {
        // From the heap to a mapping of its own.
        char* p = reserveAligned(size);
        if (!p) throw std::bad_alloc();
        if (size_) std::memcpy(p, data_, size_);
        std::free(data_);
        data_ = p;
        size_ = size;
        mapped_ = true;
        return;
    }
    // In place where the address space after the block is free; otherwise
    // the pages move into a fresh aligned reservation (no byte is copied).
    if (::mremap(data_, size_, size, 0) != MAP_FAILED) {
        adviseHugePages(data_, size);
        size_ = size;
        return;
    }
    char* p = reserveAligned(size);
    if (!p) throw std::bad_alloc();
    if (::mremap(data_, size_, size_, MREMAP_MAYMOVE | MREMAP_FIXED, p) == MAP_FAILED) {
        ::munmap(p, size);
        throw std::bad_alloc();
    }
    data_ = p;
    size_ = size;
}

void PageBlock::discard(std::size_t from, std::size_t to) {
    if (to > size_) to = size_;
    if (from >= to) return;
    if (!mapped_) {
        std::memset(data_ + from, 0, to - from);
        return;
    }
    // Whole huge pages of a block that has them, so that none is split.
    const std::size_t unit = size_ >= kHugePageBytes ? kHugePageBytes : kPageBytes;
    const std::size_t first = roundUp(from, unit);
    const std::size_t last = to == size_ ? to : to & ~(unit - 1);
    if (last > first) ::madvise(data_ + first, last - first, MADV_DONTNEED);
}

void PageBlock::reset() noexcept {
    if (mapped_)
        ::munmap(data_, size_);
    else
        std::free(data_);
    data_ = nullptr;
    size_ = 0;
    mapped_ = false;
}

void PageSlots::newBlock() {
    // From 64 KiB, doubling up to a huge page, then a huge page at a time.
    const std::size_t bytes = blocks_.size() >= 5 ? kHugePageBytes : (std::size_t(64) << 10) << blocks_.size();
    blocks_.emplace_back(bytes);
    next_ = blocks_.back().data();
    end_ = next_ + blocks_.back().size() / slotBytes_ * slotBytes_;
}

}  // namespace axf
