#include <gtest/gtest.h>

#include "regex/AbsTreeDefs.h"
#include "regex/Assertions.h"

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
                          mkBackref<char>("n", matchIBref()),
                          mkEnd<char>(),
                          mkSub<char>("n", x),
                          mkStar(x),
                          mkPlus(x),
                          mkOpt(x),
                          makeAbs<char>(MIN<char>{2, x}),
                          makeAbs<char>(MINMAX<char>{2, 5, x}),
                          makeAbs<char>(NGMIN<char>{2, x}),
                          makeAbs<char>(NGMINMAX<char>{2, 5, x}),
                          mkCon(x, x),
                          mkAlt(x, x)};
    for (std::size_t k = 0; k < all.size(); ++k) {
        EXPECT_EQ(all[k]->node.index(), k);
        int groups = isLeaf(all[k]) + isUn(all[k]) + isBin(all[k]);
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

}  // namespace
}  // namespace axf::regex
