// Products of whole-query lists kept unbuilt, against the lists built pair by
// pair.
#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <string>
#include <vector>

#include "common/Fatal.h"
#include "query/Combination.h"
#include "query/ResultSet.h"
#include "query/WholeQueryCombinationInternal.h"
#include "tests/query/CombinationTestUtil.h"

namespace {

using namespace axf::query;
using namespace axf::query::testutil;

EmbeddingEntry entry(std::int64_t cost, const axf::xml::Tree* t) { return EmbeddingEntry{7, 1, 2, 0, cost, t}; }

std::string show(const EmbeddingEntry& e) { return std::to_string(e.cost) + ":" + shape(e.tree); }
std::vector<std::string> show(const EntryList& l) {
    std::vector<std::string> out;
    for (const EmbeddingEntry& e : l) out.push_back(show(e));
    return out;
}

// A random set and the same list built pair by pair (with combineQueriesAndAll
// for `and`, and by the definition of the product for `or`). Costs come from
// a small range, so that ties are frequent.
struct Made {
    ResultSetPtr set;
    EntryList built;
};

Made randomSet(std::mt19937& rng, int depth, int& leafNumber) {
    std::uniform_int_distribution<int> coin(0, 2);
    if (depth == 0 || coin(rng) == 0) {
        const int n = std::uniform_int_distribution<int>(1, 3)(rng);
        EntryList es;
        for (int i = 0; i < n; ++i)
            es.push_back(entry(std::uniform_int_distribution<int>(0, 3)(rng),
                               tree(std::string("l").append(std::to_string(leafNumber)).append("_").append(std::to_string(i)))));
        ++leafNumber;
        return {ResultSet::plain(es), es};
    }
    const ResultSet::JoinRoot root = coin(rng) == 0 ? ResultSet::JoinRoot::Or : ResultSet::JoinRoot::And;
    const int k = std::uniform_int_distribution<int>(2, depth == 1 ? 3 : 2)(rng);
    std::vector<ResultSetPtr> parts;
    EntryList built;
    for (int i = 0; i < k; ++i) {
        Made part = randomSet(rng, depth - 1, leafNumber);
        parts.push_back(part.set);
        if (i == 0) {
            built = part.built;
            continue;
        }
        if (root == ResultSet::JoinRoot::And) {
            built = combineQueriesAndAll(built, part.built);
        } else {
            EntryList next;
            for (const EmbeddingEntry& a : built)
                for (const EmbeddingEntry& b : part.built)
                    next.push_back(EmbeddingEntry{1, 0, 0, 0, a.cost + b.cost, buildExternalTree("or", a.tree, b.tree)});
            built = next;
        }
    }
    return {ResultSet::product(root, parts), built};
}

TEST(ResultSet, RandomProductsAgreeWithTheBuiltLists) {
    std::mt19937 rng(31);
    for (int round = 0; round < 300; ++round) {
        int leaves = 0;
        const Made m = randomSet(rng, 3, leaves);
        const EntryList& built = m.built;
        const std::string where = "round " + std::to_string(round);
        ASSERT_EQ(show(m.set->materialize()), show(built)) << where;
        EXPECT_EQ(m.set->size(), built.size()) << where;
        for (std::int64_t bound : {-1, 0, 1, 2, 4, 7, 100}) {
            const auto within = std::count_if(built.begin(), built.end(), [&](const auto& e) { return e.cost <= bound; });
            EXPECT_EQ(m.set->countWithin(bound), ResultCount(within)) << where << " bound " << bound;
        }
        const std::int64_t lowest =
            std::min_element(built.begin(), built.end(), [](const auto& a, const auto& b) { return a.cost < b.cost; })->cost;
        EXPECT_EQ(m.set->lowestCost(), lowest) << where;
        EntryList run;
        for (const EmbeddingEntry& e : built)
            if (e.cost == lowest) run.push_back(e);
        EXPECT_EQ(show(m.set->lowestRun()->materialize()), show(run)) << where;
        EXPECT_EQ(show(m.set->firstCheapest()), show(run.front())) << where;
        // The covering part: in the built list's order, with its first entry,
        // and every leaf entry's tree under some entry of it.
        const EntryList cover = m.set->materializeCovering();
        ASSERT_FALSE(cover.empty()) << where;
        EXPECT_EQ(show(cover.front()), show(built.front())) << where;
        std::size_t at = 0;
        for (const EmbeddingEntry& e : cover) {
            while (at < built.size() && show(built[at]) != show(e)) ++at;
            ASSERT_LT(at++, built.size()) << where << " " << show(e);
        }
        for (const ResultSet* leaf : m.set->leaves())
            for (const EmbeddingEntry& le : leaf->entries()) {
                const bool held = std::any_of(cover.begin(), cover.end(), [&](const EmbeddingEntry& e) {
                    return e.tree == le.tree ||
                           std::find(e.tree->kids, e.tree->kids + e.tree->kidCount, le.tree) != e.tree->kids + e.tree->kidCount;
                });
                EXPECT_TRUE(held) << where << " " << show(le);
            }
        // The joined root's children are the leaf trees in joinedOrder.
        const std::vector<const ResultSet*> ls = m.set->leaves();
        if (m.set->isProduct()) {
            const std::vector<std::size_t> order = m.set->joinedOrder();
            ASSERT_EQ(order.size(), built.front().tree->kidCount) << where;
            for (std::size_t i = 0; i < order.size(); ++i)
                EXPECT_EQ(built.front().tree->kids[i], ls[order[i]]->entries().front().tree) << where;
        }
    }
}

TEST(ResultSet, CountsBeyondSixtyFourBitsAreExactOrRefused) {
    EntryList thousand;
    for (int i = 0; i < 3000; ++i) thousand.push_back(entry(i % 2, tree("a")));
    const ResultSetPtr part = ResultSet::plain(thousand);
    // 3000^10, and the half of it whose entries cost at most 0 ... up to 10.
    const ResultSetPtr ten = ResultSet::product(ResultSet::JoinRoot::Or, std::vector<ResultSetPtr>(10, part));
    EXPECT_EQ(decimalText(ten->size()), "59049000000000000000000000000000000");
    EXPECT_EQ(decimalText(ten->countWithin(0)),
              decimalText(ResultCount(1500) * 1500 * 1500 * 1500 * 1500 * 1500 * 1500 * 1500 * 1500 * 1500));
    const ResultSetPtr twelve = ResultSet::product(ResultSet::JoinRoot::Or, std::vector<ResultSetPtr>(12, part));
    EXPECT_THROW(twelve->size(), axf::Fatal);
    EXPECT_THROW(twelve->countWithin(100), axf::Fatal);
    EXPECT_EQ(decimalText(0), "0");
    EXPECT_EQ(decimalText(ResultCount(18446744073709551615ULL) + 1), "18446744073709551616");
}

}  // namespace
