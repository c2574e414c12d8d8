// The search and substitution interface of the regular-expression engine.
//
// searchS(pattern, flags, input) compiles the pattern and runs it once: the
// result is ILLEGAL (the pattern does not parse), NOTHING (no match) or JUST a
// match record (named sub-expressions, text before, matched text, text after).
// A pattern that is searched many times is compiled once into a Regex, whose
// search gives the same results.
//
// The element-list searches (searchP, searchExtP, searchBasicP) do the same for
// sequences of elements of any type, with patterns written in the element-list
// syntax (elements between angle brackets, see ParsePolyRegexp.h); the caller
// hands over how its elements are read from text, compared and ordered.
//
// Substitution (substS, substExtS, substP, substExtP) replaces the first match,
// or with Global_Match every match, by the expansion of a template.
//
// Match policy: the match starts at the leftmost input position where the
// pattern can match; there it is the first way through the pattern in priority
// order (elements preferred in written order, ending the match always the last
// choice); see ExecRE.h.
#pragma once

#include <algorithm>
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
#include "regex/CompileRES.h"
#include "regex/ExecRE.h"
#include "regex/Matchers.h"
#include "regex/ParsePolyRegexp.h"

namespace axf::regex {

// ---------------------------------------------------------------------------
// Results

// One match: Seq is std::string for text searches, std::vector<E> for
// element-list searches. before + match + after is the whole input.
template <class Seq>
struct BasicMatchRecord {
    std::vector<std::pair<std::string, Seq>> subexps;  // in order of first recording
    Seq before;
    Seq match;
    Seq after;
};

template <class Seq>
class BasicRegexResult {
public:
    enum class Kind { ILLEGAL, NOTHING, JUST };

    static BasicRegexResult illegal() { return BasicRegexResult(Kind::ILLEGAL, {}); }
    static BasicRegexResult nothing() { return BasicRegexResult(Kind::NOTHING, {}); }
    static BasicRegexResult just(BasicMatchRecord<Seq> r) { return BasicRegexResult(Kind::JUST, std::move(r)); }

    Kind kind() const { return kind_; }
    // The record of a JUST result (an empty record otherwise).
    const BasicMatchRecord<Seq>& record() const { return record_; }

private:
    BasicRegexResult(Kind k, BasicMatchRecord<Seq> r) : kind_(k), record_(std::move(r)) {}
    Kind kind_;
    BasicMatchRecord<Seq> record_;
};

using MatchRecord = BasicMatchRecord<std::string>;
using RegexResult = BasicRegexResult<std::string>;
template <class E>
using ListMatchRecord = BasicMatchRecord<std::vector<E>>;
template <class E>
using ListRegexResult = BasicRegexResult<std::vector<E>>;

// ---------------------------------------------------------------------------
// Text searches

// A compiled text pattern, searched any number of times.
class Regex {
public:
    // Absent when the pattern does not parse. Throws the fatal "Invalid
    // interval in Regular Expression" for a pattern that parses but holds an
    // interval whose maximum is below its minimum.
    static std::optional<Regex> compile(std::string_view pattern, const std::vector<MatcherFlag>& flags = {},
                                        const std::vector<UserMatcher<char>>& fns = {},
                                        const std::vector<Assertion<char>>& asserts = {});

    // The first match as input offsets, without copying text.
    std::optional<MatchSpans> find(std::string_view input) const;
    // NOTHING or JUST, as searchS gives it.
    RegexResult search(std::string_view input) const;

    const Program<char>& program() const { return program_; }

private:
    explicit Regex(CompiledRegex<char> c) : program_(std::move(c)) {}
    Program<char> program_;
};

RegexResult searchS(std::string_view pattern, const std::vector<MatcherFlag>& flags, std::string_view input);
RegexResult searchExtS(std::string_view pattern, const std::vector<MatcherFlag>& flags,
                       const std::vector<UserMatcher<char>>& fns, const std::vector<Assertion<char>>& asserts,
                       std::string_view input);

// ---------------------------------------------------------------------------
// Accessors: a failed search (ILLEGAL or NOTHING) gives empty sequences, false
// and 0 (legalRegexp is true for NOTHING). An empty wholeMatch does not tell a
// failed search from an empty match; afterMatch of a failed search is empty,
// not the input.

template <class Seq>
Seq beforeMatch(const BasicRegexResult<Seq>& r) {
    return r.kind() == BasicRegexResult<Seq>::Kind::JUST ? r.record().before : Seq();
}
template <class Seq>
Seq wholeMatch(const BasicRegexResult<Seq>& r) {
    return r.kind() == BasicRegexResult<Seq>::Kind::JUST ? r.record().match : Seq();
}
template <class Seq>
Seq afterMatch(const BasicRegexResult<Seq>& r) {
    return r.kind() == BasicRegexResult<Seq>::Kind::JUST ? r.record().after : Seq();
}
template <class Seq>
bool matchedAny(const BasicRegexResult<Seq>& r) {
    return r.kind() == BasicRegexResult<Seq>::Kind::JUST;
}
template <class Seq>
bool legalRegexp(const BasicRegexResult<Seq>& r) {
    return r.kind() != BasicRegexResult<Seq>::Kind::ILLEGAL;
}
template <class Seq>
std::vector<std::pair<std::string, Seq>> allSubexps(const BasicRegexResult<Seq>& r) {
    return matchedAny(r) ? r.record().subexps : std::vector<std::pair<std::string, Seq>>{};
}
template <class Seq>
std::size_t numSubexps(const BasicRegexResult<Seq>& r) {
    return matchedAny(r) ? r.record().subexps.size() : 0;
}
template <class Seq>
bool matchedSubexp(const BasicRegexResult<Seq>& r, std::string_view name) {
    if (!matchedAny(r)) return false;
    for (const auto& entry : r.record().subexps)
        if (entry.first == name) return true;
    return false;
}
// The elements stored under the first entry of that name; empty without one.
template <class Seq>
Seq subexpMatch(const BasicRegexResult<Seq>& r, std::string_view name) {
    if (!matchedAny(r)) return Seq();
    for (const auto& entry : r.record().subexps)
        if (entry.first == name) return entry.second;
    return Seq();
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

template <class Seq, class E>
Seq sliceOf(std::span<const E> input, std::size_t from, std::size_t to) {
    return Seq(input.begin() + std::ptrdiff_t(from), input.begin() + std::ptrdiff_t(to));
}

// The record of a match as slices of the input (NOTHING without a match).
template <class Seq, class E>
BasicRegexResult<Seq> toResult(const std::optional<MatchSpans>& m, std::span<const E> input) {
    if (!m) return BasicRegexResult<Seq>::nothing();
    BasicMatchRecord<Seq> r;
    r.before = sliceOf<Seq>(input, 0, m->start);
    r.match = sliceOf<Seq>(input, m->start, m->end);
    r.after = sliceOf<Seq>(input, m->end, input.size());
    r.subexps.reserve(m->subexps.size());
    for (const auto& [name, range] : m->subexps)
        r.subexps.emplace_back(name, sliceOf<Seq>(input, range.first, range.second));
    return BasicRegexResult<Seq>::just(std::move(r));
}

template <class E>
ListRegexResult<E> runCompiled(std::optional<CompiledRegex<E>> compiled, std::span<const E> input) {
    if (!compiled) return ListRegexResult<E>::illegal();
    return toResult<std::vector<E>>(Program<E>(std::move(*compiled)).run(input), input);
}

// The range captured under a name, if the match holds one.
inline std::optional<std::pair<std::size_t, std::size_t>> captured(const MatchSpans& m, std::string_view name) {
    for (const auto& [n, range] : m.subexps)
        if (n == name) return range;
    return std::nullopt;
}

}  // namespace detail

// The range form: pattern in the element-list syntax with ranges.
template <class E>
ListRegexResult<E> searchExtP(const ElementOps<E>& ops, std::string_view pattern,
                              const std::vector<UserMatcher<E>>& fns, const std::vector<Assertion<E>>& asserts,
                              std::type_identity_t<std::span<const E>> input) {
    return detail::runCompiled<E>(compileRegexpP<E>(ops.read, ops.eq, ops.order, pattern, {}, fns, asserts), input);
}

template <class E>
ListRegexResult<E> searchP(const ElementOps<E>& ops, std::string_view pattern,
                           std::type_identity_t<std::span<const E>> input) {
    return searchExtP<E>(ops, pattern, {}, {}, input);
}

// The equality-only form: classes list single elements; `ops.order` is not read.
template <class E>
ListRegexResult<E> searchBasicP(const ElementOps<E>& ops, std::string_view pattern,
                                const std::vector<UserMatcher<E>>& fns, const std::vector<Assertion<E>>& asserts,
                                std::type_identity_t<std::span<const E>> input) {
    return detail::runCompiled<E>(compileRegexpPB<E>(ops.read, ops.eq, pattern, {}, fns, asserts), input);
}

// ---------------------------------------------------------------------------
// Substitution
//
// The first match of the pattern (every match with Global_Match in the flags)
// is replaced by the template expanded for it. After a non-empty match under
// Global_Match the rest of the input is searched as a new input: a start
// anchor or a look-back test sees the start of the rest as the start of the
// input. An empty match is replaced once and ends the repetition. A pattern
// that does not parse or does not match gives the input unchanged.
//
// Placeholders, a '$' followed by '{m}' (the match), '{m_before_}' (the input
// before the match), '{m_after_}' (the input after it) or '{' name '}' (the
// named sub-expression; nothing when the match holds none of that name). A '$'
// that opens no placeholder is dropped.
//
// Text templates: '\' and any character but a newline stand for that
// character; every other character stands for itself.
// Element-list templates: '<' text '>' (no '\' or '>' in the text) stands for
// the element read from the text; all other text is ignored.

// A template cut into its pieces.
struct TemplatePiece {
    enum class Kind { Text, Element, Whole, Before, After, Sub };
    Kind kind;
    std::string text;  // Text: the characters; Element: the element's text; Sub: the name
};

std::vector<TemplatePiece> readTextTemplate(std::string_view tmpl);
std::vector<TemplatePiece> readElementTemplate(std::string_view tmpl);

std::string substS(std::string_view pattern, std::string_view tmpl, const std::vector<MatcherFlag>& flags,
                   std::string_view input);
std::string substExtS(std::string_view pattern, std::string_view tmpl, const std::vector<MatcherFlag>& flags,
                      const std::vector<UserMatcher<char>>& fns, const std::vector<Assertion<char>>& asserts,
                      std::string_view input);

namespace detail {

inline bool hasGlobalMatch(const std::vector<MatcherFlag>& flags) {
    return std::find(flags.begin(), flags.end(), MatcherFlag::Global_Match) != flags.end();
}

template <class Out, class E>
void appendSlice(Out& out, std::span<const E> input, std::size_t from, std::size_t to) {
    out.insert(out.end(), input.begin() + std::ptrdiff_t(from), input.begin() + std::ptrdiff_t(to));
}

// The pieces of a template expanded for the match m of `rest`; Element pieces
// take, in order, the entries of `elements`.
template <class Out, class E>
void expandPieces(const std::vector<TemplatePiece>& pieces, const std::vector<E>& elements, std::span<const E> rest,
                  const MatchSpans& m, Out& out) {
    std::size_t nextElement = 0;
    for (const TemplatePiece& p : pieces) {
        switch (p.kind) {
        case TemplatePiece::Kind::Text:
            if constexpr (std::is_same_v<E, char>) out.insert(out.end(), p.text.begin(), p.text.end());
            break;
        case TemplatePiece::Kind::Element:
            if (nextElement >= elements.size()) throw InternalError("expandPieces: element missing");
            out.push_back(elements[nextElement++]);
            break;
        case TemplatePiece::Kind::Whole:
            appendSlice(out, rest, m.start, m.end);
            break;
        case TemplatePiece::Kind::Before:
            appendSlice(out, rest, 0, m.start);
            break;
        case TemplatePiece::Kind::After:
            appendSlice(out, rest, m.end, rest.size());
            break;
        case TemplatePiece::Kind::Sub:
            if (auto range = detail::captured(m, p.text)) appendSlice(out, rest, range->first, range->second);
            break;
        }
    }
}

// Runs the substitution loop: each match of the program in the rest of the
// input is replaced by expand(rest, match, out). Output is appended left to
// right; the input is never copied beyond what the output holds.
template <class Out, class E, class Expand>
Out substitute(const Program<E>& prog, std::span<const E> input, bool global, Expand&& expand) {
    Out out;
    std::size_t off = 0;
    for (;;) {
        std::span<const E> rest = input.subspan(off);
        std::optional<MatchSpans> m = prog.run(rest);
        if (!m) {
            appendSlice(out, rest, 0, rest.size());
            return out;
        }
        appendSlice(out, rest, 0, m->start);
        expand(rest, *m, out);
        if (!global || m->end == m->start) {
            appendSlice(out, rest, m->end, rest.size());
            return out;
        }
        off += m->end;
    }
}

}  // namespace detail

template <class E>
std::vector<E> substExtP(const ElementOps<E>& ops, std::string_view pattern, std::string_view tmpl,
                         const std::vector<MatcherFlag>& flags, const std::vector<UserMatcher<E>>& fns,
                         const std::vector<Assertion<E>>& asserts, std::type_identity_t<std::span<const E>> input) {
    std::optional<CompiledRegex<E>> compiled = compileRegexpP<E>(ops.read, ops.eq, ops.order, pattern, {}, fns, asserts);
    if (!compiled) return std::vector<E>(input.begin(), input.end());
    const Program<E> prog(std::move(*compiled));
    // The template is read, and its elements converted, at the first match.
    std::optional<std::vector<TemplatePiece>> pieces;
    std::vector<E> elements;
    auto expand = [&](std::span<const E> rest, const MatchSpans& m, std::vector<E>& out) {
        if (!pieces) {
            pieces = readElementTemplate(tmpl);
            for (const TemplatePiece& p : *pieces)
                if (p.kind == TemplatePiece::Kind::Element) elements.push_back(ops.read(p.text));
        }
        detail::expandPieces(*pieces, elements, rest, m, out);
    };
    return detail::substitute<std::vector<E>>(prog, input, detail::hasGlobalMatch(flags), expand);
}

template <class E>
std::vector<E> substP(const ElementOps<E>& ops, std::string_view pattern, std::string_view tmpl,
                      const std::vector<MatcherFlag>& flags, std::type_identity_t<std::span<const E>> input) {
    return substExtP<E>(ops, pattern, tmpl, flags, {}, {}, input);
}

}  // namespace axf::regex
