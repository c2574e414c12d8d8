#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "index/DocumentIndexer.h"

namespace {

using namespace axf::index;

TEST(TextPreparation, RemoveLineBreaksAndTabs) {
    const std::vector<std::pair<std::string, std::string>> cases = {
        {"", ""},
        {"\n\t\n", ""},
        {"x\n\ty", "xy"},
        {" x\r ", " x\r "},
        {"x\n   ", "x   "},
        {"<a>x\ny</a>", "<a>xy</a>"},
        // inside markup a newline or tab is one blank
        {"<item\nid=\"7\">", "<item id=\"7\">"},
        {"<item\tid=\"a\nb\">", "<item id=\"a b\">"},
        {"<!DOCTYPE site\nSYSTEM \"x.dtd\">", "<!DOCTYPE site SYSTEM \"x.dtd\">"},
        {"<?xml version=\"1.0\"\nstandalone=\"yes\"?>\n<a/>", "<?xml version=\"1.0\" standalone=\"yes\"?><a/>"},
        {"<?p a > b\nc?>", "<?p a > b c?>"},
        {"<a b='x>\ny'>t\nu</a\n>", "<a b='x> y'>tu</a >"},
        {"<a\n/>\n<b\n", "<a /><b "},
        // comments and CDATA sections are not markup here
        {"<!--a\nb-->\n", "<!--ab-->"},
        {"<![CDATA[a\t<b\n]]>\n<c\n/>", "<![CDATA[a<b]]><c />"},
    };
    for (auto& [in, want] : cases) EXPECT_EQ(removeLineBreaksAndTabs(in), want) << in;
}

TEST(TextPreparation, OriginalOffset) {
    std::string text = "a\nb<c\n>\n";  // prepared: "ab<c >"
    EXPECT_EQ(originalOffset(text, 0), 0u);
    EXPECT_EQ(originalOffset(text, 2), 3u);
    EXPECT_EQ(originalOffset(text, 4), 5u);
    EXPECT_EQ(originalOffset(text, 6), text.size());
}

TEST(TextPreparation, IsBlankText) {
    for (std::string s : {"", " ", "   ", " \n\t ", "\t"}) EXPECT_TRUE(isBlankText(s)) << s;
    for (std::string s : {"\r", "\xA0", "\f", "\v", " x ", "."}) EXPECT_FALSE(isBlankText(s)) << s;
}

}  // namespace
