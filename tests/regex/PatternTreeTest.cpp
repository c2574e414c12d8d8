#include <gtest/gtest.h>

#include "regex/Assertions.h"
#include "regex/PatternTree.h"
#include "tests/regex/RegexTestUtil.h"

namespace axf::regex {
namespace {

using T = AbsTree<char>;

Matcher<char> chr(char c) {
    return matchEls<char>([c](const char& x) { return x == c; });
}
T leaf(char c) { return mkEl<char>(chr(c)); }

MatchLength run(const Matcher<char>& m, std::string_view s, std::size_t pos = 0) { return m(charSpan(s), pos); }

TEST(AbsTree, KindGroupsAreDisjoint) {
    T x = leaf('x');
    std::vector<T> all = {x,
                          mkBackref<char>("n", matchBackrefIgnoringCase()),
                          mkEnd<char>(),
                          mkSub<char>("n", x),
                          mkStar(x),
                          mkPlus(x),
                          mkOpt(x),
                          makeAbs<char>(MIN<char>{2, x}),
                          makeAbs<char>(MINMAX<char>{2, 5, x}),
                          makeAbs<char>(NGMIN<char>{2, x}),
                          makeAbs<char>(NGMINMAX<char>{2, 5, x}),
                          mkConcat(x, x),
                          mkAlt(x, x)};
    for (std::size_t k = 0; k < all.size(); ++k) {
        EXPECT_EQ(all[k]->node.index(), k) << k;
        int groups = isLeaf(all[k]) + isUnaryNode(all[k]) + isBinaryNode(all[k]);
        EXPECT_EQ(groups, 1) << k;
    }
}

TEST(AbsTree, ExactCountOnLeafIsOneFlatLeaf) {
    T three = mkExact<char>(3, leaf('a'));
    ASSERT_TRUE(isElem(three));
    EXPECT_EQ(run(getElem(three), "aaab"), MatchLength(3));
    EXPECT_EQ(run(getElem(three), "aab"), std::nullopt);
    T big = mkExact<char>(1000000, leaf('a'));
    EXPECT_EQ(run(getElem(big), std::string(1000000, 'a')), MatchLength(1000000));
}

using testutil::shape;

TEST(AbsTree, AccessorsReadTheRightFields) {
    T x = leaf('x');
    T mm = makeAbs<char>(MINMAX<char>{2, 5, x});
    EXPECT_EQ(child(mm), x);
    EXPECT_EQ(getMin(mm), 2);
    EXPECT_EQ(getMinMax(mm), std::make_pair(2, 5));
    EXPECT_EQ(getMin(makeAbs<char>(NGMINMAX<char>{3, 4, x})), 3);
    EXPECT_EQ(child(mkSub<char>("n", x)), x);
    EXPECT_EQ(getSubexpName(mkSub<char>("n", x)), "n");
    EXPECT_EQ(child(mkStar(x)), x);
    EXPECT_THROW(getMinMax(makeAbs<char>(NGMIN<char>{2, x})), InternalError);
    EXPECT_THROW(child(x), InternalError);
    EXPECT_THROW(left(x), InternalError);
    EXPECT_FALSE(hasPrefixMark(mkEnd<char>()));
    EXPECT_FALSE(hasPrefixMark(mkBackref<char>("n", matchBackrefIgnoringCase())));
    EXPECT_THROW(hasPrefixMark(mkStar(x)), InternalError);
}

TEST(AbsTree, UpdatersKeepFieldsAndExtra) {
    T x = leaf('x'), y = leaf('y');
    T mm = updateExtraRE<int>(7, makeAbs<char>(MINMAX<char>{2, 5, x}));
    T mm2 = updateChild<char>(y, mm);
    EXPECT_EQ(getMinMax(mm2), std::make_pair(2, 5));
    EXPECT_EQ(child(mm2), y);
    EXPECT_EQ(getExtraRE<int>(mm2), 7);
    EXPECT_EQ(child(mm), x);  // the given tree is unchanged
    EXPECT_EQ(getSubexpName(updateChild<char>(y, mkSub<char>("n", x))), "n");
    T c = updateExtraRE<int>(3, mkAlt(x, x));
    T c2 = updateRight<char>(y, updateLeft<char>(y, c));
    EXPECT_TRUE(isAlt(c2));
    EXPECT_EQ(left(c2), y);
    EXPECT_EQ(right(c2), y);
    EXPECT_EQ(getExtraRE<int>(c2), 3);
    T e = updateExtraRE<std::string>("aug", mkEnd<char>());
    EXPECT_TRUE(isEnd(e));
    EXPECT_EQ(getExtraRE<std::string>(e), "aug");
    EXPECT_THROW(updateChild<char>(y, x), InternalError);
}

TEST(Builders, CountedNodesWithAGivenExtraField) {
    T x = leaf('x');
    // Never fused or normalised: the counts and the extra field are kept as given.
    T m = mkMinWithExtra<char>(0, x, Extra::of<int>(4));
    EXPECT_EQ(shape(m), "MIN{0}(EL)");
    EXPECT_EQ(getMin(m), 0);
    EXPECT_EQ(child(m), x);
    EXPECT_EQ(getExtraRE<int>(m), 4);
    T mm = mkMinMaxWithExtra<char>(0, 1, x, Extra::of<int>(5));
    EXPECT_EQ(shape(mm), "MINMAX{0,1}(EL)");
    EXPECT_EQ(getMinMax(mm), std::make_pair(0, 1));
    EXPECT_EQ(getExtraRE<int>(mm), 5);
    EXPECT_THROW(getExtraRE<int>(mkMinWithExtra<char>(2, x, Extra())), Fatal);
}

TEST(AbsTree, PlaceholderStopsTheRunWhenRead) {
    T t = mkConcat(mkStar(leaf('a')), mkEnd<char>());
    EXPECT_EQ(shape(t), "CON(STAR(EL),END)");  // everything else works on it
    try {
        getExtraRE<int>(t);
        FAIL() << "no failure";
    } catch (const Fatal& e) {
        EXPECT_STREQ(e.what(), "Not defined yet");
    }
}

TEST(AbsTree, FoldOrders) {
    T x = leaf('x'), y = leaf('y');
    T t = mkConcat(mkAlt(x, y), mkEnd<char>());
    auto name = [&](const T& n) -> std::string {
        if (n == x) return "x";
        if (n == y) return "y";
        return std::string(isConcat(n) ? "CON" : isAlt(n) ? "ALT" : "END");
    };
    auto visit = [&](const T& n, std::string acc) { return acc + name(n) + " "; };
    EXPECT_EQ(foldPostOrder<char>(visit, std::string(), t), "x y ALT END CON ");
    EXPECT_EQ(foldPreOrder<char>(visit, std::string(), t), "CON ALT x y END ");
    EXPECT_EQ(foldPostOrder<char>(visit, std::string(), mkEnd<char>()), "END ");
}

TEST(Builders, RepetitionNormalForms) {
    T x = leaf('x');
    T g = mkAlt(leaf('a'), leaf('b'));
    T br = mkBackref<char>("n", matchBackrefIgnoringCase());
    struct Case {
        T tree;
        std::string shape;
    };
    const Case cases[] = {
        {mkExact<char>(3, x), "EL"},
        {mkExact<char>(1, g), "ALT(EL,EL)"},
        {mkExact<char>(3, g), "MINMAX{3,3}(ALT(EL,EL))"},
        {mkMin<char>(0, g), "STAR(ALT(EL,EL))"},
        {mkMin<char>(1, g), "PLUS(ALT(EL,EL))"},
        {mkMin<char>(2, x), "CON(EL,PLUS(EL))"},
        {mkMin<char>(3, g), "MIN{3}(ALT(EL,EL))"},
        {mkMin<char>(2, br), "MIN{2}(BACKREF<n>)"},
        {mkMinMax<char>(0, 1, x), "OPT(EL)"},
        {mkMinMax<char>(0, 0, x), "MINMAX{0,0}(EL)"},
        {mkMinMax<char>(1, 1, x), "MINMAX{1,1}(EL)"},
        {mkMinMax<char>(3, 5, x), "CON(EL,MINMAX{1,3}(EL))"},
        {mkMinMax<char>(2, 7, br), "MINMAX{2,7}(BACKREF<n>)"},
        {mkMinMax<char>(3, 5, g), "MINMAX{3,5}(ALT(EL,EL))"},
        {addEnd(x), "CON(EL,END)"},
    };
    for (const Case& c : cases) EXPECT_EQ(shape(c.tree), c.shape) << c.shape;
    // Fused copies: x{3,5} is two fixed copies then one to three more.
    T f = mkMinMax<char>(3, 5, x);
    EXPECT_EQ(run(getElem(left(f)), "xxx"), MatchLength(2));
    T big = mkMin<char>(2, x);
    EXPECT_EQ(run(getElem(left(big)), "xx"), MatchLength(1));
    // mkExact 1 on a leaf gives a new, unmarked leaf; on a tree, the tree itself.
    T marked = withPrefixMark<char>(x);
    T one = mkExact<char>(1, marked);
    EXPECT_NE(one, marked);
    EXPECT_FALSE(hasPrefixMark(one));
    EXPECT_TRUE(hasPrefixMark(marked));
    EXPECT_EQ(mkExact<char>(1, g), g);
}

TEST(Builders, NonGreedyForms) {
    T x = leaf('x');
    T g = mkAlt(leaf('a'), leaf('b'));
    const std::string z = "NGMINMAX{0,1}(EL)";
    struct Case {
        T tree;
        std::string shape;
    };
    const Case cases[] = {
        {mkNonGreedy<char>(mkStar(x)), "ALT(" + z + ",NGMIN{0}(EL))"},
        {mkNonGreedy<char>(mkPlus(x)), "NGMIN{1}(EL)"},
        {mkNonGreedy<char>(mkOpt(x)), "ALT(" + z + ",NGMINMAX{0,1}(EL))"},
        {mkNonGreedy<char>(mkMin<char>(3, g)), "NGMIN{3}(ALT(EL,EL))"},
        {mkNonGreedy<char>(mkMinMax<char>(2, 5, g)), "NGMINMAX{2,5}(ALT(EL,EL))"},
        {mkNonGreedy<char>(mkMinMax<char>(0, 3, g)), "ALT(" + z + ",NGMINMAX{0,3}(ALT(EL,EL)))"},
        {mkNonGreedy<char>(mkMinMax<char>(0, 0, g)), "ALT(" + z + ",NGMINMAX{0,0}(ALT(EL,EL)))"},
    };
    for (const Case& c : cases) EXPECT_EQ(shape(c.tree), c.shape) << c.shape;
    for (T t : {x, mkEnd<char>(), mkSub<char>("n", x), mkConcat(x, x), g, mkNonGreedy<char>(mkPlus(x))}) {
        EXPECT_EQ(mkNonGreedy<char>(t), t) << shape(t);
    }
    T once = mkNonGreedy<char>(mkStar(x));
    EXPECT_EQ(shape(mkNonGreedy<char>(once)), shape(once));
    // The empty step never matches at the end of the input.
    const T& emptyStep = child(left(once));
    EXPECT_EQ(run(getElem(emptyStep), "x", 1), std::nullopt);
    EXPECT_EQ(run(getElem(emptyStep), "x", 0), MatchLength(0));
    // The non-greedy nodes carry the extra field of the repetition given.
    T annotated = updateExtraRE<int>(9, mkPlus(x));
    EXPECT_EQ(getExtraRE<int>(mkNonGreedy<char>(annotated)), 9);
}

TEST(Builders, Repeatable) {
    T x = leaf('x');
    for (T t : {mkStar(x), mkPlus(x), makeAbs<char>(MIN<char>{2, x}), makeAbs<char>(MINMAX<char>{0, 2, x}),
                makeAbs<char>(NGMINMAX<char>{1, 3, x}), makeAbs<char>(NGMIN<char>{0, x})})
        EXPECT_TRUE(isRepeatable(t)) << shape(t);
    for (T t : {mkOpt(x), makeAbs<char>(MINMAX<char>{1, 1, x}), makeAbs<char>(NGMINMAX<char>{0, 1, x}), x, mkEnd<char>(),
                mkSub<char>("n", x), mkConcat(x, x), mkAlt(x, x)})
        EXPECT_FALSE(isRepeatable(t)) << shape(t);
}

}  // namespace
}  // namespace axf::regex
