#include <gtest/gtest.h>

#include <cstddef>
#include <string>
#include <vector>

#include "common/Fatal.h"
#include "index/DocumentIndexer.h"
#include "index/SourcePositionInternal.h"

namespace {

using namespace axf::index;

std::string placeText(TextPlace p) { return std::to_string(p.line) + ":" + std::to_string(p.column); }

// The place of a prepared offset, from the record of the preparation and
// from the original text, for each row.
TEST(SourcePosition, PlacesOfPreparedOffsets) {
    struct Case {
        const char* row;
        std::string text;
        std::size_t leadingBytes;
        std::size_t prepared;  // offset in the prepared text
        const char* place;
    };
    const std::vector<Case> cases = {
        {"first byte", "<a>x</a>", 0, 0, "1:1"},
        {"a byte-order mark counts on line 1", "<a>x</a>", 3, 3, "1:7"},
        {"a byte-order mark does not count on line 2", "<a>\nx</a>", 3, 3, "2:1"},
        {"after a removed line feed", "<a>\nx</a>", 0, 3, "2:1"},
        {"tabs around a removed line feed", "<a>\t\n\tx</a>", 0, 3, "2:2"},
        {"several line feeds at one prepared offset", "<a>\n\n\t\n\t\tx</a>", 0, 3, "4:3"},
        {"a line feed turned into a blank in a tag", "<a\nb='1'>x</a>", 0, 3, "2:1"},
        {"after the blank of a tag", "<a\nb='1'>x</a>", 0, 9, "2:7"},
        {"the blank itself stays on its line", "<a\nb='1'>x</a>", 0, 2, "1:3"},
        {"blanked and removed line feeds mixed", "<a\n>\n<b\tc='\n'\n/>\n\t<", 0, 15, "6:2"},
        {"a line feed in a comment is removed", "<!--\n-->\n<", 0, 7, "3:1"},
        {"the end of the text", "<a>\n", 0, 3, "2:1"},
        {"past the end of the text", "<a>\nx\n\t", 0, 99, "3:2"},
        {"a tab in a tag is one byte", "<a\tb='1'>", 0, 3, "1:4"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.row);
        DocumentOrigin origin{"doc", c.leadingBytes};
        PreparationRecord record(c.text.size());
        const std::string prepared = removeLineBreaksAndTabs(c.text, record);
        EXPECT_EQ(prepared, removeLineBreaksAndTabs(c.text));
        EXPECT_EQ(placeText(record.place(c.prepared, prepared.size(), origin)), c.place);
        EXPECT_EQ(placeText(placeInText(c.text, originalOffset(c.text, c.prepared), origin)), c.place);
    }
}

// At every offset of each text the record gives what reading the original
// text gives.
TEST(SourcePosition, RecordAgreesWithTheText) {
    std::string big = "<site>\n";
    for (int i = 0; i < 200; ++i) big += "\t<item\n\tid='" + std::to_string(i) + "'>\n\t\tx\ty\n\t</item>\n";
    const std::vector<std::string> texts = {
        "",
        "\n",
        "\t\n\t",
        "<a>\n\t</a>\n",
        "<?xml version=\"1.0\"\nstandalone=\"yes\"?>\n<a/>",
        "<a b='x>\ny'>t\nu</a\n>",
        "<![CDATA[a\t<b\n]]>\n<c\n/>",
        "<!DOCTYPE site\nSYSTEM \"x.dtd\">\n<site>\n</site>",
        "x\r\ny\rz\n",
        big,
    };
    for (const std::string& text : texts) {
        SCOPED_TRACE(text.substr(0, 40));
        const DocumentOrigin origin{"doc", 3};
        PreparationRecord record(text.size());
        const std::string prepared = removeLineBreaksAndTabs(text, record);
        for (std::size_t k = 0; k <= prepared.size() + 1; ++k) {
            const std::size_t original = originalOffset(text, k);
            ASSERT_EQ(record.originalOffset(k, prepared.size()), original) << "at " << k;
            ASSERT_EQ(placeText(record.place(k, prepared.size(), origin)), placeText(placeInText(text, original, origin)))
                << "at " << k;
        }
    }
}

TEST(SourcePosition, OffsetsPastFourGiB) {
    const std::size_t g = std::size_t(1) << 32;
    OffsetList list;
    for (std::size_t offset : {std::size_t(5), g - 1, g + 3, g + 3, 3 * g + 1}) list.push_back(offset);
    EXPECT_EQ(list[1], g - 1);
    EXPECT_EQ(list[3], g + 3);
    EXPECT_EQ(list[4], 3 * g + 1);
    EXPECT_EQ(list.countUpTo(4), 0u);
    EXPECT_EQ(list.countUpTo(g), 2u);
    EXPECT_EQ(list.countUpTo(g + 3), 4u);
    EXPECT_EQ(list.countUpTo(2 * g), 4u);
    EXPECT_EQ(list.countUpTo(3 * g + 1), 5u);
}

// The messages about a document, from the indexer that reads a copy and the
// one that prepares the text in place.
TEST(SourcePosition, Messages) {
    struct Case {
        const char* row;
        std::string text;
        DocumentOrigin origin;
        const char* message;
    };
    const std::vector<Case> cases = {
        {"malformed, line 3",
         "<site>\n<item>x</item>\n<</site>",
         {"bad.xml", 0},
         "bad.xml:3:1: Attention: malformed document at byte 22: <"},
        {"malformed after tabs and a mark",
         "<site>\n\t<item>x</item>\n\t\t<</site>",
         {"bad.xml", 3},
         "bad.xml:3:3: Attention: malformed document at byte 25: <"},
        {"malformed on line 1 after a mark",
         "<site><</site>",
         {"bad.xml", 3},
         "bad.xml:1:10: Attention: malformed document at byte 6: <"},
        {"no name: no place", "<site>\n<item>x</item>\n<</site>", {}, "Attention: malformed document at byte 22: <"},
        {"unknown element",
         "<site>\n  <people>\n    <persons/>\n  </people>\n</site>",
         {"d.xml", 0},
         "d.xml:3:6: Attention: the tag \"persons\" is not in the tag vocabulary"},
        {"unknown attribute",
         "<site>\n<people\n   size='2'/>\n</site>",
         {"d.xml", 0},
         "d.xml:3:4: Attention: the tag \"size\" is not in the tag vocabulary"},
        {"the first key fails: the one whose first node closes first",
         "<site><foo>\n<bar/></foo></site>",
         {"d.xml", 0},
         "d.xml:2:2: Attention: the tag \"bar\" is not in the tag vocabulary"},
        {"unknown name read by the event parser",
         "<!DOCTYPE site>\n<site>\n\t<persons/></site>",
         {"d.xml", 0},
         "d.xml:3:3: Attention: the tag \"persons\" is not in the tag vocabulary"},
        {"unknown name after a hand-over",
         "<site><![CDATA[x]]>\n\t<persons/></site>",
         {"d.xml", 0},
         "d.xml:2:3: Attention: the tag \"persons\" is not in the tag vocabulary"},
        // Names read by the event parser (after a document type line, or
        // after the hand-over at a CDATA section) stand where the parser
        // found the tag, whatever holds the same name before it.
        {"name in the document type line",
         "<!DOCTYPE nick SYSTEM \"nick\">\n<site>\n<nick/></site>",
         {"d.xml", 0},
         "d.xml:3:2: Attention: the tag \"nick\" is not in the tag vocabulary"},
        {"name in a text",
         "<?xml version=\"1.0\"?>\n<!DOCTYPE site SYSTEM \"x\">\n<site>\n<text>the nick is</text>\n<nick/>\n</site>\n",
         {"d.xml", 0},
         "d.xml:5:2: Attention: the tag \"nick\" is not in the tag vocabulary"},
        {"name in a CDATA section",
         "<site>\n<text><![CDATA[\n  nick ]]></text>\n<nick/>\n</site>\n",
         {"d.xml", 0},
         "d.xml:4:2: Attention: the tag \"nick\" is not in the tag vocabulary"},
        {"name in a comment",
         "<!DOCTYPE site>\n<site><!-- <nick/> -->\n\t<nick/></site>",
         {"d.xml", 0},
         "d.xml:3:3: Attention: the tag \"nick\" is not in the tag vocabulary"},
        {"name in attribute values",
         "<site><![CDATA[]]>\n<text id='<nick' id=\"\tnick\">x</text>\n<nick/></site>",
         {"d.xml", 0},
         "d.xml:3:2: Attention: the tag \"nick\" is not in the tag vocabulary"},
        {"name in a processing instruction",
         "<site><![CDATA[]]>\n<?nick nick?>\n\t <nick/></site>",
         {"d.xml", 0},
         "d.xml:3:4: Attention: the tag \"nick\" is not in the tag vocabulary"},
        {"attribute name after the same name in a value",
         "<!DOCTYPE site>\n<site><text id=' nick'\n\t\tnick='1'/></site>",
         {"d.xml", 0},
         "d.xml:3:3: Attention: the tag \"nick\" is not in the tag vocabulary"},
        {"attribute before element of one name: the attribute",
         "<site><![CDATA[]]>\n<text nick='1'/>\n<nick/></site>",
         {"d.xml", 0},
         "d.xml:2:7: Attention: the tag \"nick\" is not in the tag vocabulary"},
        {"event parser, line 1 after a mark",
         "<!DOCTYPE site><site><nick/></site>",
         {"d.xml", 3},
         "d.xml:1:26: Attention: the tag \"nick\" is not in the tag vocabulary"},
        {"element before attribute of one name: the element",
         "<site><![CDATA[]]>\n<nick/>\n<text nick='1'/></site>",
         {"d.xml", 0},
         "d.xml:2:2: Attention: the tag \"nick\" is not in the tag vocabulary"},
        // References that cannot be read and texts the scanner refuses,
        // read straight from the text and by the event parser.
        {"entity in a text", "<site>\n<text>a&nbsp;b</text></site>", {"d.xml", 0}, "d.xml:2:8: entity nbsp not defined"},
        {"entity in a text, event parser",
         "<!DOCTYPE site>\n<text>a&nbsp;b</text>",
         {"d.xml", 0},
         "d.xml:2:8: entity nbsp not defined"},
        {"entity in an attribute value",
         "<site>\n<text id='a&amp;&nbsp;'/></site>",
         {"d.xml", 0},
         "d.xml:2:17: entity nbsp not defined"},
        {"entity in an attribute value, event parser",
         "<!DOCTYPE site>\n<text\tid = 'a&amp;&nbsp;'/>",
         {"d.xml", 0},
         "d.xml:2:19: entity nbsp not defined"},
        {"character reference in a text",
         "<site>\n\t<text>&#xZZ;</text></site>",
         {"d.xml", 0},
         "d.xml:2:8: Bad character reference \"&#xZZ;\": 'Z' is not a hexadecimal digit"},
        {"character reference in a text, event parser",
         "<!DOCTYPE site>\n\t<text>&#xZZ;</text>",
         {"d.xml", 0},
         "d.xml:2:8: Bad character reference \"&#xZZ;\": 'Z' is not a hexadecimal digit"},
        {"character reference in an attribute value",
         "<site>\n<text a='1' id=\"&#1;&#x110000;\"/></site>",
         {"d.xml", 0},
         "d.xml:2:21: Bad character reference \"&#x110000;\": code above 1114111"},
        {"character reference in an attribute value, event parser",
         "<!DOCTYPE site>\n<text a='1' id=\"&#1;&#x110000;\"/>",
         {"d.xml", 0},
         "d.xml:2:21: Bad character reference \"&#x110000;\": code above 1114111"},
        {"a marked section inside a CDATA section",
         "<site><![CDATA[a\n<![ b]]></site>",
         {"d.xml", 0},
         "d.xml:2:1: Nested <![ in marked section"},
        {"a prolog that does not parse",
         "<?xml version='1.0'?>\n<!DOCTYPE site [\n]>\n<site/>",
         {"d.xml", 0},
         "d.xml:2:16: Error parsing prolog"},
        {"a prolog that breaks off at the end", "<!DOCTYPE site SYSTEM", {"d.xml", 0}, "d.xml:1:22: Error parsing prolog"},
        {"no name: no place, event parser", "<!DOCTYPE site>\n<text>&nbsp;</text>", {}, "entity nbsp not defined"},
    };
    auto outcome = [](auto&& parse) -> std::string {
        try {
            IndexedDocument doc = parse();
            getRef(doc.elementIndex, "site", LookupKind::Exact);
            return "no failure";
        } catch (const axf::Fatal& f) {
            return f.what();
        }
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.row);
        EXPECT_EQ(outcome([&] { return parseText(c.text, c.origin); }), c.message);
        EXPECT_EQ(outcome([&] { return parseTextInPlace(std::string(c.text), c.origin); }), c.message);
    }
}

}  // namespace
