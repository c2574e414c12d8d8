#include "regex/Compile.h"

#include "regex/CompileInternal.h"

namespace axf::regex {

std::optional<CompiledRegex<char>> compileRegexpS(std::string_view pattern, const std::vector<MatcherFlag>& flags,
                                                  const std::vector<UserMatcher<char>>& fns,
                                                  const std::vector<Assertion<char>>& asserts) {
    std::optional<AbsTree<char>> tree = parseTextPattern(pattern, fns, asserts, flags);
    if (!tree) return std::nullopt;
    return compileTree<char>(*tree, true);
}

std::optional<AbsTree<char>> augmentedTextTree(std::string_view pattern) {
    std::optional<AbsTree<char>> tree = parseTextPattern(pattern, {}, {}, {});
    if (!tree) return std::nullopt;
    return numberPositions<char>(*tree).first;
}

}  // namespace axf::regex
