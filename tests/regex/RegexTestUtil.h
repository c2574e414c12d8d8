// Test helpers: a one-line picture of a pattern tree and of a position set, and a small
// backtracking reference matcher over trees (captures and back references
// aside) to check the language a parsed pattern accepts.
#pragma once

#include <functional>
#include <string>
#include <string_view>

#include "regex/PatternTree.h"
#include "regex/PositionSets.h"
#include "regex/TextSyntaxParser.h"

namespace axf::regex::testutil {

using Tree = AbsTree<char>;

// A position set as "{1,2,3}".
inline std::string showSet(const PosSet& s) {
    std::string o = "{";
    for (std::size_t i = 0; i < s.size(); ++i) {
        if (i) o += ',';
        o += std::to_string(s[i]);
    }
    o += '}';
    return o;
}

// e.g. "CON(EL,END)"; EL^ marks the prefix mark, counts in braces, names in
// angle brackets. Works for trees over any element type.
template <class E>
std::string shape(const AbsTree<E>& t) {
    static const char* names[] = {"EL",  "BACKREF", "END",   "SUB",      "STAR", "PLUS", "OPT",
                                  "MIN", "MINMAX",  "NGMIN", "NGMINMAX", "CON",  "ALT"};
    std::string s = names[t->node.index()];
    if (isElem(t) && hasPrefixMark(t)) s += "^";
    if (isSub(t)) s += "<" + getSubexpName(t) + ">";
    if (isBackref(t)) s += "<" + getBackref(t).first + ">";
    if (isMinmax(t))
        s += "{" + std::to_string(getMinMax(t).first) + "," + std::to_string(getMinMax(t).second) + "}";
    else if (isMin(t))
        s += "{" + std::to_string(getMin(t)) + "}";
    if (isUnaryNode(t)) s += "(" + shape(child(t)) + ")";
    if (isBinaryNode(t)) s += "(" + shape(left(t)) + "," + shape(right(t)) + ")";
    return s;
}

using K = std::function<bool(std::size_t)>;

inline bool walk(const Tree& t, CharSpan in, std::size_t pos, const K& k);

// Between lo and hi (hi < 0: unbounded) repetitions of c, greedy or not.
inline bool repeat(const Tree& c, std::int64_t lo, std::int64_t hi, bool greedy, CharSpan in, std::size_t pos, const K& k) {
    if (hi >= 0 && lo > hi) return false;
    auto more = [&]() {
        if (hi == 0) return false;
        return walk(c, in, pos, [&](std::size_t p) {
            if (p == pos && lo <= 0) return false;  // no empty iterations beyond the minimum
            return repeat(c, lo > 0 ? lo - 1 : 0, hi > 0 ? hi - 1 : hi, greedy, in, p, k);
        });
    };
    if (lo > 0) return more();
    if (greedy) return more() || k(pos);
    return k(pos) || more();
}

inline bool walk(const Tree& t, CharSpan in, std::size_t pos, const K& k) {
    if (isElem(t)) {
        MatchLength r = getElem(t)(in, pos);
        return r && k(pos + *r);
    }
    if (isEnd(t)) return k(pos);
    if (isSub(t)) return walk(child(t), in, pos, k);
    if (isConcat(t)) return walk(left(t), in, pos, [&](std::size_t p) { return walk(right(t), in, p, k); });
    if (isAlt(t)) return walk(left(t), in, pos, k) || walk(right(t), in, pos, k);
    if (isStar(t)) return repeat(child(t), 0, -1, true, in, pos, k);
    if (isPlus(t)) return repeat(child(t), 1, -1, true, in, pos, k);
    if (isOpt(t)) return repeat(child(t), 0, 1, true, in, pos, k);
    if (isMinmax(t)) return repeat(child(t), getMinMax(t).first, getMinMax(t).second, !isNonGreedy(t), in, pos, k);
    if (isMin(t)) return repeat(child(t), getMin(t), -1, !isNonGreedy(t), in, pos, k);
    throw InternalError("walk: back references are not simulated");
}

// Whether the tree matches the whole text.
inline bool fullMatch(const Tree& t, std::string_view text) {
    CharSpan in = charSpan(text);
    return walk(t, in, 0, [&](std::size_t p) { return p == in.size(); });
}

// The length of the first match from position 0 in priority order.
inline std::optional<std::size_t> firstMatch(const Tree& t, std::string_view text) {
    std::optional<std::size_t> got;
    walk(t, charSpan(text), 0, [&](std::size_t p) {
        got = p;
        return true;
    });
    return got;
}

inline std::optional<Tree> parseRe(std::string_view pattern, const std::vector<MatcherFlag>& flags = {}, const TextFns& fns = {},
                                   const TextAsserts& as = {}) {
    return parseTextPattern(pattern, fns, as, flags);
}

}  // namespace axf::regex::testutil
