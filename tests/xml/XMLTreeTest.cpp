// Building document trees from events (on request), the generic builder, and
// serialising trees back to events.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "common/Fatal.h"
#include "common/Lazy.h"
#include "xml/XML.h"
#include "xml/XMLEventShow.h"
#include "xml/XMLPrint.h"
#include "xml/XMLTree.h"

namespace axf::xml {
namespace {

XMLEvent S(std::string n, AttList atts = {}) { return StartEvent{std::move(n), readyAttributes(atts)}; }
XMLEvent M(std::string n, AttList atts = {}) { return EmptyEvent{std::move(n), readyAttributes(atts)}; }
XMLEvent E(std::string n) { return EndEvent{std::move(n)}; }
XMLEvent T(std::string t) { return TextEvent{std::move(t)}; }
XMLEvent X(std::string m) { return ErrorEvent{std::move(m)}; }

// A sequence that counts how many events have been taken from it.
struct Counted {
    EventPull pull;
    std::shared_ptr<std::size_t> taken;
};
Counted counted(std::vector<XMLEvent> events) {
    auto n = std::make_shared<std::size_t>(0);
    EventPull inner = eventsOf(std::move(events));
    return {[inner, n]() {
                auto e = inner();
                if (e) ++*n;
                return e;
            },
            n};
}

std::string shown(const Tree* t) { return showText(t); }
std::string eventsShown(const EventPull& evs) { return showListText(takeEvents(evs)); }

std::string fatalOf(const std::function<void()>& fn) {
    try {
        fn();
    } catch (const Fatal& e) {
        return e.what();
    }
    return "(no failure)";
}

TEST(BuildTree, EventsToTrees) {
    struct Case {
        std::vector<XMLEvent> events;
        std::string tree;
    };
    const std::vector<Case> cases = {
        {{}, "Tree RTNode []"},
        // Any end event closes the innermost element; its name is not read.
        {{S("a"), E("b")}, "Tree RTNode [Tree (ELNode \"a\" []) []]"},
        // Elements still open at the end are closed there.
        {{S("a"), T("x")}, "Tree RTNode [Tree (ELNode \"a\" []) [Tree (TXNode \"x\") []]]"},
        // A top-level end event ends the root's children.
        {{S("a"), E("a"), E("a"), S("b"), E("b")}, "Tree RTNode [Tree (ELNode \"a\" []) []]"},
        {{S("a"), S("b"), E("b"), E("c"), T("t"), E("a")},
         "Tree RTNode [Tree (ELNode \"a\" []) [Tree (ELNode \"b\" []) []],Tree (TXNode \"t\") []]"},
        // Adjacent texts stay apart; fields are kept as they are, attributes in order.
        {{T(" "), T("x y ")}, "Tree RTNode [Tree (TXNode \" \") [],Tree (TXNode \"x y \") []]"},
        {{M("e", {{"z", "1"}, {"a", ""}}), PIEvent{"t", " x"}, GERefEvent{"amp"}, CommentEvent{"c"}},
         "Tree RTNode [Tree (ELNode \"e\" [(\"z\",\"1\"),(\"a\",\"\")]) [],Tree (PINode \"t\" \" x\") [],"
         "Tree (ENNode \"amp\") [],Tree (CXNode \"c\") []]"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(showListText(c.events));
        EXPECT_EQ(shown(buildTree(eventsOf(c.events)).force()), c.tree);
        // The generic builder over the tree constructor gives the same tree.
        auto mk = [](XMLNode v, TreeList kids) { return makeTree(std::move(v), kids); };
        auto cons = [](const Tree* t, TreeList l) {
            l.insert(l.begin(), t);
            return l;
        };
        EXPECT_EQ(shown(constructTree(mk, cons, TreeList{}, eventsOf(c.events))), c.tree);
    }
}

TEST(BuildTree, GenericBuilderUsesOnlyTheGivenOperations) {
    // Trees as texts "label{children}", child lists as "first,second,...|".
    auto label = [](const XMLNode& v) {
        if (auto* e = std::get_if<ELNode>(&v)) return e->name;
        if (auto* t = std::get_if<TXNode>(&v)) return "'" + t->text + "'";
        return std::string("R");
    };
    auto mk = [&](XMLNode v, std::string l) { return label(v) + "{" + l + "}"; };
    auto prepend = [](std::string t, std::string l) { return t + "," + l; };
    std::vector<XMLEvent> evs = {S("a"), T("1"), M("b"), E("a"), T("2"), E("x"), T("never")};
    EXPECT_EQ(constructTree(mk, prepend, std::string("|"), eventsOf(evs)), "R{a{'1'{|},b{|},|},'2'{|},|}");
    EXPECT_EQ(fatalOf([&] { constructTree(mk, prepend, std::string("|"), eventsOf({S("a"), X("bad")})); }), "bad");
}

TEST(BuildTree, ReadsEventsOnlyWhenChildrenAreAskedFor) {
    Counted src = counted({S("a"), T("x"), E("a"), S("b"), E("b"), E("top"), S("c"), E("c")});
    LazyTree root = buildTree(src.pull);
    EXPECT_TRUE(std::holds_alternative<RTNode>(root.value()));
    EXPECT_EQ(*src.taken, 0u);

    std::optional<LazyTree> a = root.child(0);
    ASSERT_TRUE(a);
    EXPECT_EQ(*src.taken, 1u);  // the start of a, nothing of its content
    // Reaching b reads a's content first.
    std::optional<LazyTree> b = root.child(1);
    ASSERT_TRUE(b);
    EXPECT_EQ(*src.taken, 4u);
    EXPECT_EQ(std::get<TXNode>(a->child(0)->value()).text, "x");
    EXPECT_FALSE(a->child(1));
    EXPECT_EQ(*src.taken, 4u);
    // The top-level end event ends the root; c is never read.
    EXPECT_FALSE(root.child(2));
    EXPECT_EQ(*src.taken, 6u);
    EXPECT_EQ(root.children().size(), 2u);
    EXPECT_EQ(*src.taken, 6u);
}

TEST(BuildTree, ErrorEventFiresOnlyWhenReached) {
    LazyTree root = buildTree(eventsOf({S("a"), T("1"), E("a"), M("b"), X("broken here"), T("after")}));
    EXPECT_EQ(showXML(root.child(0)->force()), "<a>1</a\n>");
    EXPECT_EQ(showXML(root.child(1)->force()), "<b/>");
    EXPECT_EQ(fatalOf([&] { root.child(2); }), "broken here");
    // The failure stays: asking again fails the same way; what was read stands.
    EXPECT_EQ(fatalOf([&] { root.children(); }), "broken here");
    EXPECT_EQ(fatalOf([&] { root.force(); }), "broken here");
    EXPECT_EQ(showXML(root.child(1)->force()), "<b/>");
}

TEST(ParseXML, DocumentTextToTree) {
    LazyTree doc = parseXML("<?xml version='1.0'?>\n<a x='1&amp;2'>hi <b/><!--c--></a>");
    EXPECT_EQ(shown(doc.force()),
              "Tree RTNode [Tree (ELNode \"a\" [(\"x\",\"1&2\")]) [Tree (TXNode \"hi \") [],"
              "Tree (ELNode \"b\" []) [],Tree (CXNode \"c\") []]]");

    // A prolog that does not parse: the root is there; its children fail.
    LazyTree bad = parseXML("<!ELEMENT a ANY><a/>");
    EXPECT_TRUE(std::holds_alternative<RTNode>(bad.value()));
    EXPECT_EQ(fatalOf([&] { bad.child(0); }), "Error parsing prolog");

    // The text is scanned only as far as the walk goes: the bad reference
    // after the first element fails only when the walk reaches it.
    LazyTree late = parseXML("<a>ok</a>&#1F;");
    EXPECT_EQ(showXML(late.child(0)->force()), "<a>ok</a\n>");
    EXPECT_THROW(late.child(1), Fatal);
}

TEST(SerializeTree, TreesToEvents) {
    struct Case {
        const Tree* tree;
        std::string events;
    };
    const Tree* inner = makeTree(RTNode{}, {text("in"), elem("r")});
    const std::vector<Case> cases = {
        {leafNode(RTNode{}), "[]"},
        // An element without children still gets its end event.
        {leafNode(ELNode{"e", {{"k", "v"}}}), "[StartEvent \"e\" [(\"k\",\"v\")],EndEvent \"e\"]"},
        // Children of a text node are not serialised; a nested root gives only its children.
        {elem("a", {makeTree(TXNode{"t"}, {elem("lost")}), inner, leafNode(PINode{"p", "q"}), leafNode(CXNode{"c"}),
                    leafNode(ENNode{"n"})}),
         "[StartEvent \"a\" [],TextEvent \"t\",TextEvent \"in\",StartEvent \"r\" [],EndEvent \"r\","
         "PIEvent \"p\" \"q\",CommentEvent \"c\",GERefEvent \"n\",EndEvent \"a\"]"},
    };
    for (const Case& c : cases) EXPECT_EQ(eventsShown(serializeTree(c.tree)), c.events) << shown(c.tree);

    // Building the events again: an element root comes back under a new root.
    const Tree* a = elem("a", {elem("b", {text("x")}), text("y")});
    EXPECT_EQ(shown(buildTree(serializeTree(a)).force()), shown(makeTree(RTNode{}, {a})));
    // Serialising a built tree pairs every end event with its element's name.
    EXPECT_EQ(eventsShown(serializeTree(buildTree(eventsOf({S("a"), M("b"), E("zz")})))),
              "[StartEvent \"a\" [],StartEvent \"b\" [],EndEvent \"b\",EndEvent \"a\"]");
}

TEST(SerializeTree, EventsOfABuiltTreeComeOnRequest) {
    Counted src = counted({S("a"), T("1"), E("a"), X("late")});
    EventPull evs = serializeTree(buildTree(src.pull));
    EXPECT_EQ(*src.taken, 0u);
    EXPECT_EQ(showEvent(*evs()), "<a>");
    EXPECT_EQ(showEvent(*evs()), "1");
    EXPECT_EQ(showEvent(*evs()), "</a\n>");
    EXPECT_EQ(fatalOf([&] { evs(); }), "late");
}

TEST(BuildTree, DeepAndWideDocumentsWithoutRecursion) {
    // Runs on the ordinary stack: nothing here may recurse per level or sibling.
    constexpr std::size_t kDeep = 100000;
    std::vector<XMLEvent> deep;
    for (std::size_t i = 0; i < kDeep; ++i) deep.push_back(S("d"));
    deep.push_back(T("x"));
    LazyTree dt = buildTree(eventsOf(deep));
    const Tree* t = dt.force();
    std::size_t depth = 0;
    for (const Tree* n = t; n->kidCount; n = n->kids[0]) ++depth;
    EXPECT_EQ(depth, kDeep + 1);
    std::string xml = showXML(t);
    EXPECT_EQ(xml.size(), kDeep * 3 + 1 + kDeep * 5);
    EXPECT_EQ(xml.substr(kDeep * 3 - 3, 8), "<d>x</d\n");
    EXPECT_EQ(takeEvents(serializeTree(t)).size(), 2 * kDeep + 1);
    StringSink sink;
    writeXML(sink, dt);
    EXPECT_EQ(sink.text(), xml);

    constexpr std::size_t kWide = 1000000;
    std::vector<XMLEvent> wide = {S("w")};
    for (std::size_t i = 0; i < kWide; ++i) wide.push_back(M("e"));
    const Tree* w = buildTree(eventsOf(std::move(wide))).force();
    ASSERT_EQ(w->kids[0]->kidCount, kWide);
    EXPECT_EQ(showXML(w).size(), 3 + kWide * 4 + 5);
    EXPECT_EQ(takeEvents(serializeTree(w)).size(), 2 + 2 * kWide);
}

// ---------------------------------------------------------------------------
// The generic builder over deferred child lists: a tree is a label and its
// deferred children; a list is a cons cell (null: the empty list).

struct LazyNode;
struct Cons;
using Kids = axf::Lazy<std::shared_ptr<const Cons>>;
struct LazyNode {
    std::string label;
    Kids kids;
};
struct Cons {
    LazyNode head;
    Kids tail;
};

std::string labelOf(const XMLNode& v) {
    if (auto* e = std::get_if<ELNode>(&v)) {
        std::string l = e->name;
        for (const auto& [n, x] : e->attributes) l += " " + n + "=" + x;
        return l;
    }
    if (auto* t = std::get_if<TXNode>(&v)) return "'" + t->text + "'";
    if (std::holds_alternative<RTNode>(v)) return "R";
    return "?";
}

LazyNode buildDeferred(const EventPull& events) {
    auto mk = [](XMLNode v, Kids kids) { return LazyNode{labelOf(v), std::move(kids)}; };
    auto prepend = [](LazyNode t, Kids rest) {
        return Kids::ready(std::make_shared<const Cons>(Cons{std::move(t), std::move(rest)}));
    };
    return constructTree(mk, prepend, Kids::ready(nullptr), events);
}

// The whole tree as "label{child,child,}" (reads every event it needs).
std::string walkAll(const LazyNode& n) {
    std::string out = n.label + "{";
    for (std::shared_ptr<const Cons> c = n.kids.get(); c; c = c->tail.get()) out += walkAll(c->head) + ",";
    return out + "}";
}

TEST(ConstructTree, DeferredListsGiveTheTreesOfTheEvents) {
    struct Case {
        std::vector<XMLEvent> events;
        std::string tree;
    };
    const std::vector<Case> cases = {
        {{}, "R{}"},
        {{S("a"), E("b")}, "R{a{},}"},
        {{S("a"), T("x")}, "R{a{'x'{},},}"},
        {{S("a"), E("a"), E("a"), S("b"), E("b")}, "R{a{},}"},
        {{S("a"), S("b"), E("b"), E("c"), T("t"), E("a")}, "R{a{b{},},'t'{},}"},
        {{T(" "), T("x y ")}, "R{' '{},'x y '{},}"},
        {{M("e", {{"z", "1"}, {"a", ""}}), S("f", {{"k", "v"}}), M("g"), E("f")}, "R{e z=1 a={},f k=v{g{},},}"},
    };
    for (const Case& c : cases) EXPECT_EQ(walkAll(buildDeferred(eventsOf(c.events))), c.tree) << showListText(c.events);
}

TEST(ConstructTree, DeferredListsReadOnlyAsFarAsTheWalk) {
    Counted src = counted({S("a"), T("x"), E("a"), S("b"), X("late"), E("b"), S("c")});
    LazyNode root = buildDeferred(src.pull);
    EXPECT_EQ(root.label, "R");
    EXPECT_EQ(*src.taken, 0u);

    std::shared_ptr<const Cons> first = root.kids.get();
    ASSERT_TRUE(first);
    EXPECT_EQ(first->head.label, "a");
    EXPECT_EQ(*src.taken, 1u);  // the start of a, nothing of its content
    EXPECT_EQ(first->head.kids.get()->head.label, "'x'");
    EXPECT_EQ(*src.taken, 2u);
    // The next sibling reads the rest of a first; b's children are not read.
    std::shared_ptr<const Cons> second = first->tail.get();
    ASSERT_TRUE(second);
    EXPECT_EQ(second->head.label, "b");
    EXPECT_EQ(*src.taken, 4u);
    EXPECT_FALSE(first->head.kids.get()->tail.get());
    // The failure fires where the walk reaches it, and again when asked again.
    EXPECT_EQ(fatalOf([&] { second->head.kids.get(); }), "late");
    EXPECT_EQ(fatalOf([&] { second->tail.get(); }), "late");
    EXPECT_EQ(*src.taken, 5u);
    EXPECT_EQ(fatalOf([&] { walkAll(root); }), "late");
    EXPECT_EQ(first->head.label, "a");

    // Over lists that are values, everything is read when called.
    Counted all = counted({S("a"), E("a"), T("t")});
    auto mk = [](XMLNode v, TreeList kids) { return makeTree(std::move(v), kids); };
    auto cons = [](const Tree* t, TreeList l) {
        l.insert(l.begin(), t);
        return l;
    };
    constructTree(mk, cons, TreeList{}, all.pull);
    EXPECT_EQ(*all.taken, 3u);
}

TEST(ParseXML, AttributeValuesAreReadWithTheirNode) {
    // An unknown entity in a value that is never read never fails.
    LazyTree doc = parseXML("<a x='&bad;'/><b y='&lt;'/>");
    std::optional<LazyTree> a, b;
    EXPECT_NO_THROW(a = doc.child(0));
    EXPECT_NO_THROW(b = doc.child(1));
    ASSERT_TRUE(a && b);
    EXPECT_FALSE(doc.child(2));
    EXPECT_EQ(showXML(*b), "<b y=\"&lt;\"/>");
    // Reading the value fails, every time; what else was read stands.
    EXPECT_EQ(fatalOf([&] { a->value(); }), "entity bad not defined");
    EXPECT_EQ(fatalOf([&] { a->value(); }), "entity bad not defined");
    EXPECT_EQ(fatalOf([&] { doc.force(); }), "entity bad not defined");
    EXPECT_EQ(fatalOf([&] { showXML(doc); }), "entity bad not defined");
    EXPECT_EQ(showText(b->force()), "Tree (ELNode \"b\" [(\"y\",\"<\")]) []");

    // A value is read when the walk enters its node: before the events of its
    // children, so a later failure does not hide it.
    LazyTree first = parseXML("<a x='&bad;'><c/>&#1F;</a>");
    EXPECT_EQ(fatalOf([&] { first.force(); }), "entity bad not defined");
    EXPECT_EQ(fatalOf([&] { parseXML("<a x='&amp;'><c/>&#1F;</a>").force(); }),
              fatalOf([&] { parseXML("<a><c/>&#1F;</a>").force(); }));

    // The generic builder over deferred lists: the root is there, the first
    // list fails when asked, as that is where the node's value is needed.
    std::string text = "<a x='&bad;'/><b/>";
    LazyNode root;
    EXPECT_NO_THROW(root = buildDeferred(eventsOf(parseDocument(text))));
    EXPECT_EQ(fatalOf([&] { root.kids.get(); }), "entity bad not defined");
}

}  // namespace
}  // namespace axf::xml
