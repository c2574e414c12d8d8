// The parser of regular expressions written as text.
//
// mkAbstreeS turns a pattern into its AbsTree<char>, closed by the accepting
// leaf: CON(tree, END), or END alone for the empty pattern. An empty optional
// means the text is not a legal pattern (the caller reports ILLEGAL). The parse
// never raises the invalid-interval failure that a tree may carry; see
// AbsTreeDefs.h for how the automaton construction fires it.
#pragma once

#include <optional>
#include <string_view>
#include <vector>

#include "regex/AbsTreeDefs.h"
#include "regex/Matchers.h"

namespace axf::regex {

std::optional<AbsTree<char>> mkAbstreeS(std::string_view pattern, const std::vector<UserMatcher<char>>& fns,
                                        const std::vector<Assertion<char>>& asserts,
                                        const std::vector<MatcherFlag>& flags);

}  // namespace axf::regex
