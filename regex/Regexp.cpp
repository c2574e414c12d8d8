#include "regex/Regexp.h"

namespace axf::regex {

namespace {

RegexResult toResult(const std::optional<MatchSpans>& m, std::string_view input) {
    if (!m) return RegexResult::nothing();
    MatchRecord r;
    r.before = std::string(input.substr(0, m->start));
    r.match = std::string(input.substr(m->start, m->end - m->start));
    r.after = std::string(input.substr(m->end));
    r.subexps.reserve(m->subexps.size());
    for (const auto& [name, range] : m->subexps)
        r.subexps.emplace_back(name, std::string(input.substr(range.first, range.second - range.first)));
    return RegexResult::just(std::move(r));
}

const MatchRecord* justRecord(const RegexResult& r) {
    return r.kind() == RegexResult::Kind::JUST ? &r.record() : nullptr;
}

}  // namespace

std::optional<Regex> Regex::compile(std::string_view pattern, const std::vector<MatcherFlag>& flags,
                                    const std::vector<UserMatcher<char>>& fns,
                                    const std::vector<Assertion<char>>& asserts) {
    std::optional<CompiledRegex<char>> c = compileRegexpS(pattern, flags, fns, asserts);
    if (!c) return std::nullopt;
    return Regex(std::move(*c));
}

std::optional<MatchSpans> Regex::find(std::string_view input) const {
    return program_.run(charSpan(input));
}

RegexResult Regex::search(std::string_view input) const {
    return toResult(find(input), input);
}

RegexResult searchExtS(std::string_view pattern, const std::vector<MatcherFlag>& flags,
                       const std::vector<UserMatcher<char>>& fns, const std::vector<Assertion<char>>& asserts,
                       std::string_view input) {
    std::optional<Regex> re = Regex::compile(pattern, flags, fns, asserts);
    if (!re) return RegexResult::illegal();
    return re->search(input);
}

RegexResult searchS(std::string_view pattern, const std::vector<MatcherFlag>& flags, std::string_view input) {
    return searchExtS(pattern, flags, {}, {}, input);
}

std::string beforeMatch(const RegexResult& r) {
    const MatchRecord* m = justRecord(r);
    return m ? m->before : std::string();
}
std::string wholeMatch(const RegexResult& r) {
    const MatchRecord* m = justRecord(r);
    return m ? m->match : std::string();
}
std::string afterMatch(const RegexResult& r) {
    const MatchRecord* m = justRecord(r);
    return m ? m->after : std::string();
}
bool matchedAny(const RegexResult& r) {
    return r.kind() == RegexResult::Kind::JUST;
}
bool legalRegexp(const RegexResult& r) {
    return r.kind() != RegexResult::Kind::ILLEGAL;
}
std::vector<std::pair<std::string, std::string>> allSubexps(const RegexResult& r) {
    const MatchRecord* m = justRecord(r);
    return m ? m->subexps : std::vector<std::pair<std::string, std::string>>{};
}
std::size_t numSubexps(const RegexResult& r) {
    const MatchRecord* m = justRecord(r);
    return m ? m->subexps.size() : 0;
}
bool matchedSubexp(const RegexResult& r, std::string_view name) {
    const MatchRecord* m = justRecord(r);
    if (!m) return false;
    for (const auto& entry : m->subexps)
        if (entry.first == name) return true;
    return false;
}
std::string subexpMatch(const RegexResult& r, std::string_view name) {
    const MatchRecord* m = justRecord(r);
    if (!m) return {};
    for (const auto& entry : m->subexps)
        if (entry.first == name) return entry.second;
    return {};
}

}  // namespace axf::regex
