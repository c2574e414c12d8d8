#include "xml/Arena.h"

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <new>
#include <vector>

#include "common/PageMemory.h"

// Builds that release the arena under AddressSanitizer keep released storage
// poisoned, so that a pointer kept into it is reported when it is read.
#if defined(AXF_ARENA_RELEASE) && defined(__has_feature)
#if __has_feature(address_sanitizer)
#include <sanitizer/asan_interface.h>
#define AXF_ARENA_POISON(p, n) ASAN_POISON_MEMORY_REGION(p, n)
#define AXF_ARENA_UNPOISON(p, n) ASAN_UNPOISON_MEMORY_REGION(p, n)
#endif
#endif
// The arena's blocks are mappings of their own, which the leak checker does
// not scan: under AddressSanitizer each is named to it as a place that holds
// live pointers (the nodes' strings and lists), as a heap block would be.
#if defined(__SANITIZE_ADDRESS__)
#define AXF_ARENA_LEAK_ROOTS 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define AXF_ARENA_LEAK_ROOTS 1
#endif
#endif
#ifdef AXF_ARENA_LEAK_ROOTS
#include <sanitizer/lsan_interface.h>
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
#ifndef AXF_ARENA_RELEASE
    std::vector<PageBlock> pages;  // the storage of `blocks`
#endif
    char* cur = nullptr;
    std::size_t left = 0;
    std::size_t used = 0;
#ifdef AXF_ARENA_RELEASE
    std::vector<std::pair<void*, void (*)(void*)>> destructors;
    std::vector<char*> spare;        // released standard blocks, reused first
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
// small and a large document costs few allocations. A block is address space
// first (common/PageMemory.h): its pages are touched as nodes are made in
// them, on huge pages where the kernel gives them.
constexpr std::size_t kMaxBlock = std::size_t(64) << 20;
std::size_t nextBlockSize = kBlock;
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
    s.pages.emplace_back(grown);
    block = s.pages.back().data();
    size = s.pages.back().size();
#ifdef AXF_ARENA_LEAK_ROOTS
    __lsan_register_root_region(block, size);
#endif
#endif
    s.blocks.push_back(block);
    s.cur = block;
    s.left = size;
    return fits();
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
