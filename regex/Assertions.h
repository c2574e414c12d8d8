// Internal: for this folder, its tests and benchmarks (the interface is
// Regexp.h).
//
// Zero-width assertions: tests of a position that consume nothing. They reach
// the executor only as matchers made by doAssert.
#pragma once

#include "regex/Matchers.h"

namespace axf::regex {

// Nothing precedes the position.
template <class E>
bool prefix(std::span<const E>, std::size_t pos) {
    return pos == 0;
}

// Nothing follows the position.
template <class E>
bool suffix(std::span<const E> input, std::size_t pos) {
    return pos >= input.size();
}

// Start of the input or just after a line feed.
bool bol(CharSpan input, std::size_t pos);
// End of the input or just before a line feed.
bool eol(CharSpan input, std::size_t pos);
// Exactly one neighbour is a word character (a missing one is not); false on
// an empty input.
bool wordBound(CharSpan input, std::size_t pos);
// Both or neither neighbour is a word character; false on an empty input.
bool notWordBound(CharSpan input, std::size_t pos);

// The zero-width matcher of an assertion.
template <class E>
Matcher<E> doAssert(Assertion<E> a) {
    return [a = std::move(a)](std::span<const E> input, std::size_t pos) -> MatchLength {
        if (a(input, pos)) return 0;
        return std::nullopt;
    };
}

}  // namespace axf::regex
