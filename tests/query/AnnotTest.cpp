#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "common/Fatal.h"
#include "common/LargeStack.h"
#include "query/Costs.h"
#include "query/ExtendQuery.h"
#include "query/QueryAnnotation.h"
#include "query/QueryAnnotationInternal.h"
#include "xml/XML.h"

namespace {

using namespace axf::query;
using axf::xml::AttList;
using axf::xml::ELNode;
using axf::xml::makeTree;
using axf::xml::text;
using axf::xml::Tree;
using axf::xml::TreeList;
using axf::xml::TXNode;

using Pairs = std::vector<std::pair<std::string, std::string>>;
using CostPairs = std::vector<std::pair<std::string, std::int64_t>>;

// Query-tree shorthands: an element with attributes and children, a group.
const Tree* q(std::string name, AttList atts = {}, std::initializer_list<const Tree*> kids = {}) {
    return makeTree(ELNode{std::move(name), std::move(atts)}, kids);
}
const Tree* q(std::string name, std::initializer_list<const Tree*> kids) { return q(std::move(name), {}, kids); }
const Tree* var(std::string name, std::string v) { return q(std::move(name), {{"var", std::move(v)}}); }

// Compact shape of a renumbered tree: E3[E4[T5],T6]. Attribute lists of a
// renumbered tree must be empty; a non-empty one shows as '@'.
std::string shape(const Tree* t) {
    std::string s;
    if (const auto* el = std::get_if<ELNode>(&t->value))
        s = "E" + el->name + (el->attributes.empty() ? "" : "@");
    else
        s = "T" + std::get<TXNode>(t->value).text;
    if (t->isLeaf()) return s;
    s += "[";
    bool first = true;
    for (const Tree* c : t->children()) {
        if (!first) s += ",";
        first = false;
        s += shape(c);
    }
    return s + "]";
}

template <class L>
auto pairs(const L& l) {
    return std::vector<typename L::Pair>(l.begin(), l.end());
}

std::string fatalText(const std::function<void()>& fn) {
    try {
        fn();
    } catch (const axf::Fatal& e) {
        return e.what();
    }
    return "(no fatal)";
}

// ---------------------------------------------------------------- records

TEST(AnnotRecords, GetSDCMatchesWholeNumberTexts) {
    DeletionCostList costs{{"17", 5}, {"7", 3}, {"170", 9}};
    EXPECT_EQ(deletionCostOf("7", costs), 3);
    EXPECT_EQ(deletionCostOf("17", costs), 5);
    EXPECT_EQ(deletionCostOf("07", costs), 0);
    EXPECT_EQ(deletionCostOf("1", costs), 0);
    EXPECT_EQ(deletionCostOf("2", DeletionCostList{}), 0);
    // The first pair of a key wins.
    EXPECT_EQ(deletionCostOf("4", DeletionCostList{{"4", 1}, {"4", 2}}), 1);
    // Keys that are not plain numbers are found only by equal texts.
    DeletionCostList mixed{{"2", 1}, {"07", 2}, {"3", 3}, {"x", 4}, {"", 5}};
    const std::vector<std::pair<std::string, std::int64_t>> lookups = {{"2", 1}, {"07", 2}, {"7", 0}, {"3", 3}, {"03", 0},
                                                                       {"x", 4}, {"", 5},   {"4", 0}, {"1", 0}, {"+3", 0}};
    for (const auto& [key, want] : lookups) EXPECT_EQ(deletionCostOf(key, mixed), want) << key;
}

TEST(AnnotRecords, AddSDCPutsNonZeroCostsInFront) {
    DeletionCostList costs{{"3", 5}};
    EXPECT_EQ(pairs(withDeletionCost(12, 0, costs)), pairs(costs));
    DeletionCostList added = withDeletionCost(12, 5, costs);
    EXPECT_EQ(pairs(added), (CostPairs{{"12", 5}, {"3", 5}}));
    EXPECT_EQ(deletionCostOf("12", added), 5);
    EXPECT_EQ(pairs(costs), (CostPairs{{"3", 5}}));
}

TEST(AnnotRecords, GetVarandTypePutsNodePairsInFront) {
    struct Case {
        AttList atts;
        Pairs vars, types;
    };
    const VariableList handedVars{{"3", "Y"}};
    const SearchTypeList handedTypes{{"4", "E"}};
    const std::vector<Case> cases = {
        {{}, {{"3", "Y"}}, {{"4", "E"}}},
        {{{"var", "X"}}, {{"2", "X"}, {"3", "Y"}}, {{"4", "E"}}},
        {{{"var", "X"}, {"type", "E"}}, {{"2", "X"}, {"3", "Y"}}, {{"2", "E"}, {"4", "E"}}},
        {{{"type", "E"}, {"var", "X"}}, {{"2", "X"}, {"3", "Y"}}, {{"2", "E"}, {"4", "E"}}},
        // Two types are accepted, the second one's pair first.
        {{{"type", "E"}, {"type", "N"}}, {{"3", "Y"}}, {{"2", "N"}, {"2", "E"}, {"4", "E"}}},
    };
    for (std::size_t row = 0; row < cases.size(); ++row) {
        SCOPED_TRACE("row " + std::to_string(row));
        const Case& c = cases[row];
        auto [v, t] = prependVariablesAndTypes("2", c.atts, handedVars, handedTypes, 0);
        EXPECT_EQ(pairs(v), c.vars);
        EXPECT_EQ(pairs(t), c.types);
    }
}

TEST(AnnotRecords, GetVarandTypeRejectsMultipleVariables) {
    const std::string msg = "Multiple variable at node \"7\"";
    auto run = [](AttList atts, int count = 0) { return fatalText([&] { prependVariablesAndTypes("7", atts, {}, {}, count); }); };
    EXPECT_EQ(run({{"var", "X"}, {"var", "Y"}}), msg);
    // Three attributes fail before any of them is looked at.
    EXPECT_EQ(run({{"type", "E"}, {"type", "E"}, {"type", "E"}}), msg);
    EXPECT_EQ(run({{"foo", "1"}, {"bar", "2"}, {"baz", "3"}}), msg);
    EXPECT_EQ(run({{"var", "X"}}, 1), msg);
    EXPECT_EQ(run({}, 2), msg);
    EXPECT_THROW(prependVariablesAndTypes("7", {{"name", "X"}}, {}, {}, 0), axf::InternalError);
}

TEST(AnnotRecords, DivideArgsKeepsOrder) {
    const Tree* a = q("a", {text("t")});
    const Tree* b = q("b");
    const Tree* t = text("u");
    const Tree* c = q("c", {q("d")});
    auto [withKids, rest] = splitInnerAndLeaves({a, b, t, c});
    EXPECT_EQ(withKids, (TreeList{a, c}));
    EXPECT_EQ(rest, (TreeList{b, t}));
}

// -------------------------------------------------------- plain annotation

TEST(PlainAnnotation, WorkedExample) {
    const Tree* query = q("site", {q("and", {q("a"), var("b", "X"), text("x")})});
    PlainAnnotation a = plainAnnotation(query, 2);
    EXPECT_EQ(shape(a.tree), "E2[E3[E4,E5,T6]]");
    EXPECT_EQ(pairs(a.mapping), (Pairs{{"2", "site"}, {"3", "and"}, {"4", "a"}, {"5", "b"}, {"6", "x"}}));
    EXPECT_EQ(pairs(a.variables), (Pairs{{"5", "X"}}));
    EXPECT_TRUE(a.searchTypes.empty());
    EXPECT_EQ(a.lastNumber, 6);
    EXPECT_EQ(*a.mapping.find("5"), "b");
}

TEST(PlainAnnotation, Cases) {
    struct Case {
        const char* what;
        const Tree* query;
        std::int64_t first;
        std::string shape;
        Pairs mapping, vars, types;
        std::int64_t last;
    };
    const AttList typeE = {{"type", "E"}};
    const std::vector<Case> cases = {
        {"text leaf", text("hello world"), 2, "T2", {{"2", "hello world"}}, {}, {}, 2},
        {"one tag", q("item"), 7, "E7", {{"7", "item"}}, {}, {}, 7},
        {"var and type", q("a", {{"var", "X"}, {"type", "E"}}), 2, "E2", {{"2", "a"}}, {{"2", "X"}}, {{"2", "E"}}, 2},
        {"typed over var", q("a", typeE, {var("b", "X")}), 2, "E2[E3]", {{"2", "a"}, {"3", "b"}}, {{"3", "X"}}, {{"2", "E"}}, 3},
        {"typed over or",
         q("t", typeE, {q("or", {q("a", typeE), q("b")})}),
         2,
         "E2[E3[E4,E5]]",
         {{"2", "t"}, {"3", "or"}, {"4", "a"}, {"5", "b"}},
         {},
         {{"2", "E"}, {"4", "E"}},
         5},
        {"group of one", q("xor", {q("a")}), 4, "E4[E5]", {{"4", "xor"}, {"5", "a"}}, {}, {}, 5},
        {"empty group", q("and"), 3, "E3", {{"3", "and"}}, {}, {}, 3},
        {"nested groups",
         q("and", {q("or", {var("a", "A"), text("t")}), q("b", {var("c", "C")})}),
         10,
         "E10[E11[E12,T13],E14[E15]]",
         {{"10", "and"}, {"11", "or"}, {"12", "a"}, {"13", "t"}, {"14", "b"}, {"15", "c"}},
         {{"12", "A"}, {"15", "C"}},
         {},
         15},
        {"only first child",
         q("a", {q("b", {text("t")}), q("c")}),
         2,
         "E2[E3[T4]]",
         {{"2", "a"}, {"3", "b"}, {"4", "t"}},
         {},
         {},
         4},
        // With attributes, an element named "and" is a tag pattern.
        {"attributed and", q("and", typeE, {q("x"), q("y")}), 2, "E2[E3]", {{"2", "and"}, {"3", "x"}}, {}, {{"2", "E"}}, 3},
    };
    for (const auto& c : cases) {
        PlainAnnotation a = plainAnnotation(c.query, c.first);
        EXPECT_EQ(shape(a.tree), c.shape) << c.what;
        EXPECT_EQ(pairs(a.mapping), c.mapping) << c.what;
        EXPECT_EQ(pairs(a.variables), c.vars) << c.what;
        EXPECT_EQ(pairs(a.searchTypes), c.types) << c.what;
        EXPECT_EQ(a.lastNumber, c.last) << c.what;
    }
}

TEST(PlainAnnotation, ErrorsAndUncoveredNodes) {
    EXPECT_EQ(fatalText([] {
                  plainAnnotation(q("a", {q("b", {{"var", "X"}, {"var", "Y"}})}), 2);
              }),
              "Multiple variable at node \"3\"");
    EXPECT_THROW(plainAnnotation(makeTree(TXNode{"t"}, {text("u")}), 2), axf::InternalError);
    EXPECT_THROW(plainAnnotation(q("a", {axf::xml::leafNode(axf::xml::CXNode{"c"})}), 2), axf::InternalError);
}

TEST(PlainAnnotation, DeepQuery) {
    axf::runWithLargeStack([] {
        const int depth = 100000;
        const Tree* t = text("leaf");
        for (int i = 0; i < depth; ++i) t = q(i % 2 ? "a" : "and", {t});
        PlainAnnotation a = plainAnnotation(t, 2);
        EXPECT_EQ(a.lastNumber, depth + 2);
        EXPECT_EQ(a.mapping.size(), std::size_t(depth + 1));
        EXPECT_EQ(*a.mapping.find(std::to_string(depth + 2)), "leaf");
    });
}

// ----------------------------------------------------- extended annotation

TEST(ExtendAux, TextLeaf) {
    QueryAnnotation a = extendSubtree(text("t"), 5, 0);
    EXPECT_EQ(shape(a.tree), "T5");
    EXPECT_EQ(pairs(a.mapping), (Pairs{{"5", "t"}}));
    EXPECT_TRUE(a.deletionCosts.empty());
    EXPECT_EQ(a.lastNumber, 5);
    EXPECT_EQ(pairs(extendSubtree(text("t"), 5, 5).deletionCosts), (CostPairs{{"5", 5}}));
}

TEST(ExtendAux, ElementOverText) {
    QueryAnnotation a = extendSubtree(q("e", {text("t")}), 3, 0);
    EXPECT_EQ(shape(a.tree), "E3[E4[T5],T6]");
    EXPECT_EQ(pairs(a.mapping), (Pairs{{"3", "or"}, {"4", "e"}, {"6", "t"}, {"5", "t"}}));
    EXPECT_EQ(pairs(a.deletionCosts), (CostPairs{{"6", 5}}));
    EXPECT_EQ(a.lastNumber, 6);
    // As the top of a copy, the "or" node carries the cost too.
    EXPECT_EQ(pairs(extendSubtree(q("e", {text("t")}), 3, 5).deletionCosts), (CostPairs{{"3", 5}, {"6", 5}}));
}

TEST(ExtendAux, Groups) {
    const Tree* g = q("and", {q("x"), q("y")});
    QueryAnnotation a = extendSubtree(g, 7, 5);
    EXPECT_EQ(shape(a.tree), "E7[E8,E9]");
    EXPECT_EQ(pairs(a.mapping), (Pairs{{"7", "and"}, {"9", "y"}, {"8", "x"}}));
    EXPECT_EQ(pairs(a.deletionCosts), (CostPairs{{"7", 5}, {"9", 5}, {"8", 5}}));
    EXPECT_EQ(a.lastNumber, 9);
    EXPECT_TRUE(extendSubtree(g, 7, 0).deletionCosts.empty());

    QueryAnnotation empty = extendSubtree(q("or"), 4, 0);
    EXPECT_EQ(shape(empty.tree), "E4");
    EXPECT_EQ(empty.lastNumber, 4);
}

TEST(ExtendAux, ElementOverGroup) {
    QueryAnnotation a = extendSubtree(q("e", {q("and", {q("x"), q("y")})}), 3, 0);
    EXPECT_EQ(shape(a.tree), "E3[E4[E5[E6,E7]],E8[E9,E10]]");
    EXPECT_EQ(pairs(a.mapping),
              (Pairs{{"3", "or"}, {"4", "e"}, {"8", "and"}, {"10", "y"}, {"9", "x"}, {"5", "and"}, {"7", "y"}, {"6", "x"}}));
    EXPECT_EQ(pairs(a.deletionCosts), (CostPairs{{"8", 5}, {"10", 5}, {"9", 5}}));
    EXPECT_EQ(a.lastNumber, 10);

    // Variables and types are collected in preorder: the child's, then the copy's.
    QueryAnnotation v =
        extendSubtree(q("e", {{"type", "E"}}, {q("and", {q("x", {{"type", "E"}, {"var", "A"}}), var("y", "Bee")})}), 3, 0);
    EXPECT_EQ(pairs(v.variables), (Pairs{{"6", "A"}, {"7", "Bee"}, {"9", "~A"}, {"10", "Bee"}}));
    EXPECT_EQ(pairs(v.searchTypes), (Pairs{{"4", "E"}, {"6", "E"}, {"9", "E"}}));
}

TEST(ExtendAux, OnlyFirstChildAndMultiDigitNumbers) {
    QueryAnnotation a = extendSubtree(q("e", {text("t"), q("z")}), 98, 0);
    EXPECT_EQ(shape(a.tree), "E98[E99[T100],T101]");
    EXPECT_EQ(pairs(a.mapping), (Pairs{{"98", "or"}, {"99", "e"}, {"101", "t"}, {"100", "t"}}));
    EXPECT_EQ(a.lastNumber, 101);
}

TEST(ExtendAux, CopiedVariablesAreMarked) {
    const Tree* child = q("c", {{"var", "v"}, {"type", "E"}});
    QueryAnnotation a = extendSubtree(q("e", {child}), 3, 0);
    EXPECT_EQ(shape(a.tree), "E3[E4[E5],E6]");
    EXPECT_EQ(pairs(a.variables), (Pairs{{"5", "v"}, {"6", "~v"}}));
    EXPECT_EQ(pairs(a.searchTypes), (Pairs{{"5", "E"}, {"6", "E"}}));

    QueryAnnotation b = extendSubtree(q("e", {var("c", "Name")}), 3, 0);
    EXPECT_EQ(pairs(b.variables), (Pairs{{"5", "Name"}, {"6", "Name"}}));
}

TEST(ExtendQuery, RootForms) {
    QueryAnnotation leaf = extendQuery(q("a"), 2);
    EXPECT_EQ(shape(leaf.tree), "E2");
    EXPECT_EQ(pairs(leaf.mapping), (Pairs{{"2", "a"}}));
    EXPECT_TRUE(leaf.deletionCosts.empty() && leaf.variables.empty() && leaf.searchTypes.empty());
    EXPECT_EQ(leaf.lastNumber, 2);

    QueryAnnotation txt = extendQuery(text("x"), 2);
    EXPECT_EQ(shape(txt.tree), "T2");
    EXPECT_EQ(pairs(txt.mapping), (Pairs{{"2", "x"}}));
    EXPECT_EQ(txt.lastNumber, 2);

    QueryAnnotation overText = extendQuery(q("a", {text("x")}), 2);
    EXPECT_EQ(shape(overText.tree), "E2[T3]");
    EXPECT_EQ(pairs(overText.mapping), (Pairs{{"2", "a"}, {"3", "x"}}));
    EXPECT_TRUE(overText.deletionCosts.empty());
    EXPECT_EQ(overText.lastNumber, 3);

    // The root's child is walked with cost 0: no cost for 2 or 3.
    QueryAnnotation overLeaf = extendQuery(q("a", {q("b")}), 2);
    EXPECT_EQ(shape(overLeaf.tree), "E2[E3]");
    EXPECT_EQ(pairs(overLeaf.mapping), (Pairs{{"2", "a"}, {"3", "b"}}));
    EXPECT_TRUE(overLeaf.deletionCosts.empty());

    // The root is never wrapped, whatever its name.
    EXPECT_EQ(shape(extendQuery(q("and", {q("b", {text("t")})}), 2).tree), "E2[E3[E4[T5],T6]]");
}

TEST(ExtendQuery, ChainOverText) {
    QueryAnnotation a = extendQuery(q("a", {q("b", {text("t")})}), 2);
    EXPECT_EQ(shape(a.tree), "E2[E3[E4[T5],T6]]");
    EXPECT_EQ(pairs(a.mapping), (Pairs{{"2", "a"}, {"3", "or"}, {"4", "b"}, {"6", "t"}, {"5", "t"}}));
    EXPECT_EQ(pairs(a.deletionCosts), (CostPairs{{"6", 5}}));
    EXPECT_EQ(a.lastNumber, 6);
    EXPECT_EQ(deletionCostOf("6", a.deletionCosts), 5);
    EXPECT_EQ(deletionCostOf("3", a.deletionCosts), 0);
    EXPECT_EQ(*a.mapping.find("3"), "or");
}

TEST(ExtendQuery, RootVariablesAndTypes) {
    QueryAnnotation v = extendQuery(var("a", "X"), 2);
    EXPECT_EQ(pairs(v.variables), (Pairs{{"2", "X"}}));
    EXPECT_TRUE(v.searchTypes.empty());

    QueryAnnotation vt = extendQuery(q("a", {{"var", "X"}, {"type", "E"}}), 2);
    EXPECT_EQ(pairs(vt.variables), (Pairs{{"2", "X"}}));
    EXPECT_EQ(pairs(vt.searchTypes), (Pairs{{"2", "E"}}));

    QueryAnnotation nested = extendQuery(q("a", {{"type", "E"}}, {q("b", {{"var", "X"}, {"type", "E"}})}), 2);
    EXPECT_EQ(pairs(nested.variables), (Pairs{{"3", "X"}}));
    EXPECT_EQ(pairs(nested.searchTypes), (Pairs{{"2", "E"}, {"3", "E"}}));

    EXPECT_EQ(fatalText([] { extendQuery(q("a", {{"var", "X"}, {"var", "Y"}}), 2); }), "Multiple variable at node \"2\"");
    // An element with a child reports the number of the element, not of its "or" node.
    EXPECT_EQ(fatalText([] {
                  extendQuery(q("a", {q("b", {{"var", "X"}, {"var", "Y"}}, {text("t")})}), 2);
              }),
              "Multiple variable at node \"4\"");
}

TEST(ExtendQuery, UncoveredNodesAreInternalErrors) {
    EXPECT_THROW(extendQuery(makeTree(TXNode{"t"}, {text("u")}), 2), axf::InternalError);
    EXPECT_THROW(extendQuery(q("a", {makeTree(TXNode{"t"}, {text("u")})}), 2), axf::InternalError);
    EXPECT_THROW(extendQuery(q("a", {axf::xml::leafNode(axf::xml::PINode{"p", "x"})}), 2), axf::InternalError);
    EXPECT_THROW(extendQuery(axf::xml::leafNode(axf::xml::RTNode{}), 2), axf::InternalError);
}

TEST(ExtendQuery, DeepGroups) {
    axf::runWithLargeStack([] {
        const int depth = 100000;
        const Tree* t = q("leaf");
        for (int i = 0; i < depth; ++i) t = q(i % 2 ? "or" : "and", {t});
        QueryAnnotation a = extendQuery(q("root", {t}), 2);
        EXPECT_EQ(a.lastNumber, depth + 3);
        EXPECT_EQ(a.mapping[0], (QueryMapping::Pair{"2", "root"}));
        EXPECT_EQ(*a.mapping.find(std::to_string(depth + 3)), "leaf");
        EXPECT_TRUE(a.deletionCosts.empty());
    });
}

// Past 2^24 nodes (a chain of 23 elements below the root) the extended query
// is refused before anything is built, however deep the chain.
TEST(ExtendQuery, TooDeepToExtend) {
    for (int k : {23, 64, 5000}) {
        const Tree* t = text("t");
        for (int i = 0; i < k; ++i) t = q("a", {t});
        EXPECT_EQ(fatalText([&] { extendQuery(q("root", {t}), 2); }),
                  "Attention: the query is too deep for an approximate search: its extended form would have more "
                  "than 16777216 nodes")
            << k;
        // The plain annotation has no alternatives and no such bound.
        EXPECT_EQ(plainAnnotation(q("root", {t}), 2).lastNumber, k + 3);
    }
}

TEST(MarkDuplicate, MarksOneLetterNames) {
    EXPECT_EQ(pairs(markCopyVariables(VariableList{{"5", "X"}, {"7", "CY"}, {"9", "Name"}})),
              (Pairs{{"5", "~X"}, {"7", "CY"}, {"9", "Name"}}));
    EXPECT_TRUE(markCopyVariables(VariableList{}).empty());
    EXPECT_THROW(markCopyVariables(VariableList{{"5", ""}}), axf::InternalError);
}

// A chain below the root of k nested elements with one child each, ending
// in an element with a one-letter variable, becomes 3*2^k - 2 nodes, numbered
// consecutively in preorder, one mapping pair each; every copy of the leaf
// lists the variable marked once, and every copy's top node costs 5.
TEST(ExtendQuery, ChainSizeNumberingAndMarks) {
    for (int k = 0; k <= 8; ++k) {
        const Tree* t = var("leaf", "v");
        for (int i = 0; i < k; ++i) t = q(std::string(1, char('a' + i)), {t});
        QueryAnnotation a = extendQuery(q("root", {t}), 2);

        std::int64_t nodes = 0;
        std::int64_t expect = 2;
        bool preorder = true;
        std::vector<const Tree*> stack{a.tree};
        while (!stack.empty()) {
            const Tree* n = stack.back();
            stack.pop_back();
            preorder = preorder && std::get<ELNode>(n->value).name == std::to_string(expect++);
            ++nodes;
            for (std::size_t i = n->kidCount; i-- > 0;) stack.push_back(n->children()[i]);
        }
        const std::int64_t copies = (std::int64_t(1) << k) - 1;  // copies of the leaf
        EXPECT_TRUE(preorder) << k;
        EXPECT_EQ(nodes, 1 + 3 * (copies + 1) - 2) << k;
        EXPECT_EQ(a.lastNumber, 1 + nodes) << k;
        EXPECT_EQ(std::int64_t(a.mapping.size()), nodes) << k;
        for (std::int64_t n = 2; n <= a.lastNumber; ++n)
            EXPECT_NE(a.mapping.find(std::to_string(n)), nullptr) << k << " node " << n;

        std::int64_t plain = 0, marked = 0, other = 0;
        for (const auto& [key, name] : a.variables) ++(name == "v" ? plain : name == "~v" ? marked : other);
        EXPECT_EQ(plain, 1) << k;
        EXPECT_EQ(marked, copies) << k;
        EXPECT_EQ(other, 0) << k;
        EXPECT_EQ(std::int64_t(a.deletionCosts.size()), copies) << k;
        for (const auto& [key, cost] : a.deletionCosts) EXPECT_EQ(cost, kDeletionCost) << k << " node " << key;
    }
}

}  // namespace
