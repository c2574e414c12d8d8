// Internal: for this folder, its tests and benchmarks (the interface is
// Regexp.h).
//
// Compiling a pattern written as text: parse, number positions, build the
// automaton, read the start positions and the anchored mark.
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>
#include <vector>

#include "regex/AnchoredStart.h"
#include "regex/BuildAutomaton.h"
#include "regex/PositionAnalysis.h"
#include "regex/TextSyntaxParser.h"

namespace axf::regex {

template <class E>
struct CompiledRegex {
    NFA<E> automaton;
    Pos finalPosition = 0;          // the accepting node, highest label
    PosSet startPositions;          // first positions of the whole pattern
    std::int32_t counterCount = 0;  // interval labels are 1..counterCount
    bool anchored = false;          // every match starts at the first element
};

// The compiled form of a parsed tree (closed by END).
template <class E>
CompiledRegex<E> compileTree(const AbsTree<E>& parsed, bool withPrefixTest) {
    auto [aug, n] = numberPositions<E>(parsed);
    auto [nfa, k] = makeNFA<E>(aug, initNFA<E>(n));
    CompiledRegex<E> out;
    out.automaton = std::move(nfa);
    out.finalPosition = n;
    out.startPositions = firstPos(aug);
    out.counterCount = k;
    out.anchored = withPrefixTest && isAnchoredAtStart<E>(parsed);
    return out;
}

// Absent when the pattern does not parse to its end. A pattern that parses but
// holds an interval whose maximum is below its minimum throws the fatal
// "Invalid interval in Regular Expression".
std::optional<CompiledRegex<char>> compileRegexpS(std::string_view pattern, const std::vector<MatcherFlag>& flags,
                                                  const std::vector<UserMatcher<char>>& fns,
                                                  const std::vector<Assertion<char>>& asserts);

}  // namespace axf::regex
