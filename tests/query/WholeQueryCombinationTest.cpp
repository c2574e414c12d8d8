// Combination of whole-query results and their boolean result roots.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "common/Fatal.h"
#include "query/Combination.h"
#include "query/WholeQueryCombinationInternal.h"
#include "tests/query/CombinationTestUtil.h"

namespace {

using namespace axf::query;
using namespace axf::query::testutil;
using axf::xml::elem;
using axf::xml::text;

// ---------------------------------------------------------------------------
// Boolean result root.

TEST(BuildExternalTree, Arrangements) {
    struct Case {
        std::string op, left, right, want;
    };
    const std::vector<Case> cases = {
        {"and", "a", "b", "and(a,b)"},
        {"or", "a", "b", "or(a,b)"},
        {"and", "and(a,b)", "c", "and(c,a,b)"},
        {"and", "c", "and(a,b)", "and(c,a,b)"},
        {"and", "and(a,b)", "or(c,d)", "and(a,b,c,d)"},
        {"or", "xor(a)", "b", "or(b,a)"},
        // One level only.
        {"and", "or(a,and(b,c))", "d", "and(d,a,and(b,c))"},
        // Final labels and near misses are plain operands.
        {"and", "and^1^0(a)", "b", "and(and^1^0(a),b)"},
        {"and", "or^1^0(a)", "xor^1^0(b)", "and(or^1^0(a),xor^1^0(b))"},
        {"and", "AND(a)", "and (b)", "and(AND(a),and (b))"},
        {"and", "and", "c", "and(c)"},
        {"and", "'t1'", "'t2'", "and('t1','t2')"},
        {"xor", "a", "b", "xor(a,b)"},
    };
    for (const Case& c : cases) EXPECT_EQ(shape(buildExternalTree(c.op, tree(c.left), tree(c.right))), c.want) << c.want;
}

TEST(BuildExternalTree, SharesOperandsAndChainsIntoOneRoot) {
    const auto* a = elem("a^2^5");
    const auto* b = elem("b^3^9");
    const auto* c = text("c");
    const auto* ab = buildExternalTree("and", a, b);
    const auto* abc = buildExternalTree("and", ab, c);
    EXPECT_EQ(shape(abc), "and('c',a^2^5,b^3^9)");
    ASSERT_EQ(abc->kidCount, 3u);
    EXPECT_EQ(abc->kids[0], c);
    EXPECT_EQ(abc->kids[1], a);
    EXPECT_EQ(abc->kids[2], b);
    EXPECT_TRUE(std::get<axf::xml::ELNode>(abc->value).attributes.empty());
}

TEST(BuildExternalTree, OperandOutsideItsDomainFailsOnlyWhenRead) {
    const auto* withAttr = axf::xml::makeTree(axf::xml::ELNode{"a", {{"k", "v"}}}, {});
    const auto* textWithKids = axf::xml::makeTree(axf::xml::TXNode{"t"}, {elem("x")});
    const auto* comment = axf::xml::leafNode(axf::xml::CXNode{"c"});
    const auto* ok = elem("b");

    const auto* r1 = buildExternalTree("and", withAttr, ok);
    EXPECT_EQ(deferredFailureText(r1), "buildExternalTree: left operand root is an element with attributes");
    EXPECT_EQ(deferredFailureText(buildExternalTree("or", ok, textWithKids)),
              "buildExternalTree: right operand root is a text node with children");
    EXPECT_EQ(deferredFailureText(buildExternalTree("or", ok, comment)), "buildExternalTree: right operand root is a comment");
    // A failed operand carries its error into every later combination.
    EXPECT_EQ(buildExternalTree("and", ok, r1), r1);

    // A count reads only costs: combining such results does not fail.
    EntryList got;
    ASSERT_NO_THROW(got = combineQueriesAndAll(EntryList{Ef(1, 0, 0, 0, 2, withAttr)}, EntryList{E(1, 3, "b")}));
    ASSERT_EQ(got.size(), 1u);
    EXPECT_EQ(got[0].cost, 5);
    EXPECT_THROW(throwIfDeferredFailure(got[0].tree), axf::InternalError);
}

// ---------------------------------------------------------------------------
// Combination of whole-query results.

using Combine = EntryList (*)(EntrySpan, EntrySpan);

TEST(ComputeWholeQuery, Cases) {
    struct Case {
        const char* name;
        Combine f;
        EntryList first, second;
        std::string want;
    };
    const EntryList five = {E(9, 5, "a"), E(9, 3, "b"), E(9, 3, "c")};
    const std::vector<Case> cases = {
        {"combineQueriesAndBest", combineQueriesAndBest, five, {E(2, 4, "d")}, "1:7:and(b,d)"},
        {"combineQueriesAndBest", combineQueriesAndBest, five, {}, ""},
        {"combineQueriesAndBest", combineQueriesAndBest, {}, five, ""},
        {"combineQueriesAndAll", combineQueriesAndAll, five, {}, ""},
        {"combineQueriesAndAll", combineQueriesAndAll, {}, five, ""},
        {"combineQueriesAndAll",
         combineQueriesAndAll,
         {E(3, 5, "a"), E(4, 3, "b")},
         {E(5, 1, "d"), E(6, 2, "e")},
         "1:6:and(a,d) 1:7:and(a,e) 1:4:and(b,d) 1:5:and(b,e)"},
        {"combineQueriesOrBest", combineQueriesOrBest, {}, {}, ""},
        {"combineQueriesOrBest", combineQueriesOrBest, {E(3, 3, "a")}, {E(4, 5, "d")}, "1:3:a"},
        {"combineQueriesOrBest", combineQueriesOrBest, {E(3, 6, "a")}, {E(4, 5, "d")}, "1:5:d"},
        {"combineQueriesOrBest", combineQueriesOrBest, {E(3, 4, "a")}, {E(4, 4, "d")}, "1:8:or(a,d)"},
        {"combineQueriesOrBest", combineQueriesOrBest, {}, {E(3, 4, "d"), E(4, 2, "e")}, "1:2:e"},
        {"combineQueriesOrBest", combineQueriesOrBest, {E(3, 4, "d"), E(4, 2, "e")}, {}, "1:2:e"},
        {"combineQueriesOrAll", combineQueriesOrAll, {}, {}, ""},
        {"combineQueriesOrAll", combineQueriesOrAll, {E(1, 2, "a"), E(1, 4, "b"), E(1, 2, "c")}, {E(1, 3, "d")}, "1:2:a 1:2:c"},
        {"combineQueriesOrAll", combineQueriesOrAll, {E(1, 4, "a")}, {E(1, 3, "d"), E(1, 5, "e"), E(1, 3, "f")}, "1:3:d 1:3:f"},
        {"combineQueriesOrAll",
         combineQueriesOrAll,
         {E(1, 2, "a"), E(1, 2, "c")},
         {E(1, 2, "d"), E(1, 2, "e"), E(1, 5, "f")},
         "1:4:or(a,d) 1:4:or(a,e) 1:4:or(c,d) 1:4:or(c,e)"},
        {"combineQueriesOrAll", combineQueriesOrAll, {}, {E(1, 2, "a"), E(1, 1, "b"), E(1, 1, "c")}, "1:1:b 1:1:c"},
        {"combineQueriesXorBest", combineQueriesXorBest, {}, {}, ""},
        {"combineQueriesXorBest", combineQueriesXorBest, {E(3, 4, "a")}, {E(4, 4, "d")}, "1:4:a"},
        {"combineQueriesXorBest", combineQueriesXorBest, {E(3, 5, "a")}, {E(4, 4, "d")}, "1:4:d"},
        {"combineQueriesXorBest", combineQueriesXorBest, {}, {E(3, 5, "a"), E(4, 4, "d")}, "1:4:d"},
        {"combineQueriesXorAll", combineQueriesXorAll, {}, {}, ""},
        {"combineQueriesXorAll", combineQueriesXorAll, {E(3, 3, "a")}, {E(4, 3, "d"), E(4, 3, "e")}, "1:3:a"},
        {"combineQueriesXorAll", combineQueriesXorAll, {E(3, 5, "a"), E(3, 7, "b")}, {E(4, 4, "d"), E(4, 4, "e")}, "1:4:d 1:4:e"},
        {"combineQueriesXorAll", combineQueriesXorAll, {E(3, 5, "a"), E(3, 2, "b"), E(3, 2, "c")}, {}, "1:2:b 1:2:c"},
    };
    for (const Case& c : cases) EXPECT_EQ(show(c.f(c.first, c.second)), c.want) << c.name << " " << c.want;
}

TEST(ComputeWholeQuery, EveryResultIsAWholeQueryEntry) {
    const EntryList first = {Ef(7, 4, 9, 2, 1, "a"), Ef(3, 2, 5, 2, 1, "b")};
    const EntryList second = {Ef(8, 6, 8, 2, 1, "c")};
    const Combine combinations[] = {combineQueriesAndBest, combineQueriesAndAll,  combineQueriesOrBest,
                                    combineQueriesOrAll,   combineQueriesXorBest, combineQueriesXorAll};
    for (std::size_t row = 0; row < std::size(combinations); ++row) {
        SCOPED_TRACE("combination " + std::to_string(row));
        for (const EmbeddingEntry& e : combinations[row](first, second)) {
            EXPECT_EQ(e.position, 1);
            EXPECT_EQ(e.depth, 0);
            EXPECT_EQ(e.last, 0);
            EXPECT_EQ(e.renamingCost, 0);
        }
    }
    // A copy keeps the input entry's tree itself.
    EXPECT_EQ(combineQueriesXorBest(first, second)[0].tree, first[0].tree);
}

TEST(ComputeWholeQuery, FoldsOfThreeOperands) {
    const EntryList a = {E(1, 1, "a")}, b = {E(1, 2, "b")}, c = {E(1, 3, "c")};
    EXPECT_EQ(show(combineQueriesAndBest(combineQueriesAndBest(a, b), c)), "1:6:and(c,a,b)");
    const EntryList a2 = {E(1, 2, "a")}, b2 = {E(1, 2, "b")}, c4 = {E(1, 4, "c")};
    const EntryList ab = combineQueriesOrBest(a2, b2);
    EXPECT_EQ(show(ab), "1:4:or(a,b)");
    EXPECT_EQ(show(combineQueriesOrBest(ab, c4)), "1:8:or(c,a,b)");
}

}  // namespace
