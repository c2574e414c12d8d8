// Element-list searches: patterns in the element-list syntax (elements
// between angle brackets, see ElementListParser.h) compiled and searched over
// sequences of elements of any type. The caller hands over how its elements
// are read from text, compared and ordered. A library operation: nothing on the
// tool's run path includes this header.
#pragma once

#include <charconv>
#include <concepts>
#include <cstddef>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <type_traits>
#include <utility>
#include <vector>

#include "common/DecimalInteger.h"
#include "common/Fatal.h"
#include "regex/Compile.h"
#include "regex/ElementListEqualityParser.h"
#include "regex/ElementListParser.h"
#include "regex/Execute.h"
#include "regex/Regexp.h"

namespace axf::regex {

template <class E>
using ListMatchRecord = BasicMatchRecord<std::vector<E>>;
template <class E>
using ListRegexResult = BasicRegexResult<std::vector<E>>;

// ---------------------------------------------------------------------------
// Compile entries

// Element-list patterns over elements of type E, range form (ElementListParser.h)
// and equality-only form (ElementListEqualityParser.h). The flags are accepted
// and never read; the anchored mark is always false. Absent when the pattern
// does not parse to its end; an invalid interval throws as for compileRegexpS.
template <class E>
std::optional<CompiledRegex<E>> compileRegexpP(ElemReader<E> reader, ElemEq<E> eq, ElemOrder<E> ord, std::string_view pattern,
                                               const std::vector<MatcherFlag>& /*flags*/, const std::vector<UserMatcher<E>>& fns,
                                               const std::vector<Assertion<E>>& asserts) {
    std::optional<AbsTree<E>> tree =
        parseElementListPattern<E>(std::move(reader), std::move(eq), std::move(ord), pattern, fns, asserts);
    if (!tree) return std::nullopt;
    return compileTree<E>(*tree, false);
}
template <class E>
std::optional<CompiledRegex<E>> compileRegexpPB(ElemReader<E> reader, ElemEq<E> eq, std::string_view pattern,
                                                const std::vector<MatcherFlag>& /*flags*/, const std::vector<UserMatcher<E>>& fns,
                                                const std::vector<Assertion<E>>& asserts) {
    std::optional<AbsTree<E>> tree = parseEqualityElementListPattern<E>(std::move(reader), std::move(eq), pattern, fns, asserts);
    if (!tree) return std::nullopt;
    return compileTree<E>(*tree, false);
}

// ---------------------------------------------------------------------------
// Element types of element-list patterns

// How an element type is read from the text between '<' and '>' (the reader
// throws axf::Fatal when it refuses a text), compared and ordered. The
// equality-only form (searchBasicP) reads only `read` and `eq`; `order` may
// stay empty there.
template <class E>
struct ElementOps {
    ElemReader<E> read;
    ElemEq<E> eq;
    ElemOrder<E> order;
};

// The type's own ==, and the reader given.
template <class E>
ElementOps<E> equalityOps(ElemReader<E> read) {
    return ElementOps<E>{std::move(read), [](const E& a, const E& b) { return a == b; }, ElemOrder<E>{}};
}

// The type's own ==, >= and <=, and the reader given.
template <class E>
ElementOps<E> orderedOps(ElemReader<E> read) {
    return ElementOps<E>{std::move(read), [](const E& a, const E& b) { return a == b; }, naturalOrder<E>()};
}

// An integer written in decimal with an optional '-', blanks around it
// allowed; anything else, and a number outside the type's range, throws
// "Prelude.read: no parse".
template <std::integral T>
ElemReader<T> integerReader() {
    return [](const std::string& text) -> T {
        auto blank = [](char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f' || c == '\v'; };
        std::size_t b = 0, e = text.size();
        while (b < e && blank(text[b])) ++b;
        while (e > b && blank(text[e - 1])) --e;
        T v{};
        const char* first = text.data() + b;
        const char* last = text.data() + e;
        if (first == last || *first == '+') throw Fatal("Prelude.read: no parse");
        if (readDecimal(std::string_view(first, std::size_t(last - first)), v) != DecimalRead::Ok)
            throw Fatal("Prelude.read: no parse");
        return v;
    };
}

// Integers with their natural order.
template <std::integral T>
ElementOps<T> integerOps() {
    return orderedOps<T>(integerReader<T>());
}

// ---------------------------------------------------------------------------
// Element-list searches

namespace detail {

template <class E>
ListRegexResult<E> runCompiled(std::optional<CompiledRegex<E>> compiled, std::span<const E> input) {
    if (!compiled) return ListRegexResult<E>::illegal();
    return toResult<std::vector<E>>(Program<E>(std::move(*compiled)).run(input), input);
}

}  // namespace detail

// The range form: pattern in the element-list syntax with ranges.
template <class E>
ListRegexResult<E> searchExtP(const ElementOps<E>& ops, std::string_view pattern, const std::vector<UserMatcher<E>>& fns,
                              const std::vector<Assertion<E>>& asserts, std::type_identity_t<std::span<const E>> input) {
    return detail::runCompiled<E>(compileRegexpP<E>(ops.read, ops.eq, ops.order, pattern, {}, fns, asserts), input);
}

template <class E>
ListRegexResult<E> searchP(const ElementOps<E>& ops, std::string_view pattern, std::type_identity_t<std::span<const E>> input) {
    return searchExtP<E>(ops, pattern, {}, {}, input);
}

// The equality-only form: classes list single elements; `ops.order` is not read.
template <class E>
ListRegexResult<E> searchBasicP(const ElementOps<E>& ops, std::string_view pattern, const std::vector<UserMatcher<E>>& fns,
                                const std::vector<Assertion<E>>& asserts, std::type_identity_t<std::span<const E>> input) {
    return detail::runCompiled<E>(compileRegexpPB<E>(ops.read, ops.eq, pattern, {}, fns, asserts), input);
}

}  // namespace axf::regex
