// The search interface of the regular-expression engine.
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
// choice); see ExecRE.h.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "regex/ExecRE.h"
#include "regex/Matchers.h"

namespace axf::regex {

struct MatchRecord {
    std::vector<std::pair<std::string, std::string>> subexps;  // in order of first recording
    std::string before;
    std::string match;
    std::string after;
};

class RegexResult {
public:
    enum class Kind { ILLEGAL, NOTHING, JUST };

    static RegexResult illegal() { return RegexResult(Kind::ILLEGAL, {}); }
    static RegexResult nothing() { return RegexResult(Kind::NOTHING, {}); }
    static RegexResult just(MatchRecord r) { return RegexResult(Kind::JUST, std::move(r)); }

    Kind kind() const { return kind_; }
    // The record of a JUST result (an empty record otherwise).
    const MatchRecord& record() const { return record_; }

private:
    RegexResult(Kind k, MatchRecord r) : kind_(k), record_(std::move(r)) {}
    Kind kind_;
    MatchRecord record_;
};

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

private:
    explicit Regex(CompiledRegex<char> c) : program_(std::move(c)) {}
    Program<char> program_;
};

RegexResult searchS(std::string_view pattern, const std::vector<MatcherFlag>& flags, std::string_view input);
RegexResult searchExtS(std::string_view pattern, const std::vector<MatcherFlag>& flags,
                       const std::vector<UserMatcher<char>>& fns, const std::vector<Assertion<char>>& asserts,
                       std::string_view input);

// Accessors: a failed search (ILLEGAL or NOTHING) gives empty texts, false
// and 0 (legalRegexp is true for NOTHING).
std::string beforeMatch(const RegexResult& r);
std::string wholeMatch(const RegexResult& r);
std::string afterMatch(const RegexResult& r);
bool matchedAny(const RegexResult& r);
bool legalRegexp(const RegexResult& r);
std::vector<std::pair<std::string, std::string>> allSubexps(const RegexResult& r);
std::size_t numSubexps(const RegexResult& r);
bool matchedSubexp(const RegexResult& r, std::string_view name);
std::string subexpMatch(const RegexResult& r, std::string_view name);

}  // namespace axf::regex
