// The arena from which tree nodes and their child arrays are allocated. It
// lives as long as the run: nothing allocated here is ever freed or
// destroyed, so trees can be shared freely between trees, and tearing down a
// tree of any depth costs nothing.
#pragma once

#include <cstddef>
#include <new>
#include <type_traits>
#include <utility>

namespace axf::xml {

class Arena {
public:
    // Raw storage of the given size and alignment, valid until the process ends.
    static void* allocate(std::size_t bytes, std::size_t align);

    template <class T, class... Args>
    static T* make(Args&&... args) {
        T* p = ::new (allocate(sizeof(T), alignof(T))) T(std::forward<Args>(args)...);
#ifdef AXF_ARENA_RELEASE
        if constexpr (!std::is_trivially_destructible_v<T>) onRelease(p, [](void* q) { static_cast<T*>(q)->~T(); });
#endif
        return p;
    }

    // Bytes handed out so far (for benchmarks and memory checks).
    static std::size_t bytesUsed();

#ifdef AXF_ARENA_RELEASE
    // Only in builds that run many independent runs in one process (the
    // fuzzing harness): everything made after a mark can be destroyed and
    // its storage reused. Nothing made before the mark may point into what
    // is released.
    struct Mark {
        std::size_t blocks;
        char* cur;
        std::size_t left;
        std::size_t used;
        std::size_t destructors;
    };
    static Mark mark();
    static void release(const Mark& m);
    static void onRelease(void* object, void (*destroy)(void*));
#endif
};

}  // namespace axf::xml
