// Internal: for this folder and its tests. The text form of matcher flags
// (Matchers.h), shown and read back.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "regex/Matchers.h"

namespace axf::regex {

// Text form: the constructor's name; a list shows as "[A,B]".
std::string showMatcherFlag(MatcherFlag f);
std::string showMatcherFlags(const std::vector<MatcherFlag>& fs);
// Reading: one whole name with optional white space, inside any number of
// balanced parentheses; a list in the bracketed, comma-separated form.
std::optional<MatcherFlag> readMatcherFlag(std::string_view text);
std::optional<std::vector<MatcherFlag>> readMatcherFlags(std::string_view text);

}  // namespace axf::regex
