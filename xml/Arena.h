// The arena from which tree nodes and their child arrays are allocated. It
// lives as long as the run: nothing allocated here is ever freed or
// destroyed, so trees can be shared freely between trees, and tearing down a
// tree of any depth costs nothing.
#pragma once

#include <cstddef>
#include <new>
#include <utility>

namespace axf::xml {

class Arena {
public:
    // Raw storage of the given size and alignment, valid until the process ends.
    static void* allocate(std::size_t bytes, std::size_t align);

    template <class T, class... Args>
    static T* make(Args&&... args) {
        return ::new (allocate(sizeof(T), alignof(T))) T(std::forward<Args>(args)...);
    }

    // Bytes handed out so far (for benchmarks and memory checks).
    static std::size_t bytesUsed();
};

}  // namespace axf::xml
