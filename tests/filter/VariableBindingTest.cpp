#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "common/Fatal.h"
#include "common/LargeStack.h"
#include "filter/VariableBinding.h"
#include "filter/VariableBindingInternal.h"
#include "query/Embedding.h"
#include "query/NodeLabel.h"
#include "tests/support/TreeText.h"
#include "xml/Show.h"

namespace {

using namespace axf::filter;
using axf::index::EmbeddingEntry;
using axf::index::EntryList;
using axf::testtree::showTree;
using axf::testtree::showTrees;
using axf::testtree::tree;
using axf::xml::Tree;
using axf::xml::TreeList;
namespace query = axf::query;

std::string show(const Association& a) {
    std::string out;
    for (const AssocTriple& t : a) {
        if (!out.empty()) out += ' ';
        out += t.name + ":" + std::to_string(t.number) + ":" + showTrees(t.subtrees);
    }
    return out;
}

std::string show(const EntryList& es) {
    std::string out;
    for (const EmbeddingEntry& e : es) {
        if (!out.empty()) out += ' ';
        out += std::to_string(e.position) + "," + std::to_string(e.cost) + ":" + showTree(e.tree);
    }
    return out;
}

query::NodeBinding bind(std::int64_t n, std::initializer_list<const char*> ts) {
    TreeList l;
    for (const char* t : ts) l.push_back(tree(t));
    return {n, l};
}

TEST(RebuildWithBindings, HangsBoundSubtreesAndCutsLabels) {
    struct Case {
        std::vector<query::NodeBinding> pairs;
        const char* tree;
        const char* want;
        std::size_t left;
    };
    const std::vector<Case> cases = {
        // The worked example: x takes A and becomes an element, c takes B.
        {{bind(4, {"A"}), bind(6, {"B"})}, "a^2^10(b^3^11('x^4^12'),c^6^15)", "a(b(x(A)),c(B))", 0},
        // No pairs: a document tree, labels cut; an attribute keeps its '@'.
        {{}, "person^7(@id^8('p1^9'),'hello^10','a\\^b^11')", "person(@id('p1'),'hello','a^b')", 0},
        {{}, "'empty text'", "'empty text'", 0},
        // A boolean root never takes a pair.
        {{bind(2, {"A"})}, "and^1^0(a^2^5)", "and(a(A))", 0},
        // Bound subtrees first, the element's own children after them.
        {{bind(2, {"A", "B"})}, "a^2^5(b^3^6)", "a(A,B,b)", 0},
        // A text node taking a pair without subtrees becomes a childless element.
        {{bind(3, {})}, "a^2^5('t^3^6')", "a(t)", 0},
        // Pair 3 is discarded at element 5, which does not take pair 5.
        {{bind(3, {"A"}), bind(5, {"B"})}, "r^2^1(e^5^2)", "r(e)", 1},
        // A text node with a greater number leaves the list to its sibling; an
        // element discards the head.
        {{bind(3, {"A"})}, "r^2^1('t^4^2',b^3^3)", "r('t',b(A))", 0},
        {{bind(3, {"A"})}, "r^2^1(x^4^2,b^3^3)", "r(x,b)", 0},
        // Pairs are consumed in list order.
        {{bind(5, {"A"}), bind(3, {"B"})}, "r^2^1(c^3^2,e^5^3,f^6^4)", "r(c,e(A),f)", 0},
        // Bound subtrees are inserted as they are.
        {{bind(2, {"k^9('v^10')"})}, "a^2^5", "a(k^9('v^10'))", 0},
    };
    for (const auto& c : cases) {
        auto [t, left] = rebuildWithBindings(c.pairs, tree(c.tree));
        EXPECT_EQ(showTree(t), c.want) << c.tree;
        EXPECT_EQ(left.size(), c.left) << c.tree;
    }
}

TEST(RebuildWithBindings, CutWithAttributesEqualsCutThenAdjusted) {
    const std::vector<const char*> cases = {
        "'empty text'",
        "site^1",
        "site^1(@id^2('p1^3'),name^4('Ann^5'),@blank^6,x^7(@a^8('1^9'),@b^10('2^11'),y^12))",
        // Not attributes: two children, an element child, a name cut to "@" only.
        "r^1(@two^2('a^3','b^4'),@el^5(k^6),@^7('v^8'),\\@x^9('w^10'))",
        // Escaped carets and backslashes in names and values.
        "r^1(@k\\^x^2('v\\^w\\\\^3'),t\\^u^4)",
        "r^1(a^2(b^3(@c^4('d^5'))))",
    };
    for (const char* c : cases) {
        const Tree* t = tree(c);
        EXPECT_EQ(axf::xml::showText(cutLabelsWithAttributes(t)), axf::xml::showText(query::restoreAttributes(cutLabels(t))))
            << c;
    }
    // Failures are those of cutLabels, at the same node.
    const Tree* bad =
        axf::xml::makeTree(axf::xml::ELNode{"r^1", {}},
                           {axf::xml::makeTree(axf::xml::ELNode{"@a^2", {}}, {axf::xml::leafNode(axf::xml::CXNode{"c"})})});
    std::string want, got;
    try {
        cutLabels(bad);
    } catch (const axf::InternalError& e) {
        want = e.what();
    }
    try {
        cutLabelsWithAttributes(bad);
    } catch (const axf::InternalError& e) {
        got = e.what();
    }
    EXPECT_FALSE(want.empty());
    EXPECT_EQ(got, want);
    got.clear();
    try {
        checkCutLabels(bad);
    } catch (const axf::InternalError& e) {
        got = e.what();
    }
    EXPECT_EQ(got, want);
    EXPECT_NO_THROW(checkCutLabels(tree("r^1(@a^2('v^3'),b^4)")));
}

// site^1 over a^10 (sons b^11 (over x^12), d^13) and c^15 (sons e^16, 'txt^17').
const char* const kDoc = "site^1(a^10(b^11(x^12),d^13),c^15(e^16,'txt^17'),z^18)";

TEST(FindVars, MergesVariablesWithThePreorderOfTheResult) {
    const Tree* doc = tree(kDoc);
    struct Case {
        QueryVariables vars;
        const char* result;
        const char* want;
        std::size_t left;
    };
    const std::vector<Case> cases = {
        // Query a(b(X), c(Y)) numbered 2, 3, 4 (result root is a^2^1 over the
        // document's site, for the shape).
        {{{"3", "X"}, {"4", "Y"}}, "a^2^1(b^3^10,c^4^15)", "X:3:[b^11(x^12),d^13] Y:4:[e^16,'txt^17']", 0},
        // b was deleted: X is dropped at c, Y binds there.
        {{{"3", "X"}, {"4", "Y"}}, "a^2^1(c^4^15)", "Y:4:[e^16,'txt^17']", 0},
        // The sons the match covers are not bound; all covered: no triple.
        {{{"3", "X"}}, "a^2^1(b^3^10(q^4^11))", "X:3:[d^13]", 0},
        {{{"3", "X"}}, "a^2^1(b^3^10(q^4^11,r^5^13))", "", 0},
        // Listed 4 then 3: 3 waits at node 3 for the first variable... which binds
        // at 4; the variable of 3 comes back unbound.
        {{{"4", "Y"}, {"3", "X"}}, "a^2^1(b^3^10,c^4^15)", "Y:4:[e^16,'txt^17']", 1},
        // A boolean root passes every variable to its operands.
        {{{"2", "X"}, {"5", "Y"}}, "and^1^0(a^2^10,c^5^15)", "X:2:[b^11(x^12),d^13] Y:5:[e^16,'txt^17']", 0},
        // A text node of the result binds the document node's sons.
        {{{"3", "X"}}, "a^2^1('b^3^10')", "X:3:[b^11(x^12),d^13]", 0},
        // Copies of X (marked CX) bind as X; longer names stay whole.
        {{{"3", "~X"}, {"4", "X"}}, "a^2^1(b^3^10)", "X:3:[b^11(x^12),d^13]", 1},
        // A variable the user named CX stays CX beside X.
        {{{"3", "CX"}, {"4", "X"}}, "a^2^1(b^3^10)", "CX:3:[b^11(x^12),d^13]", 1},
        {{{"3", "Name"}}, "a^2^1(b^3^10)", "Name:3:[b^11(x^12),d^13]", 0},
        {{{"3", "~X"}}, "a^2^1(b^3^10)", "X:3:[b^11(x^12),d^13]", 0},
    };
    for (const auto& c : cases) {
        auto [a, left] = findVars(doc, c.vars, tree(c.result));
        EXPECT_EQ(show(a), c.want) << c.result;
        EXPECT_EQ(left.size(), c.left) << c.result;
    }
}

TEST(UnmatchedSons, MergesByPosition) {
    TreeList sons{tree("a^3"), tree("b^6"), tree("c^9")};
    auto run = [&](std::initializer_list<const char*> ys) {
        TreeList rs;
        for (const char* y : ys) rs.push_back(tree(y));
        return showTrees(unmatchedSons(sons, rs));
    };
    EXPECT_EQ(run({"b^2^6"}), "[a^3,c^9]");
    EXPECT_EQ(run({"x^2^4", "b^3^6"}), "[a^3,b^6,c^9]");  // 4 lies inside a: nothing matches
    EXPECT_EQ(run({}), "[a^3,b^6,c^9]");
    EXPECT_EQ(run({"a^2^3", "b^2^6", "c^2^9", "q^2^40"}), "[]");
}

TEST(AssociationLists, OrderClearAndCompleteness) {
    Association a{AssocTriple{"A", 10, {}}, AssocTriple{"B", 9, {}}, AssocTriple{"C", 2, {}}};
    Association o = sortByNodeNumberDroppingRepeats(a);
    ASSERT_EQ(o.size(), 3u);
    EXPECT_EQ(std::vector<std::int64_t>({o[0].number, o[1].number, o[2].number}), std::vector<std::int64_t>({2, 9, 10}));
    EXPECT_EQ(bindingPairs(o)[2].number, 10);
    Association xs{AssocTriple{"X", 3, {}}, AssocTriple{"CY", 4, {}}};
    EXPECT_FALSE(isUnbound("X", xs));
    EXPECT_TRUE(isUnbound("Y", xs));  // names compare whole
    EXPECT_FALSE(anyUnbound({}, {}));
    EXPECT_TRUE(anyUnbound({"X", "Y"}, xs));
    EXPECT_FALSE(anyUnbound({"X", "CY"}, xs));
}

EmbeddingEntry entry(std::int64_t pos, std::int64_t cost, const char* t) {
    EmbeddingEntry e;
    e.position = pos;
    e.depth = 2;
    e.last = pos + 3;
    e.cost = cost;
    e.tree = tree(t);
    return e;
}

// Two persons; the query person(name, age(X)) is numbered person 2, name 3,
// age 4 (X on 4).
const char* const kPeople = "site^1(person^2(name^3('Ann^4'),age^5('30^6')),person^7(name^8('Bob^9'),age^10('25^11')))";
const QueryVariables kAgeVar = {{"4", "X"}};

EntryList people() { return {entry(2, 0, "person^2^2(name^3^3,age^4^5)"), entry(7, 1, "person^2^7(name^3^8,age^4^10)")}; }

RuleConditions expr(std::string text) {
    RuleConditions c;
    c.expressionConditions.push_back({std::move(text)});
    return c;
}

TEST(BindResults, PositiveRules) {
    const Tree* doc = tree(kPeople);
    // No results.
    EXPECT_EQ(show(bindResults({}, kAgeVar, doc, {}, Polarity::Positive)), "");
    // Variables without conditions: every result, fields kept, subtrees hung.
    EXPECT_EQ(show(bindResults(people(), kAgeVar, doc, {}, Polarity::Positive)),
              "2,0:person(name,age('30')) 7,1:person(name,age('25'))");
    // No variables and no conditions: labels cut, nothing inserted.
    EXPECT_EQ(show(bindResults(people(), {}, doc, {}, Polarity::Positive)), "2,0:person(name,age) 7,1:person(name,age)");
    // Conditions over a query without variables accept nothing.
    EXPECT_EQ(show(bindResults(people(), {}, doc, expr("X > 1"), Polarity::Positive)), "");
    // A condition keeps the results it holds for.
    EXPECT_EQ(show(bindResults(people(), kAgeVar, doc, expr("X > 26"), Polarity::Positive)), "2,0:person(name,age('30'))");
    // A regular-expression condition none of the subtrees satisfies.
    RuleConditions re;
    re.regexConditions = {{"X", "[a-z]+"}};
    EXPECT_EQ(show(bindResults(people(), kAgeVar, doc, re, Polarity::Positive)), "");
    // Two condition variables, one triple: skipped before any evaluation
    // (this condition would end the run with "Parse error").
    QueryVariables two = {{"4", "X"}, {"3", "Y"}};
    EXPECT_EQ(show(bindResults(people(), two, doc, expr("X > > Y"), Polarity::Positive)), "");
}

TEST(BindResults, NegatedRules) {
    const Tree* doc = tree(kPeople);
    EXPECT_EQ(show(bindResults({}, kAgeVar, doc, {}, Polarity::Negated)), "1,0:" + std::string(kPeople));
    // Each accepted match goes with its bound subtrees; the rest stays.
    EXPECT_EQ(show(bindResults(people(), kAgeVar, doc, expr("X > 26"), Polarity::Negated)),
              "1,0:site^1(person^7(name^8('Bob^9'),age^10('25^11')))");
    // Both accepted: the second removal works on what the first left.
    EXPECT_EQ(show(bindResults(people(), kAgeVar, doc, {}, Polarity::Negated)), "1,0:site^1");
    // No variables: the matches alone go; with conditions nothing goes.
    EXPECT_EQ(show(bindResults({entry(2, 0, "person^2^2(name^3^3)")}, {}, doc, {}, Polarity::Negated)),
              "1,0:site^1(person^2(age^5('30^6')),person^7(name^8('Bob^9'),age^10('25^11')))");
    EXPECT_EQ(show(bindResults(people(), {}, doc, expr("X > 1"), Polarity::Negated)), "1,0:" + std::string(kPeople));
    // Removing everything leaves "empty text".
    EXPECT_EQ(show(bindResults({entry(1, 0, "site^2^1")}, {}, doc, {}, Polarity::Negated)), "1,0:'empty text'");
}

TEST(BindResults, NegatedConditionsTestValuesAndRemoveTheNodesThemselves) {
    const Tree* doc = tree(kPeople);
    // X on the person node binds its sons name and age; the condition keeps
    // the name element whose text is "Ann "; the removal takes out that
    // element, and person stays with its age.
    QueryVariables onPerson = {{"2", "X"}};
    RuleConditions re;
    re.regexConditions = {{"X", "Ann\\s"}};
    EntryList persons{entry(2, 0, "person^2^2"), entry(7, 0, "person^2^7")};
    EXPECT_EQ(show(bindResults(persons, onPerson, doc, re, Polarity::Negated)),
              "1,0:site^1(person^2(age^5('30^6')),person^7(name^8('Bob^9'),age^10('25^11')))");
    // Expression conditions read the value of a label, never its position.
    EXPECT_EQ(show(bindResults(people(), kAgeVar, doc, expr("X = 25"), Polarity::Negated)),
              "1,0:site^1(person^2(name^3('Ann^4'),age^5('30^6')))");
}

TEST(BindResults, MultiLetterVariables) {
    const Tree* doc = tree(kPeople);
    // The condition's variables are read from its text, whole; a copy's mark
    // (CX) binds as the variable it copies.
    EXPECT_EQ(show(bindResults(people(), {{"4", "Age"}}, doc, expr("Age > 26"), Polarity::Positive)),
              "2,0:person(name,age('30'))");
    EXPECT_EQ(show(bindResults(people(), {{"4", "~X"}, {"9", "X"}}, doc, expr("X < 26"), Polarity::Positive)),
              "7,1:person(name,age('25'))");
}

TEST(BindResults, ConditionVariablesTheQueryLacks) {
    const Tree* doc = tree(kPeople);
    try {
        bindResults(people(), kAgeVar, doc, expr("Q > 1"), Polarity::Positive);
        ADD_FAILURE() << "no failure";
    } catch (const axf::Fatal& e) {
        EXPECT_STREQ(e.what(), "Attention: variable Qdoesn't exists.");
    }
    // An earlier condition removing the variable rejects the result instead.
    RuleConditions c = expr("X > 10");
    c.expressionConditions.insert(c.expressionConditions.begin(), ExpressionCondition{"X > 100"});
    QueryVariables withName = {{"3", "Y"}, {"4", "X"}};
    EXPECT_EQ(show(bindResults(people(), withName, tree("site^1(person^2(name^3('Ann^4'),age^5('30^6'),q^12))"), c,
                               Polarity::Positive)),
              "");
}

TEST(ResultBinder, ConditionFailuresComeWithTheResultThatCausesThem) {
    const Tree* doc = tree(kPeople);
    ResultBinder binder(kAgeVar, doc, expr("X > > 1"), Polarity::Positive);
    // The first result covers every son of its age: X is unbound, the result
    // is passed over before any condition runs.
    EXPECT_FALSE(binder.examine(entry(2, 0, "person^2^2(name^3^3,age^4^5('30^5^6'))")));
    EXPECT_THROW(binder.examine(entry(7, 0, "person^2^7(name^3^8,age^4^10)")), axf::Fatal);
}

TEST(BindResults, DeepDocuments) {
    axf::runWithLargeStack([] {
        const int depth = 100000;
        const Tree* t = axf::xml::text(query::makeLabel("v", depth + 1));
        for (int i = depth; i >= 2; --i) t = axf::xml::elem(query::makeLabel("d", i), {t});
        const Tree* doc = axf::xml::elem(query::makeLabel("site", 1), {t});
        EntryList r{entry(1, 0, "site^2^1")};
        EntryList out = bindResults(r, {{"2", "X"}}, doc, {}, Polarity::Positive);
        ASSERT_EQ(out.size(), 1u);
        const Tree* n = out[0].tree;
        int levels = 0;
        while (!n->isLeaf()) {
            n = n->children()[0];
            ++levels;
        }
        EXPECT_EQ(levels, depth);
        EXPECT_EQ(show(bindResults({entry(5, 0, "d^2^5")}, {}, doc, {}, Polarity::Negated)).substr(0, 30),
                  "1,0:site^1(d^2(d^3(d^4)))");
    });
}

}  // namespace
