#include "regex/ParserCombinators.h"

#include <limits>

namespace axf::regex {

std::optional<MatcherFlag> flagOf(const ParserState& s, const std::string& key) {
    return lookupFM([](const std::string& a, const std::string& b) { return a == b; }, *s.env, key);
}

namespace detail {

ParseResult<std::int32_t> readNumeral(const ParserState& s, bool positive) {
    std::string_view t = s.tokens;
    auto isDigit = [](char c) { return c >= '0' && c <= '9'; };
    if (t.empty() || !isDigit(t[0]) || (positive && t[0] == '0')) return std::nullopt;
    std::int64_t value = 0;
    std::size_t i = 0;
    for (; i < t.size() && isDigit(t[i]); ++i) {
        value = value * 10 + (t[i] - '0');
        if (value > std::numeric_limits<std::int32_t>::max()) throw NumeralOutOfRange{};
    }
    return std::make_pair(static_cast<std::int32_t>(value), advance(s, i));
}

}  // namespace detail

}  // namespace axf::regex
