// The binder derives what it needs from a bound subtree once for the run
// (cut copies, condition verdicts, values) and rebuilds only the results
// that are printed. This test runs it over random small documents whose
// results bind the same and nested subtrees many times, against a reference
// that binds, checks and rebuilds every result on its own, from scratch.
#include <gtest/gtest.h>

#include <algorithm>
#include <optional>
#include <random>
#include <string>
#include <vector>

#include "common/Fatal.h"
#include "filter/ConditionCheck.h"
#include "filter/ConditionCheckInternal.h"
#include "filter/VariableBinding.h"
#include "filter/VariableBindingInternal.h"
#include "query/Embedding.h"
#include "query/NodeLabel.h"
#include "xml/Show.h"

namespace {

using namespace axf::filter;
using axf::index::EmbeddingEntry;
using axf::index::EntryList;
using axf::xml::Tree;
using axf::xml::TreeList;
namespace query = axf::query;
namespace xml = axf::xml;

struct Doc {
    const Tree* root = nullptr;
    // Every node by position (1 on), with its label value.
    std::vector<const Tree*> nodes{nullptr};
    std::vector<std::string> values{""};
};

// A random document: elements a, b, c, attribute elements '@id' over a text,
// and short texts, numbered in preorder.
class DocMaker {
public:
    explicit DocMaker(std::mt19937& rng) : rng_(rng) {}

    Doc make(int maxDepth) {
        Doc d;
        d.root = element("site", maxDepth, d);
        return d;
    }

private:
    int pick(int n) { return std::uniform_int_distribution<int>(0, n - 1)(rng_); }

    const Tree* element(const std::string& name, int depth, Doc& d) {
        std::int64_t p = reserve(d, name);
        TreeList kids;
        if (pick(3) == 0) {
            std::int64_t a = reserve(d, "@id");
            TreeList value{text(d)};
            kids.push_back(xml::makeTree(xml::ELNode{query::makeLabel("@id", a), {}}, value));
            d.nodes[std::size_t(a)] = kids.back();
        }
        int n = depth > 0 ? pick(4) : 0;
        for (int i = 0; i < n; ++i) {
            if (pick(3) == 0)
                kids.push_back(text(d));
            else
                kids.push_back(element(std::string(1, char('a' + pick(3))), depth - 1, d));
        }
        const Tree* t = xml::makeTree(xml::ELNode{query::makeLabel(name, p), {}}, kids);
        d.nodes[std::size_t(p)] = t;
        return t;
    }

    const Tree* text(Doc& d) {
        static const char* const kTexts[] = {"1", "2", "10", "x", "y z", "x^y"};
        std::string value = kTexts[pick(6)];
        std::int64_t p = reserve(d, value);
        const Tree* t = xml::text(query::makeLabel(value, p));
        d.nodes[std::size_t(p)] = t;
        return t;
    }

    std::int64_t reserve(Doc& d, const std::string& value) {
        d.nodes.push_back(nullptr);
        d.values.push_back(value);
        return std::int64_t(d.nodes.size() - 1);
    }

    std::mt19937& rng_;
};

bool isText(const Tree* t) { return std::holds_alternative<xml::TXNode>(t->value); }

// Positions of the strict descendants of the node at p, in preorder.
void descendants(const Tree* t, std::vector<const Tree*>& out) {
    for (const Tree* c : t->children()) {
        out.push_back(c);
        descendants(c, out);
    }
}

std::int64_t positionOf(const Tree* t) { return query::readLabelNumber(query::rootLabelComponent(t, 2)); }

// Results of a query r(s) numbered 2 and 3: r at an element, s at some of its
// descendants (none, one, or two that do not nest).
EntryList makeResults(const Doc& d, std::mt19937& rng, int count) {
    auto pick = [&](int n) { return std::uniform_int_distribution<int>(0, n - 1)(rng); };
    std::vector<std::int64_t> elements;
    for (std::size_t p = 1; p < d.nodes.size(); ++p)
        if (!isText(d.nodes[p]) && d.values[p][0] != '@') elements.push_back(std::int64_t(p));
    EntryList out;
    for (int i = 0; i < count; ++i) {
        std::int64_t p = elements[std::size_t(pick(int(elements.size())))];
        std::vector<const Tree*> below;
        descendants(d.nodes[std::size_t(p)], below);
        TreeList kids;
        std::int64_t after = p;  // next child must start past this subtree
        for (int k = pick(3); k > 0 && !below.empty(); --k) {
            const Tree* c = below[std::size_t(pick(int(below.size())))];
            std::int64_t cp = positionOf(c);
            if (cp <= after) continue;
            std::vector<const Tree*> inside;
            descendants(c, inside);
            after = inside.empty() ? cp : positionOf(inside.back());
            std::string label = query::makeLabel(d.values[std::size_t(cp)], 3, cp);
            kids.push_back(isText(c) ? xml::text(label) : xml::makeTree(xml::ELNode{label, {}}, {}));
        }
        const Tree* root = xml::makeTree(xml::ELNode{query::makeLabel(d.values[std::size_t(p)], 2, p), {}}, kids);
        out.push_back(EmbeddingEntry{p, 0, p, 0, pick(3), root});
    }
    return out;
}

RuleConditions makeConditions(int which) {
    RuleConditions c;
    auto re = [&](std::string v, std::string p) { c.regexConditions.push_back({v, p}); };
    auto ex = [&](std::string text) { c.expressionConditions.push_back({text}); };
    switch (which) {
        case 0: break;
        case 1: re("X", ".*"); break;
        case 2: re("X", "[0-9 ]*"); break;
        case 3: re("Y", "x.*"); break;
        case 4: ex("X > 1"); break;
        case 5: ex("X = Y"); break;
        case 6:
            re("X", "[0-9x ]*");
            ex("X < 5");
            break;
        case 7:
            ex("Y > 1");
            ex("X > > 1");
            break;
    }
    return c;
}

// One result's outcome: absent (skipped), or its printed tree ("" when not
// rebuilt); or the message that ended the run.
struct Outcome {
    std::vector<std::optional<std::string>> results;
    std::string failure;
};

std::string shown(const Tree* t) { return t ? xml::showText(query::restoreAttributes(t)) : ""; }

// Every result bound, checked and rebuilt on its own, nothing kept between
// results.
Outcome reference(const EntryList& results, const QueryVariables& vars, const Tree* doc, const RuleConditions& conditions) {
    Outcome o;
    std::vector<std::string> declared;
    for (const auto& v : vars) declared.push_back(associationName(v.second));
    std::vector<std::string> needed = conditionVariables(conditions);
    try {
        // A condition variable the query lacks ends the run at the first result.
        for (const std::string& n : needed)
            if (!results.empty() && std::find(declared.begin(), declared.end(), n) == declared.end())
                throw axf::Fatal("Attention: variable " + n + "doesn't exists.");
        for (const EmbeddingEntry& r : results) {
            Association a = findVars(doc, vars, r.tree).first;
            std::optional<Association> k;
            if (a.size() >= needed.size() && !anyUnbound(needed, a))
                k = verifyConditions(a, conditions, Polarity::Positive, declared);
            if (k) *k = sortByNodeNumberDroppingRepeats(std::move(*k));
            if (!k || k->size() < needed.size() || anyUnbound(needed, *k)) {
                o.results.emplace_back();
                continue;
            }
            BindingPairs pairs = bindingPairs(*k);
            for (auto& b : pairs)
                for (const Tree*& s : b.subtrees) s = cutLabels(s);
            o.results.emplace_back(shown(rebuildWithBindings(pairs, r.tree).first));
        }
    } catch (const axf::Fatal& e) {
        o.failure = e.what();
    }
    return o;
}

Outcome shared(const EntryList& results, const QueryVariables& vars, const Tree* doc, const RuleConditions& conditions,
               ResultTrees trees) {
    Outcome o;
    try {
        ResultBinder binder(vars, doc, conditions, Polarity::Positive, trees);
        for (const EmbeddingEntry& r : results) {
            auto e = binder.examine(r);
            if (!e) {
                o.results.emplace_back();
                continue;
            }
            EXPECT_EQ(e->cost, r.cost);
            EXPECT_EQ(e->position, r.position);
            o.results.emplace_back(shown(e->tree));
        }
    } catch (const axf::Fatal& e) {
        o.failure = e.what();
    }
    return o;
}

TEST(SharedBinding, AgreesWithBindingEachResultOnItsOwn) {
    std::mt19937 rng(20261211);
    const std::vector<QueryVariables> variableSets = {{{"2", "X"}}, {{"3", "Y"}}, {{"2", "X"}, {"3", "Y"}}};
    int accepted = 0, withFailure = 0;
    for (int round = 0; round < 300; ++round) {
        Doc d = DocMaker(rng).make(2 + round % 4);
        EntryList results = makeResults(d, rng, 30);
        const QueryVariables& vars = variableSets[std::size_t(round % 3)];
        RuleConditions conditions = makeConditions(round % 8);
        SCOPED_TRACE("round " + std::to_string(round) + ", document " + xml::showText(d.root));
        Outcome want = reference(results, vars, d.root, conditions);
        for (ResultTrees trees : {ResultTrees::All, ResultTrees::CostZero, ResultTrees::None}) {
            SCOPED_TRACE("trees " + std::to_string(int(trees)));
            Outcome got = shared(results, vars, d.root, conditions, trees);
            EXPECT_EQ(got.failure, want.failure);
            ASSERT_EQ(got.results.size(), want.results.size());
            for (std::size_t i = 0; i < want.results.size(); ++i) {
                SCOPED_TRACE("result " + std::to_string(i));
                ASSERT_EQ(got.results[i].has_value(), want.results[i].has_value());
                if (!want.results[i]) continue;
                bool built = trees == ResultTrees::All || (trees == ResultTrees::CostZero && results[i].cost == 0);
                EXPECT_EQ(*got.results[i], built ? *want.results[i] : "");
            }
        }
        for (const auto& r : want.results) accepted += r.has_value();
        withFailure += !want.failure.empty();
    }
    // The rounds reach both outcomes.
    EXPECT_GT(accepted, 1000);
    EXPECT_GT(withFailure, 10);
}

// A chain of nested elements, each bound by the match of its parent: the
// copies share their nodes, and a count builds nothing.
TEST(SharedBinding, NestedBoundSubtreesShareTheirCopies) {
    const int depth = 200;
    const Tree* t = xml::text(query::makeLabel("x", depth + 1));
    std::vector<const Tree*> chain(depth + 1);
    for (int p = depth; p >= 1; --p) chain[std::size_t(p)] = t = xml::elem(query::makeLabel("parlist", p), {t});
    EntryList results;
    for (int p = 1; p <= depth; ++p)
        results.push_back(EmbeddingEntry{p, 0, depth + 1, 0, 0, xml::elem(query::makeLabel("parlist", 2, p))});
    const QueryVariables vars = {{"2", "X"}};
    EntryList built = bindResults(results, vars, chain[1], {}, Polarity::Positive);
    ASSERT_EQ(built.size(), std::size_t(depth));
    // Result p is parlist over the copy of the subtree at p + 1, which is the
    // only child of that copy's parent in result p - 1.
    for (int p = 2; p < depth; ++p)
        EXPECT_EQ(built[std::size_t(p - 1)].tree->children()[0], built[std::size_t(p - 2)].tree->children()[0]->children()[0])
            << p;
    EntryList counted = bindResults(results, vars, chain[1], {}, Polarity::Positive, ResultTrees::None);
    ASSERT_EQ(counted.size(), std::size_t(depth));
    for (const EmbeddingEntry& e : counted) EXPECT_EQ(e.tree, nullptr);
}

}  // namespace
