#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

#include "common/Fatal.h"
#include "common/LargeStack.h"
#include "index/DocumentIndexer.h"
#include "query/Embedding.h"
#include "query/EmbeddingInternal.h"
#include "query/ExtendQuery.h"
#include "query/NodeLabel.h"
#include "query/QueryAnnotation.h"
#include "tests/query/CombinationTestUtil.h"

namespace {

using namespace axf;
using namespace axf::query;
using axf::index::EmbeddingEntry;
using axf::index::EntryList;
using axf::query::testutil::shape;
using axf::query::testutil::tree;
using axf::xml::ELNode;
using axf::xml::Tree;

// The statement kinds as the driver searches them; Negated for a negated rule.
enum class Statement { Best, All, BestExact, AllExact, Negated };

// An indexed document and the driver's way of searching one simple query in
// it: the statement kind chooses the annotation, the deletion cost, the search
// types and the mode.
struct Doc {
    explicit Doc(std::string text) : text_(std::move(text)), doc(index::parseText(text_)) {}

    SearchResult search(const Tree* query, Statement kind, std::int64_t root = 2) const {
        if (kind == Statement::All || kind == Statement::Best) {
            QueryAnnotation a = extendQuery(query, root);
            SearchMode mode = kind == Statement::All ? SearchMode::All : SearchMode::Best;
            return evaluateQuery(a.tree, context(a.mapping, a.deletionCosts, a.searchTypes, 5, mode), root);
        }
        PlainAnnotation a = plainAnnotation(query, root);
        std::int64_t cost = kind == Statement::Negated ? 5 : kNoEmbeddingCost;
        SearchMode mode = kind == Statement::BestExact ? SearchMode::Best : SearchMode::All;
        return evaluateQuery(a.tree, context(a.mapping, noCosts, noTypes, cost, mode), root);
    }

    // A search context over this document.
    SearchContext context(const QueryMapping& m, const DeletionCostList& costs, const SearchTypeList& types,
                          std::int64_t deletionCost, SearchMode mode, bool exactOnly = false) const {
        return SearchContext{&m,           &costs,       &types, &doc.elementIndex,        &doc.textIndex,
                             &doc.mapping, deletionCost, mode,   index::LookupKind::Exact, exactOnly};
    }

    static inline const DeletionCostList noCosts{};
    static inline const SearchTypeList noTypes{};

    std::string text_;
    index::IndexedDocument doc;
};

// "(position,depth,last,renaming,cost) tree" per entry, joined by " | ".
std::string show(const EntryList& entries) {
    std::string r;
    for (const EmbeddingEntry& e : entries) {
        if (!r.empty()) r += " | ";
        char sep = '(';
        for (std::int64_t v : {e.position, e.depth, e.last, e.renamingCost, e.cost}) {
            r += sep;
            r += std::to_string(v);
            sep = ',';
        }
        r += ") ";
        r += shape(e.tree);
    }
    return r;
}
std::string show(const SearchResult& r) { return show(r.all()); }

std::string fatalText(const SearchResult& r) {
    try {
        r.all();
    } catch (const Fatal& f) {
        return f.what();
    }
    return "no failure";
}

// A query element carrying the "$" mark (searched with the other type).
const Tree* marked(std::string name, std::initializer_list<const Tree*> kids = {}) {
    return xml::makeTree(ELNode{std::move(name), {{"type", "E"}}}, kids);
}

// The document a(b('x'), c(b('y'))) with vocabulary names: a is site, b is
// item, c is europe. site 1 (depth 0, last 6), item 2 (depth 2, last 3), x 3
// (depth 4), europe 4 (depth 2, last 6), item 5 (depth 4, last 6), y 6 (depth 6).
const char* kWorked = "<site><item>x</item><europe><item>y</item></europe></site>";

TEST(EmbeddingSearch, WorkedExampleOfTheRecursiveEvaluation) {
    Doc d(kWorked);
    // Approximate, mode best: the extended annotation offers the deletion of
    // item: 2(3(4('5'),'6')), 3 an "or", node 6 the text without item, at 5.
    const Tree* q = tree("site(item('y'))");
    QueryAnnotation a = extendQuery(q, 2);
    ASSERT_EQ(shape(a.tree), "2(3(4('5'),'6'))");
    ASSERT_EQ(a.mapping.pairs(),
              (std::vector<QueryMapping::Pair>{{"2", "site"}, {"3", "or"}, {"4", "item"}, {"6", "y"}, {"5", "y"}}));
    ASSERT_EQ(a.deletionCosts.pairs(), (std::vector<DeletionCostList::Pair>{{"6", 5}}));

    // Each step of the evaluation, node by node.
    const Tree* n3 = a.tree->kids[0];
    const Tree* n4 = n3->kids[0];
    const Tree* n5 = n4->kids[0];
    const Tree* n6 = n3->kids[1];
    const SearchContext context = d.context(a.mapping, a.deletionCosts, a.searchTypes, 5, SearchMode::Best);
    auto eval = [&](const Tree* t, const EntryList& parents, std::int64_t p) { return evaluate(t, context, parents, p); };
    const EntryList site = getPresences(d.doc.elementIndex, "site", index::LookupKind::Exact);
    const EntryList items = getPresences(d.doc.elementIndex, "item", index::LookupKind::Exact);
    // item at 2 has no y inside: left out at 5; item at 5 holds y one level below.
    EXPECT_EQ(show(eval(n5, items, 4)), "(2,2,3,0,5) item^4^2 | (5,4,6,0,0) item^4^5('y^5^6')");
    // First operand: item at 5 two levels below site, one skipped level.
    EXPECT_EQ(show(eval(n4, site, 2)), "(1,0,6,0,2) site^2^1(item^4^5('y^5^6'))");
    // Second operand: y found with its own deletion cost 5 and two skipped levels.
    EXPECT_EQ(show(eval(n6, site, 2)), "(1,0,6,0,9) site^2^1('y^6^6')");
    // The or keeps the cheaper operand; the search entry then adds site's
    // renaming cost 0.
    EXPECT_EQ(show(eval(n3, site, 2)), "(1,0,6,0,2) site^2^1(item^4^5('y^5^6'))");
    EXPECT_EQ(show(d.search(q, Statement::Best)), "(1,0,6,0,2) site^2^1(item^4^5('y^5^6'))");

    // With x in place of y: item at 2 finds x directly.
    EXPECT_EQ(show(d.search(tree("site(item('x'))"), Statement::Best)), "(1,0,6,0,0) site^2^1(item^4^2('x^5^3'))");
    // Exact: no alternatives (2(3(4)), deletion cost 1000); item at 2 yields nothing.
    PlainAnnotation exact = plainAnnotation(q, 2);
    ASSERT_EQ(shape(exact.tree), "2(3('4'))");
    EXPECT_EQ(show(d.search(q, Statement::BestExact)), "(1,0,6,0,2) site^2^1(item^3^5('y^4^6'))");
    // Two children under an and node: 2(3(4,5)).
    EXPECT_EQ(shape(extendQuery(tree("site(and(item,europe))"), 2).tree), "2(3(4,5))");
    EXPECT_EQ(show(d.search(tree("site(and(item,europe))"), Statement::Best)), "(1,0,6,0,0) site^2^1(item^4^2,europe^5^4)");
}

TEST(EmbeddingSearch, QueryRoot) {
    Doc d(
        "<site><people><person><name>Ann</name></person></people>"
        "<regions><persona/><persona/></regions></site>");
    EXPECT_EQ(show(d.search(tree("person"), Statement::Best)), "(3,4,5,0,0) person^2^3");
    EXPECT_EQ(show(d.search(tree("person"), Statement::Best, 7)), "(3,4,5,0,0) person^7^3");
    EXPECT_EQ(show(d.search(xml::text("Ann"), Statement::All)), "(5,8,5,0,0) 'Ann^2^5'");
    EXPECT_TRUE(d.search(tree("item"), Statement::Best).empty());

    // The "$" mark searches the translation too, at renaming cost 2.
    Doc p("<site><regions><persona/><persona/></regions></site>");
    EXPECT_EQ(show(p.search(marked("person"), Statement::Best)), "(3,4,3,2,2) persona^2^3 | (4,4,4,2,2) persona^2^4");
    EXPECT_TRUE(p.search(marked("person"), Statement::BestExact).empty());  // exact kinds ignore the mark

    struct Case {
        const char* root;
        const char* message;
    } cases[] = {
        {"person[2]", "Attention: the branch information couldn't be applied to the query root"},
        {"person[last]", "Attention: the branch information couldn't be applied to the query root"},
        {"item[1]", "Attention: the branch information couldn't be applied to the query root"},
        {"person[0]", "Attention: inconsistent branch information found"},
        {"person[]", "Attention: inconsistent branch information found"},
    };
    for (const Case& c : cases) {
        try {
            d.search(xml::elem(c.root), Statement::Best);
            ADD_FAILURE() << c.root << ": no failure";
        } catch (const Fatal& f) {
            EXPECT_EQ(std::string(f.what()), c.message) << c.root;
        }
    }
}

TEST(EmbeddingSearch, InsertionRenamingAndDeletionCosts) {
    // site(1) > regions(2) > europe(3) > item(4) > name(5) > 'pen'(6);
    // site > persona(7) > name(8) > 'Bo'(9)
    Doc d(
        "<site><regions><europe><item><name>pen</name></item></europe></regions>"
        "<persona><name>Bo</name></persona></site>");
    // Two skipped levels between site and item.
    EXPECT_EQ(show(d.search(tree("site(item)"), Statement::BestExact)), "(1,0,9,0,4) site^2^1(item^3^4)");
    // Found through the translation one level below: renaming 2; two levels
    // below: 2 more for the inserted level.
    EXPECT_EQ(show(d.search(xml::elem("site", {marked("person")}), Statement::Best)), "(1,0,9,0,2) site^2^1(persona^3^7)");
    EXPECT_EQ(show(d.search(xml::elem("regions", {marked("articolo")}), Statement::Best)), "(2,2,6,0,4) regions^2^2(item^3^4)");
    // A leaf left out: the parent alone at deletion cost 5; nothing when exact.
    EXPECT_EQ(show(d.search(tree("europe(people)"), Statement::Best)), "(3,4,6,0,5) europe^2^3");
    EXPECT_TRUE(d.search(tree("europe(people)"), Statement::AllExact).empty());
    // A path left out: regions is missing above persona, which the copy of
    // its child finds directly below site (deletion cost 5).
    EXPECT_EQ(show(d.search(tree("site(people(persona))"), Statement::Best)), "(1,0,9,0,5) site^2^1(persona^6^7)");
    // Exact kinds with the deletion cost of the negated kind: leaf left out at 5.
    EXPECT_EQ(show(d.search(tree("persona(people)"), Statement::Negated)), "(7,2,9,0,5) persona^2^7");
}

TEST(EmbeddingSearch, TiesAndBranchSelection) {
    // europe(2) holds three items (3, 4, 5) and, deeper, a fourth (7).
    Doc d("<site><europe><item/><item/><item/><parlist><item/></parlist></europe></site>");
    EXPECT_EQ(show(d.search(tree("europe(item)"), Statement::Best)), "(2,2,7,0,0) europe^2^2(item^3^3)");
    EXPECT_EQ(show(d.search(tree("europe(item)"), Statement::All)),
              "(2,2,7,0,0) europe^2^2(item^3^3) | (2,2,7,0,0) europe^2^2(item^3^4) | "
              "(2,2,7,0,0) europe^2^2(item^3^5)");
    EXPECT_EQ(show(d.search(tree("europe(item[1])"), Statement::AllExact)), "(2,2,7,0,0) europe^2^2(item^3^3)");
    EXPECT_EQ(show(d.search(tree("europe(item[3])"), Statement::AllExact)), "(2,2,7,0,0) europe^2^2(item^3^5)");
    EXPECT_EQ(show(d.search(tree("europe(item[last])"), Statement::AllExact)), "(2,2,7,0,0) europe^2^2(item^3^5)");
    EXPECT_EQ(fatalText(d.search(tree("europe(item[4])"), Statement::AllExact)),
              "Attention: the 4th son of the tag specified couldn't be found");
    EXPECT_EQ(fatalText(d.search(tree("europe(item[2])"), Statement::BestExact)),
              "Attention: the 2th son of the tag specified couldn't be found");
    EXPECT_EQ(fatalText(d.search(tree("europe(item[0])"), Statement::AllExact)),
              "Attention: inconsistent branch information found");
    // A parent that takes the alternative is never tested against the branch.
    EXPECT_EQ(show(d.search(tree("europe(people[9])"), Statement::Best)), "(2,2,7,0,5) europe^2^2");
}

TEST(EmbeddingSearch, PendingFailureFiresOnlyWhereALevelAboveReadsIt) {
    // europe at 3 and 6 hold two items each, europe at 9 one. The failure of
    // item[2] below europe 9 sits after the entries of europe 3 and 6.
    const char* outside =
        "<site><regions><europe><item/><item/></europe></regions>"
        "<europe><item/><item/></europe><europe><item/></europe></site>";
    Doc d(outside);
    // regions (2, last 5) stops reading at europe 6: the failure is not reached.
    SearchResult r = d.search(tree("regions(europe(item[2]))"), Statement::AllExact);
    EXPECT_FALSE(r.hasFailure());
    EXPECT_EQ(show(r), "(2,2,5,0,0) regions^2^2(europe^3^3(item^4^5))");
    // site reads every europe: the failure fires, after nothing was produced.
    SearchResult s = d.search(tree("site(europe(item[2]))"), Statement::AllExact);
    EXPECT_EQ(fatalText(s), "Attention: the 2th son of the tag specified couldn't be found");
    EXPECT_THROW(s.empty(), Fatal);

    // An and node whose first operand yields nothing never evaluates the
    // second; an or node does.
    EXPECT_TRUE(d.search(tree("site(and(people,item[0]))"), Statement::BestExact).empty());
    EXPECT_EQ(fatalText(d.search(tree("site(or(people,item[0]))"), Statement::BestExact)),
              "Attention: inconsistent branch information found");
    // An empty list of parents: nothing below is looked at.
    EXPECT_TRUE(d.search(tree("people(item[0])"), Statement::BestExact).empty());
}

TEST(EmbeddingSearch, SelectorMessagesUnderTheSearchShortcuts) {
    // Only a selector asking for the k-th match, k >= 2, or one that does not
    // read, can fail on the document; the first and the last never do, and
    // leave both shortcuts on.
    struct Label {
        const char* label;
        bool canFail;
    } labels[] = {{"item", false},   {"item[1]", false}, {"item[last]", false}, {"item[0x1]", false}, {"item[-3]", false},
                  {"item[2]", true}, {"item[0]", true},  {"item[x]", true},     {"item[", true},      {"'x[2]'", true}};
    for (const Label& l : labels) EXPECT_EQ(selectorCanFail(l.label), l.canFail) << l.label;

    // exactOnly: searched for a caller that reads only the matches of cost 0.
    struct Case {
        const char* document;
        const char* query;
        bool exactOnly;
        const char* want;  // the failure's text, or the matches
    } cases[] = {
        // The europe outside regions ends the list of europe matches with its
        // failure, right after the last match regions holds: regions reads it.
        {"<site><regions><europe><item/><item/></europe></regions><europe><item/></europe></site>", "regions(europe(item[2]))",
         false, "Attention: the 2th son of the tag specified couldn't be found"},
        // europe reaches its item one level down, a match of cost 1 that a
        // caller of exact matches drops; the selector is still tested there.
        {"<site><europe><parlist><item/></parlist></europe></site>", "site(europe(item[2]))", true,
         "Attention: the 2th son of the tag specified couldn't be found"},
        // Every europe holds two items: item[2] fails nowhere, so the dearer
        // match is dropped (the caller would read none of it) ...
        {"<site><regions><europe><item/><item/></europe></regions></site>", "site(europe(item[2]))", true, ""},
        // ... while one beside it that fails keeps its message.
        {"<site><regions><europe><item/><item/></europe></regions><people><person/></people></site>",
         "site(and(europe(item[2]),people(person[2])))", true, "Attention: the 2th son of the tag specified couldn't be found"},
        // people is narrowed to those inside a europe (none): the selector
        // beside it fires first, and not at all when it comes second.
        {"<site><people><person/><person/></people><regions><europe><item/></europe></regions></site>",
         "europe(and(item[2],people(and(person,person))))", true,
         "Attention: the 2th son of the tag specified couldn't be found"},
        {"<site><people><person/><person/></people><regions><europe><item/></europe></regions></site>",
         "europe(and(people(and(person,person)),item[2]))", true, ""},
        // The first and the last with both shortcuts on.
        {"<site><people><person/><person/></people><regions><europe><item/><item/></europe></regions></site>",
         "regions(and(europe(item[last]),people(person[1])))", true, ""},
        {"<site><regions><europe><item/><item/></europe><item/></regions></site>", "regions(and(europe(item[last]),item[1]))",
         true, "(2,2,6,0,0) regions^2^2(europe^4^3(item^5^5),item^6^6)"},
    };
    for (const Case& c : cases) {
        Doc d(c.document);
        PlainAnnotation a = plainAnnotation(tree(c.query), 2);
        const SearchResult r = evaluateQuery(
            a.tree, d.context(a.mapping, Doc::noCosts, Doc::noTypes, kNoEmbeddingCost, SearchMode::All, c.exactOnly), 2);
        const std::string got = r.hasFailure() ? fatalText(r) : show(r);
        EXPECT_EQ(got, c.want) << c.query << " in " << c.document;
    }
}

TEST(EmbeddingSearch, BooleanNodeFoldsItsOperandsLeftToRight) {
    // site(1) > item(2); site > regions(3) > europe(4); site > people(5) >
    // person(6) > name(7): the operands cost 0, 2 and 4 below site.
    Doc d("<site><item/><regions><europe/></regions><people><person><name/></person></people></site>");
    const Tree* q = tree("2(3(4,5,6))");
    const DeletionCostList costs{{"3", 3}};
    auto run = [&](const char* op, SearchMode mode) {
        QueryMapping m{{"2", "site"}, {"3", op}, {"4", "item"}, {"5", "europe"}, {"6", "name"}};
        return evaluateQuery(q, d.context(m, costs, Doc::noTypes, 5, mode), 2);
    };
    // The first operand survives both steps of the or: its cost grows by 3 twice.
    EXPECT_EQ(show(run("or", SearchMode::Best)), "(1,0,7,0,6) site^2^1(item^4^2)");
    EXPECT_EQ(show(run("or", SearchMode::All)), "(1,0,7,0,6) site^2^1(item^4^2)");
    EXPECT_EQ(show(run("and", SearchMode::Best)), "(1,0,7,0,12) site^2^1(item^4^2,europe^5^4,name^6^7)");
    // One operand: its list as it is, whatever the mode; no cost added.
    QueryMapping one{{"2", "site"}, {"3", "or"}, {"4", "europe"}};
    for (SearchMode mode : {SearchMode::Best, SearchMode::All}) {
        SearchResult r = evaluateQuery(tree("2(3(4))"), d.context(one, costs, Doc::noTypes, 5, mode), 2);
        EXPECT_EQ(show(r), "(1,0,7,0,2) site^2^1(europe^4^4)") << (mode == SearchMode::All ? "all" : "best");
    }
}

TEST(EmbeddingSearch, NestedParentsAreWalkedInsideTheirOwnSubtree) {
    // parlist(1) > parlist(2) > listitem(3); parlist(1) > listitem(4)
    Doc d("<parlist><parlist><listitem/></parlist><listitem/></parlist>");
    EXPECT_EQ(show(d.search(tree("parlist(listitem)"), Statement::AllExact)),
              "(1,0,4,0,0) parlist^2^1(listitem^3^4) | (2,2,3,0,0) parlist^2^2(listitem^3^3)");
}

TEST(EmbeddingSearch, DeepDocumentCostsAreRealCosts) {
    // item lies 600 element levels below site: cost 2 * 599, which is above
    // the cost that stands for a missing embedding and still a cost.
    std::string doc = "<site>";
    for (int i = 0; i < 599; ++i) doc += "<parlist>";
    doc += "<item/>";
    for (int i = 0; i < 599; ++i) doc += "</parlist>";
    doc += "</site>";
    runWithLargeStack([&] {
        Doc d(doc);
        SearchResult r = d.search(tree("site(item)"), Statement::AllExact);
        ASSERT_EQ(r.all().size(), 1u);
        EXPECT_EQ(r.all()[0].cost, 1198);
        // With a deletion alternative, leaving the leaf out is cheaper.
        EXPECT_EQ(d.search(tree("site(item)"), Statement::Best).all()[0].cost, 5);
        // The deepest parent still finds its child one level below.
        SearchResult deep = d.search(tree("parlist(item)"), Statement::AllExact);
        ASSERT_EQ(deep.all().size(), 599u);
        EXPECT_EQ(deep.all().back().cost, 0);
        EXPECT_EQ(deep.all().front().cost, 2 * 598);
    });
}

// The descendant walk against the straightforward reading of its rules: for
// each parent, the candidates inside its subtree, cheapest by cost plus depth.
TEST(EmbeddingSearch, DescendantWalkMatchesTheDirectReadingOnNestedParents) {
    // 40 parents, each nested in the previous one and closing together; 2000
    // candidates spread over the levels with costs repeating every 7.
    EntryList parents, cands;
    const int levels = 40;
    std::int64_t pos = 0;
    std::vector<std::int64_t> starts;
    for (int l = 0; l < levels; ++l) {
        starts.push_back(++pos);
        for (int k = 0; k < 50; ++k) {
            ++pos;
            cands.push_back(
                EmbeddingEntry{pos, 2 * l + 2, pos, 0, (pos * 5) % 7, xml::elem(std::string("c").append(std::to_string(pos)))});
        }
    }
    for (int l = 0; l < levels; ++l) parents.push_back(EmbeddingEntry{starts[l], 2 * l, pos, 0, 0, xml::elem("p")});
    index::Mapping mapping(std::size_t(pos) + 1, "p");
    for (SearchMode mode : {SearchMode::Best, SearchMode::All}) {
        SCOPED_TRACE(mode == SearchMode::All ? "mode all" : "mode best");
        SearchResult r = descendantJoin(parents, SearchResult{cands, nullptr}, "2", 2, kNoEmbeddingCost, mapping, 0, mode);
        EntryList expected;
        for (const EmbeddingEntry& p : parents) {
            std::int64_t best = -1;
            std::vector<const Tree*> trees;
            for (const EmbeddingEntry& c : cands) {
                if (c.position <= p.position || c.position > p.last) continue;
                std::int64_t v = c.cost + c.depth;
                if (best < 0 || v < best) {
                    best = v;
                    trees = {c.tree};
                } else if (v == best && mode == SearchMode::All) {
                    trees.push_back(c.tree);
                }
            }
            EntryList e = entriesOverTrees(p.position, p.depth, p.last, 0, best - p.depth - 2, "p", "2", 0, trees);
            expected.insert(expected.end(), e.begin(), e.end());
        }
        EXPECT_EQ(show(r), show(expected));
    }
}

TEST(EmbeddingSearch, SelectorsAndLabels) {
    struct Num {
        const char* selector;
        std::int64_t value;
    } nums[] = {{"last", -1}, {"7", 7},     {"007", 7},
                {"-7", -7},   {"0x1F", 31}, {"0o17", 15},
                {" 3 ", 3},   {"(4)", 4},   {"9223372036854775807", INT64_MAX}};
    for (const Num& n : nums) EXPECT_EQ(branchNumber(n.selector), n.value) << n.selector;

    struct Bad {
        const char* label;
        const char* message;
    } bad[] = {
        {"item[]", "Attention: inconsistent branch information found"},
        {"item[00]", "Attention: inconsistent branch information found"},
        {"item[Last]", "Prelude.read: no parse"},
        {"a[1]2]", "Prelude.read: no parse"},
        {"item[9223372036854775808]", "Attention: the branch information 9223372036854775808 is out of range"},
        {"person[3", "Attention: the branch information of the tag person is not closed in \"person[3\""},
    };
    for (const Bad& b : bad) {
        try {
            nameAndBranch(b.label);
            ADD_FAILURE() << b.label << ": no failure";
        } catch (const Fatal& f) {
            EXPECT_EQ(std::string(f.what()), b.message) << b.label;
        }
    }
    EXPECT_EQ(nameAndBranch("item"), (std::pair<std::string, std::int64_t>{"item", 0}));
    EXPECT_EQ(nameAndBranch("[2]"), (std::pair<std::string, std::int64_t>{"", 2}));
    EXPECT_EQ(getLabelName("a[b[2]").selector, "b[2");

    // A text holding '^' is escaped in the result-root label.
    Doc d("<site><name>a^b</name></site>");
    EXPECT_EQ(show(d.search(tree("name('a^b')"), Statement::BestExact)), "(2,2,3,0,0) name^2^2('a\\^b^3^3')");
    const Tree* text = d.search(tree("name('a^b')"), Statement::BestExact).all()[0].tree->kids[0];
    EXPECT_EQ(rootLabelComponent(text, 1), "a^b");
    EXPECT_EQ(rootLabelComponent(text, 3), "3");
    EXPECT_EQ(shape(setLabel(tree("and(x,y)"), "1^0")), "and^1^0(x,y)");
}

TEST(EmbeddingSearch, SearchTypesAndTranslationLookup) {
    SearchTypeList types{{"3", "E"}, {"5", "E"}};
    using index::LookupKind;
    using Found = std::pair<LookupKind, std::size_t>;
    EXPECT_EQ(searchType("2", LookupKind::Exact, types), (Found{LookupKind::Exact, 0}));
    EXPECT_EQ(searchType("3", LookupKind::Exact, types), (Found{LookupKind::WithTranslations, 1}));
    EXPECT_EQ(searchType("3", LookupKind::WithTranslations, types), (Found{LookupKind::Exact, 1}));
    EXPECT_EQ(searchType("4", LookupKind::Exact, types, 1), (Found{LookupKind::Exact, 1}));
    EXPECT_EQ(searchType("6", LookupKind::Exact, types, 1), (Found{LookupKind::Exact, 2}));

    // person(3) and persona(5) share a class.
    Doc d("<site><people><person/><regions/><persona/></people></site>");
    auto positions = [](const EntryList& l) {
        std::string r;
        for (const auto& e : l) r += std::to_string(e.position) + ":" + std::to_string(e.renamingCost) + " ";
        return r;
    };
    EXPECT_EQ(positions(getPresences(d.doc.elementIndex, "person", LookupKind::WithTranslations)), "3:0 5:2 ");
    EXPECT_EQ(positions(getPresences(d.doc.elementIndex, "persona", LookupKind::Exact)), "5:0 ");
    EXPECT_EQ(positions(getPresences(d.doc.elementIndex, "item", LookupKind::WithTranslations)), "");
    Doc p("<site><persona/></site>");
    EXPECT_EQ(positions(getPresences(p.doc.elementIndex, "person", LookupKind::WithTranslations)), "2:2 ");
    EXPECT_EQ(positions(getPresences(p.doc.elementIndex, "person", LookupKind::Exact)), "");
}

// The descendant walk on hand-made lists: the top element a (1, depth 0, last
// 5) holds x (2, depth 2, last 3) over b (3, depth 4), then b (4, depth 2,
// last 5) over the text t (5). Query a over b, a numbered 2.
TEST(DescendantWalk, WorkedExampleAndItsVariants) {
    const EntryList parents = {EmbeddingEntry{1, 0, 5, 0, 0, xml::elem("a")}};
    const index::Mapping mapping = {"", "a", "x", "b", "b", "t"};
    auto b3 = [](std::int64_t cost) { return EmbeddingEntry{3, 4, 3, 0, cost, tree("b^3^3")}; };
    auto b4 = [](std::int64_t cost) { return EmbeddingEntry{4, 2, 5, 0, cost, tree("b^3^4('t^4^5')")}; };
    struct Case {
        const char* what;
        EntryList candidates;
        std::int64_t alt;
        SearchMode mode;
        std::string want;
    };
    const std::vector<Case> cases = {
        {"nearer b wins", {b3(0), b4(0)}, 5, SearchMode::Best, "(1,0,5,0,0) a^2^1(b^3^4('t^4^5'))"},
        {"dearer near b loses", {b3(0), b4(3)}, 5, SearchMode::Best, "(1,0,5,0,2) a^2^1(b^3^3)"},
        {"tie, best: first in document order", {b3(0), b4(2)}, 5, SearchMode::Best, "(1,0,5,0,2) a^2^1(b^3^3)"},
        {"tie, all: both in document order",
         {b3(0), b4(2)},
         5,
         SearchMode::All,
         "(1,0,5,0,2) a^2^1(b^3^3) | (1,0,5,0,2) a^2^1(b^3^4('t^4^5'))"},
        {"via cost equal to the alternative: embedded", {b3(0), b4(3)}, 2, SearchMode::Best, "(1,0,5,0,2) a^2^1(b^3^3)"},
        {"via cost above the alternative: left out", {b3(0), b4(3)}, 1, SearchMode::Best, "(1,0,5,0,1) a^2^1"},
        {"no candidates, cannot be left out", {}, kNoEmbeddingCost, SearchMode::Best, ""},
        {"no candidates, left out", {}, 5, SearchMode::Best, "(1,0,5,0,5) a^2^1"},
        // A candidate at the parent's own position is not inside it; one at
        // its last position is.
        {"own position and last position",
         {EmbeddingEntry{1, 0, 5, 0, 0, tree("a^3^1")}, EmbeddingEntry{5, 4, 5, 0, 0, tree("'t^3^5'")}},
         kNoEmbeddingCost,
         SearchMode::Best,
         "(1,0,5,0,2) a^2^1('t^3^5')"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(
            show(descendantJoin(parents, SearchResult{c.candidates, nullptr}, "2", kInsertionCost, c.alt, mapping, 0, c.mode)),
            c.want)
            << c.what;

    // A failure pending after the candidates fires for a parent whose search
    // reaches the end of the list (x stops at t, past its subtree; b reads on).
    const EntryList two = {EmbeddingEntry{2, 2, 3, 0, 0, xml::elem("x")}, EmbeddingEntry{4, 2, 5, 0, 0, xml::elem("b")}};
    SearchResult pending{{EmbeddingEntry{3, 4, 3, 0, 0, tree("b^3^3")}, EmbeddingEntry{5, 4, 5, 0, 0, tree("'t^3^5'")}},
                         std::make_exception_ptr(Fatal("pending"))};
    SearchResult firstOnly =
        descendantJoin(std::span(two).first(1), pending, "2", kInsertionCost, kNoEmbeddingCost, mapping, 0, SearchMode::Best);
    EXPECT_FALSE(firstOnly.hasFailure());
    EXPECT_EQ(show(firstOnly), "(2,2,3,0,0) x^2^2(b^3^3)");
    SearchResult both = descendantJoin(two, pending, "2", kInsertionCost, kNoEmbeddingCost, mapping, 0, SearchMode::Best);
    EXPECT_EQ(both.entries.size(), 1u);
    EXPECT_EQ(fatalText(both), "pending");
}

TEST(ResultLabels, BuildersOfMatchRoots) {
    // entriesOverTrees with fields (7, 4, 9, 0, 3), name item, query node 5.
    const std::vector<const Tree*> trees = {tree("t1"), tree("t2"), tree("t3")};
    struct Pick {
        std::int64_t branch;
        const char* want;
    } picks[] = {{0, "(7,4,9,0,3) item^5^7(t1) | (7,4,9,0,3) item^5^7(t2) | (7,4,9,0,3) item^5^7(t3)"},
                 {2, "(7,4,9,0,3) item^5^7(t2)"},
                 {3, "(7,4,9,0,3) item^5^7(t3)"},
                 {-1, "(7,4,9,0,3) item^5^7(t3)"},
                 {-7, "(7,4,9,0,3) item^5^7(t3)"}};
    for (const Pick& p : picks)
        EXPECT_EQ(show(entriesOverTrees(7, 4, 9, 0, 3, "item", "5", p.branch, trees)), p.want) << "branch " << p.branch;
    EXPECT_TRUE(entriesOverTrees(7, 4, 9, 0, 3, "item", "5", 0, {}).empty());
    EXPECT_TRUE(entriesOverTrees(7, 4, 9, 0, 3, "item", "5", -1, {}).empty());
    EXPECT_THROW(entriesOverTrees(7, 4, 9, 0, 3, "item", "5", 4, trees), InternalError);

    // getLabelName: (name, whether a selector is given, selector).
    struct Split {
        const char* label;
        const char* name;
        bool hasSelector;
        const char* selector;
    } splits[] = {{"abc", "abc", 0, ""},     {"abc[12]", "abc", 1, "12"}, {"abc[last]", "abc", 1, "last"},
                  {"abc[]", "abc", 1, ""},   {"[3]", "", 1, "3"},         {"", "", 0, ""},
                  {"a[1]2]", "a", 1, "1]2"}, {"a[b[2]", "a", 1, "b[2"}};
    for (const Split& s : splits) {
        LabelName l = getLabelName(s.label);
        EXPECT_EQ(l.name, s.name) << s.label;
        EXPECT_EQ(l.hasSelector, s.hasSelector) << s.label;
        EXPECT_EQ(l.selector, s.selector) << s.label;
    }

    // setLabel appends; stampMatch stamps an index leaf with the query node and
    // its position, escaping the value.
    EXPECT_EQ(shape(setLabel(xml::text("t"), "4^17")), "'t^4^17'");
    EXPECT_EQ(shape(setLabel(setLabel(xml::elem("a"), "x"), "y")), "a^x^y");
    EXPECT_THROW(setLabel(xml::makeTree(ELNode{"a", {{"k", "v"}}}, {}), "1^0"), InternalError);
    EXPECT_EQ(show({stampMatch("5", EmbeddingEntry{3, 2, 3, 0, 1, xml::elem("item")})}), "(3,2,3,0,1) item^5^3");
    EXPECT_EQ(show({stampMatch("5", EmbeddingEntry{10, 4, 10, 0, 0, xml::text("t^u")})}), "(10,4,10,0,0) 't\\^u^5^10'");

    // The boolean result roots: the driver appends 1^0 to a combined root.
    const Tree* l = tree("a^2^1");
    const Tree* r = tree("b^4^3");
    for (const char* op : {"and", "or", "xor"})
        EXPECT_EQ(shape(setLabel(buildExternalTree(op, l, r), "1^0")), std::string(op) + "^1^0(a^2^1,b^4^3)");

    // Renaming and deletion costs go into the cost; renaming costs stay.
    const EntryList e = {EmbeddingEntry{1, 0, 1, 0, 3, l}, EmbeddingEntry{2, 0, 2, 2, 4, r}};
    EXPECT_EQ(show(addRenamingCosts(e)), "(1,0,1,0,3) a^2^1 | (2,0,2,2,6) b^4^3");
    EXPECT_EQ(show(addDeletionCost(e, 5)), "(1,0,1,0,8) a^2^1 | (2,0,2,2,9) b^4^3");
    EXPECT_EQ(show(addDeletionCost(e, 0)), show(e));
    EXPECT_EQ(show(withRenamingCost(2, e)), "(1,0,1,2,3) a^2^1 | (2,0,2,2,4) b^4^3");
}

TEST(EmbeddingSearch, LeafOwnDeletionCost) {
    // site over item with item's own deletion cost 5: charged on a found item
    // too; an item left out costs the search's deletion cost plus its own.
    const Tree* q = tree("2(3)");
    const QueryMapping m{{"2", "site"}, {"3", "item"}};
    const DeletionCostList costs{{"3", 5}};
    auto run = [&](const Doc& d, std::int64_t deletionCost) {
        return evaluateQuery(q, d.context(m, costs, Doc::noTypes, deletionCost, SearchMode::Best), 2);
    };
    Doc with("<site><item/></site>");
    Doc without("<site><people/></site>");
    EXPECT_EQ(show(run(with, 5)), "(1,0,2,0,5) site^2^1(item^3^2)");
    EXPECT_EQ(show(run(without, 5)), "(1,0,2,0,10) site^2^1");
}

TEST(AttributeReconversion, AttributeElementsBecomeAttributes) {
    using testutil::tree;
    auto show = [](const Tree* t) {
        std::string r;
        auto rec = [&](auto& self, const Tree* n) -> void {
            if (const auto* e = std::get_if<ELNode>(&n->value)) {
                r += e->name;
                for (const auto& [k, v] : e->attributes) r += " " + k + "=\"" + v + "\"";
            } else {
                r += "'" + std::get<xml::TXNode>(n->value).text + "'";
            }
            if (n->kidCount) {
                r += "(";
                for (std::size_t i = 0; i < n->kidCount; ++i) {
                    if (i) r += ",";
                    self(self, n->kids[i]);
                }
                r += ")";
            }
        };
        rec(rec, t);
        return r;
    };
    struct Case {
        const char* in;
        const char* out;
    } cases[] = {
        {"person(@id('p1'),name('Ann'),@lang('en'))", "person id=\"p1\" lang=\"en\"(name('Ann'))"},
        {"person(@blank,name)", "person blank=\"\"(name)"},
        {"person(@two('a','b'))", "person(@two('a','b'))"},
        {"person(@nested(x))", "person(@nested(x))"},
        {"@id('p1')", "@id('p1')"},
        {"person('@text')", "person('@text')"},
        {"site(people(person(@id('p2'))))", "site(people(person id=\"p2\"))"},
    };
    for (const Case& c : cases) EXPECT_EQ(show(restoreAttributes(tree(c.in))), c.out) << c.in;
    const Tree* t = xml::text("t");
    EXPECT_EQ(restoreAttributes(t), t);
}

}  // namespace
