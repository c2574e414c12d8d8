// Internal: for this folder and its tests. The intermediate result of
// compiling a text pattern (Compile.h), for tests of the automaton stages.
#pragma once

#include <optional>
#include <string_view>

#include "regex/Compile.h"

namespace axf::regex {

// The augmented tree (every node with its position record) of a text pattern
// parsed without flags; absent when it does not parse.
std::optional<AbsTree<char>> augmentedTextTree(std::string_view pattern);

}  // namespace axf::regex
