#include <gtest/gtest.h>

#include <string>

#include "regex/SmallContainers.h"

namespace axf::regex {
namespace {

using SMap = FiniteMap<std::string, int>;
const auto streq = [](const std::string& a, const std::string& b) { return a == b; };
const auto lt = std::less<int>();
const auto slt = std::less<std::string>();

TEST(FiniteMap, FirstRecordOfARepeatedKeyCounts) {
    SMap m = listToFM<std::string, int>({{"a", 1}, {"a", 2}});
    EXPECT_EQ(lookupFM(streq, m, std::string("a")), 1);
    EXPECT_EQ(sizeFM(m), 2u);
    EXPECT_EQ(keysFM(m), (std::vector<std::string>{"a", "a"}));
    EXPECT_EQ(addToFM(streq, m, std::string("a"), 3), (SMap{{"a", 3}, {"a", 2}}));
    EXPECT_EQ(lookupFM(streq, SMap{}, std::string("a")), std::nullopt);
}

TEST(FiniteMap, AddUpdatesInPlaceOrAppends) {
    SMap m{{"a", 1}, {"b", 2}};
    EXPECT_EQ(addToFM(streq, m, std::string("b"), 5), (SMap{{"a", 1}, {"b", 5}}));
    EXPECT_EQ(addToFM(streq, m, std::string("c"), 7), (SMap{{"a", 1}, {"b", 2}, {"c", 7}}));
    auto pairUp = [](int stored, int given) { return stored * 10 + given; };
    EXPECT_EQ(addToFMCombining(streq, pairUp, SMap{{"a", 1}}, std::string("a"), 2), (SMap{{"a", 12}}));
}

TEST(FiniteMap, PlusAddsTheSecondMapFromItsEnd) {
    EXPECT_EQ(plusFM(streq, SMap{}, SMap{{"a", 1}, {"b", 2}}), (SMap{{"b", 2}, {"a", 1}}));
    auto pairUp = [](int stored, int given) { return stored * 10 + given; };
    // combining(combining(1, 3), 2)
    EXPECT_EQ(plusFMCombining(streq, pairUp, SMap{{"a", 1}}, SMap{{"a", 2}, {"a", 3}}), (SMap{{"a", 132}}));
    auto cat = [](const std::string& k, int v, std::string acc) { return k + std::to_string(v) + acc; };
    EXPECT_EQ(foldFM(cat, std::string("."), SMap{{"a", 1}, {"b", 2}}), "a1b2.");
    EXPECT_EQ(foldFM(cat, std::string("."), SMap{}), ".");
}

TEST(OrdList, SetOperations) {
    using V = std::vector<int>;
    EXPECT_EQ(toOrdList(lt, V{3, 1, 3, 2}), (V{1, 2, 3}));
    EXPECT_EQ(toOrdList(lt, V{}), V{});
    EXPECT_EQ(unionOL(lt, V{3, 1}, V{2}), (V{1, 2, 3}));
    EXPECT_EQ(intersectOL(lt, V{3, 1, 2}, V{2, 3}), (V{2, 3}));
    EXPECT_EQ(minusOL(lt, V{1, 2, 3}, V{2, 5}), (V{1, 3}));
    EXPECT_FALSE(member(lt, 2, V{1, 3}));
    EXPECT_TRUE(member(lt, 3, V{1, 3}));
    EXPECT_EQ(addEl(lt, 2, V{1, 3}), (V{1, 2, 3}));
    EXPECT_EQ(addEl(lt, 3, V{1, 3}), (V{1, 3}));
    EXPECT_EQ(mapS([](int x) { return -x; }, V{1, 2}), (V{-1, -2}));
    EXPECT_EQ(foldS([](int x, std::string acc) { return std::to_string(x) + acc; }, std::string("."), V{1, 2}), "12.");
}

TEST(BagRE, CountsAndOrder) {
    using B = BagRE<std::string>;
    std::vector<std::string> xs{"a", "b", "a", "c"};
    B bag = listToBagRE(slt, xs);
    EXPECT_EQ(bag, (B{{"c", 1}, {"a", 2}, {"b", 1}}));
    EXPECT_EQ(bagREToOL(slt, bag), (std::vector<std::string>{"a", "b", "c"}));
    EXPECT_EQ(minusBagRE(slt, B{{"a", 2}, {"b", 1}}, B{{"a", 1}, {"b", 1}}), (B{{"a", 1}}));
    EXPECT_EQ(minusBagRE(slt, B{{"a", 1}}, B{{"c", 1}}), (B{{"a", 1}}));
    EXPECT_EQ(minusBagRE(slt, B{{"a", 1}}, B{{"a", 3}}), B{});
    EXPECT_EQ(unionBagRE(slt, B{{"a", 1}}, B{{"b", 2}, {"a", 1}}), (B{{"a", 2}, {"b", 2}}));
    EXPECT_EQ(bagREToList(slt, B{{"a", 2}, {"b", 1}}), (std::vector<std::string>{"b", "a", "a"}));
    EXPECT_TRUE(elemBagRE(slt, std::string("c"), bag));
}

TEST(FiniteMap, BuildersAndViews) {
    EXPECT_TRUE(isEmptyFM(emptyFM<std::string, int>()));
    SMap one = unitFM(std::string("a"), 1);
    EXPECT_FALSE(isEmptyFM(one));
    EXPECT_EQ(fmToList(one), (SMap{{"a", 1}}));
    SMap m{{"a", 1}, {"b", 2}, {"a", 3}};
    EXPECT_EQ(eltsFM(m), (std::vector<int>{1, 2, 3}));
    // The mapped records keep their keys and order, repeated keys included.
    auto shown = mapFM([](const std::string& k, int v) { return k + std::to_string(v); }, m);
    EXPECT_EQ(shown, (FiniteMap<std::string, std::string>{{"a", "a1"}, {"b", "b2"}, {"a", "a3"}}));
}

TEST(OrdList, Builders) {
    EXPECT_EQ(emptyOL<int>(lt), std::vector<int>{});
    EXPECT_EQ(singletonOL(lt, 4), std::vector<int>{4});
}

TEST(BagRE, BuildersAndFilter) {
    using B = BagRE<std::string>;
    EXPECT_EQ(emptyBagRE<std::string>(), B{});
    EXPECT_EQ(unitBagRE(std::string("a")), (B{{"a", 1}}));
    // The predicate sees the element only; counts and order stay.
    EXPECT_EQ(filterBagRE(
                  slt, [](const std::string& e) { return e != "b"; }, B{{"c", 2}, {"b", 1}, {"a", 3}}),
              (B{{"c", 2}, {"a", 3}}));
}

}  // namespace
}  // namespace axf::regex
