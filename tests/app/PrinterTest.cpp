#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app/ResultPrinter.h"
#include "app/ResultPrinterInternal.h"
#include "app/RuleEvaluation.h"
#include "common/Output.h"
#include "filter/VariableBinding.h"
#include "filter/VariableBindingInternal.h"
#include "tests/support/TreeText.h"
#include "xml/XML.h"

namespace {

using namespace axf::xml;
using axf::app::showFormattedXML;

const Tree* el(std::string name, AttList atts, std::initializer_list<const Tree*> kids = {}) {
    return makeTree(ELNode{std::move(name), std::move(atts)}, kids);
}

TEST(ResultPrinter, CountResultWithBothFlags) {
    const Tree* t = el("0000", {{"Embedding Num", "3"}});
    EXPECT_EQ(showFormattedXML(0, true, t), "<Results Embedding Num=\"3\"/>\n");
    EXPECT_EQ(showFormattedXML(0, false, t), "<0000 Embedding Num=\"3\"/>\n");
}

TEST(ResultPrinter, RankedMatchesAndBooleanRoots) {
    const Tree* b = el("0000", {}, {el("Query Rank", {{"rank", "2"}}), elem("item", {text("Golden watch")})});
    EXPECT_EQ(showFormattedXML(0, true, b), "<Results>\n   <Query Rank rank=\"2\"/>\n   <item>Golden watch</item>\n</Results>\n");
    const Tree* c =
        el("0000", {},
           {el("Query Rank", {{"rank", "4"}}), elem("and", {elem("name", {text("Alice")}), elem("city", {text("Rome")})})});
    EXPECT_EQ(showFormattedXML(0, true, c),
              "<Results>\n   <Query Rank rank=\"4\"/>\n   <ResultQuery>\n      <name>Alice</name>\n"
              "      <city>Rome</city>\n   </ResultQuery>\n</Results>\n");
    EXPECT_EQ(showFormattedXML(0, false, c),
              "<0000>\n   <Query Rank rank=\"4\"/>\n   <and>\n      <name>Alice</name>\n"
              "      <city>Rome</city>\n   </and>\n</0000>\n");
}

TEST(ResultPrinter, LineLengthThreshold) {
    std::string t50 = "The watch has a gold case and a brown leather band";
    ASSERT_EQ(t50.size(), 50u);
    EXPECT_EQ(showFormattedXML(0, true, elem("0000", {elem("description", {text(t50)})})),
              "<Results>\n   <description>" + t50 + "</description>\n</Results>\n");
    EXPECT_EQ(showFormattedXML(0, true, elem("0000", {elem("description", {text(t50 + ".")})})),
              "<Results>\n   <description>\n      " + t50 + ".\n   </description>\n</Results>\n");
    // Attributes are not counted, and the name counts before its display form.
    std::string t51 = "Gold pocket watch with engraved case, key and chain";
    ASSERT_EQ(t51.size(), 51u);
    EXPECT_EQ(
        showFormattedXML(0, true,
                         elem("0000", {el("item", {{"id", "12"}, {"featured", "1"}}, {text(t51)}), el("item", {{"id", "13"}})})),
        "<Results>\n   <item id=\"12\" featured=\"1\">" + t51 + "</item>\n   <item id=\"13\"/>\n</Results>\n");
    EXPECT_EQ(showFormattedXML(0, true, elem("0000", {text(std::string(67, 'x'))})),
              "<Results>" + std::string(67, 'x') + "</Results>\n");
    EXPECT_EQ(showFormattedXML(0, true, elem("0000", {text(std::string(68, 'x'))})),
              "<Results>\n   " + std::string(68, 'x') + "\n</Results>\n");
}

TEST(ResultPrinter, MixedContentAndEmptyText) {
    EXPECT_EQ(showFormattedXML(0, true, elem("person", {text("Alice"), elem("age", {text("30")})})),
              "<person>\n   Alice\n   <age>30</age>\n</person>\n");
    EXPECT_EQ(showFormattedXML(0, true, elem("a", {text("")})), "<a></a>\n");
    EXPECT_EQ(showFormattedXML(0, true, elem("x", {elem("and"), elem("0000")})), "<x>\n   <ResultQuery/>\n   <Results/>\n</x>\n");
    EXPECT_EQ(showFormattedXML(2, true, elem("Empty Result")), "      <Empty Result/>\n");
}

TEST(ResultPrinter, MarkupInDataIsEscaped) {
    const Tree* t = el("a", {{"v", "x<y & \"z\">"}}, {text("1 < 2 && 3 > 2")});
    EXPECT_EQ(showFormattedXML(0, false, t), "<a v=\"x&lt;y &amp; &quot;z&quot;>\">1 &lt; 2 &amp;&amp; 3 &gt; 2</a>\n");
    // The layout is decided on the unescaped text: 2 + 15 + 5 = 22.
    EXPECT_EQ(showFormattedXML(0, false, elem("a", {text(std::string(73, '<'))})).find('\n'),
              std::string("<a>").size() + 73 * 4 + 4);
}

}  // namespace

namespace {

// A document tree with labels, printed cut, reads as the cut tree printed.
TEST(ResultPrinter, CutPrintingEqualsPrintingTheCutTree) {
    const std::string longText(90, 'x');
    const std::vector<std::string> docs = {
        "'empty text'",
        "site^1",
        "site^1(@id^2('p1^3'),name^4('Ann^5'),@blank^6,x^7(@a^8('1^9'),@b^10('<&>^11'),y^12))",
        "r^1(@two^2('a^3','b^4'),@el^5(k^6),t^7('" + longText + "^8'),m^9('a^10',b^11,'c^12'))",
        "0000^1(and^2('x\\^y^3'),item^4(@id^5('i\\\\1^6')))",
        "a^1(@only^2('v^3'))",
    };
    for (const std::string& d : docs) {
        const Tree* t = axf::testtree::tree(d);
        for (int flag : {0, 1}) {
            axf::StringSink direct;
            axf::app::writeCutFormattedXML(1, flag, t, direct);
            EXPECT_EQ(direct.text(), showFormattedXML(1, flag, axf::filter::cutLabelsWithAttributes(t))) << d;

            // The same below a result root, as a negated rule's document.
            axf::app::ResultDocument doc;
            doc.tree = el("0000", {}, {t});
            doc.cutBelowRoot = true;
            const Tree* cutDoc = el("0000", {}, {axf::filter::cutLabelsWithAttributes(t)});
            EXPECT_EQ(axf::app::showResultDocument(0, flag, doc), showFormattedXML(0, flag, cutDoc)) << d;
        }
    }
}

}  // namespace
