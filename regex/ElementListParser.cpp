#include "regex/ElementListParser.h"

namespace axf::regex::elementlist {

ParseResult<std::int32_t> numeral(const S& s, bool positive) {
    try {
        return detail::readNumeral(s, positive);
    } catch (const NumeralOutOfRange&) {
        return std::nullopt;
    }
}

ParseResult<std::string> wordName(const S& s) {
    std::size_t i = 0;
    while (i < s.tokens.size() && isWordChar(s.tokens[i])) ++i;
    if (i == 0) return std::nullopt;
    return std::make_pair(std::string(s.tokens.substr(0, i)), detail::advance(s, i));
}

}  // namespace axf::regex::elementlist
