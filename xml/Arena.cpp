#include "xml/Arena.h"

#include <sys/mman.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <new>
#include <vector>

// Builds that release the arena under AddressSanitizer keep released storage
// poisoned, so that a pointer kept into it is reported when it is read.
#if defined(AXF_ARENA_RELEASE) && defined(__has_feature)
#if __has_feature(address_sanitizer)
#include <sanitizer/asan_interface.h>
#define AXF_ARENA_POISON(p, n) ASAN_POISON_MEMORY_REGION(p, n)
#define AXF_ARENA_UNPOISON(p, n) ASAN_UNPOISON_MEMORY_REGION(p, n)
#endif
#endif
#ifndef AXF_ARENA_POISON
#define AXF_ARENA_POISON(p, n) ((void)(p), (void)(n))
#define AXF_ARENA_UNPOISON(p, n) ((void)(p), (void)(n))
#endif

namespace axf::xml {
namespace {

// The program is single-threaded (the worker of runWithLargeStack runs while
// its starter waits), so the arena takes no lock.
// Blocks are kept reachable from this list for the whole run (they are never
// freed), so leak checkers see the arena's contents as live.
struct State {
    std::vector<char*> blocks;
    char* cur = nullptr;
    std::size_t left = 0;
    std::size_t used = 0;
#ifdef AXF_ARENA_RELEASE
    std::vector<std::pair<void*, void (*)(void*)>> destructors;
    std::vector<char*> spare;  // released standard blocks, reused first
    std::vector<std::size_t> sizes;  // the size of each block of `blocks`
#endif
};

State& state() {
    static State* s = new State;
    return *s;
}

constexpr std::size_t kBlock = std::size_t(1) << 20;

#ifndef AXF_ARENA_RELEASE
// In a run, blocks double from 1 MiB up to 64 MiB, so that a small run stays
// small and a large document costs few allocations. Blocks of 2 MiB and more
// are aligned to 2 MiB and offered to the kernel for huge pages: building a
// large tree touches a great many fresh pages, and huge pages make that
// cheaper.
constexpr std::size_t kMaxBlock = std::size_t(64) << 20;
constexpr std::size_t kHugePage = std::size_t(2) << 20;
std::size_t nextBlockSize = kBlock;

char* newBlock(std::size_t& size) {
    if (size >= kHugePage) return Arena::allocateHugePaged(size);
    void* p = std::malloc(size);
    if (!p) throw std::bad_alloc();
    return static_cast<char*>(p);
}
#endif

}  // namespace

void* Arena::allocate(std::size_t bytes, std::size_t align) {
    State& s = state();
    auto fits = [&]() -> void* {
        if (!s.cur) return nullptr;
        std::uintptr_t p = reinterpret_cast<std::uintptr_t>(s.cur);
        std::uintptr_t aligned = (p + align - 1) & ~(std::uintptr_t(align) - 1);
        std::size_t pad = aligned - p;
        if (pad + bytes > s.left) return nullptr;
        s.cur += pad + bytes;
        s.left -= pad + bytes;
        s.used += bytes;
        // Released storage stays poisoned until it is handed out again.
        AXF_ARENA_UNPOISON(reinterpret_cast<void*>(aligned), bytes);
        return reinterpret_cast<void*>(aligned);
    };
    if (void* p = fits()) return p;
    std::size_t size = bytes + align > kBlock ? bytes + align : kBlock;
    char* block = nullptr;
#ifdef AXF_ARENA_RELEASE
    if (size == kBlock && !s.spare.empty()) {
        block = s.spare.back();
        s.spare.pop_back();
    }
    if (!block) block = static_cast<char*>(std::malloc(size));
    if (!block) throw std::bad_alloc();
    s.sizes.push_back(size);
#else
    std::size_t grown = std::max(size, nextBlockSize);
    nextBlockSize = std::min(kMaxBlock, nextBlockSize * 2);
    size = grown;
    block = newBlock(size);
#endif
    s.blocks.push_back(block);
    s.cur = block;
    s.left = size;
    return fits();
}

char* Arena::allocateHugePaged(std::size_t& bytes) {
    constexpr std::size_t kPage = std::size_t(2) << 20;
    // Below one huge page the buffer is an ordinary allocation of the size
    // asked for: rounding a small text's buffer up to 2 MiB would cost a
    // fresh 2 MiB of pages on every parse.
    if (bytes < kPage) {
        bytes = std::max<std::size_t>(bytes, 1);
        void* small = std::malloc(bytes);
        if (!small) throw std::bad_alloc();
        return static_cast<char*>(small);
    }
    bytes = (bytes + kPage - 1) & ~(kPage - 1);
    void* p = std::aligned_alloc(kPage, bytes);
    if (!p) throw std::bad_alloc();
#ifdef MADV_HUGEPAGE
    madvise(p, bytes, MADV_HUGEPAGE);
#endif
    return static_cast<char*>(p);
}

void Arena::adviseHugePages(const void* p, std::size_t bytes) {
#ifdef MADV_HUGEPAGE
    constexpr std::uintptr_t kPage = std::uintptr_t(2) << 20;
    const std::uintptr_t from = (reinterpret_cast<std::uintptr_t>(p) + kPage - 1) & ~(kPage - 1);
    const std::uintptr_t to = (reinterpret_cast<std::uintptr_t>(p) + bytes) & ~(kPage - 1);
    if (to > from) madvise(reinterpret_cast<void*>(from), to - from, MADV_HUGEPAGE);
#else
    (void)p;
    (void)bytes;
#endif
}

std::size_t Arena::bytesUsed() {
    State& s = state();
    return s.used;
}

#ifdef AXF_ARENA_RELEASE
Arena::Mark Arena::mark() {
    State& s = state();
    return Mark{s.blocks.size(), s.cur, s.left, s.used, s.destructors.size()};
}

void Arena::release(const Mark& m) {
    State& s = state();
    while (s.destructors.size() > m.destructors) {
        auto [object, destroy] = s.destructors.back();
        s.destructors.pop_back();
        destroy(object);
    }
    while (s.blocks.size() > m.blocks) {
        if (s.sizes.back() == kBlock) {
            AXF_ARENA_POISON(s.blocks.back(), kBlock);
            s.spare.push_back(s.blocks.back());
        } else
            std::free(s.blocks.back());
        s.blocks.pop_back();
        s.sizes.pop_back();
    }
    // The free tail of the mark's block starts again where the mark left it.
    s.cur = m.cur;
    s.left = m.left;
    if (s.cur) AXF_ARENA_POISON(s.cur, s.left);
    s.used = m.used;
}

void Arena::onRelease(void* object, void (*destroy)(void*)) { state().destructors.emplace_back(object, destroy); }
#endif

}  // namespace axf::xml
