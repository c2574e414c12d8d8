// Internal: for this folder, its tests and benchmarks (the interface is
// Regexp.h).
//
// The parser of regular expressions written as text.
//
// parseTextPattern turns a pattern into its AbsTree<char>, closed by the accepting
// leaf: CON(tree, END), or END alone for the empty pattern. An empty optional
// means the text is not a legal pattern (the caller reports ILLEGAL). The parse
// never raises the invalid-interval failure that a tree may carry; see
// PatternTree.h for how the automaton construction fires it.
//
// The grammar is a committed-choice parser (ParserCombinators.h): every rule yields at
// most one result, choices commit to the first alternative that succeeds and
// repetitions never give back. Option groups such as "(?Case_Insensitive)"
// change the flag environment for all the text after them. The lower layers
// (characters, escapes, classes, option groups, atoms) are internal; their
// entries for tests are in TextSyntaxParserInternal.h.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "regex/Matchers.h"
#include "regex/ParserCombinators.h"
#include "regex/PatternTree.h"

namespace axf::regex {

using TextFns = std::vector<UserMatcher<char>>;
using TextAsserts = std::vector<Assertion<char>>;

// ---------------------------------------------------------------------------
// The entry

std::optional<AbsTree<char>> parseTextPattern(std::string_view pattern, const TextFns& fns, const TextAsserts& asserts,
                                              const std::vector<MatcherFlag>& flags);

}  // namespace axf::regex
