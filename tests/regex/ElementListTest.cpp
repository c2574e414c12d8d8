// Element-list patterns: the range form (integers read from decimal text,
// ordered) and the equality-only form (a small type with equality only), their
// trees, their refusals, lazy element reading, and searches end to end through
// the compile entries and the automaton runner.
#include <gtest/gtest.h>

#include <charconv>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "common/Fatal.h"
#include "regex/Compile.h"
#include "regex/ElementListEqualityParser.h"
#include "regex/ElementListParser.h"
#include "regex/ElementListSearch.h"
#include "regex/Execute.h"
#include "tests/regex/RegexTestUtil.h"

using namespace axf::regex;
using axf::regex::testutil::shape;

namespace {

// Integers written in decimal, with an optional '-'; counts its calls.
struct IntOps {
    std::shared_ptr<int> reads = std::make_shared<int>(0);
    ElemReader<int> reader() const {
        return [reads = reads](const std::string& text) {
            ++*reads;
            int v = 0;
            auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), v);
            if (text.empty() || ec != std::errc() || end != text.data() + text.size())
                throw axf::Fatal("not an integer: " + text);
            return v;
        };
    }
    static ElemEq<int> eq() {
        return [](const int& a, const int& b) { return a == b; };
    }
};

using Fns = std::vector<UserMatcher<int>>;
using As = std::vector<Assertion<int>>;

std::optional<AbsTree<int>> parseInt(const std::string& pattern, const Fns& fns = {}, const As& as = {}) {
    IntOps ops;
    return parseElementListPattern<int>(ops.reader(), IntOps::eq(), naturalOrder<int>(), pattern, fns, as);
}

std::string shapeOrNone(const std::optional<AbsTree<int>>& t) { return t ? shape(*t) : "none"; }

struct ShapeCase {
    const char* pattern;
    const char* shape;  // "none": no tree
};

void expectShapes(const std::vector<ShapeCase>& cases, const Fns& fns = {}, const As& as = {}) {
    for (const ShapeCase& c : cases) {
        SCOPED_TRACE(std::string("pattern '") + c.pattern + "'");
        EXPECT_EQ(shapeOrNone(parseInt(c.pattern, fns, as)), c.shape);
    }
}

// First match of a range-form pattern over integers: [start, end) or nothing.
std::optional<std::pair<std::size_t, std::size_t>> findInt(const std::string& pattern, const std::vector<int>& input,
                                                           const Fns& fns = {}, const As& as = {}) {
    IntOps ops;
    auto c = compileRegexpP<int>(ops.reader(), IntOps::eq(), naturalOrder<int>(), pattern, {}, fns, as);
    if (!c) throw std::runtime_error("pattern does not compile: " + pattern);
    auto m = execRegexp<int>(*c, std::span<const int>(input));
    if (!m) return std::nullopt;
    return std::make_pair(m->start, m->end);
}

using Span = std::optional<std::pair<std::size_t, std::size_t>>;
Span at(std::size_t a, std::size_t b) { return std::make_pair(a, b); }

}  // namespace

TEST(ElementListTest, BranchesAlternativesAndAnchors) {
    expectShapes({
        {"", "END"},
        {"<1>", "CON(EL,END)"},
        {"<1><2><3>", "CON(CON(CON(EL,EL),EL),END)"},
        {"<1>|<2>|<3>", "CON(ALT(ALT(EL,EL),EL),END)"},
        {"^<1><2>$", "CON(CON(EL^,CON(CON(EL,EL),EL)),END)"},
        {"^<1>", "CON(CON(EL^,EL),END)"},
        {"<1>$", "CON(CON(EL,EL),END)"},
        {"(^<1>|<2>)<3>", "CON(CON(ALT(CON(EL^,EL),EL),EL),END)"},
        {"|<1>", "none"},
        {"<1>|", "none"},
        {"<1>||<2>", "none"},
        {"^", "none"},
        {"$", "none"},
        {"^$", "none"},
        {"<1>$<2>", "none"},
        {"<1>^<2>", "none"},
        {"^^<1>", "none"},
        {"<1>$$", "none"},
        {"<1>)", "none"},
        {"<1> <2>", "none"},
        {"\\<1>", "none"},
    });
}

TEST(ElementListTest, RepetitionTrees) {
    expectShapes({
        {"<1>*", "CON(STAR(EL),END)"},
        {"<1>{0,}", "CON(STAR(EL),END)"},
        {"<1>+", "CON(PLUS(EL),END)"},
        {"<1>{1,}", "CON(PLUS(EL),END)"},
        {"<1>?", "CON(OPT(EL),END)"},
        {"<1>{0,1}", "CON(OPT(EL),END)"},
        {"<1>{1}", "CON(EL,END)"},
        {"<1>{3}", "CON(EL,END)"},
        {"<1>{3}?", "CON(EL,END)"},
        {"<1>{2,4}", "CON(CON(EL,MINMAX{1,3}(EL)),END)"},
        {"<1>{2,4}?", "CON(CON(EL,MINMAX{1,3}(EL)),END)"},
        {"<1>{2,2}", "CON(CON(EL,MINMAX{1,1}(EL)),END)"},
        {"<1>{1,1}", "CON(MINMAX{1,1}(EL),END)"},
        {"<1>{0,0}", "CON(MINMAX{0,0}(EL),END)"},
        {"<1>{01,3}", "CON(MINMAX{1,3}(EL),END)"},
        {"<1>{2,}", "CON(CON(EL,PLUS(EL)),END)"},
        {"<1>{2,}?", "CON(CON(EL,PLUS(EL)),END)"},
        {"(<1>){2,}", "CON(CON(EL,PLUS(EL)),END)"},
        {"(<1><2>){2,}", "CON(MIN{2}(CON(EL,EL)),END)"},
        {"(<1><2>){2,}?", "CON(NGMIN{2}(CON(EL,EL)),END)"},
        {"(<1><2>){2}", "CON(MINMAX{2,2}(CON(EL,EL)),END)"},
        {"(<1><2>){2}?", "CON(NGMINMAX{2,2}(CON(EL,EL)),END)"},
        {"(<1>*){1}", "CON(STAR(EL),END)"},
        {"(<1>*){1}?", "CON(ALT(NGMINMAX{0,1}(EL),NGMIN{0}(EL)),END)"},
        {"(<1>*)*", "CON(STAR(STAR(EL)),END)"},
        {"<1>+?", "CON(NGMIN{1}(EL),END)"},
        {"<1>*?", "CON(ALT(NGMINMAX{0,1}(EL),NGMIN{0}(EL)),END)"},
        {"<1>??", "CON(ALT(NGMINMAX{0,1}(EL),NGMINMAX{0,1}(EL)),END)"},
        // zero repetitions come first, as for *? and ??
        {"<1>{0,3}?", "CON(ALT(NGMINMAX{0,1}(EL),NGMINMAX{0,3}(EL)),END)"},
        {"<1>{0,0}?", "CON(ALT(NGMINMAX{0,1}(EL),NGMINMAX{0,0}(EL)),END)"},
        {"<1>{1,1}?", "CON(NGMINMAX{1,1}(EL),END)"},
        {"<1><2>*", "CON(CON(EL,STAR(EL)),END)"},
        // no operator: the rest is left over
        {"<1>{0}", "none"},
        {"<1>{05}", "none"},
        {"<1>{,3}", "none"},
        {"<1>{", "none"},
        {"<1>{2", "none"},
        {"<1>{2,3", "none"},
        {"<1>{1, 2}", "none"},
        {"<1> {2}", "none"},
        {"<1>???", "none"},
        {"<1>**", "none"},
        {"<1>+*", "none"},
        {"<1>{2}{3}", "none"},
        {"<1>{99999999999}", "none"},
        {"*", "none"},
    });
}

// A count too large for 32 bits is no count here (in the text syntax it makes
// the pattern illegal): the piece ends before the '{' and leaves it unread.
TEST(ElementListTest, OversizedCountIsNoOperator) {
    IntOps ops;
    PatternRuleParsers<int> g = regexpParsers<int>(ops.reader(), IntOps::eq(), naturalOrder<int>());
    auto r = initParser<int>(g.parsePiece, "<1>{99999999999}", Fns{}, As{}, {});
    ASSERT_TRUE(r);
    EXPECT_EQ(shape(r->first), "EL");
    EXPECT_EQ(r->second, "{99999999999}");
}

TEST(ElementListTest, FusedCountsMatchEveryCopy) {
    // (<1>{2}){3} is one leaf that takes six elements.
    auto t = parseInt("(<1>{2}){3}");
    ASSERT_TRUE(t);
    ASSERT_EQ(shape(*t), "CON(EL,END)");
    std::vector<int> six(6, 1), five(5, 1);
    EXPECT_EQ(getElem(left(*t))(std::span<const int>(six), 0), MatchLength(6));
    EXPECT_EQ(getElem(left(*t))(std::span<const int>(five), 0), std::nullopt);
}

TEST(ElementListTest, InvalidIntervalFiresOnlyWhenTheTreeIsUsed) {
    IntOps ops;
    auto compile = [&](const std::string& p) {
        return compileRegexpP<int>(ops.reader(), IntOps::eq(), naturalOrder<int>(), p, {}, {}, {});
    };
    for (const char* p : {"<1>{3,2}", "(<1>{3,2})*", "(<1><2>){3,2}?", "<1>|(<2>{5,0}){2}"}) {
        SCOPED_TRACE(p);
        EXPECT_TRUE(parseInt(p).has_value());
        try {
            compile(p);
            ADD_FAILURE() << "no fatal failure";
        } catch (const axf::Fatal& e) {
            EXPECT_STREQ(e.what(), "Invalid interval in Regular Expression");
        }
    }
    // A pattern rejected as a whole never raises it.
    EXPECT_FALSE(parseInt("<1>{3,2}{").has_value());
    EXPECT_FALSE(compile("<1>{3,2}{").has_value());
}

TEST(ElementListTest, AssertionListsJoinTheirPiece) {
    As two = {[](std::span<const int>, std::size_t) { return true; }, [](std::span<const int>, std::size_t) { return true; }};
    expectShapes(
        {
            {"(?=1)<1>", "CON(CON(EL,EL),END)"},
            {"<1>(?=2)", "CON(CON(EL,EL),END)"},
            {"<1>(?=1)(?=2)", "CON(CON(EL,EL),END)"},
            {"(?=1)(?=2)<1>(?=2)", "CON(CON(EL,CON(EL,EL)),END)"},
            {"(?=1)<1>*", "CON(CON(EL,STAR(EL)),END)"},
            {"<1>(?=1)<2>", "CON(CON(CON(EL,EL),EL),END)"},
            {"((?=1)<1>)", "CON(CON(EL,EL),END)"},
            {"(?=3)<1>", "none"},
            {"<1>(?=3)", "none"},
            {"(?=1)(?=3)<1>", "none"},
            {"(?=0)<1>", "none"},
            {"(?=01)<1>", "none"},
            {"(?=1", "none"},
            {"(?=1)", "none"},
            {"<1>(?=1)*", "none"},
            {"(?=1)*", "none"},
            {"(?=1)^<1>", "none"},
        },
        {}, two);
    EXPECT_FALSE(parseInt("(?=1)<1>").has_value());  // no user assertions at all
}

TEST(ElementListTest, AssertionLeafTestsInOrderAndConsumesNothing) {
    std::vector<int> calls;
    bool firstHolds = true;
    As as = {[&](std::span<const int>, std::size_t) {
                 calls.push_back(1);
                 return firstHolds;
             },
             [&](std::span<const int> in, std::size_t pos) {
                 calls.push_back(2);
                 return pos > 0 && in[pos - 1] == 7;  // just after a 7
             }};
    auto t = parseInt("<1>(?=1)(?=2)", {}, as);
    ASSERT_TRUE(t);
    EXPECT_TRUE(calls.empty());  // nothing is called while parsing
    const Matcher<int>& leaf = getElem(right(left(*t)));
    std::vector<int> in = {7};
    EXPECT_EQ(leaf(std::span<const int>(in), 1), MatchLength(0));  // at the end of the input too
    EXPECT_EQ(calls, (std::vector<int>{1, 2}));
    calls.clear();
    firstHolds = false;
    EXPECT_EQ(leaf(std::span<const int>(in), 1), std::nullopt);
    EXPECT_EQ(calls, (std::vector<int>{1}));
    EXPECT_FALSE(hasPrefixMark(right(left(*t))));

    // End to end: a 2 that directly follows a 7.
    firstHolds = true;
    EXPECT_EQ(findInt("(?=2)<2>", {2, 7, 2}, {}, as), at(2, 3));
}

TEST(ElementListTest, GroupsNamedSubexpressionsAndBackReferences) {
    expectShapes({
        {"(<1>|<2>)", "CON(ALT(EL,EL),END)"},
        {"((<1>))", "CON(EL,END)"},
        {" x@(<1><2>)${x}", "CON(CON(SUB<x>(CON(EL,EL)),BACKREF<x>),END)"},
        {" y'1@( z@(<3>))", "CON(SUB<y'1>(SUB<z>(EL)),END)"},
        {" x'@(<1>)", "CON(SUB<x'>(EL),END)"},
        {" 7@(<1>)${7}", "CON(CON(SUB<7>(EL),BACKREF<7>),END)"},
        {"${w}", "CON(BACKREF<w>,END)"},
        {" x@(<1>) x@(<2>)", "CON(CON(SUB<x>(EL),SUB<x>(EL)),END)"},
        {"<1>${x}", "CON(CON(EL,BACKREF<x>),END)"},
        {"()", "none"},
        {"(<1>", "none"},
        {"(^)", "none"},
        {"(<1>))", "none"},
        {"  x@(<1>)", "none"},
        {" x @(<1>)", "none"},
        {" x@ (<1>)", "none"},
        {" x@<1>", "none"},
        {"x@(<1>)", "none"},
        {"${}", "none"},
        {"${x", "none"},
        {"$ {x}", "none"},
        {"${x y}", "none"},
        {"<1>${x", "none"},
    });
}

TEST(ElementListTest, BackReferencesSearch) {
    EXPECT_EQ(findInt(" x@(.<2>)${x}", {5, 1, 2, 1, 3, 1, 2}), std::nullopt);
    EXPECT_EQ(findInt(" x@(.<2>)${x}", {5, 1, 2, 1, 2, 9}), at(1, 5));
    EXPECT_EQ(findInt(" x@(<1><1>)${x}", {1, 1, 1}), std::nullopt);
    // The builder: an empty capture matches the empty sequence, one longer
    // than the rest of the input fails; the captured element is compared on
    // the left.
    std::vector<std::pair<int, int>> seen;
    IntOps ops;
    auto t = parseElementListPattern<int>(ops.reader(),
                                          [&](const int& a, const int& b) {
                                              seen.emplace_back(a, b);
                                              return a == b;
                                          },
                                          naturalOrder<int>(), "${x}", {}, {});
    ASSERT_TRUE(t);
    BackrefBuilder<int> b = getBackref(left(*t)).second;
    std::vector<int> in = {4, 5}, cap = {4, 5, 6};
    EXPECT_EQ(b(std::span<const int>())(std::span<const int>(in), 2), MatchLength(0));
    EXPECT_EQ(b(std::span<const int>(cap).subspan(0, 2))(std::span<const int>(in), 0), MatchLength(2));
    EXPECT_EQ(seen, (std::vector<std::pair<int, int>>{{4, 4}, {5, 5}}));
    EXPECT_EQ(b(std::span<const int>(cap))(std::span<const int>(in), 0), std::nullopt);
}

TEST(ElementListTest, ElementClassesWithRanges) {
    struct Case {
        const char* pattern;
        std::vector<int> accepted;  // among -7..10
    };
    auto all = [](auto keep) {
        std::vector<int> v;
        for (int x = -7; x <= 10; ++x)
            if (keep(x)) v.push_back(x);
        return v;
    };
    std::vector<Case> cases = {
        {"[<1><3>]", {1, 3}},
        {"[<1>]", {1}},
        {"[<1><1>]", {1}},
        {"[^<1>-<6>]", all([](int x) { return x < 1 || x > 6; })},
        {"[<1>-<3><9>]", {1, 2, 3, 9}},
        {"[<1>-<3><5>-<7>]", {1, 2, 3, 5, 6, 7}},
        {"[<2>-<2>]", {2}},
        {"[<-5>-<-1>]", {-5, -4, -3, -2, -1}},
        {"[<5>-<1>]", {}},
        {"[^<5>-<1>]", all([](int) { return true; })},
        {"[^<1>-<3><9>]", all([](int x) { return x != 9 && (x < 1 || x > 3); })},
        {"[<1>-<3><2>-<4>]", {1, 2, 3, 4}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.pattern);
        auto t = parseInt(c.pattern);
        ASSERT_TRUE(t);
        ASSERT_EQ(shape(*t), "CON(EL,END)");
        const Matcher<int>& m = getElem(left(*t));
        std::vector<int> got;
        for (int x = -7; x <= 10; ++x) {
            std::vector<int> one = {x, 0};
            MatchLength r = m(std::span<const int>(one), 0);
            if (r) {
                EXPECT_EQ(*r, 1u) << x;
                got.push_back(x);
            }
        }
        EXPECT_EQ(got, c.accepted);
        std::vector<int> none;
        EXPECT_EQ(m(std::span<const int>(none), 0), std::nullopt);  // never at the end of the input
    }
    expectShapes({
        {"[<9><1>-<3>]", "none"},
        {"[<1>-<3><9><5>-<7>]", "none"},
        {"[]", "none"},
        {"[^]", "none"},
        {"[<1>-]", "none"},
        {"[-<1>]", "none"},
        {"[<1>-<2>-<3>]", "none"},
        {"[^^<1>]", "none"},
        {"[ <1>]", "none"},
        {"[<1> ]", "none"},
        {"[<1>", "none"},
    });
}

TEST(ElementListTest, ElementsAreReadOnFirstComparisonOnly) {
    IntOps ops;
    auto compile = [&](const std::string& p) {
        return compileRegexpP<int>(ops.reader(), IntOps::eq(), naturalOrder<int>(), p, {}, {}, {});
    };
    // Parsing and compiling read nothing, not even a malformed literal.
    auto c = compile("[<1><x>]");
    ASSERT_TRUE(c);
    auto bad = compile("<1>|<x>z>");  // '>' is left over: no tree, no failure
    EXPECT_FALSE(bad);
    EXPECT_EQ(*ops.reads, 0);
    std::vector<int> one = {1}, two = {2}, empty;
    EXPECT_TRUE(execRegexp<int>(*c, std::span<const int>(one)));  // 1 matches before <x> is read
    EXPECT_EQ(execRegexp<int>(*c, std::span<const int>(empty)), std::nullopt);
    try {
        execRegexp<int>(*c, std::span<const int>(two));
        ADD_FAILURE() << "the malformed literal was not read";
    } catch (const axf::Fatal& e) {
        EXPECT_STREQ(e.what(), "not an integer: x");
    }
    // A range refused by its lower end never reads its upper end.
    auto r = compile("[<1>-<x>]");
    std::vector<int> zero = {0};
    EXPECT_EQ(execRegexp<int>(*r, std::span<const int>(zero)), std::nullopt);

    // A literal is read once, however many leaves share its matcher.
    *ops.reads = 0;
    auto rep = compile("<4>{3}<4>{2,}");
    std::vector<int> fours(6, 4);
    auto m = execRegexp<int>(*rep, std::span<const int>(fours));
    ASSERT_TRUE(m);
    EXPECT_EQ(m->end, 6u);
    EXPECT_EQ(*ops.reads, 2);
}

TEST(ElementListTest, UserMatchersAndLiteralTexts) {
    // Elements are strings; the reader takes the text as it is.
    ElemReader<std::string> reader = [](const std::string& s) { return s; };
    ElemEq<std::string> eq = [](const std::string& a, const std::string& b) { return a == b; };
    std::vector<UserMatcher<std::string>> fns = {
        [](std::span<const std::string> after) -> MatchLength {  // two equal elements
            if (after.size() >= 2 && after[0] == after[1]) return 2;
            return std::nullopt;
        },
        [](std::span<const std::string>) -> MatchLength { return 0; },
    };
    struct Case {
        const char* pattern;
        std::vector<std::string> input;
        bool whole;  // the pattern matches the whole input
    };
    std::vector<Case> cases = {
        {"<1\\>2>", {"1>2"}, true},
        {"<\\\\>", {"\\"}, true},
        {"<\\a>", {"a"}, true},
        {"<<7>", {"<7"}, true},
        {"<<2>", {"<2"}, true},
        {"<>", {""}, true},
        {"<a b>", {"a b"}, true},
        {"<[.|(>", {"[.|("}, true},
        {"<<1>>", {"q", "q"}, true},
        {"<<1>>", {"q", "r"}, false},
        {"<<2>><a>", {"a"}, true},
        {".", {"anything"}, true},
        {"..", {"x"}, false},
        {"[<]>]", {"]"}, true},
        {"[<a>-<c><\\>>]", {"b"}, true},
        {"[<a>-<c><\\>>]", {">"}, true},
        {"[<a>-<c><\\>>]", {"d"}, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.pattern);
        auto comp =
            compileRegexpP<std::string>(reader, eq, naturalOrder<std::string>(), std::string("^") + c.pattern + "$", {}, fns, {});
        ASSERT_TRUE(comp);
        EXPECT_EQ(execRegexp<std::string>(*comp, std::span<const std::string>(c.input)).has_value(), c.whole);
    }
    auto parse = [&](const std::string& p, std::size_t nfns) {
        std::vector<UserMatcher<std::string>> some(fns.begin(), fns.begin() + nfns);
        return parseElementListPattern<std::string>(reader, eq, naturalOrder<std::string>(), p, some, {}).has_value();
    };
    EXPECT_TRUE(parse("<<1>>", 1));
    EXPECT_FALSE(parse("<<1>>", 0));  // the literal "<1" and a stray '>'
    EXPECT_FALSE(parse("<<3>>", 2));
    EXPECT_FALSE(parse("<<0>>", 2));
    EXPECT_FALSE(parse("<<01>>", 2));
    EXPECT_FALSE(parse("<<99999999999>>", 2));
    EXPECT_TRUE(parse("<<99999999999>", 2));  // a literal
    EXPECT_FALSE(parse("<abc", 0));
    EXPECT_FALSE(parse("<abc\\", 0));
    EXPECT_FALSE(parse("<a>>", 0));
    EXPECT_FALSE(parse(">", 0));
}

TEST(ElementListTest, RangeFormSearches) {
    EXPECT_EQ(findInt("<1>(<2>|<3>)*<4>", {0, 1, 2, 3, 2, 4, 5}), at(1, 6));
    EXPECT_EQ(findInt("<1>.*<4>", {1, 4, 0, 4}), at(0, 4));
    EXPECT_EQ(findInt("<1>.*?<4>", {1, 4, 0, 4}), at(0, 2));
    EXPECT_EQ(findInt("<1>.{2,3}", {1, 1, 1, 1, 1}), at(0, 4));
    // Over a single leaf the mark leaves {m,n} with m >= 2 greedy.
    EXPECT_EQ(findInt("<1>.{2,3}?", {1, 1, 1, 1, 1}), at(0, 4));
    // A non-greedy repetition with minimum 0 prefers no repetition at all.
    EXPECT_EQ(findInt("<1>(.<1>){0,3}?", {1, 0, 1, 0, 1}), at(0, 1));
    EXPECT_EQ(findInt("<1>(.<1>){0,3}?<2>", {1, 0, 1, 0, 1, 2}), at(0, 6));
    EXPECT_EQ(findInt("[<0>-<9>]+", {-3, 12, 4, 5, 10}), at(2, 4));
    EXPECT_EQ(findInt("^<2>", {1, 2}), std::nullopt);
    EXPECT_EQ(findInt("<2>$", {2, 1, 2}), at(2, 3));
    EXPECT_EQ(findInt("(<1><2>){2,3}", {1, 2, 1, 1, 2, 1, 2, 1, 2, 1, 2}), at(3, 9));
    EXPECT_EQ(findInt("", {1}), at(0, 0));

    // Named sub-expressions are reported with their ranges.
    IntOps ops;
    auto c = compileRegexpP<int>(ops.reader(), IntOps::eq(), naturalOrder<int>(), " a@(<1>+) b@([<5>-<6>])", {}, {}, {});
    ASSERT_TRUE(c);
    std::vector<int> in = {0, 1, 1, 6};
    auto m = execRegexp<int>(*c, std::span<const int>(in));
    ASSERT_TRUE(m);
    ASSERT_EQ(m->subexps.size(), 2u);
    EXPECT_EQ(m->subexps[0].first, "a");
    EXPECT_EQ(m->subexps[0].second, std::make_pair(std::size_t(1), std::size_t(3)));
    EXPECT_EQ(m->subexps[1].first, "b");
    EXPECT_EQ(m->subexps[1].second, std::make_pair(std::size_t(3), std::size_t(4)));
}

TEST(ElementListTest, CompileIgnoresFlagsAndIsNeverAnchored) {
    IntOps ops;
    auto compile = [&](const std::string& p, const std::vector<MatcherFlag>& flags) {
        return compileRegexpP<int>(ops.reader(), IntOps::eq(), naturalOrder<int>(), p, flags, {}, {});
    };
    auto plain = compile("^<1>(<2><3>){2,}?", {});
    auto flagged = compile("^<1>(<2><3>){2,}?", {MatcherFlag::Case_Insensitive, MatcherFlag::Multi_Line});
    ASSERT_TRUE(plain && flagged);
    EXPECT_FALSE(plain->anchored);
    EXPECT_EQ(plain->finalPosition, flagged->finalPosition);
    EXPECT_EQ(plain->startPositions, flagged->startPositions);
    EXPECT_EQ(plain->counterCount, 1);
    EXPECT_EQ(flagged->counterCount, 1);
    EXPECT_FALSE(compile("<1>)", {}).has_value());
    auto empty = compile("", {});
    ASSERT_TRUE(empty);
    EXPECT_EQ(empty->finalPosition, 1);
}

// ---------------------------------------------------------------------------
// Equality-only form

namespace {

struct Colour {
    std::string name;
};

ElemReader<Colour> colourReader() {
    return [](const std::string& s) {
        if (s != "red" && s != "green" && s != "blue") throw axf::Fatal("no such colour: " + s);
        return Colour{s};
    };
}
ElemEq<Colour> colourEq() {
    return [](const Colour& a, const Colour& b) { return a.name == b.name; };
}

std::optional<AbsTree<Colour>> parseColour(const std::string& p, const As& = {}) {
    return parseEqualityElementListPattern<Colour>(colourReader(), colourEq(), p, {}, {});
}

Span findColour(const std::string& pattern, const std::vector<std::string>& names,
                const std::vector<Assertion<Colour>>& as = {}) {
    auto c = compileRegexpPB<Colour>(colourReader(), colourEq(), pattern, {}, {}, as);
    if (!c) throw std::runtime_error("pattern does not compile: " + pattern);
    std::vector<Colour> in;
    for (const std::string& n : names) in.push_back(Colour{n});
    auto m = execRegexp<Colour>(*c, std::span<const Colour>(in));
    if (!m) return std::nullopt;
    return std::make_pair(m->start, m->end);
}

}  // namespace

TEST(ElementListTest, EqualityFormTrees) {
    struct Case {
        const char* pattern;
        const char* shape;
    };
    std::vector<Case> cases = {
        {"", "END"},
        {"<red>", "CON(EL,END)"},
        {"<red><green><blue>", "CON(CON(CON(EL,EL),EL),END)"},
        {"^<red>|<blue>$", "CON(ALT(CON(EL^,EL),CON(EL,EL)),END)"},
        {"[<red><blue>]{2}", "CON(EL,END)"},
        {"[^<red>]*?", "CON(ALT(NGMINMAX{0,1}(EL),NGMIN{0}(EL)),END)"},
        {"<red>{2,4}", "CON(CON(EL,MINMAX{1,3}(EL)),END)"},
        {"(<red><blue>){2,}", "CON(MIN{2}(CON(EL,EL)),END)"},
        {"(<red><blue>){2}?", "CON(NGMINMAX{2,2}(CON(EL,EL)),END)"},
        {"<red>??", "CON(ALT(NGMINMAX{0,1}(EL),NGMINMAX{0,1}(EL)),END)"},
        {"<red>{3,2}", "CON(MINMAX{3,2}(EL),END)"},
        {" c@(.)${c}", "CON(CON(SUB<c>(EL),BACKREF<c>),END)"},
        {"[<red>-<blue>]", "none"},  // no ranges in this form
        {"[]", "none"},
        {"[^]", "none"},
        {"<red>{0}", "none"},
        {"<red>**", "none"},
        {"<red>???", "none"},
        {"<red>{3,2}{", "none"},
        {"<red>)", "none"},
        {"(?=1)<red>", "none"},      // no user assertions
        {"<mauve>", "CON(EL,END)"},  // read only when compared
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.pattern);
        auto t = parseColour(c.pattern);
        EXPECT_EQ(t ? shape(*t) : std::string("none"), c.shape);
    }
    std::vector<Assertion<Colour>> two = {[](std::span<const Colour>, std::size_t) { return true; },
                                          [](std::span<const Colour>, std::size_t) { return true; }};
    auto withAs = [&](const std::string& p) {
        auto t = parseEqualityElementListPattern<Colour>(colourReader(), colourEq(), p, {}, two);
        return t ? shape(*t) : std::string("none");
    };
    EXPECT_EQ(withAs("(?=1)<red>(?=2)"), "CON(CON(EL,CON(EL,EL)),END)");
    EXPECT_EQ(withAs("<red>(?=1)<blue>"), "CON(CON(CON(EL,EL),EL),END)");
    EXPECT_EQ(withAs("(?=1)<red>*"), "CON(CON(EL,STAR(EL)),END)");
    EXPECT_EQ(withAs("<red>(?=1)*"), "none");
    EXPECT_EQ(withAs("(?=3)<red>"), "none");
}

TEST(ElementListTest, EqualityFormSearches) {
    EXPECT_EQ(findColour("<red>+<green>", {"blue", "red", "red", "green"}), at(1, 4));
    EXPECT_EQ(findColour("[^<red><blue>]", {"red", "blue", "green"}), at(2, 3));
    EXPECT_EQ(findColour("[<red><blue>]{2}", {"red", "green", "blue", "red"}), at(2, 4));
    EXPECT_EQ(findColour(" c@(.)${c}", {"red", "blue", "blue"}), at(1, 3));
    EXPECT_EQ(findColour(" c@(.)${c}", {"red", "blue", "green"}), std::nullopt);
    EXPECT_EQ(findColour("<red>|<green><blue>", {"green", "blue"}), at(0, 2));
    EXPECT_EQ(findColour("(<red><blue>)*?<green>", {"red", "blue", "green"}), at(0, 3));
    // A literal the reader refuses stops the run only once it is compared.
    EXPECT_EQ(findColour("<red>|<mauve>", {}), std::nullopt);
    EXPECT_THROW(findColour("<mauve>", {"red"}), axf::Fatal);
    EXPECT_THROW(compileRegexpPB<Colour>(colourReader(), colourEq(), "<red>{3,2}", {}, {}, {}), axf::Fatal);
}

TEST(ElementListTest, AtomAndLiteralEntries) {
    IntOps ops;
    auto state = [](std::string_view text) { return ParserState{std::make_shared<const FlagEnv>(), text}; };
    auto lit = parseElementLiteral<int>(ops.reader())(Fns{}, As{}, state("<7>rest"));
    ASSERT_TRUE(lit);
    EXPECT_EQ(*ops.reads, 0);  // read on first use
    EXPECT_EQ(lit->first.get(), 7);
    EXPECT_EQ(lit->second.tokens, "rest");
    EXPECT_FALSE(parseElementLiteral<int>(ops.reader())(Fns{}, As{}, state("<7")));

    const std::vector<int> two{2}, five{5};
    auto matches = [](const AbsTree<int>& leaf, const std::vector<int>& in) {
        return getElem(leaf)(std::span<const int>(in), 0).has_value();
    };
    auto ranged = parseAtom<int>(ops.reader(), IntOps::eq(), naturalOrder<int>())(Fns{}, As{}, state("[<1>-<3>]x"));
    ASSERT_TRUE(ranged);
    EXPECT_EQ(shape(ranged->first), "EL");
    EXPECT_EQ(ranged->second.tokens, "x");
    EXPECT_TRUE(matches(ranged->first, two));
    EXPECT_FALSE(matches(ranged->first, five));
    // The equality-only form knows no ranges.
    EXPECT_FALSE(parseAtom<int>(ops.reader(), IntOps::eq())(Fns{}, As{}, state("[<1>-<3>]")));
    auto single = parseAtom<int>(ops.reader(), IntOps::eq())(Fns{}, As{}, state("<5>"));
    ASSERT_TRUE(single);
    EXPECT_TRUE(matches(single->first, five));
    EXPECT_FALSE(matches(single->first, two));
}
