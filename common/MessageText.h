// Input quoted in a message is cut short: a name or text of any length taken
// from a document or a filter shows at most a fixed number of its bytes,
// followed by "..." when it was longer, so that a message stays one short line
// whatever the input holds.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace axf {

// Names, texts, patterns and numerals quoted in messages.
inline constexpr std::size_t kQuotedInputBytes = 40;
// File names: long enough for any ordinary path.
inline constexpr std::size_t kQuotedPathBytes = 256;

// The first `limit` bytes of `text`, and "..." when it is longer.
std::string cutForMessage(std::string_view text, std::size_t limit = kQuotedInputBytes);

}  // namespace axf
