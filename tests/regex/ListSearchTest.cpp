// Element-list searches: results and accessors over integer and text
// elements, ranges and the equality-only form, user matchers and assertions,
// lazy reading of pattern elements and the integer reader.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "common/Fatal.h"
#include "regex/ElementListSearch.h"

using namespace axf::regex;

namespace {

using Ints = std::vector<int>;

// A colour known by name, with equality only.
struct Colour {
    std::string name;
    bool operator==(const Colour&) const = default;
};

ElementOps<Colour> colourOps() {
    return equalityOps<Colour>([](const std::string& text) { return Colour{text}; });
}

ElementOps<std::string> wordOps() {
    return orderedOps<std::string>([](const std::string& text) { return text; });
}

struct Case {
    const char* pattern;
    Ints input;
    bool matched;
    Ints before, match;
};

}  // namespace

TEST(SearchP, MatchesOverIntegers) {
    const std::vector<Case> cases = {
        {"<2>", {1, 2, 3}, true, {1}, {2}},
        {"<7>", {1, 2, 3}, false, {}, {}},
        {"", {1, 2}, true, {}, {}},
        {"<1>*", {}, true, {}, {}},
        {"<1>", {}, false, {}, {}},
        {"[<1>-<3>]+", {5, 2, 3, 1, 9}, true, {5}, {2, 3, 1}},
        {"[^<1>-<3><9>]", {2, 9, 7, 1}, true, {2, 9}, {7}},
        {"[<-3>-<-1><10>-<12>]+", {0, -2, 11, 5}, true, {0}, {-2, 11}},
        {"<1>.<3>", {0, 1, 8, 3}, true, {0}, {1, 8, 3}},
        {"^<2>", {1, 2}, false, {}, {}},
        {"<2>$", {2, 1, 2}, true, {2, 1}, {2}},
        {"<1>{2,3}", {1, 1, 1, 1}, true, {}, {1, 1, 1}},
        {"<1>+?", {1, 1, 1, 1}, true, {}, {1}},
        {"<1>|<1><2>?", {1, 2}, true, {}, {1, 2}},
        {" a@(.)<0>*${a}", {4, 7, 0, 0, 7}, true, {4}, {7, 0, 0, 7}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string("pattern '") + c.pattern + "'");
        ListRegexResult<int> r = searchP(integerOps<int>(), c.pattern, c.input);
        EXPECT_TRUE(legalRegexp(r));
        EXPECT_EQ(matchedAny(r), c.matched);
        EXPECT_EQ(beforeMatch(r), c.before);
        EXPECT_EQ(wholeMatch(r), c.match);
        if (c.matched) {
            Ints joined = beforeMatch(r);
            for (int x : wholeMatch(r)) joined.push_back(x);
            for (int x : afterMatch(r)) joined.push_back(x);
            EXPECT_EQ(joined, c.input);
        } else {
            EXPECT_EQ(afterMatch(r), Ints{});
        }
    }
}

TEST(SearchP, IllegalPatternsGiveIllegal) {
    for (const char* pattern : {"<2", "(<1>", "<1>)", "<1> <2>", "[]", "<1>||<2>", "<<1>>"}) {
        SCOPED_TRACE(pattern);
        ListRegexResult<int> r = searchP(integerOps<int>(), pattern, Ints{1, 2});
        EXPECT_FALSE(legalRegexp(r));
        EXPECT_FALSE(matchedAny(r));
        EXPECT_EQ(wholeMatch(r), Ints{});
        EXPECT_EQ(afterMatch(r), Ints{});
        EXPECT_EQ(numSubexps(r), 0u);
    }
}

TEST(SearchP, NamedSubexpressions) {
    ListRegexResult<int> r = searchP(integerOps<int>(), "( x@(<1>)| y@(<2><3>?))", Ints{0, 2, 3});
    ASSERT_TRUE(matchedAny(r));
    EXPECT_FALSE(matchedSubexp(r, "x"));
    EXPECT_EQ(subexpMatch(r, "x"), Ints{});
    EXPECT_TRUE(matchedSubexp(r, "y"));
    EXPECT_EQ(subexpMatch(r, "y"), (Ints{2, 3}));
    EXPECT_EQ(numSubexps(r), 1u);
    EXPECT_EQ(allSubexps(r), (std::vector<std::pair<std::string, Ints>>{{"y", {2, 3}}}));
    EXPECT_FALSE(matchedSubexp(r, "zz"));
}

TEST(SearchP, GroupsSharingAName) {
    using Subs = std::vector<std::pair<std::string, Ints>>;
    EXPECT_EQ(allSubexps(searchP(integerOps<int>(), " g@( g@(<1>))", Ints{0, 1})), (Subs{{"g", {1}}}));
    EXPECT_EQ(allSubexps(searchP(integerOps<int>(), " g@(<1> g@(<2> g@(<3>)))", Ints{1, 2, 3})), (Subs{{"g", {1, 2, 3}}}));
    EXPECT_EQ(allSubexps(searchP(integerOps<int>(), "( g@(<1>)| g@(<2>))*", Ints{1, 2})), (Subs{{"g", {2}}}));
    EXPECT_EQ(allSubexps(searchBasicP(integerOps<int>(), " g@( g@(<1>))", {}, {}, Ints{1})), (Subs{{"g", {1}}}));
}

TEST(SearchP, TextElementsAndTheirOrder) {
    using Words = std::vector<std::string>;
    Words input{"pear", "apple", "fig", "kiwi"};
    ListRegexResult<std::string> r = searchP(wordOps(), "[<a>-<g>]+<kiwi>", input);
    ASSERT_TRUE(matchedAny(r));
    EXPECT_EQ(beforeMatch(r), Words{"pear"});
    EXPECT_EQ(wholeMatch(r), (Words{"apple", "fig", "kiwi"}));
    // The text between the brackets is the element, blanks included; '\' escapes.
    EXPECT_TRUE(matchedAny(searchP(wordOps(), "<a b>", Words{"a b"})));
    EXPECT_TRUE(matchedAny(searchP(wordOps(), "<x\\>y>", Words{"x>y"})));
}

TEST(SearchP, EqualityOnlyForm) {
    using Colours = std::vector<Colour>;
    Colours input{{"red"}, {"green"}, {"blue"}, {"green"}};
    ListRegexResult<Colour> r = searchBasicP(colourOps(), "[<blue><green>]+$", {}, {}, input);
    ASSERT_TRUE(matchedAny(r));
    EXPECT_EQ(beforeMatch(r), Colours{{"red"}});
    EXPECT_EQ(wholeMatch(r), (Colours{{"green"}, {"blue"}, {"green"}}));
    // No ranges in this form.
    EXPECT_FALSE(legalRegexp(searchBasicP(colourOps(), "[<a>-<z>]", {}, {}, input)));
}

TEST(SearchP, UserMatchersAndAssertions) {
    // <<1>>: a run of even numbers (at least one); (?=1): the next element is 9.
    std::vector<UserMatcher<int>> fns = {[](std::span<const int> after) -> MatchLength {
        std::size_t n = 0;
        while (n < after.size() && after[n] % 2 == 0) ++n;
        if (n == 0) return std::nullopt;
        return n;
    }};
    std::vector<Assertion<int>> asserts = {
        [](std::span<const int> input, std::size_t pos) { return pos < input.size() && input[pos] == 9; }};
    ListRegexResult<int> r = searchExtP(integerOps<int>(), "<<1>>(?=1)", fns, asserts, Ints{2, 4, 1, 6, 8, 9});
    ASSERT_TRUE(matchedAny(r));
    EXPECT_EQ(beforeMatch(r), (Ints{2, 4, 1}));
    EXPECT_EQ(wholeMatch(r), (Ints{6, 8}));
    EXPECT_EQ(afterMatch(r), Ints{9});
    // A reference beyond the lists given does not parse.
    EXPECT_FALSE(legalRegexp(searchExtP(integerOps<int>(), "<<2>>", fns, asserts, Ints{2})));
}

TEST(SearchP, ElementsAreReadWhenCompared) {
    // An unreadable element fails only when a search compares it.
    EXPECT_FALSE(matchedAny(searchP(integerOps<int>(), "<x>", Ints{})));
    try {
        searchP(integerOps<int>(), "<x>", Ints{1});
        FAIL() << "no failure";
    } catch (const axf::Fatal& f) {
        EXPECT_STREQ(f.what(), "Prelude.read: no parse");
    }
    try {
        searchP(integerOps<int>(), "<1>{3,1}", Ints{1});
        FAIL() << "no failure";
    } catch (const axf::Fatal& f) {
        EXPECT_STREQ(f.what(), "Invalid interval in Regular Expression");
    }
}

TEST(SearchP, IntegerReader) {
    ElemReader<int> read = integerReader<int>();
    EXPECT_EQ(read("42"), 42);
    EXPECT_EQ(read(" -7 "), -7);
    EXPECT_EQ(read("2147483647"), 2147483647);
    for (const char* bad : {"", " ", "+3", "3x", "1 2", "2147483648", "--1", "0x10"}) {
        SCOPED_TRACE(bad);
        EXPECT_THROW(read(bad), axf::Fatal);
    }
    EXPECT_THROW(integerReader<unsigned char>()("256"), axf::Fatal);
}
