#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "common/Fatal.h"
#include "query/DeleteEmb.h"
#include "query/NodeLabel.h"
#include "tests/query/TreeText.h"
#include "xml/XML.h"

namespace {

using namespace axf::query;
using axf::testtree::showTree;
using axf::testtree::showTrees;
using axf::testtree::tree;
using axf::xml::Tree;

const char* const kPerson = "site^1(person^2(name^3('Ann^4'),age^5('30^6')))";

std::string removed(const std::string& doc, const std::string& emb, const std::vector<NodeBinding>& b = {}) {
    return showTree(deleteEmbeddingFromText(tree(doc), tree(emb), b));
}

TEST(DeleteEmb, WorkedExamples) {
    // A matched leaf goes with its subtree; the matched inner node stays while
    // it has children.
    EXPECT_EQ(removed(kPerson, "person^2^2(name^3^3)"), "site^1(person^2(age^5('30^6')))");
    // With the variable of node 2 bound to the sons name and age, the bound
    // subtrees go too, and person with them.
    NodeBinding b{"2", {tree("name^3('Ann^4')"), tree("age^5('30^6')")}};
    EXPECT_EQ(removed(kPerson, "person^2^2(name^3^3)", {b}), "site^1");
}

TEST(DeleteEmb, RemovalRulesWithoutBindings) {
    struct Case {
        const char* doc;
        const char* emb;
        const char* want;
    };
    const std::vector<Case> cases = {
        // A leaf at the root removes everything.
        {kPerson, "site^2^1", "'empty text'"},
        // A matched inner node whose children all go disappears; the element on
        // the way down stays without children.
        {"r^1(a^2(b^3(c^4)),z^5)", "b^3^3(c^4^4)", "r^1(a^2,z^5)"},
        // A matched leaf takes unmatched descendants along.
        {"r^1(a^2(b^3,c^4))", "a^2^2", "r^1"},
        // A document text is never removed by an element of the embedding, only
        // by a text at its position.
        {"r^1(a^2('t^3'))", "t^2^3", "r^1(a^2('t^3'))"},
        {"r^1(a^2('t^3'),b^4)", "'t^2^3'", "r^1(a^2,b^4)"},
        // A position that is nowhere removes nothing.
        {"r^1(a^2(b^3),c^4)", "x^2^30", "r^1(a^2(b^3),c^4)"},
        // The child search: siblings at 3, 5 and 8.
        {"r^1(a^3(x^4),b^5(y^6,w^7),c^8(z^9))", "y^2^6", "r^1(a^3(x^4),b^5(w^7),c^8(z^9))"},
        {"r^1(a^3(x^4),b^5(y^6,w^7),c^8(z^9))", "z^2^9", "r^1(a^3(x^4),b^5(y^6,w^7),c^8)"},
        // Below the first sibling's position the search still enters it.
        {"r^1(a^3(x^4),b^5)", "q^2^2", "r^1(a^3(x^4),b^5)"},
        // Two embedding children in different document children.
        {"r^1(a^2(b^3,c^4),d^5(e^6,f^7))", "r^2^1(b^3^3,e^4^6)", "r^1(a^2(c^4),d^5(f^7))"},
        // A boolean root reduces the root's children by its operands; an operand
        // matched at the root element itself is not removed.
        {"r^1(a^2,b^3,c^4)", "and^1^0(a^2^2,c^3^4)", "r^1(b^3)"},
        {"r^1(a^2,b^3)", "or^1^0(r^2^1)", "r^1(a^2,b^3)"},
        {"r^1(a^2,b^3)", "xor^1^0(a^2^2,b^3^3)", "'empty text'"},
        // A text whose own text holds '^' keeps its position.
        {"r^1('x\\^y^2',b^3)", "'x\\^y^2^2'", "r^1(b^3)"},
    };
    for (const auto& c : cases) EXPECT_EQ(removed(c.doc, c.emb), c.want) << c.doc << " - " << c.emb;
}

TEST(DeleteEmb, BindingsAreConsumedInOrder) {
    const std::string doc = "r^1(a^2(x^3,y^4),b^5(u^6,v^7))";
    // A head number below the embedding node's number is passed over for
    // good; the next one binds at b.
    NodeBinding low{"1", {tree("x^3")}};
    NodeBinding atB{"5", {tree("u^6")}};
    EXPECT_EQ(removed(doc, "r^2^1(a^3^2(y^4^4),b^5^5(v^6^7))", {low, atB}), "r^1(a^2(x^3))");
    // ... so a binding met first by a node of a greater number is lost.
    EXPECT_EQ(removed(doc, "r^2^1(a^3^2(y^6^4),b^5^5(v^7^7))", {low, atB}), "r^1(a^2(x^3),b^5(u^6))");
    // A head number above the embedding node's: nothing consumed at a; a
    // childless match still goes whole.
    NodeBinding high{"9", {tree("u^6")}};
    EXPECT_EQ(removed(doc, "a^3^2", {high}), "r^1(b^5(u^6,v^7))");
    // A text embedding node at an element's position with the binding's
    // number removes only the bound subtrees.
    NodeBinding atText{"3", {tree("y^4")}};
    EXPECT_EQ(removed(doc, "r^2^1('a^3^2')", {atText}), "r^1(a^2(x^3),b^5(u^6,v^7))");
    EXPECT_EQ(removed(doc, "'a^3^2'", {atText}), "r^1(a^2(x^3),b^5(u^6,v^7))");
    // A bound subtree that is no longer there removes nothing else.
    NodeBinding gone{"2", {tree("x^3"), tree("q^9")}};
    EXPECT_EQ(removed(doc, "r^1^1(a^2^2(y^4^4))", {gone}), "r^1(b^5(u^6,v^7))");
}

TEST(DeleteEmb, EditorAppliesRemovalsOneAfterTheOtherAndSharesTheRest) {
    const Tree* doc = tree("r^1(a^2(b^3,c^4),d^5(e^6),f^7(g^8))");
    DocumentEditor ed(doc);
    EXPECT_EQ(ed.current(), doc);
    ed.remove(tree("c^2^4"), {});
    EXPECT_EQ(showTrees(ed.findSons(2)), "[b^3]");
    ed.remove(tree("e^2^6"), {});
    const Tree* now = ed.current();
    EXPECT_EQ(showTree(now), "r^1(a^2(b^3),d^5,f^7(g^8))");
    EXPECT_EQ(now->children()[2], doc->children()[2]);  // untouched subtree shared
    EXPECT_EQ(ed.current(), now);                       // built once
    ed.remove(tree("r^2^1"), {});
    EXPECT_EQ(showTree(ed.current()), "'empty text'");
    ed.remove(tree("'x^2^3'"), {});
    EXPECT_EQ(showTree(ed.current()), "'empty text'");
    EXPECT_TRUE(ed.findSons(1).empty());
}

TEST(DeleteEmb, EditorOnAWideNode) {
    // 2000 children removed in an interleaved order, each by its own
    // removal; the child search must skip the removed ones.
    const int n = 2000;
    axf::xml::TreeList kids;
    for (int i = 0; i < n; ++i) kids.push_back(axf::xml::elem(makeLabel("k", 2 + 2 * i), {axf::xml::text(makeLabel("v", 3 + 2 * i))}));
    const Tree* doc = axf::xml::makeTree(axf::xml::ELNode{"r^1", {}}, kids);
    DocumentEditor ed(doc);
    for (int pass = 0; pass < 2; ++pass)
        for (int i = pass; i < n; i += 2)
            if (i % 7 != 3) ed.remove(axf::xml::elem(makeLabel("k", 2, 2 + 2 * i)), {});
    const Tree* now = ed.current();
    std::vector<std::string> left;
    for (const Tree* c : now->children()) left.push_back(getfromLabel(c, 2));
    std::vector<std::string> want;
    for (int i = 3; i < n; i += 7) want.push_back(std::to_string(2 + 2 * i));
    EXPECT_EQ(left, want);
    EXPECT_EQ(showTrees(ed.findSons(2 + 2 * 10)), "['v^23']");
}

TEST(FindSons, DescendsByPosition) {
    const Tree* doc = tree("r^1(a^2('t^3'),b^5(c^6,d^7(e^8)),f^9)");
    EXPECT_EQ(showTrees(findSons(doc, 1)), "[a^2('t^3'),b^5(c^6,d^7(e^8)),f^9]");
    EXPECT_EQ(showTrees(findSons(doc, 7)), "[e^8]");
    EXPECT_EQ(showTrees(findSons(doc, 3)), "[]");  // a text
    EXPECT_EQ(showTrees(findSons(doc, 9)), "[]");  // no children
    EXPECT_EQ(showTrees(findSons(doc, 4)), "[]");  // nobody
}

TEST(ReadLabelNumber, ReadsDecimalsAndRejectsTheRest) {
    EXPECT_EQ(readLabelNumber("12"), 12);
    EXPECT_EQ(readLabelNumber(" -3 "), -3);
    EXPECT_EQ(readLabelNumber("007"), 7);
    EXPECT_EQ(readLabelNumber("9223372036854775807"), INT64_MAX);
    for (const char* bad : {"", "x", "1x", "--1", "9223372036854775808", "1 2"})
        EXPECT_THROW(readLabelNumber(bad), axf::Fatal) << bad;
}

}  // namespace
