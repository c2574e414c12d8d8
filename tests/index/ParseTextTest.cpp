#include <gtest/gtest.h>

#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "index/DocumentIndexer.h"
#include "tests/support/IndexEntries.h"

namespace {

using namespace axf::index;
using namespace axf::xml;
using axf::testindex::label;

std::string shape(const Tree* t) {
    std::string s = label(t);
    if (t->kidCount == 0) return s;
    s.push_back('(');
    for (std::size_t i = 0; i < t->kidCount; ++i) {
        if (i) s.push_back(',');
        s.append(shape(t->kids[i]));
    }
    s.push_back(')');
    return s;
}

std::string fatalOf(const std::string& text) {
    try {
        IndexedDocument doc = parseText(text);
        getRef(doc.elementIndex, "site", LookupKind::Exact);
    } catch (const axf::Fatal& f) {
        return f.what();
    }
    return "no failure";
}

TEST(ParseText, Documents) {
    struct Case {
        std::string text, tree;
    };
    std::vector<Case> cases = {
        {"<?xml version=\"1.0\"?>\n<site>\n  <item\nid=\"7\">\n    <name>Pen</name> <name/>\n  </item>\n</site>\n",
         "site^1(item^2(@id^3(7^4),name^5(Pen^6),name^7))"},
        {"<!DOCTYPE site\nSYSTEM \"auction.dtd\">\n<site/>", "site^1"},
        {"<site><name>Fountain\npen</name><text>a &amp; b</text></site>", "site^1(name^2(Fountainpen^3),text^4(a ^5,&^6,b^7))"},
        {"<site><!-- note\n --><?pi x?><item codice=\"  \"/></site>", "site^1(item^2(@codice^3))"},
        {"<site>x\r\n</site>", "site^1(x\r^2)"},
        {"<site></site><site>x</site>", "site^1"},
        {"", "empty"},
        {"  \n\t ", "empty"},
        {"<?xml version=\"1.0\"?>", "empty"},
    };
    for (auto& c : cases) {
        IndexedDocument doc = parseText(c.text);
        EXPECT_EQ(shape(doc.tree), c.tree) << c.text;
    }
    IndexedDocument two = parseText("<site></site><site>x</site>");
    EXPECT_EQ(getMapName(3, two.mapping), "x");
    EXPECT_EQ(getRef(two.elementIndex, "site", LookupKind::Exact).size(), 2u);
}

TEST(ParseText, Failures) {
    EXPECT_EQ(fatalOf("<site>&nbsp;</site>"), "entity nbsp not defined");
    EXPECT_EQ(fatalOf("<site><colour/></site>"), "Attention: the tag \"colour\" is not in the tag vocabulary");
    std::string malformed = fatalOf("<site>\n<item>x</item>\n<</site>");
    EXPECT_EQ(malformed.rfind("Attention: malformed document at byte 22: <", 0), 0u) << malformed;
    std::string prolog = fatalOf("<?xml version=\"1.0\"?><?xml version=\"1.0\"?><!DOCTYPE a><!DOCTYPE b><site/>");
    EXPECT_FALSE(prolog == "no failure") << prolog;
}

// The indexer that takes the text's storage over and prepares it in place
// gives the same document, and the same message at the same byte offset of
// the original text, as the one that reads a copy.
TEST(ParseText, InPlaceAsFromACopy) {
    auto outcome = [](auto&& parse, const std::string& text) -> std::string {
        try {
            IndexedDocument doc = parse(text);
            getRef(doc.elementIndex, "site", LookupKind::Exact);
            return shape(doc.tree);
        } catch (const axf::Fatal& f) {
            return f.what();
        }
    };
    auto fromCopy = [](const std::string& t) { return parseText(t); };
    auto inPlace = [](const std::string& t) { return parseTextInPlace(std::string(t)); };
    std::string big = "<site>\n";
    while (big.size() < (std::size_t(10) << 20)) big += "\t<item>\n\t\tx\ty\n\t</item>\n";
    std::vector<std::string> texts = {
        "<?xml version=\"1.0\"?>\n<site>\n  <item\nid=\"7\">\n    <name>Pen</name> <name/>\n  </item>\n</site>\n",
        "<site>\n<item>x</item>\n<</site>",
        "\n\n\t<site>\t\n<item>x\n\n</item>\t\t\n<\n</site>",
        "<site><!-- a\n\tb --><item>\n</item>\n\n</site>\n<\n",
        "<!DOCTYPE site>\n<site>\n\t<item>]]>\n</item></site>",
        "<site>\n<item a='x\ty'>\n<\t/item>",
        "",
        "\n\t",
        big + "</site>",
        big + "\n\t<\n\t</site>",
    };
    for (const std::string& text : texts) {
        SCOPED_TRACE(text.substr(0, 60));
        EXPECT_EQ(outcome(inPlace, text), outcome(fromCopy, text));
    }
    EXPECT_EQ(outcome(inPlace, texts[1]).rfind("Attention: malformed document at byte 22: <", 0), 0u);
}

TEST(ParseText, ExampleAuction) {
    std::string root = AXF_TEST_DATA;
    root.resize(root.size() - std::string("/tests/index/data").size());
    std::ifstream in(root + "/examples/auction.xml", std::ios::binary);
    ASSERT_TRUE(in);
    std::stringstream ss;
    ss << in.rdbuf();
    IndexedDocument doc = parseText(ss.str());
    EXPECT_EQ(label(doc.tree), "site^1");
    EntryList items = getRef(doc.elementIndex, "item", LookupKind::WithTranslations);
    EntryList exact = getRef(doc.elementIndex, "item", LookupKind::Exact);
    EXPECT_GT(items.size(), exact.size());
    for (std::size_t i = 1; i < items.size(); ++i) EXPECT_LE(items[i - 1].position, items[i].position);
    for (const auto& e : items) {
        std::string_view name = getMapName(e.position, doc.mapping);
        if (name.starts_with("@")) name.remove_prefix(1);  // an attribute named item
        EXPECT_TRUE(name == "item" || name == "articolo") << name;
        EXPECT_EQ(e.renamingCost, name == "item" ? 0 : 2);
    }
}

}  // namespace
