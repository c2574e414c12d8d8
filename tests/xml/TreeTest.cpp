#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "common/Fatal.h"
#include "xml/AssocList.h"
#include "xml/DTD.h"
#include "xml/XML.h"

namespace {

using namespace axf::xml;

using IntTree = RoseTree<int>;
const IntTree* I(int v, std::vector<const IntTree*> kids = {}) { return makeTreeT<int>(v, kids); }

// a(b(d), c) over numbers 1(2(4), 3)
const IntTree* sample() { return I(1, {I(2, {I(4)}), I(3)}); }

TEST(RoseTree, PreorderAndFolds) {
    EXPECT_EQ(preorderTree(sample()), (std::vector<int>{1, 2, 4, 3}));
    EXPECT_EQ(preorderTree(I(7)), (std::vector<int>{7}));
    EXPECT_TRUE(treeChildren(I(7)).empty());

    // foldTree on a leaf is f(x, z).
    auto pairUp = [](int x, int r) { return x * 100 + r; };
    EXPECT_EQ(foldTree(
                  pairUp, [](int a, int b) { return a + b; }, 5, I(7)),
              705);

    // g combines the children's results from the right: 1 - (2 - (3 - 0)) = 2.
    const IntTree* three = I(0, {I(1), I(2), I(3)});
    EXPECT_EQ(foldTree([](int x, int r) { return x == 0 ? r : x; }, [](int a, int b) { return a - b; }, 0, three), 2);

    // Concatenation joins children left to right.
    auto name = [](int x, std::string r) { return std::to_string(x) + "(" + r + ")"; };
    auto cat = [](std::string a, std::string b) { return a + b; };
    EXPECT_EQ(foldTree(name, cat, std::string(), sample()), "1(2(4())3())");

    // cataTree sees each value with its children's results in order.
    auto show = [](int x, std::vector<std::string> rs) {
        std::string s = std::to_string(x);
        for (auto& r : rs) s += "[" + r + "]";
        return s;
    };
    EXPECT_EQ(cataTree<std::string>(show, sample()), "1[2[4]][3]");
    EXPECT_EQ(cataTree<int>([](int x, std::vector<int> rs) { return x + int(rs.size()); }, I(9)), 9);
    // One pair argument, the result type taken from f: the number of nodes.
    auto count = [](const std::pair<const int&, std::vector<long>>& p) {
        long n = 1;
        for (long r : p.second) n += r;
        return n;
    };
    EXPECT_EQ(cataTree(count, sample()), 4L);
}

TEST(RoseTree, MapUnfoldAndAccumulations) {
    EXPECT_EQ(preorderTree(mapTree([](int x) { return x * 10; }, sample())), (std::vector<int>{10, 20, 40, 30}));

    auto down = [](int n) { return std::pair(n, n > 0 ? std::vector<int>{n - 1} : std::vector<int>{}); };
    const IntTree* chain = anaTree(down, 3);
    EXPECT_EQ(showText(chain), "Tree 3 [Tree 2 [Tree 1 [Tree 0 []]]]");

    // Every node with its depth; siblings share their parent's accumulator.
    auto depth = accumTree([](int d, int x) { return std::pair(std::pair(x, d), d + 1); }, 0, I(1, {I(2, {I(4)}), I(3)}));
    EXPECT_EQ(preorderTree(depth), (std::vector<std::pair<int, int>>{{1, 0}, {2, 1}, {4, 2}, {3, 1}}));

    // Path sums from the root.
    auto sums = scanTree([](int a, int x) { return a + x; }, 0, sample());
    EXPECT_EQ(preorderTree(sums), (std::vector<int>{1, 3, 7, 4}));
}

TEST(RoseTree, PreorderOfAWideAndDeepTree) {
    std::vector<const IntTree*> kids;
    for (int i = 0; i < 1000000; ++i) kids.push_back(I(i));
    const IntTree* deep = I(-1, kids);
    for (int i = 0; i < 100000; ++i) deep = I(i, {deep});
    EXPECT_EQ(preorderTree(deep).size(), 1100001u);
}

TEST(PrintedForm, TextEscapes) {
    struct {
        std::string in, out;
    } cases[] = {
        {"a\"b\\c'", R"("a\"b\\c'")"},
        {"\n\t\a\r", R"("\n\t\a\r")"},
        {"\x0EH", R"("\SO\&H")"},
        {"\x0E"
         "x",
         R"("\SOx")"},
        {"\xC8"
         "1",
         R"("\200\&1")"},
        {"\xC8"
         "x\xC8",
         R"("\200x\200")"},
        {std::string("\0\x1F\x7F", 3), R"("\NUL\US\DEL")"},
        {"", R"("")"},
    };
    for (const auto& c : cases) EXPECT_EQ(showText(c.in), c.out) << c.out;
    EXPECT_EQ(showText(std::optional<std::string>()), "Nothing");
    std::string out;
    showAt(11, std::optional<std::string>("a"), out);
    EXPECT_EQ(out, R"((Just "a"))");
}

TEST(PrintedForm, TreesAndNodes) {
    const Tree* root = leafNode(RTNode{});
    EXPECT_EQ(showText(root), "Tree RTNode []");
    std::string out;
    showAt(11, root, out);
    EXPECT_EQ(out, "(Tree RTNode [])");

    const Tree* t = makeTree(ELNode{"a", {{"x", "1"}, {"y", "2"}}}, {text("hi"), leafNode(CXNode{"c"})});
    EXPECT_EQ(showText(t), R"(Tree (ELNode "a" [("x","1"),("y","2")]) [Tree (TXNode "hi") [],Tree (CXNode "c") []])");

    XMLNode el = ELNode{"a", {{"x", "1"}, {"y", "2"}}};
    EXPECT_EQ(showText(el), R"(ELNode "a" [("x","1"),("y","2")])");
    out.clear();
    showAt(11, el, out);
    EXPECT_EQ(out, R"((ELNode "a" [("x","1"),("y","2")]))");
    EXPECT_EQ(showText(XMLNode(ELNode{"b", {}})), R"(ELNode "b" [])");
    EXPECT_EQ(showText(XMLNode(PINode{"t", "d"})), R"(PINode "t" "d")");
    EXPECT_EQ(showText(XMLNode(ENNode{"amp"})), R"(ENNode "amp")");
    out.clear();
    showAt(11, XMLNode(RTNode{}), out);
    EXPECT_EQ(out, "RTNode");
    EXPECT_EQ(showListText(std::vector<XMLNode>{RTNode{}, TXNode{"x"}}), R"([RTNode,TXNode "x"])");
    EXPECT_EQ(showListText(TreeList{}), "[]");
}

TEST(XMLNodes, Accessors) {
    XMLNode el = ELNode{"a", {{"x", "1"}, {"x", "2"}, {"y", ""}}};
    XMLNode tx = TXNode{"t"};
    EXPECT_EQ(xAttval("x", el), "1");
    EXPECT_EQ(xAttval("y", el), "");
    EXPECT_EQ(xAttval("X", el), std::nullopt);
    EXPECT_EQ(xAttval("z", el), std::nullopt);
    EXPECT_EQ(xAttval("x", tx), std::nullopt);
    EXPECT_TRUE(xAttlist(tx).empty());
    EXPECT_EQ(attval("x", makeTree(el, {})), "1");
    EXPECT_TRUE(attributes(text("t")).empty());

    EXPECT_EQ(nodeName(el), "a");
    EXPECT_EQ(nodeName(XMLNode(PINode{"tg", "d"})), "tg");
    EXPECT_EQ(nodeName(XMLNode(ENNode{"e"})), "e");
    EXPECT_EQ(nodeName(tx), std::nullopt);
    EXPECT_EQ(nodeName(XMLNode(CXNode{"c"})), std::nullopt);
    EXPECT_EQ(nodeName(XMLNode(RTNode{})), std::nullopt);

    int calls = 0;
    EXPECT_EQ(xTXNode([&](const std::string&) { return ++calls; }, el), std::nullopt);
    EXPECT_EQ(calls, 0);
    EXPECT_EQ(xTXNode([](const std::string& s) { return s + "!"; }, tx), "t!");
    EXPECT_EQ(xELNode([](const std::string& n, const AttList& a) { return n + std::to_string(a.size()); }, el), "a3");
    EXPECT_EQ(xPINode([](const std::string& t, const std::string& d) { return t + d; }, XMLNode(PINode{"p", "q"})), "pq");
    EXPECT_EQ(xPINode([](const std::string& t, const std::string&) { return t; }, tx), std::nullopt);
}

TEST(XMLNodes, StringValue) {
    const Tree* doc = makeTree(RTNode{}, {elem("a", {text("x"), leafNode(CXNode{"no"}), elem("b", {text("y")}),
                                                     leafNode(ENNode{"e"}), leafNode(PINode{"p", "no"}), text("z")})});
    EXPECT_EQ(stringValue(doc), "xyz");
    EXPECT_EQ(stringValue(elem("a")), "");
    EXPECT_EQ(stringValue(makeTree(TXNode{"own"}, {text("kid")})), "own");
    EXPECT_EQ(stringValue(makeTree(PINode{"tgt", "body"}, {text("kid")})), "body");
    EXPECT_EQ(stringValue(leafNode(CXNode{"c"})), "c");
    EXPECT_EQ(stringValue(makeTree(ENNode{"e"}, {text("kid")})), "");
}

TEST(AssocListTable, InsertAndLookup) {
    using Table = AssocList<std::string, int>;
    Table t = insert<std::string, int>("a", 1, empty<std::string, int>());
    EXPECT_EQ(showListText(t.pairs()), R"([("a",1)])");
    Table t2 = insert<std::string, int>("a", 3, insert<std::string, int>("b", 2, t));
    EXPECT_EQ(showListText(t2.pairs()), R"([("a",3),("b",2)])");
    EXPECT_EQ(t.size(), 1u);  // the base table is unchanged

    EXPECT_EQ(lookupM(empty<std::string, int>(), std::string("a")), std::nullopt);
    EXPECT_EQ(lookupWithDefault(t2, 9, std::string("z")), 9);
    EXPECT_EQ(lookupWithDefault(t2, 9, std::string("b")), 2);
    EXPECT_EQ(unsafeLookup(t2, std::string("a")), 3);
    try {
        unsafeLookup(t2, std::string("A"));
        FAIL();
    } catch (const axf::Fatal& e) {
        EXPECT_STREQ(e.what(), "Error: Not found");
    }

    using STable = AssocList<std::string, std::string>;
    STable s = insert<std::string, std::string>("k", "old", STable{});
    auto keep = [](const std::string& o, const std::string&) { return o; };
    auto join = [](const std::string& o, const std::string& n) { return o + n; };
    EXPECT_EQ(*lookupM(insertWith(keep, std::string("k"), std::string("new"), s), std::string("k")), "old");
    EXPECT_EQ(*lookupM(insertWith(join, std::string("k"), std::string("new"), s), std::string("k")), "oldnew");
}

TEST(AssocListTable, LargeTableKeepsOrderAndFirstMatch) {
    AssocList<std::string, int> t;
    for (int i = 0; i < 1000; ++i) t = insert(std::to_string(i), i, std::move(t));
    t = insert(std::string("5"), -5, std::move(t));
    AssocList<std::string, int> copy = insert(std::string("new"), 1, t);
    EXPECT_EQ(t.size(), 1000u);
    EXPECT_EQ(copy.size(), 1001u);
    EXPECT_EQ(*lookupM(t, std::string("5")), -5);
    EXPECT_EQ(t.pairs()[5].first, "5");
    EXPECT_EQ(*lookupM(copy, std::string("new")), 1);
    EXPECT_EQ(lookupM(t, std::string("new")), std::nullopt);
    EXPECT_EQ(*lookupM(copy, std::string("999")), 999);
}

TEST(Entities, PredefinedAndExpansion) {
    const EntityTable& pre = predefinedEntities();
    std::vector<std::string> names;
    for (const auto& p : pre.pairs()) names.push_back(p.first);
    EXPECT_EQ(names, (std::vector<std::string>{"quot", "apos", "gt", "amp", "lt"}));

    EXPECT_EQ(expandInternalEntity(pre, "amp"), "&");
    EXPECT_EQ(expandInternalEntity(pre, "quot"), "\"");
    EXPECT_EQ(expandInternalEntity(pre, "AMP"), std::nullopt);
    EXPECT_EQ(expandInternalEntity(pre, ""), std::nullopt);
    EXPECT_EQ(expandInternalEntity(pre, "nbsp"), std::nullopt);

    EntityTable more = insert<std::string, EntityText>("ext", EN_EXTERNAL{{std::nullopt, "f.dtd"}}, pre);
    EXPECT_EQ(expandInternalEntity(more, "ext"), std::nullopt);
    EXPECT_EQ(more.pairs().back().first, "ext");
    EXPECT_EQ(pre.size(), 5u);

    EXPECT_EQ(showText(EntityText(EN_INTERNAL{"&"})), R"(EN_INTERNAL "&")");
    EXPECT_EQ(showText(EntityText(EN_EXTERNAL{{std::nullopt, "f.dtd"}})), R"(EN_EXTERNAL (Nothing,Just "f.dtd"))");
    EXPECT_EQ(showListText(std::vector<EntityText>{EN_EXTERNAL{{std::nullopt, std::nullopt}}}),
              "[EN_EXTERNAL (Nothing,Nothing)]");
    std::string out;
    showAt(11, EntityText(EN_INTERNAL{"x"}), out);
    EXPECT_EQ(out, R"((EN_INTERNAL "x"))");
}

}  // namespace
