// Compiling a pattern written as text: parse, number positions, build the
// automaton, read the start positions and the anchored mark.
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>
#include <vector>

#include "regex/AugmentTree.h"
#include "regex/IsPrefix.h"
#include "regex/MakeNFA.h"
#include "regex/ParsePolyRegexp.h"
#include "regex/ParsePolyRegexpBasic.h"
#include "regex/ParseStringRegexp.h"

namespace axf::regex {

template <class E>
struct CompiledRegex {
    NFA<E> automaton;
    Pos finalPosition = 0;      // the accepting node, highest label
    PosSet startPositions;      // first positions of the whole pattern
    std::int32_t counterCount = 0;  // interval labels are 1..counterCount
    bool anchored = false;      // every match starts at the first element
};

// The compiled form of a parsed tree (closed by END).
template <class E>
CompiledRegex<E> compileTree(const AbsTree<E>& parsed, bool withPrefixTest) {
    auto [aug, n] = augmentT<E>(parsed);
    auto [nfa, k] = makeNFA<E>(aug, initNFA<E>(n));
    CompiledRegex<E> out;
    out.automaton = std::move(nfa);
    out.finalPosition = n;
    out.startPositions = firstPos(aug);
    out.counterCount = k;
    out.anchored = withPrefixTest && isPrefix<E>(parsed);
    return out;
}

// Absent when the pattern does not parse to its end. A pattern that parses but
// holds an interval whose maximum is below its minimum throws the fatal
// "Invalid interval in Regular Expression".
std::optional<CompiledRegex<char>> compileRegexpS(std::string_view pattern, const std::vector<MatcherFlag>& flags,
                                                  const std::vector<UserMatcher<char>>& fns,
                                                  const std::vector<Assertion<char>>& asserts);

// The augmented tree of a text pattern parsed without flags; absent when it
// does not parse.
std::optional<AbsTree<char>> makeit(std::string_view pattern);

// Element-list patterns over elements of type E, range form (ParsePolyRegexp.h)
// and equality-only form (ParsePolyRegexpBasic.h). The flags are accepted and
// never read; the anchored mark is always false. Absent when the pattern does
// not parse to its end; an invalid interval throws as for compileRegexpS.
template <class E>
std::optional<CompiledRegex<E>> compileRegexpP(ElemReader<E> reader, ElemEq<E> eq, ElemOrder<E> ord,
                                               std::string_view pattern, const std::vector<MatcherFlag>& /*flags*/,
                                               const std::vector<UserMatcher<E>>& fns,
                                               const std::vector<Assertion<E>>& asserts) {
    std::optional<AbsTree<E>> tree = mkAbstreeP<E>(std::move(reader), std::move(eq), std::move(ord), pattern, fns, asserts);
    if (!tree) return std::nullopt;
    return compileTree<E>(*tree, false);
}
template <class E>
std::optional<CompiledRegex<E>> compileRegexpPB(ElemReader<E> reader, ElemEq<E> eq, std::string_view pattern,
                                                const std::vector<MatcherFlag>& /*flags*/,
                                                const std::vector<UserMatcher<E>>& fns,
                                                const std::vector<Assertion<E>>& asserts) {
    std::optional<AbsTree<E>> tree = mkAbstreePB<E>(std::move(reader), std::move(eq), pattern, fns, asserts);
    if (!tree) return std::nullopt;
    return compileTree<E>(*tree, false);
}

}  // namespace axf::regex
