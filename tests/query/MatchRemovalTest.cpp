#include <gtest/gtest.h>

#include <random>
#include <string>
#include <tuple>
#include <variant>
#include <vector>

#include "common/Fatal.h"
#include "query/MatchRemoval.h"
#include "query/MatchRemovalInternal.h"
#include "query/NodeLabel.h"
#include "tests/support/TreeText.h"
#include "xml/XML.h"

namespace {

using namespace axf::query;
using axf::testtree::showTree;
using axf::testtree::showTrees;
using axf::testtree::tree;
using axf::xml::Tree;

const char* const kPerson = "site^1(person^2(name^3('Ann^4'),age^5('30^6')))";

std::string removed(const std::string& doc, const std::string& emb, const std::vector<NodeBinding>& b = {}) {
    return showTree(removeEmbeddingFromDocument(tree(doc), tree(emb), b));
}

TEST(MatchRemoval, WorkedExamples) {
    // A matched leaf goes with its subtree; the matched inner node stays while
    // it has children.
    EXPECT_EQ(removed(kPerson, "person^2^2(name^3^3)"), "site^1(person^2(age^5('30^6')))");
    // With the variable of node 2 bound to the sons name and age, the bound
    // subtrees go too, and person with them.
    NodeBinding b{2, {tree("name^3('Ann^4')"), tree("age^5('30^6')")}};
    EXPECT_EQ(removed(kPerson, "person^2^2(name^3^3)", {b}), "site^1");
}

TEST(MatchRemoval, RemovalRulesWithoutBindings) {
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

TEST(MatchRemoval, BindingsAreConsumedInOrder) {
    const std::string doc = "r^1(a^2(x^3,y^4),b^5(u^6,v^7))";
    // A head number below the embedding node's number is passed over for
    // good; the next one binds at b.
    NodeBinding low{1, {tree("x^3")}};
    NodeBinding atB{5, {tree("u^6")}};
    EXPECT_EQ(removed(doc, "r^2^1(a^3^2(y^4^4),b^5^5(v^6^7))", {low, atB}), "r^1(a^2(x^3))");
    // ... so a binding met first by a node of a greater number is lost.
    EXPECT_EQ(removed(doc, "r^2^1(a^3^2(y^6^4),b^5^5(v^7^7))", {low, atB}), "r^1(a^2(x^3),b^5(u^6))");
    // A head number above the embedding node's: nothing consumed at a; a
    // childless match still goes whole.
    NodeBinding high{9, {tree("u^6")}};
    EXPECT_EQ(removed(doc, "a^3^2", {high}), "r^1(b^5(u^6,v^7))");
    // A text embedding node at an element's position with the binding's
    // number removes only the bound subtrees.
    NodeBinding atText{3, {tree("y^4")}};
    EXPECT_EQ(removed(doc, "r^2^1('a^3^2')", {atText}), "r^1(a^2(x^3),b^5(u^6,v^7))");
    EXPECT_EQ(removed(doc, "'a^3^2'", {atText}), "r^1(a^2(x^3),b^5(u^6,v^7))");
    // A bound subtree that is no longer there removes nothing else.
    NodeBinding gone{2, {tree("x^3"), tree("q^9")}};
    EXPECT_EQ(removed(doc, "r^1^1(a^2^2(y^4^4))", {gone}), "r^1(b^5(u^6,v^7))");
}

TEST(MatchRemoval, EditorAppliesRemovalsOneAfterTheOtherAndSharesTheRest) {
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

TEST(MatchRemoval, EditorOnAWideNode) {
    // 2000 children removed in an interleaved order, each by its own
    // removal; the child search must skip the removed ones.
    const int n = 2000;
    axf::xml::TreeList kids;
    for (int i = 0; i < n; ++i)
        kids.push_back(axf::xml::elem(makeLabel("k", 2 + 2 * i), {axf::xml::text(makeLabel("v", 3 + 2 * i))}));
    const Tree* doc = axf::xml::makeTree(axf::xml::ELNode{"r^1", {}}, kids);
    DocumentEditor ed(doc);
    for (int pass = 0; pass < 2; ++pass)
        for (int i = pass; i < n; i += 2)
            if (i % 7 != 3) ed.remove(axf::xml::elem(makeLabel("k", 2, 2 + 2 * i)), {});
    const Tree* now = ed.current();
    std::vector<std::string> left;
    for (const Tree* c : now->children()) left.push_back(rootLabelComponent(c, 2));
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

// ---------------------------------------------------------------------------
// The editor against a direct transcription of the removal rules on immutable
// trees (bound subtrees relabelled name^0^position, as those rules read
// them), over random documents and random sequences of matches.

namespace reference {

using axf::xml::TreeList;

struct Binding {
    std::int64_t number;
    TreeList subtrees;
};
using Extra = std::vector<Binding>;

std::int64_t comp(const Tree* t, int k) { return std::stoll(rootLabelComponent(t, k)); }
bool isText(const Tree* t) { return std::holds_alternative<axf::xml::TXNode>(t->value); }
const std::string& name(const Tree* t) { return std::get<axf::xml::ELNode>(t->value).name; }
TreeList kids(const Tree* t) { return TreeList(t->children().begin(), t->children().end()); }
TreeList keep(const Tree* d, const TreeList& ks) { return {axf::xml::makeTree(axf::xml::ELNode{name(d), {}}, ks)}; }
TreeList keepIfAny(const Tree* d, const TreeList& ks) { return ks.empty() ? TreeList{} : keep(d, ks); }

std::pair<TreeList, Extra> del(const Tree* d, const Tree* e, Extra x);

std::pair<TreeList, Extra> findNode(const TreeList& xs, const Tree* e, Extra x) {
    if (xs.empty()) return {{}, x};
    if (xs.size() == 1) return del(xs[0], e, x);
    if (comp(e, 3) < comp(xs[1], 2)) {
        auto [r, x2] = del(xs[0], e, x);
        r.insert(r.end(), xs.begin() + 1, xs.end());
        return {r, x2};
    }
    auto [r, x2] = findNode(TreeList(xs.begin() + 1, xs.end()), e, x);
    r.insert(r.begin(), xs[0]);
    return {r, x2};
}

std::pair<TreeList, Extra> delAux(TreeList c, const TreeList& es, Extra x) {
    for (const Tree* e : es) {
        if (c.empty()) break;
        std::tie(c, x) = findNode(c, e, x);
    }
    return {c, x};
}

std::pair<TreeList, Extra> del(const Tree* d, const Tree* e, Extra x) {
    if (isText(d)) {
        if (!isText(e)) return {{d}, x};
        return {comp(d, 2) == comp(e, 3) ? TreeList{} : TreeList{d}, x};
    }
    bool same = comp(d, 2) == comp(e, 3);
    if (!x.empty() && same) {
        std::int64_t n = x[0].number, q = comp(e, 2);
        if (n == q) {
            Extra rest(x.begin() + 1, x.end());
            if (isText(e)) return {keepIfAny(d, delAux(kids(d), x[0].subtrees, {}).first), rest};
            TreeList es = kids(e);
            es.insert(es.end(), x[0].subtrees.begin(), x[0].subtrees.end());
            auto [ks, x2] = delAux(kids(d), es, rest);
            return {keepIfAny(d, ks), x2};
        }
        if (n < q) return del(d, e, Extra(x.begin() + 1, x.end()));
    }
    if (!isText(e)) {
        if (same && e->isLeaf()) return {{}, x};
        const std::string& l = name(e);
        if (same || l == "and^1^0" || l == "or^1^0" || l == "xor^1^0") {
            auto [ks, x2] = delAux(kids(d), kids(e), x);
            return {keepIfAny(d, ks), x2};
        }
    } else if (same) {
        return {{}, x};
    }
    auto [ks, x2] = findNode(kids(d), e, x);
    return {keep(d, ks), x2};
}

const Tree* addDelim(const Tree* t) {
    auto addS = [](const std::string& l) {
        auto c = l.find('^');
        return c == std::string::npos ? l : l.substr(0, c) + "^0" + l.substr(c);
    };
    if (isText(t)) return axf::xml::text(addS(std::get<axf::xml::TXNode>(t->value).text));
    TreeList ks;
    for (const Tree* k : t->children()) ks.push_back(addDelim(k));
    return axf::xml::makeTree(axf::xml::ELNode{addS(name(t)), {}}, ks);
}

}  // namespace reference

struct RandomDoc {
    std::mt19937 rng;
    std::int64_t next = 1;

    explicit RandomDoc(unsigned seed) : rng(seed) {}
    int pick(int n) { return int(rng() % unsigned(n)); }

    const Tree* element(int depth) {
        std::string label = makeLabel("e", next++);
        axf::xml::TreeList ks;
        int n = depth > 4 ? 0 : pick(depth == 0 ? 6 : 4);
        for (int i = 0; i < n; ++i) ks.push_back(pick(4) == 0 ? axf::xml::text(makeLabel("t", next++)) : element(depth + 1));
        return axf::xml::makeTree(axf::xml::ELNode{label, {}}, ks);
    }

    // A match of the document node d: some of its children in order, now and
    // then a grandchild in a child's place; query numbers in preorder.
    const Tree* match(const Tree* d, std::int64_t& q, int depth) {
        std::int64_t pos = std::stoll(rootLabelComponent(d, 2));
        std::int64_t myQ = q++;
        if (reference::isText(d)) return axf::xml::text(makeLabel("t", myQ, pos));
        axf::xml::TreeList ks;
        if (depth < 3)
            for (const Tree* c : d->children()) {
                if (pick(3) == 0) continue;
                const Tree* target = c;
                if (!c->isLeaf() && pick(4) == 0) target = c->children()[std::size_t(pick(int(c->kidCount)))];
                ks.push_back(match(target, q, depth + 1));
            }
        return axf::xml::makeTree(axf::xml::ELNode{makeLabel("e", myQ, pos), {}}, ks);
    }

    const Tree* randomNode(const Tree* t) {
        while (!t->isLeaf() && pick(3) != 0) t = t->children()[std::size_t(pick(int(t->kidCount)))];
        return t;
    }
};

// The nodes of a match and the document nodes they stand for, in preorder.
void matchedNodes(const Tree* m, std::vector<const Tree*>& out) {
    out.push_back(m);
    for (const Tree* c : m->children()) matchedNodes(c, out);
}

TEST(MatchRemoval, EditorAgreesWithTheRulesOnRandomDocuments) {
    for (unsigned seed = 1; seed <= 300; ++seed) {
        RandomDoc g(seed);
        const Tree* original = g.element(0);
        const Tree* ref = original;
        bool refGone = false;
        DocumentEditor ed(original);
        for (int step = 0; step < 6 && !refGone; ++step) {
            std::int64_t q = 2;
            const Tree* m = g.match(g.randomNode(original), q, 0);
            if (g.pick(5) == 0) m = axf::xml::makeTree(axf::xml::ELNode{"and^1^0", {}}, {m});
            // Bindings at some matched elements: the sons of the current
            // document node that the match's children do not cover.
            std::vector<const Tree*> nodes;
            matchedNodes(m, nodes);
            std::vector<NodeBinding> mine;
            reference::Extra theirs;
            for (const Tree* n : nodes) {
                if (reference::isText(n) || rootLabelComponent(n, 1) == "and" || g.pick(2) == 0) continue;
                std::int64_t pos = std::stoll(rootLabelComponent(n, 3));
                axf::xml::TreeList sons = findSons(ref, pos), bound, delimited;
                for (const Tree* s : sons) {
                    bool covered = false;
                    for (const Tree* c : n->children()) covered = covered || rootLabelComponent(c, 3) == rootLabelComponent(s, 2);
                    if (!covered) {
                        bound.push_back(s);
                        delimited.push_back(reference::addDelim(s));
                    }
                }
                mine.push_back({std::stoll(rootLabelComponent(n, 2)), bound});
                theirs.push_back({std::stoll(rootLabelComponent(n, 2)), delimited});
            }
            auto [left, x] = reference::del(ref, m, theirs);
            refGone = left.empty();
            if (!refGone) ref = left[0];
            ed.remove(m, mine);
            ASSERT_EQ(showTree(ed.current()), refGone ? "'empty text'" : showTree(ref))
                << "seed " << seed << " step " << step << " match " << showTree(m);
        }
    }
}
