// Combination of child embeddings at boolean query nodes, the list functions
// they share and the orderings of result lists.
#include <gtest/gtest.h>

#include <map>
#include <random>
#include <set>
#include <string>
#include <vector>

#include "common/Fatal.h"
#include "common/Lazy.h"
#include "query/Combination.h"
#include "query/CombinationSteps.h"
#include "query/WholeQueryCombinationInternal.h"
#include "tests/query/CombinationTestUtil.h"

namespace {

using namespace axf::query;
using namespace axf::query::testutil;
using axf::xml::elem;
using axf::xml::text;

// ---------------------------------------------------------------------------
// List functions.

TEST(ComputeLists, AfterPosition) {
    struct Case {
        std::int64_t p;
        EntryList in;
        std::string want;
    };
    const std::vector<Case> cases = {
        {4, {}, ""},
        {4, {E(4, 0, "a"), E(4, 1, "b")}, ""},
        {4, {E(5, 0, "a"), E(4, 1, "b")}, "5:0:a 4:1:b"},
        {4, {E(4, 0, "a"), E(4, 0, "b"), E(6, 0, "c"), E(4, 0, "d")}, "6:0:c 4:0:d"},
    };
    for (const Case& c : cases) EXPECT_EQ(show(afterPosition(c.p, c.in)), c.want) << c.want;
}

TEST(ComputeLists, HeadTiesWithLooksAtTheFirstEntryOnly) {
    const EmbeddingEntry e = E(7, 2, "e");
    EXPECT_FALSE(headTiesWith(e, EntryList{}));
    EXPECT_TRUE(headTiesWith(e, EntryList{E(7, 2, "x"), E(1, 0, "y")}));
    EXPECT_FALSE(headTiesWith(e, EntryList{E(7, 3, "x"), E(7, 2, "y")}));
    EXPECT_FALSE(headTiesWith(e, EntryList{E(8, 2, "x"), E(7, 2, "y")}));
}

TEST(ComputeLists, RunExtractors) {
    const EntryList run = {E(7, 2, "a"), E(7, 2, "b"), E(7, 3, "c"), E(9, 2, "d")};
    EXPECT_EQ(show(leadingTiesRaised(7, 2, 5, run)), "7:7:a 7:7:b");
    EXPECT_EQ(show(leadingTiesRaised(7, 2, 0, run)), "7:2:a 7:2:b");
    EXPECT_EQ(show(leadingTiesRaised(7, 2, 5, EntryList{E(7, 3, "c")})), "");
    EXPECT_EQ(show(leadingTiesRaised(7, 2, 5, EntryList{E(8, 0, "c")})), "");
    EXPECT_EQ(show(leadingTiesRaised(7, 2, 5, EntryList{})), "");
    // Entries before the run end it.
    EXPECT_EQ(show(leadingTiesRaised(7, 2, 5, EntryList{E(6, 2, "c"), E(7, 2, "d")})), "");
    EXPECT_EQ(show(leadingTiesRaised(7, 2, 5, EntryList{E(7, 1, "c"), E(7, 2, "d")})), "");

    EXPECT_EQ(show(leadingTiesRaised(7, 2, 1, run)), "7:3:a 7:3:b");
    EXPECT_EQ(show(leadingTiesRaised(9, 2, 1, run)), "");

    // Fields other than the cost are kept by both position-run extractors.
    EmbeddingEntry rich{7, 4, 12, 2, 2, elem("r")};
    const EntryList got = leadingTiesRaised(7, 2, 1, EntryList{rich});
    ASSERT_EQ(got.size(), 1u);
    EXPECT_EQ(full(got[0]), "7/4/12/2/3:r");
}

TEST(ComputeLists, ExtractSameCostMakesWholeQueryEntries) {
    const EntryList in = {Ef(5, 3, 9, 2, 2, "a"), Ef(6, 2, 7, 0, 2, "b"), E(8, 3, "c"), E(9, 2, "d")};
    const EntryList got = leadingCostRunAsWholeQuery(2, in);
    ASSERT_EQ(got.size(), 2u);
    EXPECT_EQ(full(got[0]), "1/0/0/0/2:a");
    EXPECT_EQ(full(got[1]), "1/0/0/0/2:b");
    EXPECT_EQ(got[0].tree, in[0].tree);
    EXPECT_TRUE(leadingCostRunAsWholeQuery(2, EntryList{}).empty());
}

// ---------------------------------------------------------------------------
// Orderings.

TEST(ComputeOrdering, ByPositionThenCost) {
    struct Case {
        EntryList in;
        std::string want;
    };
    const std::vector<Case> cases = {
        {{}, ""},
        {{E(4, 9, "a")}, "4:9:a"},
        {{E(3, 0, "a"), E(2, 0, "b"), E(1, 0, "c")}, "1:0:c 2:0:b 3:0:a"},
        {{E(5, 4, "a"), E(5, 2, "b")}, "5:2:b 5:4:a"},
        {{E(5, 2, "a"), E(5, 2, "b")}, "5:2:a 5:2:b"},
        {{E(2, 9, "a"), E(1, 0, "b"), E(2, 1, "c")}, "1:0:b 2:1:c 2:9:a"},
        // Ties on position and cost keep their order wherever they stand.
        {{E(6, 1, "a"), E(2, 0, "b"), E(6, 1, "c"), E(6, 0, "d"), E(2, 0, "e")}, "2:0:b 2:0:e 6:0:d 6:1:a 6:1:c"},
    };
    for (const Case& c : cases) EXPECT_EQ(show(sortByPositionThenCost(c.in)), c.want) << c.want;
}

TEST(ComputeOrdering, ByCost) {
    EXPECT_EQ(show(sortByCost(EntryList{})), "");
    EXPECT_EQ(show(sortByCost(EntryList{E(1, 3, "a"), E(2, 1, "b"), E(3, 3, "c"), E(4, 0, "d")})), "4:0:d 2:1:b 1:3:a 3:3:c");
    EXPECT_EQ(show(sortByCost(EntryList{E(9, 1, "a"), E(1, 1, "b")})), "9:1:a 1:1:b");
    EXPECT_TRUE(costAtMost(E(1, 2, "a"), E(1, 2, "b")));
    EXPECT_FALSE(costBelow(E(1, 2, "a"), E(1, 2, "b")));
    EXPECT_TRUE(costBelow(E(9, 1, "a"), E(1, 2, "b")));
}

// ---------------------------------------------------------------------------
// Joined entries.

TEST(ComputeJoin, KeepsFirstRootAndSharesChildren) {
    const auto* b1 = elem("b1");
    const auto* c1 = elem("c1");
    const auto* c2 = text("t");
    const auto* x = axf::xml::makeTree(axf::xml::ELNode{"a^2^7", {{"k", "v"}}}, {b1});
    const auto* y = elem("other", {c1, c2});
    const EmbeddingEntry j = joinEntries(Ef(7, 2, 12, 0, 1, x), Ef(7, 4, 30, 2, 3, y), 10, "combineAndBest");
    EXPECT_EQ(full(j), "7/2/12/0/14:a^2^7(b1,c1,'t')");
    const auto& root = std::get<axf::xml::ELNode>(j.tree->value);
    ASSERT_EQ(root.attributes.size(), 1u);
    EXPECT_EQ(root.attributes[0].second, "v");
    ASSERT_EQ(j.tree->kidCount, 3u);
    EXPECT_EQ(j.tree->kids[0], b1);
    EXPECT_EQ(j.tree->kids[1], c1);
    EXPECT_EQ(j.tree->kids[2], c2);
    // A first root without children gives a root over the second's children;
    // a second root without children adds nothing.
    EXPECT_EQ(shape(joinEntries(E(1, 0, "a"), E(1, 0, "z(p,q)"), 0, "t").tree), "a(p,q)");
    EXPECT_EQ(shape(joinEntries(E(1, 0, "a(p)"), E(1, 0, "z"), 0, "t").tree), "a(p)");
}

TEST(ComputeJoin, NonElementRootFailsOnlyWhenTheTreeIsRead) {
    const EmbeddingEntry x = Ef(4, 2, 6, 0, 1, elem("a", {elem("b")}));
    const EmbeddingEntry t = Ef(4, 2, 6, 2, 2, text("word"));

    // No failure while combining: the entry is complete, its tree defers the error.
    EntryList got;
    ASSERT_NO_THROW(got = combineAndBest(EntryList{x}, EntryList{t}, 1));
    ASSERT_EQ(got.size(), 1u);
    EXPECT_EQ(full(got[0]).substr(0, 10), "4/2/6/0/4:");
    ASSERT_TRUE(isDeferredFailure(got[0].tree));
    EXPECT_EQ(deferredFailureText(got[0].tree), "combineAndBest: second tree root is a text node");
    try {
        throwIfDeferredFailure(got[0].tree);
        FAIL() << "no error";
    } catch (const axf::InternalError& e) {
        EXPECT_STREQ(e.what(), "combineAndBest: second tree root is a text node");
    }

    const EntryList first = combineOrAll(EntryList{t}, EntryList{Ef(4, 2, 6, 0, 2, elem("c"))}, 0);
    ASSERT_EQ(first.size(), 1u);
    EXPECT_EQ(deferredFailureText(first[0].tree), "combineOrAll: first tree root is a text node");

    // A failure tree joined again keeps its own error; ordinary trees pass the check.
    const EntryList again = combineOrBest(got, EntryList{Ef(4, 0, 0, 0, 4, elem("c"))}, 0);
    ASSERT_EQ(again.size(), 1u);
    EXPECT_EQ(deferredFailureText(again[0].tree), "combineAndBest: second tree root is a text node");
    EXPECT_NO_THROW(throwIfDeferredFailure(x.tree));
    EXPECT_FALSE(isDeferredFailure(t.tree));
}

// ---------------------------------------------------------------------------
// And, mode best.

TEST(CombineAndBest, WorkedExample) {
    const EntryList first = {Ef(7, 2, 12, 0, 0, "a(b1)"), Ef(7, 2, 12, 0, 2, "a(b2)"), Ef(20, 2, 22, 2, 5, "a(b3)")};
    const EntryList second = {Ef(7, 2, 12, 0, 4, "a(c1)"), Ef(7, 2, 12, 0, 4, "a(c2)"), Ef(30, 2, 32, 0, 0, "a(c3)")};
    const EntryList got = andBestOrdered(first, second, 1);
    ASSERT_EQ(got.size(), 1u);
    EXPECT_EQ(full(got[0]), "7/2/12/0/5:a(b1,c1)");
}

TEST(CombineAndBest, Cases) {
    struct Case {
        EntryList first, second;
        std::int64_t n;
        std::string want;
    };
    const std::vector<Case> cases = {
        {{}, {}, 0, ""},
        {{}, {E(1, 0, "a")}, 0, ""},
        {{E(1, 0, "a")}, {}, 0, ""},
        {{E(1, 0, "a"), E(3, 0, "b")}, {E(2, 0, "c"), E(4, 0, "d")}, 0, ""},
        {{E(3, 1, "a"), E(5, 1, "b(p)")}, {E(4, 0, "c"), E(5, 2, "d(q)")}, 0, "5:3:b(p,q)"},
        // Later entries of a settled position are skipped even when as cheap.
        {{E(5, 1, "a(p)"), E(5, 1, "b(q)"), E(6, 0, "c")},
         {E(5, 1, "d(r)"), E(5, 1, "e(s)"), E(6, 2, "f")},
         3,
         "5:5:a(p,r) 6:5:c"},
    };
    for (const Case& c : cases) EXPECT_EQ(show(andBestOrdered(c.first, c.second, c.n)), c.want) << c.want;
}

TEST(CombineAndBest, WrapperOrdersBothListsAndLeavesSecondUnreadWhenFirstIsEmpty) {
    // Unordered input: the cheapest entry of each position is joined.
    EXPECT_EQ(show(combineAndBest(EntryList{E(5, 4, "a(x)"), E(2, 0, "z"), E(5, 1, "b(y)")},
                                  EntryList{E(5, 3, "c(u)"), E(5, 0, "d(v)")}, 0)),
              "5:1:b(y,v)");
    bool evaluated = false;
    axf::Lazy<EntryList> second([&] {
        evaluated = true;
        return EntryList{E(1, 0, "a")};
    });
    EXPECT_TRUE(combineAndBest(EntryList{}, second, 0).empty());
    EXPECT_TRUE(combineAndAll(EntryList{}, second, 0).empty());
    EXPECT_FALSE(evaluated);
    EXPECT_EQ(show(combineAndBest(EntryList{E(1, 1, "b")}, second, 2)), "1:3:b");
    EXPECT_TRUE(evaluated);

    // The six through one signature: or and xor read the second list even
    // when the first is empty.
    const axf::Lazy<EntryList> one = axf::Lazy<EntryList>::ready(EntryList{E(2, 1, "c")});
    const CombineStep steps[] = {combineAndAll, combineAndBest, combineOrAll, combineOrBest, combineXorAll, combineXorBest};
    std::string got;
    for (CombineStep f : steps) {
        got += '[';
        got += show(f(EntryList{}, one, 1));
        got += ']';
    }
    EXPECT_EQ(got, "[][][2:2:c][2:2:c][2:2:c][2:2:c]");
}

// ---------------------------------------------------------------------------
// And, mode all.

TEST(CombineAndAll, Cases) {
    struct Case {
        EntryList first, second;
        std::int64_t n;
        std::string want;
    };
    const std::vector<Case> cases = {
        {{}, {E(5, 0, "a")}, 0, ""},
        {{E(5, 0, "a")}, {}, 0, ""},
        {{E(3, 1, "a"), E(5, 1, "b(p)")}, {E(5, 2, "c(q)"), E(5, 3, "d(r)"), E(7, 0, "e")}, 1, "5:4:b(p,q) 5:5:b(p,r)"},
        // The second list's entry stays for the next entry of the same position.
        {{E(5, 0, "a(p)"), E(5, 1, "b(q)")}, {E(5, 2, "c(r)")}, 0, "5:2:a(p,r) 5:3:b(q,r)"},
        // No reordering: walking for 7 drops the entry at 2 for good.
        {{E(7, 0, "a"), E(2, 0, "b")}, {E(2, 0, "c(q)"), E(7, 0, "d(r)")}, 0, "7:0:a(r)"},
        // Every pair of a position, ordered by the first list, then the second.
        {{E(2, 0, "a"), E(4, 1, "b"), E(4, 0, "c"), E(9, 0, "d")},
         {E(1, 0, "x"), E(4, 0, "y(p)"), E(4, 5, "z(q)"), E(6, 0, "w")},
         0,
         "4:1:b(p) 4:6:b(q) 4:0:c(p) 4:5:c(q)"},
    };
    for (const Case& c : cases) EXPECT_EQ(show(combineAndAll(c.first, c.second, c.n)), c.want) << c.want;
}

TEST(CombineAndAll, StepLeavesTheJoinedEntriesForTheNextEntry) {
    const EntryList second = {E(3, 0, "a"), E(5, 0, "b"), E(4, 0, "c"), E(5, 1, "d"), E(8, 0, "e"), E(5, 0, "f")};
    const AndAllStepResult s = andAllStep(E(5, 0, "x"), second, 0);
    EXPECT_EQ(show(s.joined), "5:0:x 5:1:x");
    EXPECT_EQ(show(s.rest), "5:0:b 5:1:d 8:0:e 5:0:f");
    EXPECT_EQ(show(andAllStep(E(5, 0, "x"), EntryList{}, 0).rest), "");
}

// With the lowest costs of the list an `or` combines it with, the `and` leaves
// out the pairs that combination drops, keeping one pair of a position where
// every pair is dearer.
TEST(CombineAndAll, BoundLeavesOutDearerPairs) {
    const EntryList orFirst = {E(4, 3, "o"), E(4, 2, "o2"), E(6, 0, "o3")};
    const LowestCosts bound(orFirst);
    ASSERT_NE(bound.find(4), nullptr);
    EXPECT_EQ(*bound.find(4), 2);
    EXPECT_EQ(bound.find(5), nullptr);
    const EntryList first = {E(4, 0, "a"), E(4, 1, "b"), E(5, 9, "c"), E(6, 1, "d")};
    const EntryList second = {E(4, 2, "x(p)"), E(4, 1, "y(q)"), E(4, 0, "z(r)"), E(5, 9, "w(s)"), E(6, 0, "v(t)")};
    // Position 4 keeps pairs of cost at most 2, in the unbounded order; 5 has
    // no bound; at 6 every pair is dearer than 0 and the first one stays.
    EXPECT_EQ(show(combineAndAll(first, second, 0, bound)), "4:2:a(p) 4:1:a(q) 4:0:a(r) 4:2:b(q) 4:1:b(r) 5:18:c(s) 6:1:d(t)");
    EXPECT_EQ(show(combineAndAll(first, second, 1, bound)), "4:2:a(q) 4:1:a(r) 4:2:b(r) 5:19:c(s) 6:2:d(t)");
    // Lists out of position order get the same rule.
    const EntryList unordered = {E(6, 1, "d"), E(4, 0, "a")};
    EXPECT_EQ(show(combineAndAll(unordered, second, 0, bound)), "6:1:d(t)");
    EXPECT_EQ(show(combineAndAll(EntryList{}, second, 0, bound)), "");
}

// Whatever the lists, the or-combination of the bounded `and` equals that of
// the full one.
TEST(ComputeProperties, BoundedAndAllUnderOrAll) {
    std::mt19937 rng(11);
    for (int round = 0; round < 600; ++round) {
        const bool ordered = round % 4 != 0;
        auto randomList = [&](char tag, int maxLen) {
            EntryList l;
            const int len = static_cast<int>(rng() % maxLen);
            for (int i = 0; i < len; ++i) {
                const std::string name = std::string(1, tag) + std::to_string(i);
                l.push_back(E(1 + rng() % 4, rng() % 4, name + "(" + name + "k)"));
            }
            if (ordered) l = sortByPositionThenCost(l);
            auto byPosition = [](const EmbeddingEntry& x, const EmbeddingEntry& y) { return x.position < y.position; };
            if (ordered && rng() % 2) std::stable_sort(l.begin(), l.end(), byPosition);
            return l;
        };
        const EntryList orFirst = randomList('f', 7);
        const EntryList a = randomList('a', 7);
        const EntryList b = randomList('b', 7);
        const std::int64_t n = rng() % 3, m = rng() % 2;
        const LowestCosts bound(orFirst);
        const EntryList full = combineAndAll(a, b, n);
        const EntryList bounded = combineAndAll(a, b, n, bound);
        ASSERT_LE(bounded.size(), full.size());
        ASSERT_EQ(full.empty(), bounded.empty());
        ASSERT_EQ(showFull(combineOrAll(orFirst, bounded, m)), showFull(combineOrAll(orFirst, full, m)))
            << show(orFirst) << " | " << show(a) << " | " << show(b) << " n=" << n;
        // A further `and` step over the bounded result of lists in position
        // order, costs never negative.
        if (!ordered) continue;
        const EntryList c = randomList('c', 5);
        const EntryList full3 = combineAndAll(full, c, n);
        const EntryList bounded3 = combineAndAll(bounded, c, n, bound);
        ASSERT_EQ(full3.empty(), bounded3.empty());
        ASSERT_EQ(showFull(combineOrAll(orFirst, bounded3, m)), showFull(combineOrAll(orFirst, full3, m)))
            << show(orFirst) << " | " << show(a) << " | " << show(b) << " | " << show(c) << " n=" << n;
    }
}

// Joining several lists at once gives the pairwise fold's list; with a bound,
// the or- and xor-combinations with the bounding list, on either side, are
// those of the whole list, and so are the lowest costs computed without it.
TEST(ComputeProperties, SumOfManyListsMatchesThePairwiseFold) {
    std::mt19937 rng(21);
    auto randomList = [&](char tag, int maxLen, int positions) {
        EntryList l;
        const int len = static_cast<int>(rng() % maxLen);
        for (int i = 0; i < len; ++i) {
            const std::string name = std::string(1, tag) + std::to_string(i);
            l.push_back(Ef(1 + rng() % positions, rng() % 3, 9, rng() % 2, rng() % 5, name + "(" + name + "k)"));
        }
        // Ascending by position, each position's entries in any cost order.
        std::stable_sort(l.begin(), l.end(),
                         [](const EmbeddingEntry& x, const EmbeddingEntry& y) { return x.position < y.position; });
        return l;
    };
    for (int round = 0; round < 3000; ++round) {
        const int positions = 1 + static_cast<int>(rng() % 4);
        const std::size_t k = 1 + rng() % 4;
        std::vector<EntryList> lists;
        for (std::size_t i = 0; i < k; ++i) lists.push_back(randomList(static_cast<char>('a' + i), 6, positions));
        const std::vector<EntrySpan> spans(lists.begin(), lists.end());
        const std::int64_t n = rng() % 3;
        EntryList foldAll = lists[0], foldBest = lists[0];
        for (std::size_t i = 1; i < k; ++i) {
            foldAll = combineAndAll(foldAll, lists[i], n);
            foldBest = combineAndBest(foldBest, lists[i], n);
        }
        ASSERT_EQ(showFull(combineAndAll(spans, n)), showFull(foldAll)) << round;
        ASSERT_EQ(showFull(combineAndBest(spans, n)), showFull(foldBest)) << round;
        ASSERT_EQ(showFull(combineAndAll(spans, n, nullptr)), showFull(foldAll)) << round;

        const EntryList other = randomList('o', 6, positions);
        const LowestCosts bound(other);
        const EntryList bounded = combineAndAll(spans, n, &bound);
        ASSERT_LE(bounded.size(), foldAll.size());
        const std::int64_t m = rng() % 2;
        ASSERT_EQ(showFull(combineOrAll(other, bounded, m)), showFull(combineOrAll(other, foldAll, m))) << round;
        ASSERT_EQ(showFull(combineOrAll(bounded, other, m)), showFull(combineOrAll(foldAll, other, m))) << round;
        ASSERT_EQ(showFull(combineXorAll(other, bounded, m)), showFull(combineXorAll(other, foldAll, m))) << round;
        ASSERT_EQ(showFull(combineXorAll(bounded, other, m)), showFull(combineXorAll(foldAll, other, m))) << round;

        const LowestCosts lowest = lowestOfAndAll(spans, n), direct(foldAll);
        for (std::int64_t p = 0; p <= positions + 1; ++p) {
            const std::int64_t* a = lowest.find(p);
            const std::int64_t* b = direct.find(p);
            ASSERT_EQ(a == nullptr, b == nullptr) << round << " position " << p;
            if (a) {
                ASSERT_EQ(*a, *b) << round << " position " << p;
            }
        }
    }
}

// Under a CoverScope, the joins of mode all over runs of one cost keep a part
// of the full list: in its order, with its first entry and its runs of one
// position and cost, and covering together, in each such run, the children
// the full run covers. A run that mixes costs is joined in full.
TEST(ComputeProperties, CoveringJoinsKeepWhatTheFullListCovers) {
    std::mt19937 rng(31);
    auto randomList = [&](char tag, int positions, bool mixed) {
        EntryList l;
        for (int p = 1; p <= positions; ++p) {
            const int len = static_cast<int>(rng() % 4);
            const std::int64_t cost = rng() % 3;
            for (int i = 0; i < len; ++i) {
                const std::string name = std::string(1, tag) + std::to_string(p) + std::to_string(i);
                l.push_back(Ef(p, 0, 9, 0, mixed ? rng() % 3 : cost, name + "(" + name + "k)"));
            }
        }
        return l;
    };
    using Key = std::pair<std::int64_t, std::int64_t>;
    auto runs = [](const EntryList& l) {
        std::vector<Key> keys;
        std::map<Key, std::set<std::string>> covered;
        for (const EmbeddingEntry& e : l) {
            const Key key{e.position, e.cost};
            if (keys.empty() || keys.back() != key) keys.push_back(key);
            for (const axf::xml::Tree* c : e.tree->children()) covered[key].insert(shape(c));
        }
        return std::make_pair(keys, covered);
    };
    auto check = [&](const EntryList& full, const EntryList& cover, int round) {
        ASSERT_LE(cover.size(), full.size()) << round;
        ASSERT_EQ(full.empty(), cover.empty()) << round;
        if (full.empty()) return;
        ASSERT_EQ(item(full.front()), item(cover.front())) << round;
        std::size_t at = 0;  // a part of the full list, in its order
        for (const EmbeddingEntry& e : cover) {
            while (at < full.size() && item(full[at]) != item(e)) ++at;
            ASSERT_LT(at++, full.size()) << round << " " << item(e);
        }
        ASSERT_EQ(runs(full), runs(cover)) << round;
    };
    for (int round = 0; round < 2000; ++round) {
        const int positions = 1 + static_cast<int>(rng() % 3);
        const bool mixed = rng() % 4 == 0;
        const std::size_t k = 2 + rng() % 3;
        std::vector<EntryList> lists;
        for (std::size_t i = 0; i < k; ++i) lists.push_back(randomList(static_cast<char>('a' + i), positions, mixed));
        const std::vector<EntrySpan> spans(lists.begin(), lists.end());
        const std::int64_t n = rng() % 3;
        const EntryList other = randomList('o', positions, false);
        const LowestCosts bound(other);
        const EntryList fullAnd = combineAndAll(spans, n), fullBounded = combineAndAll(spans, n, &bound);
        const EntryList fullOr = combineOrAll(lists[0], lists[1], n);
        EntryList coverAnd, coverBounded, coverOr;
        {
            CoverScope cover;
            coverAnd = combineAndAll(spans, n);
            coverBounded = combineAndAll(spans, n, &bound);
            coverOr = combineOrAll(lists[0], lists[1], n);
        }
        check(fullAnd, coverAnd, round);
        check(fullBounded, coverBounded, round);
        check(fullOr, coverOr, round);
        // Outside the scope the joins are whole again.
        ASSERT_EQ(showFull(combineAndAll(spans, n)), showFull(fullAnd)) << round;
    }
    // Three runs of two at one position: the first entry, then each entry of
    // every run once, in the full list's order.
    const EntryList a = {E(4, 0, "a(a1)"), E(4, 0, "a(a2)")}, b = {E(4, 1, "b(b1)"), E(4, 1, "b(b2)")},
                    c = {E(4, 0, "c(c1)"), E(4, 0, "c(c2)")};
    const std::vector<EntrySpan> three = {a, b, c};
    CoverScope cover;
    EXPECT_EQ(show(combineAndAll(three, 1)), "4:3:a(a1,b1,c1) 4:3:a(a1,b1,c2) 4:3:a(a1,b2,c1) 4:3:a(a2,b1,c1)");
    EXPECT_EQ(show(combineOrAll(a, EntryList{E(4, 0, "x(x1)"), E(4, 0, "x(x2)")}, 0)), "4:0:a(a1,x1) 4:0:a(a1,x2) 4:0:a(a2,x1)");
    // A run that mixes costs: the whole product.
    const EntryList m = {E(4, 0, "m(m1)"), E(4, 2, "m(m2)")};
    const std::vector<EntrySpan> mixedRun = {a, m};
    EXPECT_EQ(show(combineAndAll(mixedRun, 0)), "4:0:a(a1,m1) 4:2:a(a1,m2) 4:0:a(a2,m1) 4:2:a(a2,m2)");
}

// The or of whole queries over several operands at once gives the pairwise
// fold's list, and builds no more entries than that list holds.
TEST(ComputeProperties, WholeQueryOrOfManyOperandsMatchesThePairwiseFold) {
    std::mt19937 rng(22);
    for (int round = 0; round < 2000; ++round) {
        const std::size_t k = 2 + rng() % 4;
        std::vector<EntryList> ops;
        for (std::size_t i = 0; i < k; ++i) {
            EntryList l;
            const int len = static_cast<int>(rng() % 4);
            for (int j = 0; j < len; ++j) {
                const std::string name = std::string(1, static_cast<char>('a' + i)) + std::to_string(j);
                l.push_back(E(1 + rng() % 5, rng() % 3, rng() % 5 ? name : "or(" + name + ")"));
            }
            ops.push_back(l);
        }
        EntryList fold = ops[0];
        for (std::size_t i = 1; i < k; ++i) fold = combineQueriesOrAll(EntrySpan(fold), EntrySpan(ops[i]));
        const std::vector<EntrySpan> spans(ops.begin(), ops.end());
        ASSERT_EQ(showFull(combineQueriesOrAll(std::span<const EntrySpan>(spans))), showFull(fold)) << round;
    }
}

// ---------------------------------------------------------------------------
// Or, mode best.

TEST(CombineOrBest, WorkedExample) {
    const EntryList first = {Ef(3, 2, 4, 0, 0, "A"), Ef(8, 2, 9, 0, 2, "B(b)"), Ef(8, 2, 9, 0, 7, "B2"),
                             Ef(12, 4, 13, 2, 1, "C")};
    const EntryList second = {Ef(5, 2, 6, 0, 0, "D"), Ef(8, 2, 9, 0, 2, "E(e1,e2)"), Ef(12, 4, 13, 0, 3, "F"),
                              Ef(20, 2, 21, 0, 4, "G"), Ef(20, 2, 21, 0, 6, "G2")};
    EXPECT_EQ(showFull(orBestOrdered(first, second, 5)),
              "3/2/4/0/5:A 5/2/6/0/5:D 8/2/9/0/9:B(b,e1,e2) 12/4/13/2/6:C 20/2/21/0/9:G");
}

TEST(CombineOrBest, Cases) {
    struct Case {
        EntryList first, second;
        std::int64_t n;
        std::string want;
    };
    const std::vector<Case> cases = {
        {{}, {}, 3, ""},
        {{}, {E(5, 1, "a"), E(5, 3, "b"), E(6, 0, "c")}, 2, "5:3:a 6:2:c"},
        {{E(5, 1, "a"), E(5, 3, "b"), E(6, 0, "c")}, {}, 2, "5:3:a 6:2:c"},
        {{E(4, 4, "a")}, {E(4, 2, "b")}, 1, "4:3:b"},
        {{E(4, 2, "a(p)")}, {E(4, 2, "b(q)")}, 1, "4:5:a(p,q)"},
        {{E(4, 2, "a")}, {E(4, 2, "b(q,r)")}, 0, "4:4:a(q,r)"},
        // While the other list has entries, every entry of an unshared position passes.
        {{E(2, 0, "a"), E(2, 1, "b"), E(9, 0, "c")}, {E(5, 0, "d")}, 0, "2:0:a 2:1:b 5:0:d 9:0:c"},
    };
    for (const Case& c : cases) EXPECT_EQ(show(orBestOrdered(c.first, c.second, c.n)), c.want) << c.want;

    const EntryList merged = orBestOrdered(EntryList{Ef(4, 2, 5, 0, 2, "a")}, EntryList{Ef(4, 6, 9, 2, 2, "b")}, 0);
    ASSERT_EQ(merged.size(), 1u);
    EXPECT_EQ(full(merged[0]), "4/2/5/0/4:a");
}

TEST(CombineOrBest, WrapperOrders) {
    const EntryList four = {E(4, 3, "a"), E(4, 1, "b"), E(4, 2, "c")};
    EXPECT_EQ(show(combineOrBest(EntryList{}, four, 2)), "4:3:b");
    EXPECT_EQ(show(combineOrBest(EntryList{}, EntryList{}, 2)), "");
}

// ---------------------------------------------------------------------------
// Xor.

TEST(CombineXor, WorkedExampleBothModes) {
    const EntryList first = {E(4, 0, "a1"), E(4, 0, "a2"), E(4, 5, "a3"), E(7, 2, "b1"), E(12, 1, "c1")};
    const EntryList second = {E(4, 0, "d1"), E(4, 0, "d2"), E(7, 1, "e1"), E(7, 1, "e2"), E(7, 4, "e3"), E(10, 0, "f1")};
    EXPECT_EQ(show(xorAllOrdered(first, second, 3)), "4:3:a1 4:3:a2 7:4:e1 7:4:e2 10:3:f1 12:4:c1");
    EXPECT_EQ(show(xorBestOrdered(first, second, 3)), "4:3:a1 7:4:e1 10:3:f1 12:4:c1");
}

TEST(CombineXor, Cases) {
    struct Case {
        EntryList first, second;
        std::int64_t n;
        std::string best, all;
    };
    const EntryList pqrs = {E(3, 1, "p"), E(3, 1, "q"), E(3, 2, "r"), E(5, 0, "s")};
    const std::vector<Case> cases = {
        {{}, {}, 1, "", ""},
        {{}, pqrs, 5, "3:6:p 5:5:s", "3:6:p 3:6:q 5:5:s"},
        {pqrs, {}, 5, "3:6:p 5:5:s", "3:6:p 3:6:q 5:5:s"},
        {{E(3, 2, "a"), E(3, 2, "b")}, {E(3, 2, "c")}, 0, "3:2:a", "3:2:a 3:2:b"},
        {{E(3, 1, "a"), E(3, 1, "b"), E(3, 4, "c")}, {E(3, 2, "d")}, 1, "3:2:a", "3:2:a 3:2:b"},
        {{E(3, 2, "a"), E(3, 2, "b"), E(3, 2, "c")}, {E(3, 1, "d"), E(3, 1, "e")}, 0, "3:1:d", "3:1:d 3:1:e"},
        // Out of order: a cheaper entry behind a dearer one of its position is skipped.
        {{E(3, 5, "a"), E(3, 1, "b"), E(2, 0, "c"), E(3, 0, "d")}, {}, 0, "3:5:a 2:0:c 3:0:d", "3:5:a 2:0:c 3:0:d"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(show(xorBestOrdered(c.first, c.second, c.n)), c.best) << c.best;
        EXPECT_EQ(show(xorAllOrdered(c.first, c.second, c.n)), c.all) << c.all;
    }
    // Emitted entries keep every field but the cost.
    const EntryList got = combineXorAll(EntryList{Ef(3, 4, 8, 2, 1, "a")}, EntryList{}, 2);
    ASSERT_EQ(got.size(), 1u);
    EXPECT_EQ(full(got[0]), "3/4/8/2/3:a");
    // The wrappers order their lists first.
    EXPECT_EQ(show(combineXorAll(EntryList{E(3, 4, "a"), E(3, 1, "b"), E(3, 1, "c")}, EntryList{E(3, 2, "d")}, 0)),
              "3:1:b 3:1:c");
    EXPECT_EQ(show(combineXorBest(EntryList{E(3, 4, "a"), E(3, 1, "b")}, EntryList{E(3, 2, "d")}, 0)), "3:1:b");
}

// ---------------------------------------------------------------------------
// Or, mode all.

TEST(CombineOrAll, WorkedExample) {
    const EntryList first = {E(3, 1, "A3"), E(5, 1, "A5(p)"), E(5, 1, "A5b(q)"), E(5, 4, "A5c"), E(7, 6, "A7"), E(12, 0, "A12")};
    const EntryList second = {E(5, 1, "B5(r)"), E(5, 1, "B5b(s)"), E(5, 3, "B5c"), E(7, 2, "B7"),
                              E(7, 2, "B7b"),   E(7, 5, "B7c"),    E(9, 8, "B9")};
    EXPECT_EQ(show(combineOrAll(first, second, 10)),
              "3:11:A3 5:12:A5(p,r) 5:12:A5(p,s) 5:12:A5b(q,r) 5:12:A5b(q,s) 7:12:B7 7:12:B7b 9:18:B9 12:10:A12");
}

TEST(CombineOrAll, Cases) {
    struct Case {
        EntryList first, second;
        std::int64_t n;
        std::string want;
    };
    const std::vector<Case> cases = {
        {{}, {}, 2, ""},
        {{}, {E(4, 3, "a"), E(4, 1, "b"), E(4, 2, "c")}, 2, "4:5:a 4:3:b 4:4:c"},
        {{E(4, 3, "a"), E(4, 1, "b")}, {}, 0, "4:3:a 4:1:b"},
        {{E(5, 0, "a")}, {E(3, 0, "b")}, 1, "3:1:b 5:1:a"},
        // An entry after every entry of the second list.
        {{E(9, 0, "a")}, {E(3, 0, "b"), E(3, 2, "c"), E(5, 0, "d")}, 1, "3:1:b 3:3:c 5:1:d 9:1:a"},
        // A position only one list holds passes whole, whatever the costs.
        {{E(2, 1, "a"), E(2, 4, "b"), E(2, 9, "c"), E(6, 0, "d")},
         {E(4, 2, "e"), E(4, 7, "f"), E(6, 0, "g")},
         1,
         "2:2:a 2:5:b 2:10:c 4:3:e 4:8:f 6:1:d"},
        {{E(4, 1, "a(p)"), E(4, 1, "b(q)"), E(4, 3, "c")}, {E(4, 1, "d(r)")}, 0, "4:2:a(p,r) 4:2:b(q,r)"},
        {{E(4, 1, "a(p)"), E(4, 1, "b(q)"), E(4, 3, "c")}, {E(4, 1, "d(r)"), E(6, 0, "e")}, 0, "4:2:a(p,r) 4:2:b(q,r) 6:0:e"},
        {{E(4, 2, "a(p)"), E(4, 2, "b(q)")},
         {E(4, 2, "c(r)"), E(4, 2, "d(s)"), E(4, 5, "e")},
         3,
         "4:7:a(p,r) 4:7:a(p,s) 4:7:b(q,r) 4:7:b(q,s)"},
        {{E(4, 1, "a")}, {E(4, 3, "b"), E(4, 3, "c")}, 2, "4:3:a"},
        // Dearer entries behind equal cheapest ones are dropped on both sides.
        {{E(4, 1, "a(p)"), E(4, 2, "b"), E(8, 0, "c")}, {E(4, 1, "d(r)"), E(4, 6, "e")}, 0, "4:2:a(p,r) 8:0:c"},
        // The second list is cheaper at a shared position: its cheapest run only.
        {{E(4, 3, "a"), E(4, 3, "b")}, {E(4, 1, "c"), E(4, 1, "d"), E(4, 2, "e"), E(5, 0, "f")}, 0, "4:1:c 4:1:d 5:0:f"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(show(combineOrAll(c.first, c.second, c.n)), c.want) << c.want;
        // The worker over lists already in order gives the same list when
        // both are non-empty (the wrapper passes an empty side through).
        if (!c.first.empty() && !c.second.empty()) {
            EXPECT_EQ(show(orAllOrdered(c.first, c.second, c.n)), c.want) << c.want;
        }
    }

    const EntryList merged = combineOrAll(EntryList{Ef(4, 2, 5, 0, 1, "a")}, EntryList{Ef(4, 8, 9, 2, 1, "b")}, 0);
    ASSERT_EQ(merged.size(), 1u);
    EXPECT_EQ(full(merged[0]), "4/2/5/0/2:a");
}

TEST(CombineOrAll, StepRules) {
    struct Case {
        EmbeddingEntry a;
        EntryList second, rest;
        bool joined;
        std::string emitted, secondLeft, firstLeft;
    };
    const EntryList rest = {E(5, 1, "r1"), E(5, 4, "r2"), E(9, 0, "r3")};
    const std::vector<Case> cases = {
        // rule 1, 2, 3
        {E(5, 1, "a"), {E(7, 0, "x")}, rest, 0, "5:1:a", "7:0:x", "5:1:r1 5:4:r2 9:0:r3"},
        {E(5, 2, "a"), {E(7, 0, "x")}, rest, 1, "", "7:0:x", "9:0:r3"},
        // rule 4 resets `joined`
        {E(5, 2, "a"), {E(2, 0, "x"), E(7, 0, "y")}, rest, 1, "2:0:x 5:2:a", "7:0:y", "5:1:r1 5:4:r2 9:0:r3"},
        // rules 5 and 6
        {E(5, 1, "a"), {E(5, 3, "x"), E(5, 4, "y"), E(8, 0, "z")}, rest, 0, "5:1:a", "5:3:x 5:4:y 8:0:z", "5:1:r1 5:4:r2 9:0:r3"},
        {E(5, 2, "a"), {E(5, 3, "x"), E(5, 4, "y"), E(8, 0, "z")}, rest, 0, "5:2:a", "8:0:z", "9:0:r3"},
        // rule 9 does not look at `joined`
        {E(5, 2, "a"), {E(5, 1, "x"), E(5, 1, "y"), E(5, 2, "z"), E(8, 0, "w")}, rest, 1, "5:1:x 5:1:y", "8:0:w", "9:0:r3"},
        // rule 10 hands the second list back whole; rule 11 consumes it
        {E(5, 1, "a(p)"),
         {E(5, 1, "x(q)"), E(5, 1, "y(r)"), E(5, 3, "z")},
         rest,
         0,
         "5:2:a(p,q) 5:2:a(p,r)",
         "5:1:x(q) 5:1:y(r) 5:3:z",
         "5:1:r1 5:4:r2 9:0:r3"},
        {E(5, 1, "a(p)"), {E(5, 1, "x(q)"), E(5, 3, "z"), E(6, 0, "w")}, {E(5, 4, "r2")}, 0, "5:2:a(p,q)", "6:0:w", ""},
        // empty second list
        {E(5, 1, "a"), {}, rest, 0, "5:1:a", "", "5:1:r1 5:4:r2 9:0:r3"},
        {E(5, 2, "a"), {}, rest, 1, "", "", "9:0:r3"},
    };
    for (const Case& c : cases) {
        const OrAllStepResult s = orAllStep(c.a, c.second, c.rest, 0, c.joined, headTiesWith(c.a, c.rest));
        EXPECT_EQ(show(s.emitted), c.emitted) << c.emitted;
        EXPECT_EQ(show(s.secondLeft), c.secondLeft) << c.emitted;
        EXPECT_EQ(show(s.firstLeft), c.firstLeft) << c.emitted;
    }
    // Out of order, a join followed by an earlier entry: the joined entry is
    // still handed back in front of what the rest of the step leaves.
    const OrAllStepResult s =
        orAllStep(E(5, 1, "a"), EntryList{E(5, 1, "x"), E(2, 0, "y"), E(7, 0, "z")}, EntryList{E(5, 1, "b")}, 0, 0, true);
    EXPECT_EQ(show(s.emitted), "5:2:a 2:0:y 5:1:a");
    EXPECT_EQ(show(s.secondLeft), "5:1:x 7:0:z");
    EXPECT_EQ(show(s.firstLeft), "5:1:b");
}

// ---------------------------------------------------------------------------
// Position by position, the all-mode `or` and the `xor` combinations give
// what their rules add up to, on random lists with many ties.

struct Group {
    std::vector<EmbeddingEntry> first, second;
};

EntryList cheapestRun(const std::vector<EmbeddingEntry>& g, std::int64_t n) {
    EntryList r;
    for (const EmbeddingEntry& e : g)
        if (e.cost == g.front().cost) r.push_back(withCostForTest(e, n));
    return r;
}

TEST(ComputeProperties, OrAllAndXorByPosition) {
    std::mt19937 rng(7);
    for (int round = 0; round < 400; ++round) {
        auto randomList = [&](char tag) {
            EntryList l;
            const int len = static_cast<int>(rng() % 9);
            for (int i = 0; i < len; ++i) {
                const std::string name = std::string(1, tag) + std::to_string(i);
                l.push_back(E(1 + rng() % 4, rng() % 3, name + "(" + name + "k)"));
            }
            return l;
        };
        const EntryList first = randomList('a');
        const EntryList second = randomList('b');
        const std::int64_t n = rng() % 3;

        std::map<std::int64_t, Group> groups;
        for (const EmbeddingEntry& e : sortByPositionThenCost(first)) groups[e.position].first.push_back(e);
        for (const EmbeddingEntry& e : sortByPositionThenCost(second)) groups[e.position].second.push_back(e);
        EntryList wantMin, wantXor;
        for (const auto& [p, g] : groups) {
            EntryList m, x;
            if (g.second.empty()) {
                for (const EmbeddingEntry& e : g.first) m.push_back(withCostForTest(e, n));
                x = cheapestRun(g.first, n);
            } else if (g.first.empty()) {
                for (const EmbeddingEntry& e : g.second) m.push_back(withCostForTest(e, n));
                x = cheapestRun(g.second, n);
            } else {
                const std::int64_t c1 = g.first.front().cost, c2 = g.second.front().cost;
                if (c1 < c2) m = cheapestRun(g.first, n);
                if (c1 > c2) m = cheapestRun(g.second, n);
                if (c1 == c2)
                    for (const EmbeddingEntry& a : cheapestRun(g.first, 0))
                        for (const EmbeddingEntry& b : cheapestRun(g.second, 0)) m.push_back(joinEntries(a, b, n, "t"));
                x = cheapestRun(c1 <= c2 ? g.first : g.second, n);
            }
            wantMin.insert(wantMin.end(), m.begin(), m.end());
            wantXor.insert(wantXor.end(), x.begin(), x.end());
        }
        const std::string input = show(first) + " | " + show(second) + " | n=" + std::to_string(n);
        if (first.empty() || second.empty()) {
            // With one list empty the other passes in its own order.
            wantMin.clear();
            for (const EntryList* l : {&first, &second})
                for (const EmbeddingEntry& e : *l) wantMin.push_back(withCostForTest(e, n));
        }
        ASSERT_EQ(show(combineOrAll(first, second, n)), show(wantMin)) << input;
        ASSERT_EQ(show(combineXorAll(first, second, n)), show(wantXor)) << input;
    }
}

// ---------------------------------------------------------------------------
// The combination functions never change their inputs and add n once.

TEST(ComputeNodes, AddedCostOnceAndInputsUntouched) {
    const EntryList first = {E(3, 2, "a(p)"), E(1, 0, "b")};
    const EntryList second = {E(3, 2, "c(q)"), E(4, 0, "d")};
    const std::string before = show(first) + "|" + show(second);
    EXPECT_EQ(show(combineAndBest(first, second, 7)), "3:11:a(p,q)");
    EXPECT_EQ(show(combineAndAll(first, second, 7)), "3:11:a(p,q)");
    EXPECT_EQ(show(combineOrBest(first, second, 7)), "1:7:b 3:11:a(p,q) 4:7:d");
    EXPECT_EQ(show(combineOrAll(first, second, 7)), "1:7:b 3:11:a(p,q) 4:7:d");
    EXPECT_EQ(show(combineXorBest(first, second, 7)), "1:7:b 3:9:a(p) 4:7:d");
    EXPECT_EQ(show(combineXorAll(first, second, 7)), "1:7:b 3:9:a(p) 4:7:d");
    EXPECT_EQ(show(first) + "|" + show(second), before);
}

}  // namespace

// A product whose size does not fit in a size is the failure of an
// allocation, found before any entry is built (a wrapped count would let the
// loop run on).
TEST(ComputeProperties, WholeQueryOrProductPastAnySizeIsOutOfMemory) {
    const EntryList two{E(1, 0, "a"), E(2, 0, "b")};
    const std::vector<EntrySpan> tied(64, EntrySpan(two));  // 2^64 entries: the count wraps to 0
    EXPECT_THROW(combineQueriesOrAll(std::span<const EntrySpan>(tied)), std::bad_alloc);
}
