// Sizes of what is about to be built, computed before it is built: a size
// past what the machine can hold, its arithmetic overflow included, is the
// failure of an allocation (std::bad_alloc, reported as "out of memory"),
// never a wrapped number.
#pragma once

#include <cstddef>
#include <new>

namespace axf {

// a * b, or std::bad_alloc when it does not fit in a size.
inline std::size_t checkedProduct(std::size_t a, std::size_t b) {
    std::size_t r = 0;
    if (__builtin_mul_overflow(a, b, &r)) throw std::bad_alloc();
    return r;
}

}  // namespace axf
