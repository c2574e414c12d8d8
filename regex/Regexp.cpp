#include "regex/Regexp.h"

namespace axf::regex {

namespace {

// The search of a pattern compiled with the caller's matchers and assertions.
RegexResult searchExtS(std::string_view pattern, const std::vector<MatcherFlag>& flags, const std::vector<UserMatcher<char>>& fns,
                       const std::vector<Assertion<char>>& asserts, std::string_view input) {
    std::optional<Regex> re = Regex::compile(pattern, flags, fns, asserts);
    if (!re) return RegexResult::illegal();
    return re->search(input);
}

}  // namespace

std::optional<Regex> Regex::compile(std::string_view pattern, const std::vector<MatcherFlag>& flags,
                                    const std::vector<UserMatcher<char>>& fns, const std::vector<Assertion<char>>& asserts) {
    std::optional<CompiledRegex<char>> c = compileRegexpS(pattern, flags, fns, asserts);
    if (!c) return std::nullopt;
    return Regex(std::move(*c));
}

std::optional<MatchSpans> Regex::find(std::string_view input) const { return program_.run(charSpan(input)); }

RegexResult Regex::search(std::string_view input) const { return detail::toResult<std::string>(find(input), charSpan(input)); }

RegexResult searchS(std::string_view pattern, const std::vector<MatcherFlag>& flags, std::string_view input) {
    return searchExtS(pattern, flags, {}, {}, input);
}

}  // namespace axf::regex
