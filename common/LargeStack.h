// Runs a function on a worker thread whose stack is large enough for
// recursion over the depth of very deep trees (1 GiB, reserved, not
// committed). Exceptions thrown by the function reach the caller.
#pragma once

#include <cstddef>
#include <functional>

namespace axf {

inline constexpr std::size_t kLargeStackBytes = std::size_t(1) << 30;

void runWithLargeStack(const std::function<void()>& fn, std::size_t stackBytes = kLargeStackBytes);

}  // namespace axf
