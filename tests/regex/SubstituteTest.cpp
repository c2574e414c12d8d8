// Substitution: first and global replacement, templates with escapes and
// placeholders, the rest of the input searched as a new input, element-list
// templates, and long inputs with many matches.
// GCC 12 reports a false "may be used uninitialized" when it inlines the move
// of a capture step (a std::variant holding a vector) into the automaton.
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
#endif

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "common/Fatal.h"
#include "regex/Substitute.h"
#include "regex/SubstituteInternal.h"

using namespace axf::regex;

namespace {

const std::vector<MatcherFlag> global = {MatcherFlag::Global_Match};
using Ints = std::vector<int>;

struct Case {
    const char* pattern;
    const char* tmpl;
    bool global;
    const char* input;
    const char* output;
};

}  // namespace

TEST(Subst, ReplacesFirstOrEveryMatch) {
    const std::vector<Case> cases = {
        {"b", "X", false, "abcb", "aXcb"},
        {"b", "X", true, "abcb", "aXcX"},
        {"b+", "", true, "abbcbd", "acd"},
        // An empty match is replaced once and ends the repetition.
        {"x*", "-", true, "abc", "-abc"},
        {"c|x*", "-", true, "cab", "--ab"},
        // The rest is a new input: the start anchor holds again at its start.
        {"^a", "b", true, "aaa", "bbb"},
        {"^a", "b", false, "aaa", "baa"},
        {"\\ba", "X", true, "aab", "XXb"},
        // Pieces of the match; before and after are those of the rest.
        {"b", "[${m}]", false, "abc", "a[b]c"},
        {"b", "${m_before_}|${m_after_}", false, "abc", "aa|cc"},
        {"b", "${m_before_}", true, "abcb", "aacc"},
        {" n@(b+)", "<${n}>", false, "abbc", "a<bb>c"},
        {" n@(b+)", "${zz}", false, "abbc", "ac"},
        {"( x@(a)| y@(b))+", "${x}.${y}", false, "ab", "a.b"},
        // No match, or a pattern that does not parse: the input unchanged.
        {"z", "X", true, "abc", "abc"},
        {"(b", "X", true, "abc", "abc"},
        {"", "X", false, "", "X"},
        {"a", "X", true, "", ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string("pattern '") + c.pattern + "' template '" + c.tmpl + "' input '" + c.input + "'");
        EXPECT_EQ(substS(c.pattern, c.tmpl, c.global ? global : std::vector<MatcherFlag>{}, c.input), c.output);
    }
}

TEST(Subst, TextTemplates) {
    // Each template replaces the 'b' of 'abc'.
    const std::vector<std::pair<const char*, const char*>> cases = {
        {"a$b", "ab"},        {"${m", "{m"},
        {"$${m}", "b"},       {"$", ""},
        {"\\${m}", "${m}"},   {"\\\\${m}", "\\b"},
        {"\\{m}", "{m}"},     {"x\\", "x\\"},
        {"x\\\ny", "x\\\ny"}, {"${m_before}", ""},
        {"${ m}", "{ m}"},    {"${}", "{}"},
        {"${m}${m}$", "bb"},  {"(${m_after_})", "(c)"},
    };
    for (const auto& [tmpl, expansion] : cases) {
        SCOPED_TRACE(std::string("template '") + tmpl + "'");
        EXPECT_EQ(substS("b", tmpl, {}, "abc"), std::string("a") + expansion + "c");
    }
}

TEST(Subst, TemplatePieces) {
    using K = TemplatePiece::Kind;
    std::vector<TemplatePiece> p = readTextTemplate("x\\$${m_after_}y${sub_1}$z");
    ASSERT_EQ(p.size(), 5u);
    EXPECT_EQ(p[0].kind, K::Text);
    EXPECT_EQ(p[0].text, "x$");
    EXPECT_EQ(p[1].kind, K::After);
    EXPECT_EQ(p[2].text, "y");
    EXPECT_EQ(p[3].kind, K::Sub);
    EXPECT_EQ(p[3].text, "sub_1");
    EXPECT_EQ(p[4].text, "z");
    std::vector<TemplatePiece> e = readElementTemplate("a<1> $<2\\3> <<4>${m}<5");
    ASSERT_EQ(e.size(), 3u);
    EXPECT_EQ(e[0].text, "1");
    EXPECT_EQ(e[1].kind, K::Element);
    EXPECT_EQ(e[1].text, "<4");
    EXPECT_EQ(e[2].kind, K::Whole);
}

TEST(Subst, FlagsReachTheSearch) {
    const std::vector<MatcherFlag> flags = {MatcherFlag::Case_Insensitive, MatcherFlag::Global_Match};
    EXPECT_EQ(substS("b", "x", flags, "abAB"), "axAx");
    EXPECT_EQ(substS("b", "x", {MatcherFlag::Case_Insensitive}, "aBb"), "axb");
}

TEST(Subst, UserMatchersInTextPatterns) {
    std::vector<UserMatcher<char>> fns = {[](std::span<const char> after) -> MatchLength {
        if (after.size() >= 2 && after[0] == after[1]) return 2;
        return std::nullopt;
    }};
    EXPECT_EQ(substExtS("<<1>>", "=", global, fns, {}, "aabccd"), "=b=d");
}

TEST(Subst, ElementLists) {
    const ElementOps<int> ops = integerOps<int>();
    EXPECT_EQ(substP(ops, "<5>", "<1> <2>", {}, Ints{4, 5, 6}), (Ints{4, 1, 2, 6}));
    EXPECT_EQ(substP(ops, "<5>", "abc", {}, Ints{4, 5, 6}), (Ints{4, 6}));
    EXPECT_EQ(substP(ops, "<5>", "${m}${m}", {}, Ints{4, 5, 6}), (Ints{4, 5, 5, 6}));
    EXPECT_EQ(substP(ops, "<5>", "<0>", global, Ints{5, 1, 5}), (Ints{0, 1, 0}));
    EXPECT_EQ(substP(ops, "<5>", "<0>", {}, Ints{5, 1, 5}), (Ints{0, 1, 5}));
    EXPECT_EQ(substP(ops, " n@(<5>+)<6>", "<9>${n}${m_after_}", {}, Ints{4, 5, 5, 6, 7}), (Ints{4, 9, 5, 5, 7, 7}));
    // An unterminated element and one holding a backslash give nothing.
    EXPECT_EQ(substP(ops, "<5>", "<1\\2> <3", {}, Ints{4, 5, 6}), (Ints{4, 6}));
    EXPECT_EQ(substP(ops, "<9>", "<1>", global, Ints{4, 5}), (Ints{4, 5}));
    EXPECT_EQ(substP(ops, "<9", "<1>", global, Ints{4, 5}), (Ints{4, 5}));
    // A template element is read only when a match is replaced.
    EXPECT_EQ(substP(ops, "<9>", "<x>", {}, Ints{4, 5}), (Ints{4, 5}));
    EXPECT_THROW(substP(ops, "<5>", "<x>", {}, Ints{4, 5}), axf::Fatal);
}

TEST(Subst, ElementListsWithUserMatchers) {
    std::vector<UserMatcher<int>> fns = {[](std::span<const int> after) -> MatchLength {
        if (!after.empty() && after[0] < 0) return 1;
        return std::nullopt;
    }};
    EXPECT_EQ(substExtP(integerOps<int>(), "<<1>>", "<0>", global, fns, {}, Ints{-1, 2, -3}), (Ints{0, 2, 0}));
}

TEST(Subst, ManyMatchesInALongInput) {
    const std::size_t n = 200000;
    std::string input;
    std::string expected;
    for (std::size_t i = 0; i < n; ++i) {
        input += "ab";
        expected += "a<b>";
    }
    EXPECT_EQ(substS("b", "<${m}>", global, input), expected);
    Ints list(n, 1);
    list.push_back(2);
    Ints replaced = substP(integerOps<int>(), "<1>", "<3>", global, list);
    ASSERT_EQ(replaced.size(), n + 1);
    EXPECT_EQ(replaced.front(), 3);
    EXPECT_EQ(replaced.back(), 2);
}
