// Internal: for this folder, its tests and benchmarks (the interface is
// Regexp.h).
//
// Pattern parser combinators: the library in which the pattern parsers of the
// regular-expression engine are written.
//
// A parser reads the characters of a pattern (one token = one char), threads a
// flag environment, and sees two read-only lists from the caller of the
// engine: the user matchers and the user assertions, named by number from the
// pattern. A parser is any callable
//     (const Fns& fns, const Asserts& asserts, const ParserState& s) -> ParseResult<V>
// yielding at most one result: the value and the state after it, or nothing.
// Choice, option and repetition commit to their first result and never come
// back to another; a repetition is greedy and never gives back. PatternParser
// is the type-erased form, for parsers stored as values or defined
// recursively.
//
// Numerals: anyInt and anyPos read 32-bit signed integers. A numeral beyond
// that range makes the whole pattern illegal: they throw NumeralOutOfRange,
// which escapes every combinator and which initParser turns into no result.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "regex/Matchers.h"
#include "regex/PatternTree.h"
#include "regex/SmallContainers.h"

namespace axf::regex {

// The flag environment: keys "case" and "line" for the text syntax.
using FlagEnv = FiniteMap<std::string, MatcherFlag>;

struct ParserState {
    std::shared_ptr<const FlagEnv> env;  // never null
    std::string_view tokens;             // the remaining pattern text
};

template <class V>
using ParseResult = std::optional<std::pair<V, ParserState>>;

template <class E, class V>
using PatternParser = std::function<ParseResult<V>(const std::vector<UserMatcher<E>>& fns,
                                                   const std::vector<Assertion<E>>& asserts, const ParserState& s)>;

// A numeral too large for a 32-bit integer; the pattern is illegal.
struct NumeralOutOfRange {};

// The value of the flag under a key, if the environment holds it.
std::optional<MatcherFlag> flagOf(const ParserState& s, const std::string& key);

namespace detail {
inline ParserState advance(const ParserState& s, std::size_t n) { return ParserState{s.env, s.tokens.substr(n)}; }
template <class R>
using ValueOfResult = typename R::value_type::first_type;
}  // namespace detail

// ---------------------------------------------------------------------------
// Running

// Runs p over the tokens with the flag environment built from the pairs; its
// first result's value and the tokens left, or nothing.
template <class E, class P>
auto initParser(P&& p, std::string_view tokens, const std::vector<UserMatcher<E>>& fns, const std::vector<Assertion<E>>& asserts,
                const std::vector<std::pair<std::string, MatcherFlag>>& pairs)
    -> std::optional<
        std::pair<detail::ValueOfResult<decltype(p(fns, asserts, std::declval<const ParserState&>()))>, std::string_view>> {
    ParserState s{std::make_shared<const FlagEnv>(listToFM(pairs)), tokens};
    try {
        auto r = p(fns, asserts, s);
        if (!r) return std::nullopt;
        return std::make_pair(std::move(r->first), r->second.tokens);
    } catch (const NumeralOutOfRange&) {
        return std::nullopt;
    }
}

// ---------------------------------------------------------------------------
// Token primitives

template <class Pred>
auto satisfy(Pred pred) {
    return [pred](const auto&, const auto&, const ParserState& s) -> ParseResult<char> {
        if (s.tokens.empty() || !pred(s.tokens.front())) return std::nullopt;
        return std::make_pair(s.tokens.front(), detail::advance(s, 1));
    };
}

inline auto anyToken() {
    return satisfy([](char) { return true; });
}

// One token equal under eq(token, x) to no element of xs.
template <class Eq>
auto tokenNotIn(Eq eq, std::string xs) {
    return satisfy([eq, xs](char t) {
        for (char x : xs)
            if (eq(t, x)) return false;
        return true;
    });
}

// One token equal under eq(token, x) to some element of xs.
template <class Eq>
auto tokenIn(Eq eq, std::string xs) {
    return satisfy([eq, xs](char t) {
        for (char x : xs)
            if (eq(t, x)) return true;
        return false;
    });
}

template <class Eq>
auto lit(Eq eq, char c) {
    return satisfy([eq, c](char t) { return eq(t, c); });
}

// The tokens of w in order; the value is the input's tokens.
template <class Eq>
auto literalWord(Eq eq, std::string w) {
    return [eq, w](const auto&, const auto&, const ParserState& s) -> ParseResult<std::string> {
        if (s.tokens.size() < w.size()) return std::nullopt;
        for (std::size_t i = 0; i < w.size(); ++i)
            if (!eq(s.tokens[i], w[i])) return std::nullopt;
        return std::make_pair(std::string(s.tokens.substr(0, w.size())), detail::advance(s, w.size()));
    };
}

inline bool charEq(char a, char b) { return a == b; }

namespace detail {
// The longest run of digits from `from` on, read as a 32-bit integer.
ParseResult<std::int32_t> readNumeral(const ParserState& s, bool positive);
}  // namespace detail

// One or more digits, leading zeros allowed.
inline auto anyInt() {
    return [](const auto&, const auto&, const ParserState& s) { return detail::readNumeral(s, false); };
}

// A digit 1 to 9 followed by any digits.
inline auto anyPos() {
    return [](const auto&, const auto&, const ParserState& s) { return detail::readNumeral(s, true); };
}

// ---------------------------------------------------------------------------
// Combinators

// <<< : f applied to p's value.
template <class P, class F>
auto mapP(P p, F f) {
    return [p, f](const auto& fns, const auto& as, const ParserState& s) {
        auto r = p(fns, as, s);
        using W = std::decay_t<decltype(f(std::move(r->first)))>;
        if (!r) return ParseResult<W>();
        return ParseResult<W>(std::make_pair(f(std::move(r->first)), std::move(r->second)));
    };
}

// p, then the parser f(x) made from p's value x, run where p stopped; the pair
// of both values. The seq* forms below take a fixed second parser.
template <class P, class F>
auto thenKeepBoth(P p, F f) {
    return [p, f](const auto& fns, const auto& as, const ParserState& s) {
        auto r = p(fns, as, s);
        using X = detail::ValueOfResult<decltype(r)>;
        using Y = detail::ValueOfResult<decltype(f(std::declval<X&>())(fns, as, s))>;
        using Out = ParseResult<std::pair<X, Y>>;
        if (!r) return Out();
        auto q = f(r->first);
        auto r2 = q(fns, as, r->second);
        if (!r2) return Out();
        return Out(std::make_pair(std::make_pair(std::move(r->first), std::move(r2->first)), std::move(r2->second)));
    };
}

// As thenKeepBoth, keeping the value of f(x).
template <class P, class F>
auto thenKeepRight(P p, F f) {
    return mapP(thenKeepBoth(std::move(p), std::move(f)), [](auto xy) { return std::move(xy.second); });
}

// As thenKeepBoth, keeping p's value (and f(x)'s state).
template <class P, class F>
auto thenKeepLeft(P p, F f) {
    return mapP(thenKeepBoth(std::move(p), std::move(f)), [](auto xy) { return std::move(xy.first); });
}

// +.+ : the pair of both values.
template <class P, class Q>
auto seqBoth(P p, Q q) {
    return thenKeepBoth(std::move(p), [q](const auto&) { return q; });
}

// ..+ : q's value.
template <class P, class Q>
auto seqR(P p, Q q) {
    return mapP(seqBoth(std::move(p), std::move(q)), [](auto xy) { return std::move(xy.second); });
}

// +.. : p's value.
template <class P, class Q>
auto seqL(P p, Q q) {
    return mapP(seqBoth(std::move(p), std::move(q)), [](auto xy) { return std::move(xy.first); });
}

// ||| : p's result, or q's when p has none; q is not run when p succeeds.
template <class P, class Q>
auto orElse(P p, Q q) {
    return [p, q](const auto& fns, const auto& as, const ParserState& s) {
        auto r = p(fns, as, s);
        if (r) return r;
        return q(fns, as, s);
    };
}

// opt : a list of at most one value; always succeeds.
template <class P>
auto opt(P p) {
    return [p](const auto& fns, const auto& as, const ParserState& s) {
        auto r = p(fns, as, s);
        using V = detail::ValueOfResult<decltype(r)>;
        using Out = ParseResult<std::vector<V>>;
        if (!r) return Out(std::make_pair(std::vector<V>{}, s));
        std::vector<V> one;
        one.push_back(std::move(r->first));
        return Out(std::make_pair(std::move(one), std::move(r->second)));
    };
}

// star : p again and again until it fails (or succeeds without consuming);
// always succeeds.
template <class P>
auto star(P p) {
    return [p](const auto& fns, const auto& as, const ParserState& s) {
        using V = detail::ValueOfResult<decltype(p(fns, as, s))>;
        std::vector<V> values;
        ParserState at = s;
        for (;;) {
            auto r = p(fns, as, at);
            if (!r) break;
            bool consumed = r->second.tokens.size() < at.tokens.size();
            values.push_back(std::move(r->first));
            at = std::move(r->second);
            if (!consumed) break;
        }
        return ParseResult<std::vector<V>>(std::make_pair(std::move(values), std::move(at)));
    };
}

// plus : one or more.
template <class P>
auto plus(P p) {
    return [st = star(p)](const auto& fns, const auto& as, const ParserState& s) {
        auto r = st(fns, as, s);
        if (r->first.empty()) return decltype(r)();
        return r;
    };
}

// p's result when no token is left after it, or q does not succeed there.
template <class P, class Q>
auto notFollowedBy(P p, Q q) {
    return [p, q](const auto& fns, const auto& as, const ParserState& s) {
        auto r = p(fns, as, s);
        if (!r || r->second.tokens.empty()) return r;
        if (q(fns, as, r->second)) return decltype(r)();
        return r;
    };
}

// p's result when q succeeds after it; q's state is dropped.
template <class P, class Q>
auto followedBy(P p, Q q) {
    return [p, q](const auto& fns, const auto& as, const ParserState& s) {
        auto r = p(fns, as, s);
        if (!r || !q(fns, as, r->second)) return decltype(r)();
        return r;
    };
}

// ---------------------------------------------------------------------------
// Flag environment and user lists (nothing consumed)

inline auto updateEnv(std::string key, MatcherFlag value) {
    return [key, value](const auto&, const auto&, const ParserState& s) -> ParseResult<MatcherFlag> {
        auto env = std::make_shared<const FlagEnv>(
            addToFM([](const std::string& a, const std::string& b) { return a == b; }, *s.env, key, value));
        return std::make_pair(value, ParserState{std::move(env), s.tokens});
    };
}

inline auto lookupEnv(std::string key) {
    return [key](const auto&, const auto&, const ParserState& s) -> ParseResult<MatcherFlag> {
        std::optional<MatcherFlag> f = flagOf(s, key);
        if (!f) return std::nullopt;
        return std::make_pair(*f, s);
    };
}

// The n-th user assertion, counted from 1.
inline auto lookupAssertion(std::int64_t n) {
    return [n](const auto&, const auto& as, const ParserState& s) {
        using A = std::decay_t<decltype(as[0])>;
        if (n < 1 || std::uint64_t(n) > as.size()) return ParseResult<A>();
        return ParseResult<A>(std::make_pair(as[std::size_t(n - 1)], s));
    };
}

// The n-th user matcher, counted from 1.
inline auto lookupUserMatcher(std::int64_t n) {
    return [n](const auto& fns, const auto&, const ParserState& s) {
        using F = std::decay_t<decltype(fns[0])>;
        if (n < 1 || std::uint64_t(n) > fns.size()) return ParseResult<F>();
        return ParseResult<F>(std::make_pair(fns[std::size_t(n - 1)], s));
    };
}

template <class V>
std::vector<V> singletonList(V x) {
    std::vector<V> v;
    v.push_back(std::move(x));
    return v;
}

// ---------------------------------------------------------------------------
// Repetition operators, the same in the text and the element-list syntax:
//   '*' | '+' | '?' | '{' n '}' | '{' m ',' [n] '}'   then an optional '?'
// marking the repetition non-greedy. The count of '{' n '}' is positive; the
// bounds of the other forms may be 0. A maximum below the minimum still reads:
// the tree carries it as an invalid interval.

enum class RepetitionKind { Star, Plus, Opt, Exact, Min, MinMax, Invalid };

struct Repetition {
    RepetitionKind kind;
    std::int32_t m = 0;  // the count of Exact, the minimum of the counted forms
    std::int32_t n = 0;  // the maximum of MinMax and Invalid
    bool nonGreedy = false;
};

// The operator at the start of s and its mark. numeral(state, positive) reads
// the counts (see detail::readNumeral); each syntax brings its own, as the two
// differ in what a count too large for 32 bits does.
template <class Numeral>
ParseResult<Repetition> repetitionOperator(const ParserState& s, Numeral&& numeral) {
    auto startsWith = [](const ParserState& at, char c) { return !at.tokens.empty() && at.tokens[0] == c; };
    // The optional mark after an operator ending before `at`.
    auto marked = [&startsWith](Repetition r, const ParserState& at) {
        r.nonGreedy = startsWith(at, '?');
        return ParseResult<Repetition>(std::make_pair(r, r.nonGreedy ? detail::advance(at, 1) : at));
    };
    if (s.tokens.empty()) return std::nullopt;
    switch (s.tokens[0]) {
        case '*': return marked(Repetition{RepetitionKind::Star}, detail::advance(s, 1));
        case '+': return marked(Repetition{RepetitionKind::Plus}, detail::advance(s, 1));
        case '?': return marked(Repetition{RepetitionKind::Opt}, detail::advance(s, 1));
        case '{': break;
        default: return std::nullopt;
    }
    const ParserState in = detail::advance(s, 1);
    // '{' n '}'
    if (auto n = numeral(in, true); n && startsWith(n->second, '}'))
        return marked(Repetition{RepetitionKind::Exact, n->first}, detail::advance(n->second, 1));
    // '{' m ',' [n] '}'
    auto m = numeral(in, false);
    if (!m || !startsWith(m->second, ',')) return std::nullopt;
    const ParserState afterComma = detail::advance(m->second, 1);
    auto n = numeral(afterComma, false);
    const ParserState end = n ? n->second : afterComma;
    if (!startsWith(end, '}')) return std::nullopt;
    const ParserState rest = detail::advance(end, 1);
    if (!n) return marked(Repetition{RepetitionKind::Min, m->first}, rest);
    if (m->first <= n->first) return marked(Repetition{RepetitionKind::MinMax, m->first, n->first}, rest);
    return marked(Repetition{RepetitionKind::Invalid, m->first, n->first}, rest);
}

// The repetition r of t, made by the builder of its kind; the non-greedy mark
// is left to the caller.
template <class E>
AbsTree<E> mkRepetition(const Repetition& r, AbsTree<E> t) {
    switch (r.kind) {
        case RepetitionKind::Star: return mkStar<E>(std::move(t));
        case RepetitionKind::Plus: return mkPlus<E>(std::move(t));
        case RepetitionKind::Opt: return mkOpt<E>(std::move(t));
        case RepetitionKind::Exact: return mkExact<E>(r.m, std::move(t));
        case RepetitionKind::Min: return mkMin<E>(r.m, std::move(t));
        case RepetitionKind::MinMax: return mkMinMax<E>(r.m, r.n, std::move(t));
        case RepetitionKind::Invalid: return mkInvalidInterval<E>(r.m, r.n, std::move(t));
    }
    throw InternalError("mkRepetition: unknown repetition kind");
}

}  // namespace axf::regex
