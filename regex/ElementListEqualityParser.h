// Internal: for this folder, its tests and benchmarks (the interface is
// Regexp.h).
//
// Element-list patterns, equality-only form: the range form's syntax for an
// element type with a reader and an equality but no ordering. Its classes list
// single elements only ('[' ['^'] <e>+ ']'); everything else (alternation,
// anchors, assertion lists, repetition, groups, named sub-expressions, back
// references, user matchers, lazily read element literals) is the range
// form's, see ElementListParser.h.
#pragma once

#include <optional>
#include <string_view>
#include <utility>
#include <vector>

#include "regex/ElementListParser.h"

namespace axf::regex {

// The parsers of the equality-only form for these operations.
template <class E>
PatternRuleParsers<E> regexpParsers(ElemReader<E> reader, ElemEq<E> eq) {
    return elementlist::makeParsers<E>(
        std::make_shared<const elementlist::Ops<E>>(elementlist::Ops<E>{std::move(reader), std::move(eq), std::nullopt}));
}

// One element atom of the equality-only form: an EL leaf.
template <class E>
PatternParser<E, AbsTree<E>> parseAtom(ElemReader<E> reader, ElemEq<E> eq) {
    elementlist::Ops<E> o{std::move(reader), std::move(eq), std::nullopt};
    return [o](const elementlist::Fns<E>& fns, const elementlist::Asserts<E>&, const ParserState& s) {
        return elementlist::atom<E>(o, fns, s);
    };
}

// The equality-only pattern as a tree closed by END; nothing when the text is
// not a pattern as a whole.
template <class E>
std::optional<AbsTree<E>> parseEqualityElementListPattern(ElemReader<E> reader, ElemEq<E> eq, std::string_view pattern,
                                                          const std::vector<UserMatcher<E>>& fns,
                                                          const std::vector<Assertion<E>>& asserts) {
    return elementlist::runEntry<E>(regexpParsers<E>(std::move(reader), std::move(eq)), pattern, fns, asserts);
}

}  // namespace axf::regex
