// Element matchers and matcher flags of the regular-expression engine.
//
// A pattern runs over a sequence of elements of one type E: `char` (one byte
// a character) for patterns written as text, any type for element-list
// patterns. Every leaf of a pattern tree holds a Matcher.
//
// Position model. The executor holds the whole input and a position in it. A
// matcher receives both: the elements before the position, nearest first, are
// input[0..pos) read backwards; the elements still to come are input[pos..].
// A matcher that accepts returns how many elements it consumes from `pos` on
// (the consumed elements are input[pos..pos+n), the rest input[pos+n..]); a
// refusal is an empty optional. Because a matcher's consumed elements are
// always the input's own, the sequence "consumed elements reversed, then the
// elements before" that a second matcher of a sequence sees is simply the
// prefix of the input up to the new position.
//
// All matchers are pure and yield at most one result; alternatives, repetition
// and backtracking live in the automaton, never inside a leaf.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace axf::regex {

// Number of elements consumed from the current position, or no match.
using MatchLength = std::optional<std::size_t>;

// The element matcher: (whole input, current position) -> consumed length.
template <class E>
using Matcher = std::function<MatchLength(std::span<const E> input, std::size_t pos)>;

// A caller's matcher: it sees only the elements still to come and returns how
// many of them it consumes from the front. A length beyond the elements left is
// taken as no match.
template <class E>
using UserMatcher = std::function<MatchLength(std::span<const E> after)>;

// From the elements captured under a name (a slice of the input) to the
// matcher that a back reference to that name runs.
template <class E>
using BackrefBuilder = std::function<Matcher<E>(std::span<const E> captured)>;

// A zero-width test of a position: (whole input, position) -> holds.
template <class E>
using Assertion = std::function<bool(std::span<const E> input, std::size_t pos)>;

template <class E>
using ElemEq = std::function<bool(const E&, const E&)>;
template <class E>
using ElemPred = std::function<bool(const E&)>;

// Predicate on one character of a text pattern.
using CharPred = ElemPred<char>;

// Text patterns run over characters.
using CharSpan = std::span<const char>;
inline CharSpan charSpan(std::string_view s) { return CharSpan(s.data(), s.size()); }

// ---------------------------------------------------------------------------
// Matcher flags

enum class MatcherFlag : std::uint8_t {
    Global_Match,
    Case_Insensitive,
    Case_Sensitive,
    Single_Line,
    Multi_Line,
    Default_Line,
};

// The initial flag-environment pairs ("case", ...), ("line", ...).
std::vector<std::pair<std::string, MatcherFlag>> initFlags(const std::vector<MatcherFlag>& flags);

// ---------------------------------------------------------------------------
// Fixed matchers

// A matcher of exactly one element: any element, or one satisfying the
// predicate when there is one. The runner recognises it (consumesOneElement)
// and relies on its width.
template <class E>
struct OneElementMatcher {
    bool any = false;
    ElemPred<E> pred;  // read unless any
    MatchLength operator()(std::span<const E> input, std::size_t pos) const {
        if (pos < input.size() && (any || pred(input[pos]))) return 1;
        return std::nullopt;
    }
};

// Whether m consumes exactly one element wherever it matches.
template <class E>
bool consumesOneElement(const Matcher<E>& m) {
    return m.template target<OneElementMatcher<E>>() != nullptr;
}

// Any one element.
template <class E>
Matcher<E> matchAny() {
    return OneElementMatcher<E>{true, {}};
}

// One character other than the line feed.
Matcher<char> matchAnyBut();

// Consumes nothing; present everywhere except at the end of the input.
template <class E>
Matcher<E> matchNull() {
    return [](std::span<const E> input, std::size_t pos) -> MatchLength {
        if (pos < input.size()) return 0;
        return std::nullopt;
    };
}

// One element satisfying the predicate.
template <class E>
Matcher<E> matchEls(ElemPred<E> pred) {
    return OneElementMatcher<E>{false, std::move(pred)};
}

// The predicate of a literal element: y equals x under eq, applied as eq(x, y).
template <class E>
ElemPred<E> isEl(ElemEq<E> eq, E x) {
    return [eq = std::move(eq), x = std::move(x)](const E& y) { return eq(x, y); };
}

// Back reference: consumes as many elements as were captured, each equal
// (eq(captured, input)) to its captured counterpart. An empty capture matches
// without consuming, also at the end of the input.
template <class E>
BackrefBuilder<E> matchBackref(ElemEq<E> eq) {
    return [eq = std::move(eq)](std::span<const E> captured) -> Matcher<E> {
        return [eq, captured](std::span<const E> input, std::size_t pos) -> MatchLength {
            std::size_t i = 0;
            for (; i < captured.size(); ++i) {
                if (pos + i >= input.size()) return std::nullopt;
                if (!eq(captured[i], input[pos + i])) return std::nullopt;
            }
            return i;
        };
    };
}

// Back reference over characters comparing upper-case forms.
BackrefBuilder<char> matchBackrefIgnoringCase();

// m1 followed by m2; m2 runs where m1 stopped. No retry.
template <class E>
Matcher<E> regseq(Matcher<E> m1, Matcher<E> m2) {
    return [m1 = std::move(m1), m2 = std::move(m2)](std::span<const E> input, std::size_t pos) -> MatchLength {
        MatchLength a = m1(input, pos);
        if (!a) return std::nullopt;
        MatchLength b = m2(input, pos + *a);
        if (!b) return std::nullopt;
        return *a + *b;
    };
}

// The left fold of a non-empty list of matchers with regseq, as one flat
// matcher (no nesting, constant stack however long the list).
template <class E>
Matcher<E> regseqList(std::vector<Matcher<E>> ms) {
    if (ms.size() == 1) return std::move(ms.front());
    return [ms = std::move(ms)](std::span<const E> input, std::size_t pos) -> MatchLength {
        std::size_t at = pos;
        for (const Matcher<E>& m : ms) {
            MatchLength r = m(input, at);
            if (!r) return std::nullopt;
            at += *r;
        }
        return at - pos;
    };
}

// k copies (k >= 1) of m joined with regseq, as one flat matcher.
template <class E>
Matcher<E> regrepeat(Matcher<E> m, std::int64_t k) {
    if (k == 1) return m;
    return [m = std::move(m), k](std::span<const E> input, std::size_t pos) -> MatchLength {
        std::size_t at = pos;
        for (std::int64_t i = 0; i < k; ++i) {
            MatchLength r = m(input, at);
            if (!r) return std::nullopt;
            at += *r;
        }
        return at - pos;
    };
}

// A caller's matcher as a Matcher: it sees the elements still to come only.
template <class E>
Matcher<E> wrapMatcher(UserMatcher<E> f) {
    return [f = std::move(f)](std::span<const E> input, std::size_t pos) -> MatchLength {
        std::span<const E> after = input.subspan(std::min(pos, input.size()));
        MatchLength r = f(after);
        if (r && *r > after.size()) return std::nullopt;
        return r;
    };
}

// A letter or digit (Latin-1 table), '_' or the apostrophe.
bool isWordChar(char c);

}  // namespace axf::regex
