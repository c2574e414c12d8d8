#include "regex/ParseStringRegexp.h"

namespace axf::regex {

std::optional<AbsTree<char>> mkAbstreeS(std::string_view, const std::vector<UserMatcher<char>>&,
                                        const std::vector<Assertion<char>>&, const std::vector<MatcherFlag>&) {
    throw InternalError("mkAbstreeS: text syntax not built yet");
}

}  // namespace axf::regex
