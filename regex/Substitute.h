// Substitution: the first match of a pattern (every match with Global_Match)
// replaced by the expansion of a template, over text (substS, substExtS) or
// over element lists (substP, substExtP). A library operation: nothing on the
// tool's run path includes this header.
#pragma once

#include <algorithm>
#include <cstddef>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <type_traits>
#include <utility>
#include <vector>

#include "common/Fatal.h"
#include "regex/ElementListSearch.h"
#include "regex/Regexp.h"

namespace axf::regex {

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

// The pieces of an element-list template.
std::vector<TemplatePiece> readElementTemplate(std::string_view tmpl);

std::string substS(std::string_view pattern, std::string_view tmpl, const std::vector<MatcherFlag>& flags,
                   std::string_view input);
std::string substExtS(std::string_view pattern, std::string_view tmpl, const std::vector<MatcherFlag>& flags,
                      const std::vector<UserMatcher<char>>& fns, const std::vector<Assertion<char>>& asserts,
                      std::string_view input);

namespace detail {

// The range captured under a name, if the match holds one.
inline std::optional<std::pair<std::size_t, std::size_t>> captured(const MatchSpans& m, std::string_view name) {
    for (const auto& [n, range] : m.subexps)
        if (n == name) return range;
    return std::nullopt;
}

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
            case TemplatePiece::Kind::Whole: appendSlice(out, rest, m.start, m.end); break;
            case TemplatePiece::Kind::Before: appendSlice(out, rest, 0, m.start); break;
            case TemplatePiece::Kind::After: appendSlice(out, rest, m.end, rest.size()); break;
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
