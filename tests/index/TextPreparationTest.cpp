#include <gtest/gtest.h>

#include <iterator>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include "index/DocumentIndexer.h"
#include "index/SourcePosition.h"
#include "index/TextPreparation.h"

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

// Random texts of markup, literals, comments, marked sections and line
// breaks: the prepared text and the record of what went, against the places
// counted again over the original text.
TEST(TextPreparation, RecordMatchesTheOriginalTextEverywhere) {
    const char* pieces[] = {"a",         "bc",  "<",  ">",  "\"", "'", "\n", "\t", "\n\n", "<!--", "-->",
                            "<![CDATA[", "]]>", "<?", "?>", "<!", "/", " ",  "<x", "='",   "\t<"};
    std::mt19937 rng(7);
    const DocumentOrigin origin{"doc.xml", 0};
    for (int round = 0; round < 3000; ++round) {
        std::string text;
        const int n = std::uniform_int_distribution<int>(0, 40)(rng);
        for (int i = 0; i < n; ++i) text += pieces[rng() % std::size(pieces)];
        PreparationRecord record(text.size());
        const std::string prepared = removeLineBreaksAndTabs(text, record);
        ASSERT_EQ(prepared, removeLineBreaksAndTabs(text)) << text;
        const std::size_t size = prepared.size();
        const PlacesInText byText(text, origin);
        const PlacesInRecord byRecord(record, size, origin);
        for (std::size_t k = 0; k <= size; ++k) {
            const std::size_t at = originalOffset(text, k);
            ASSERT_EQ(byRecord.originalOffset(k), at) << k << " in " << text;
            ASSERT_EQ(byRecord.prefix(k), byText.prefix(k)) << k << " in " << text;
            if (k == size) {
                EXPECT_EQ(at, text.size()) << text;
                continue;
            }
            ASSERT_LT(at, text.size()) << text;
            const char c = text[at];
            EXPECT_EQ(prepared[k], c == '\n' || c == '\t' ? ' ' : c) << k << " in " << text;
        }
    }
}

TEST(TextPreparation, IsBlankText) {
    for (std::string s : {"", " ", "   ", " \n\t ", "\t"}) EXPECT_TRUE(isBlankText(s)) << s;
    for (std::string s : {"\r", "\xA0", "\f", "\v", " x ", "."}) EXPECT_FALSE(isBlankText(s)) << s;
}

}  // namespace
