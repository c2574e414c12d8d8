#include "regex/Assertions.h"

namespace axf::regex {

bool bol(CharSpan input, std::size_t pos) { return pos == 0 || (pos <= input.size() && input[pos - 1] == '\n'); }

bool eol(CharSpan input, std::size_t pos) { return pos >= input.size() || input[pos] == '\n'; }

namespace {
// The word-boundary test against its expected value.
bool boundaryIs(CharSpan input, std::size_t pos, bool expected) {
    bool hasBefore = pos > 0;
    bool hasAfter = pos < input.size();
    if (!hasBefore && !hasAfter) return false;
    bool computed;
    if (!hasBefore)
        computed = isWordChar(input[pos]);
    else if (!hasAfter)
        computed = isWordChar(input[pos - 1]);
    else
        computed = isWordChar(input[pos - 1]) != isWordChar(input[pos]);
    return computed == expected;
}
}  // namespace

bool wordBound(CharSpan input, std::size_t pos) { return boundaryIs(input, pos, true); }

bool notWordBound(CharSpan input, std::size_t pos) { return boundaryIs(input, pos, false); }

}  // namespace axf::regex
