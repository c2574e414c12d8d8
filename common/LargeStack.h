// Runs a function on a worker thread whose stack is large enough for
// recursion over the depth of very deep trees (1 GiB, reserved, not
// committed). Where an address-space limit refuses that reservation, the
// worker takes the largest stack it can have, halving the size down to
// kSmallestStackBytes; when not even that can be had, the run ends as out of
// memory (std::bad_alloc). Exceptions thrown by the function reach the caller.
#pragma once

#include <cstddef>
#include <functional>

namespace axf {

inline constexpr std::size_t kLargeStackBytes = std::size_t(1) << 30;
inline constexpr std::size_t kSmallestStackBytes = std::size_t(16) << 20;

void runWithLargeStack(const std::function<void()>& fn, std::size_t stackBytes = kLargeStackBytes,
                       std::size_t smallestBytes = kSmallestStackBytes);

}  // namespace axf
