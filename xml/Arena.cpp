#include "xml/Arena.h"

#include <cstdint>
#include <cstdlib>
#include <vector>

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
};

State& state() {
    static State* s = new State;
    return *s;
}

constexpr std::size_t kBlock = std::size_t(1) << 20;

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
        return reinterpret_cast<void*>(aligned);
    };
    if (void* p = fits()) return p;
    std::size_t size = bytes + align > kBlock ? bytes + align : kBlock;
    char* block = static_cast<char*>(std::malloc(size));
    if (!block) throw std::bad_alloc();
    s.blocks.push_back(block);
    s.cur = block;
    s.left = size;
    return fits();
}

std::size_t Arena::bytesUsed() {
    State& s = state();
    return s.used;
}

}  // namespace axf::xml
