#include <gtest/gtest.h>

#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include "index/DocumentIndexer.h"
#include "index/DocumentIndexerInternal.h"
#include "index/ElementIndexInternal.h"
#include "index/EventWalkInternal.h"
#include "query/NodeLabel.h"
#include "tests/support/IndexEntries.h"

namespace {

using namespace axf::index;
using namespace axf::xml;
using axf::testindex::keys;
using axf::testindex::label;
using axf::testindex::positions;

using Atts = std::vector<std::pair<std::string, std::string>>;

LazyAttList lazy(const Atts& atts) {
    LazyAttList out;
    for (auto& [k, v] : atts) out.emplace_back(k, axf::Lazy<std::string>::ready(v));
    return out;
}
XMLEvent S(std::string name, const Atts& atts = {}) { return StartEvent{std::move(name), lazy(atts)}; }
XMLEvent M(std::string name, const Atts& atts = {}) { return EmptyEvent{std::move(name), lazy(atts)}; }
XMLEvent E(std::string name) { return EndEvent{std::move(name)}; }
XMLEvent T(std::string text) { return TextEvent{std::move(text)}; }

std::vector<XMLEvent> events(std::initializer_list<XMLEvent> list) {
    std::vector<XMLEvent> out;
    for (const auto& e : list) out.push_back(e);
    return out;
}

// The tree as label(children...), texts marked with quotes.
std::string shape(const Tree* t) {
    bool isText = std::holds_alternative<TXNode>(t->value);
    std::string s;
    if (isText) s.push_back('\'');
    s.append(label(t));
    if (isText) s.push_back('\'');
    if (t->kidCount == 0) return s;
    s.push_back('(');
    for (std::size_t i = 0; i < t->kidCount; ++i) {
        if (i) s.push_back(',');
        s.append(shape(t->kids[i]));
    }
    s.push_back(')');
    return s;
}

struct Row {
    std::int64_t position, depth, last;
    std::string leaf;
};

// Every filed node with its entry, by position.
std::vector<Row> rows(const BuildResult& r) {
    std::vector<Row> out(static_cast<std::size_t>(r.lastPosition));
    for (const Index* index : {&r.elementIndex.get(), &r.textIndex.get()})
        for (const auto& e : index->entries())
            for (const auto& x : e.exact) {
                EXPECT_EQ(x.renamingCost, 0);
                EXPECT_EQ(x.cost, 0);
                EXPECT_EQ(x.tree->kidCount, 0u);
                out[static_cast<std::size_t>(x.position - 1)] = Row{x.position, x.depth, x.last, label(x.tree)};
            }
    return out;
}

using Pairs = std::vector<std::pair<std::int64_t, std::string>>;
Pairs pairs(const BuildResult& r) {
    Pairs out;
    for (auto& [p, l] : mappingPairs(r)) out.emplace_back(p, std::string(l));
    return out;
}

TEST(Walk, WorkedExample) {
    BuildResult r =
        buildIndexes(events({S("item", {{"id", "7"}}), S("name"), T("Pen"), E("name"), T(" "), M("name"), E("item")}));
    EXPECT_TRUE(r.reachedEnd);
    EXPECT_EQ(r.lastPosition, 6);
    EXPECT_EQ(shape(r.tree), "item^1(@id^2('7^3'),name^4('Pen^5'),name^6)");
    std::vector<Row> got = rows(r);
    std::vector<Row> want = {{1, 0, 6, "item"}, {2, 2, 3, "@id"}, {3, 4, 3, "7"},
                             {4, 2, 5, "name"}, {5, 4, 5, "Pen"}, {6, 2, 6, "name"}};
    ASSERT_EQ(got.size(), want.size());
    for (std::size_t i = 0; i < want.size(); ++i) {
        EXPECT_EQ(got[i].position, want[i].position);
        EXPECT_EQ(got[i].depth, want[i].depth) << i;
        EXPECT_EQ(got[i].last, want[i].last) << i;
        EXPECT_EQ(got[i].leaf, want[i].leaf) << i;
    }
    // Filed in postorder 3, 2, 5, 4, 6, 1: the mapping newest first, and the
    // keys in the order of their first filing.
    EXPECT_EQ(pairs(r), (Pairs{{1, "item"}, {6, "name"}, {4, "name"}, {5, "Pen"}, {2, "@id"}, {3, "7"}}));
    EXPECT_EQ(keys(r.elementIndex), (std::vector<std::string>{"id", "name", "item"}));
    EXPECT_EQ(keys(r.textIndex), (std::vector<std::string>{"7", "Pen"}));
    EXPECT_EQ(positions(r.elementIndex.find("name")->exact), (std::vector<std::int64_t>{4, 6}));
    for (const Index* index : {&r.elementIndex.get(), &r.textIndex.get()})
        for (const auto& e : index->entries()) EXPECT_TRUE(e.inexact.empty());
    EXPECT_EQ(getMapName(2, r.mapping), "@id");
    // The entries of one label share the node alone.
    EXPECT_EQ(r.elementIndex.find("name")->exact[0].tree, r.elementIndex.find("name")->exact[1].tree);
}

TEST(Walk, ShapesOfTheTopLevelAndOfNesting) {
    struct Case {
        const char* what;
        std::vector<XMLEvent> events;
        std::string tree;
        std::int64_t last;
    };
    std::vector<Case> cases = {
        {"nested same name", events({S("name"), S("name"), T("x"), E("name"), E("name")}), "name^1(name^2('x^3'))", 3},
        {"end names are not compared", events({S("a"), S("b"), E("a"), E("b")}), "a^1(b^2)", 2},
        {"open elements close at the end", events({S("a"), S("b"), T("x")}), "a^1(b^2('x^3'))", 3},
        {"second top-level element is numbered on", events({S("a"), T("x"), E("a"), M("b", {{"c", "y"}})}), "a^1('x^2')", 5},
        {"a top-level end stops the walk", events({S("a"), E("a"), E("z"), S("b"), E("b")}), "a^1", 1},
        {"a text first", events({T("hello"), M("a")}), "'hello^1'", 2},
        {"blank and carriage-return texts",
         events({S("a"), T("  "), T(""), T("\r"), T(" \t\n"), T("\xA0"), T(" x "), T("y"), E("a")}),
         "a^1('\r^2','\xA0^3',' x ^4','y^5')", 5},
        {"blank and empty attribute values", events({M("a", {{"k", " "}, {"m", ""}, {"n", "\r"}})}),
         "a^1(@k^2,@m^3,@n^4('\r^5'))", 5},
        {"caret and backslash are escaped", events({S("a"), T("x^y\\z"), E("a")}), "a^1('x\\^y\\\\z^2')", 2},
        {"no node: only blanks", events({T("  "), S("a")}), "a^1", 1},
    };
    for (auto& c : cases) {
        BuildResult r = buildIndexes(std::move(c.events));
        EXPECT_EQ(shape(r.tree), c.tree) << c.what;
        EXPECT_EQ(r.lastPosition, c.last) << c.what;
        EXPECT_EQ(r.mapping.size(), static_cast<std::size_t>(c.last) + 1) << c.what;
    }
    EXPECT_EQ(axf::query::getLabelComponent(documentLabel("x^y\\z", 12), 1), "x^y\\z");
    EXPECT_EQ(axf::query::getLabelComponent(documentLabel("x^y\\z", 12), 2), "12");
}

TEST(Walk, NoNodeGivesTheEmptyDocument) {
    for (auto evs : {events({}), events({T(" ")}), events({E("a"), S("b")})}) {
        BuildResult r = buildIndexes(std::move(evs));
        EXPECT_EQ(shape(r.tree), "empty");
        EXPECT_TRUE(r.elementIndex.empty());
        EXPECT_TRUE(r.textIndex.empty());
        EXPECT_EQ(r.lastPosition, 0);
        IndexedDocument doc = indexedDocument(std::move(r));
        EXPECT_TRUE(doc.elementIndex.merged().empty());
    }
}

TEST(Walk, IndexFiling) {
    // Texts shared, a text beginning with '@' a text like any other,
    // attributes and elements sharing a key, a second top-level tree filed too.
    BuildResult r =
        buildIndexes(events({S("site", {{"id", "v"}}), M("id"), T("v"), T("@name"), E("site"), S("item"), T("v"), E("item")}));
    EXPECT_EQ(positions(r.elementIndex.find("id")->exact), (std::vector<std::int64_t>{2, 4}));
    EXPECT_EQ(positions(r.textIndex.find("v")->exact), (std::vector<std::int64_t>{3, 5, 8}));
    EXPECT_FALSE(r.elementIndex.find("name"));
    const IndexEntry* name = r.textIndex.find("@name");
    ASSERT_TRUE(name);
    ASSERT_EQ(name->exact.size(), 1u);
    EXPECT_EQ(name->exact[0].position, 6);
    EXPECT_EQ(name->exact[0].depth, 2);
    EXPECT_EQ(getMapName(6, r.mapping), "@name");
    EXPECT_EQ(r.elementIndex.find("item")->exact[0].depth, 0);
    EXPECT_EQ(keys(r.elementIndex), (std::vector<std::string>{"id", "site", "item"}));
}

// Texts and attribute values beginning with '@' are texts, whatever
// follows the '@': no element key, no vocabulary check, no element match.
TEST(Walk, AtTextsAreTexts) {
    struct Case {
        const char* what;
        std::string doc;
        std::string tree;
        std::vector<std::string> elementKeys;
        std::vector<std::string> textKeys;
    };
    const std::vector<Case> cases = {
        {"value @*",
         "<site><item id=\"@*\">x</item></site>",
         "site^1(item^2(@id^3('@*^4'),'x^5'))",
         {"id", "item", "site"},
         {"@*", "x"}},
        {"value @",
         "<site><item id='@'>x</item></site>",
         "site^1(item^2(@id^3('@^4'),'x^5'))",
         {"id", "item", "site"},
         {"@", "x"}},
        {"text @select", "<site><item>@select</item></site>", "site^1(item^2('@select^3'))", {"item", "site"}, {"@select"}},
        {"text @id beside an attribute id",
         "<site id='@id'><item>@id</item></site>",
         "site^1(@id^2('@id^3'),item^4('@id^5'))",
         {"id", "item", "site"},
         {"@id"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        IndexedDocument doc = parseText(c.doc);
        EXPECT_EQ(shape(doc.tree), c.tree);
        std::vector<std::string> el = keys(doc.elementIndex.merged());  // classifies every key: none fails
        std::sort(el.begin(), el.end());
        EXPECT_EQ(el, c.elementKeys);
        std::vector<std::string> tx = keys(doc.textIndex.get());
        std::sort(tx.begin(), tx.end());
        EXPECT_EQ(tx, c.textKeys);
    }
    IndexedDocument doc = parseText("<site><item>@id</item></site>");
    EXPECT_TRUE(getRef(doc.elementIndex, "id", LookupKind::WithTranslations).empty());
    EXPECT_EQ(positions(getRef(doc.textIndex, "@id", LookupKind::Exact)), (std::vector<std::int64_t>{3}));
}

// The entries of a key are read off the nodes when the key is looked up:
// the element's and the attribute element's nodes, in position order, with
// their depths and last positions, the list made at its size.
TEST(Walk, KeyEntriesReadOffTheNodes) {
    IndexedDocument doc =
        parseText("<site><item id='a'>t<name>n</name></item>u<id>v</id><people><item><id/></item></people></site>");
    const IndexEntry* id = doc.elementIndex.find("id");
    ASSERT_TRUE(id);
    EXPECT_EQ(positions(id->exact), (std::vector<std::int64_t>{3, 9, 13}));
    std::vector<std::int64_t> depths, lasts;
    for (const EmbeddingEntry& e : id->exact) {
        depths.push_back(e.depth);
        lasts.push_back(e.last);
    }
    EXPECT_EQ(depths, (std::vector<std::int64_t>{4, 2, 6}));
    EXPECT_EQ(lasts, (std::vector<std::int64_t>{4, 10, 13}));
    EXPECT_EQ(label(id->exact[0].tree), "@id");
    EXPECT_EQ(label(id->exact[1].tree), "id");
    EXPECT_EQ(id->exact.capacity(), id->exact.size());
    const IndexEntry* item = doc.elementIndex.find("item");
    ASSERT_TRUE(item);
    EXPECT_EQ(positions(item->exact), (std::vector<std::int64_t>{2, 12}));
    EXPECT_EQ(item->exact.capacity(), item->exact.size());
}

// White space before the first node (a carriage return between prolog
// items) is no node: the root element stays the document tree, in the direct
// walk and in the event walk alike; the same white space inside the
// document stays a text.
TEST(Walk, WhiteSpaceBeforeTheRootIsNoNode) {
    const std::vector<std::pair<std::string, std::string>> cases = {
        {"<?xml version=\"1.0\"?>\r<!-- c -->\r<site><item>kept</item></site>", "site^1(item^2('kept^3'))"},
        {"\r<site/>", "site^1"},
        {"\r \xA0\f\v<site/>", "site^1"},
        {"<?xml version=\"1.0\"?>\r<!DOCTYPE site>\r<site>\r</site>\r", "site^1('\r^2')"},
        {"\r<![CDATA[]]>\r<site/>", "site^1"},
        {"\rtext<site/>", "'text^1'"},
    };
    for (const auto& [text, tree] : cases) {
        SCOPED_TRACE(text);
        EXPECT_EQ(shape(parseText(text).tree), tree);
        const std::string prepared = removeLineBreaksAndTabs(text);
        DocumentEvents parsed = parseDocument(prepared);
        EXPECT_EQ(shape(buildIndexes([&parsed] { return parsed.next(); }).tree), tree);
    }
    EXPECT_EQ(shape(buildIndexes(events({T("\r"), T(" \r"), S("a"), T("\r"), E("a")})).tree), "a^1('\r^2')");
}

TEST(Walk, EventsOutsideTheDataKinds) {
    BuildResult r = buildIndexes(events({S("a"), CommentEvent{"c"}, PIEvent{"p", "x"}, T("x"), GERefEvent{"amp"},
                                         GERefEvent{"lt"}, GERefEvent{"gt"}, GERefEvent{"quot"}, GERefEvent{"apos"}, E("a")}));
    EXPECT_EQ(shape(r.tree), "a^1('x^2','&^3','<^4','>^5','\"^6','\'^7')");

    auto fatal = [](std::vector<XMLEvent> evs) -> std::string {
        try {
            buildIndexes(std::move(evs));
        } catch (const axf::Fatal& f) {
            return f.what();
        }
        return "no failure";
    };
    EXPECT_EQ(fatal(events({S("a"), GERefEvent{"nbsp"}})), "entity nbsp not defined");
    EXPECT_EQ(fatal(events({ErrorEvent{"Error parsing prolog"}})), "Error parsing prolog");

    // Nothing after the top-level end is pulled.
    int pulled = 0;
    std::vector<XMLEvent> evs = events({S("a"), E("a"), E("a"), ErrorEvent{"late"}});
    BuildResult stopped = buildIndexes([&]() -> std::optional<XMLEvent> {
        if (pulled == 4) throw std::logic_error("pulled past the end");
        return evs[pulled++];
    });
    EXPECT_EQ(pulled, 3);
    EXPECT_FALSE(stopped.reachedEnd);
}

TEST(Walk, AttrsEvents) {
    std::vector<XMLEvent> out = attrs(lazy({{"k", "v"}, {"m", ""}}), events({E("a")}));
    ASSERT_EQ(out.size(), 7u);
    EXPECT_EQ(std::get<StartEvent>(out[0]).name, "@k");
    EXPECT_TRUE(std::get<StartEvent>(out[0]).attributes.empty());
    EXPECT_EQ(std::get<TextEvent>(out[1]).text, "v");
    EXPECT_EQ(std::get<EndEvent>(out[2]).name, "k");
    EXPECT_EQ(std::get<StartEvent>(out[3]).name, "@m");
    EXPECT_EQ(std::get<TextEvent>(out[4]).text, "");
    EXPECT_EQ(std::get<EndEvent>(out[5]).name, "m");
    EXPECT_EQ(std::get<EndEvent>(out[6]).name, "a");
    EXPECT_TRUE(attrs({}, {}).empty());
    EXPECT_EQ(attrs(lazy({{"k", "1"}, {"k", "2"}}), {}).size(), 6u);
}

TEST(Walk, DeepDocumentWithoutRecursion) {
    const int depth = 100000;
    int emitted = 0;
    BuildResult r = buildIndexes([&]() -> std::optional<XMLEvent> {
        if (emitted < depth) return (emitted++, S("item"));
        if (emitted == depth) return (emitted++, T("x"));
        if (emitted < 2 * depth + 1) return (emitted++, E("item"));
        return std::nullopt;
    });
    EXPECT_EQ(r.lastPosition, depth + 1);
    const IndexEntry* a = r.elementIndex.find("item");
    ASSERT_EQ(a->exact.size(), static_cast<std::size_t>(depth));
    EXPECT_EQ(a->exact.front().position, 1);
    EXPECT_EQ(a->exact.back().depth, 2 * (depth - 1));
    EXPECT_EQ(r.textIndex.find("x")->exact[0].depth, 2 * depth);
    IndexedDocument doc = indexedDocument(std::move(r));
    EXPECT_EQ(getRef(doc.elementIndex, "item", LookupKind::WithTranslations).size(), static_cast<std::size_t>(depth));
}

// The merge on walked documents.
struct MergeCase {
    const char* what;
    std::vector<XMLEvent> events;
    std::vector<std::tuple<std::string, std::vector<std::int64_t>, std::vector<std::int64_t>>> keys;
};

TEST(Walk, SynonymMergeExamples) {
    std::vector<MergeCase> cases = {
        {"items and an articolo",
         events({S("site"), M("item"), M("articolo"), M("item"), E("site")}),
         {{"item", {2, 4}, {3}}, {"articolo", {3}, {2, 4}}, {"site", {1}, {}}}},
        {"attribute and element translations",
         events({S("person", {{"nome", "x"}}), M("name"), E("person")}),
         {{"nome", {2}, {4}}, {"name", {4}, {2}}, {"person", {1}, {}}}},
        {"an @ text is no element", events({S("site"), S("item"), T("@articolo"), E("item"), E("site")}), {{"item", {2}, {}}}},
        {"attribute and element of one name", events({S("name", {{"name", "x"}}), E("name")}), {{"name", {1, 2}, {}}}},
        {"a single-name class", events({S("africa"), M("africa"), E("africa")}), {{"africa", {1, 2}, {}}}},
        {"nested translations, out of filing order",
         events({S("item"), S("articolo"), S("item"), M("articolo"), E("item"), E("articolo"), E("item")}),
         {{"item", {1, 3}, {2, 4}}, {"articolo", {2, 4}, {1, 3}}}},
    };
    for (auto& c : cases) {
        IndexedDocument doc = indexedDocument(buildIndexes(std::move(c.events)));
        for (auto& [key, exact, inexact] : c.keys) {
            const IndexEntry* e = doc.elementIndex.merged().find(key);
            ASSERT_TRUE(e) << c.what << " " << key;
            EXPECT_EQ(positions(e->exact), exact) << c.what << " " << key;
            EXPECT_EQ(positions(e->inexact), inexact) << c.what << " " << key;
            for (const auto& x : e->inexact) {
                EXPECT_EQ(x.renamingCost, 2);
                EXPECT_EQ(x.cost, 0);
            }
        }
    }
    // The inexact entry keeps the translation's own node alone.
    IndexedDocument doc = indexedDocument(buildIndexes(events({S("person", {{"nome", "x"}}), M("name"), E("person")})));
    EXPECT_EQ(label(doc.elementIndex.merged().find("name")->inexact[0].tree), "@nome");
    EXPECT_EQ(getRef(doc.elementIndex, "name", LookupKind::WithTranslations).size(), 2u);
    EXPECT_EQ(getRef(doc.elementIndex, "name", LookupKind::Exact).size(), 1u);
}

TEST(Walk, UnknownNamesFailAtTheFirstElementLookup) {
    for (auto evs : {events({S("site"), M("Item"), E("site")}), events({S("site", {{"colour", "red"}}), E("site")}),
                     events({S("site"), M("nonsense"), E("site")})}) {
        IndexedDocument doc = indexedDocument(buildIndexes(std::move(evs)));       // indexing itself succeeds
        EXPECT_TRUE(getRef(doc.textIndex, "red", LookupKind::Exact).size() <= 1);  // text lookups classify nothing
        EXPECT_FALSE(doc.elementIndex.isMerged());
        for (int twice = 0; twice < 2; ++twice) {
            try {
                getRef(doc.elementIndex, "site", LookupKind::Exact);
                ADD_FAILURE() << "no failure";
            } catch (const axf::Fatal& f) {
                std::string msg = f.what();
                EXPECT_TRUE(msg.find("\"Item\"") != std::string::npos || msg.find("\"colour\"") != std::string::npos ||
                            msg.find("\"nonsense\"") != std::string::npos)
                    << msg;
            }
        }
    }
}

TEST(Walk, SynonymIndexFromTheWalk) {
    BuildResult r = buildIndexes(events({S("name"), M("item"), M("nome"), S("name"), E("name"), E("name")}));
    SynonymIndex syn = synonymIndex(r.elementIndex);
    ASSERT_EQ(syn.size(), 2u);
    EXPECT_EQ(syn[0].first, "9");  // item is filed first
    EXPECT_EQ(syn[1].first, "12");
    std::vector<std::int64_t> newestFirst;
    for (const auto& rec : getSyn(syn, "nome")) newestFirst.push_back(rec.entry.position);
    EXPECT_EQ(newestFirst, (std::vector<std::int64_t>{1, 4, 3}));
}

}  // namespace
