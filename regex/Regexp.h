// The regular-expression engine of axfilter: patterns written as text (and,
// for library callers, patterns over lists of any element type) compiled to a
// position automaton and searched for their first match.
//
// Stages, in the order a pattern goes through them:
//   1. Matchers.h, Assertions.h   element matchers (one leaf's test), matcher
//                                 flags, zero-width assertions;
//                                 MatchersInternal.h: flags as text
//   2. PatternTree.h              the immutable pattern tree (AbsTree), its
//                                 predicates, accessors and builders
//   3. ParserCombinators.h        the committed-choice combinators the pattern
//                                 parsers are written in; SmallContainers.h
//                                 holds the association lists, ordered lists
//                                 and bags they use
//   4. TextSyntaxParser.h         pattern text -> tree (parseTextPattern);
//                                 TextSyntaxParserInternal.h: its lower layers
//      ElementListParser.h        element-list syntax -> tree (library only):
//                                 with ranges (parseElementListPattern), or
//      ElementListEqualityParser.h  with equality only
//                                 (parseEqualityElementListPattern)
//   5. PositionSets.h             position sets, their shared store, the
//                                 position record, follow lists and the
//                                 follow index
//      PositionAnalysis.h         numbers the leaves and stores each node's
//                                 position record (numberPositions);
//                                 LabelCounter.h holds the label counter and
//                                 the walks that thread it
//   6. Automaton.h                the automaton: one node per position with its
//                                 element, next set, counter and capture steps
//      BuildAutomaton.h           its construction (makeNFA), with
//                                 BuildAutomatonNodes.h, BuildCounterSteps.h and
//                                 BuildCaptureSteps.h; AnchoredStart.h tells a
//                                 pattern that can match only at the start
//   7. Compile.h                  text pattern -> CompiledRegex (compileRegexpS);
//                                 CompileInternal.h: the augmented tree
//   8. Execute.h                  the runner (Program) and its match policy
//   9. Regexp.h (this file)       the search interface: Regex, searchS and the
//                                 accessors of a result
//
// Public: this header is what the rest of the program includes; everything it
// needs of the stages above comes with it. Library-only operations, never on
// the tool's run path, have headers of their own: ElementListSearch.h (the
// element-list compile entries and searches) and Substitute.h (substitution;
// SubstituteInternal.h: the text template reader). The stage headers and the
// *Internal.h headers are internal (each says so at its head); they are
// visible to tests and benchmarks.
//
// searchS(pattern, flags, input) compiles the pattern and runs it once: the
// result is ILLEGAL (the pattern does not parse), NOTHING (no match) or JUST a
// match record (named sub-expressions, text before, matched text, text after).
// A pattern that is searched many times is compiled once into a Regex, whose
// search gives the same results.
//
// Match policy: the match starts at the leftmost input position where the
// pattern can match; there it is the first way through the pattern in priority
// order (elements preferred in written order, ending the match always the last
// choice); see Execute.h.
#pragma once

#include <cstddef>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "regex/Compile.h"
#include "regex/Execute.h"
#include "regex/Matchers.h"

namespace axf::regex {

// ---------------------------------------------------------------------------
// Results

// One match: Seq is std::string for text searches, std::vector<E> for
// element-list searches. before + match + after is the whole input.
template <class Seq>
struct BasicMatchRecord {
    std::vector<std::pair<std::string, Seq>> subexps;  // in order of first recording
    Seq before;
    Seq match;
    Seq after;
};

template <class Seq>
class BasicRegexResult {
public:
    enum class Kind { ILLEGAL, NOTHING, JUST };

    static BasicRegexResult illegal() { return BasicRegexResult(Kind::ILLEGAL, {}); }
    static BasicRegexResult nothing() { return BasicRegexResult(Kind::NOTHING, {}); }
    static BasicRegexResult just(BasicMatchRecord<Seq> r) { return BasicRegexResult(Kind::JUST, std::move(r)); }

    Kind kind() const { return kind_; }
    // The record of a JUST result (an empty record otherwise).
    const BasicMatchRecord<Seq>& record() const { return record_; }

private:
    BasicRegexResult(Kind k, BasicMatchRecord<Seq> r) : kind_(k), record_(std::move(r)) {}
    Kind kind_;
    BasicMatchRecord<Seq> record_;
};

using MatchRecord = BasicMatchRecord<std::string>;
using RegexResult = BasicRegexResult<std::string>;

// ---------------------------------------------------------------------------
// Text searches

// A compiled text pattern, searched any number of times.
class Regex {
public:
    // Absent when the pattern does not parse. Throws the fatal "Invalid
    // interval in Regular Expression" for a pattern that parses but holds an
    // interval whose maximum is below its minimum.
    static std::optional<Regex> compile(std::string_view pattern, const std::vector<MatcherFlag>& flags = {},
                                        const std::vector<UserMatcher<char>>& fns = {},
                                        const std::vector<Assertion<char>>& asserts = {});

    // The first match as input offsets, without copying text.
    std::optional<MatchSpans> find(std::string_view input) const;
    // NOTHING or JUST, as searchS gives it.
    RegexResult search(std::string_view input) const;

    const Program<char>& program() const { return program_; }

private:
    explicit Regex(CompiledRegex<char> c) : program_(std::move(c)) {}
    Program<char> program_;
};

RegexResult searchS(std::string_view pattern, const std::vector<MatcherFlag>& flags, std::string_view input);

// ---------------------------------------------------------------------------
// Accessors: a failed search (ILLEGAL or NOTHING) gives empty sequences, false
// and 0 (legalRegexp is true for NOTHING). An empty wholeMatch does not tell a
// failed search from an empty match; afterMatch of a failed search is empty,
// not the input.

template <class Seq>
Seq beforeMatch(const BasicRegexResult<Seq>& r) {
    return r.kind() == BasicRegexResult<Seq>::Kind::JUST ? r.record().before : Seq();
}
template <class Seq>
Seq wholeMatch(const BasicRegexResult<Seq>& r) {
    return r.kind() == BasicRegexResult<Seq>::Kind::JUST ? r.record().match : Seq();
}
template <class Seq>
Seq afterMatch(const BasicRegexResult<Seq>& r) {
    return r.kind() == BasicRegexResult<Seq>::Kind::JUST ? r.record().after : Seq();
}
template <class Seq>
bool matchedAny(const BasicRegexResult<Seq>& r) {
    return r.kind() == BasicRegexResult<Seq>::Kind::JUST;
}
template <class Seq>
bool legalRegexp(const BasicRegexResult<Seq>& r) {
    return r.kind() != BasicRegexResult<Seq>::Kind::ILLEGAL;
}
template <class Seq>
std::vector<std::pair<std::string, Seq>> allSubexps(const BasicRegexResult<Seq>& r) {
    return matchedAny(r) ? r.record().subexps : std::vector<std::pair<std::string, Seq>>{};
}
template <class Seq>
std::size_t numSubexps(const BasicRegexResult<Seq>& r) {
    return matchedAny(r) ? r.record().subexps.size() : 0;
}
template <class Seq>
bool matchedSubexp(const BasicRegexResult<Seq>& r, std::string_view name) {
    if (!matchedAny(r)) return false;
    for (const auto& entry : r.record().subexps)
        if (entry.first == name) return true;
    return false;
}
// The elements stored under the first entry of that name; empty without one.
template <class Seq>
Seq subexpMatch(const BasicRegexResult<Seq>& r, std::string_view name) {
    if (!matchedAny(r)) return Seq();
    for (const auto& entry : r.record().subexps)
        if (entry.first == name) return entry.second;
    return Seq();
}

// ---------------------------------------------------------------------------
// Results from the spans of a run

namespace detail {

template <class Seq, class E>
Seq sliceOf(std::span<const E> input, std::size_t from, std::size_t to) {
    // From pointers, so that the copy is one block move, not an element loop.
    return Seq(input.data() + from, input.data() + to);
}

// The record of a match as slices of the input (NOTHING without a match).
template <class Seq, class E>
BasicRegexResult<Seq> toResult(const std::optional<MatchSpans>& m, std::span<const E> input) {
    if (!m) return BasicRegexResult<Seq>::nothing();
    BasicMatchRecord<Seq> r;
    r.before = sliceOf<Seq>(input, 0, m->start);
    r.match = sliceOf<Seq>(input, m->start, m->end);
    r.after = sliceOf<Seq>(input, m->end, input.size());
    r.subexps.reserve(m->subexps.size());
    for (const auto& [name, range] : m->subexps) r.subexps.emplace_back(name, sliceOf<Seq>(input, range.first, range.second));
    return BasicRegexResult<Seq>::just(std::move(r));
}

}  // namespace detail

}  // namespace axf::regex
