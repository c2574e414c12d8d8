// Documents of hostile size: very deep, one huge text, one element with a
// million attributes. Each is indexed whole, with the numbering intact.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <variant>

#include "common/Fatal.h"
#include "common/LargeStack.h"
#include "index/DocumentIndexer.h"

namespace {

using namespace axf::index;
using namespace axf::xml;

TEST(Hostile, DocumentHundredThousandLevelsDeep) {
    const int n = 100000;
    std::string doc;
    doc.reserve(std::size_t(n) * 20 + 32);
    for (int i = 0; i < n; ++i) doc += "<parlist>";
    doc += "<text>deep</text>";
    for (int i = 0; i < n; ++i) doc += "</parlist>";
    axf::runWithLargeStack([&] {
        IndexedDocument d = parseText(doc);
        // Walk down the only path: n parlists, the text element, its text.
        const Tree* t = d.tree;
        int levels = 0;
        while (t->kidCount == 1) {
            t = t->kids[0];
            ++levels;
        }
        EXPECT_EQ(levels, n + 1);
        ASSERT_TRUE(std::holds_alternative<TXNode>(t->value));
        EXPECT_EQ(std::get<TXNode>(t->value).text, "deep^" + std::to_string(n + 2));
        EntryList texts = getRef(d.elementIndex, "text", LookupKind::Exact);
        ASSERT_EQ(texts.size(), 1u);
        EXPECT_EQ(texts[0].depth, std::int64_t(2) * n);
        EXPECT_EQ(getRef(d.elementIndex, "parlist", LookupKind::Exact).size(), std::size_t(n));
    });
}

TEST(Hostile, HundredMegabyteTextNode) {
    const std::size_t size = std::size_t(100) << 20;
    std::string doc = "<site><text>";
    doc.append(size, 'a');
    doc += "</text></site>";
    IndexedDocument d = parseText(doc);
    ASSERT_EQ(d.textIndex.size(), 1u);
    const IndexEntry& e = d.textIndex.entries()[0];
    EXPECT_EQ(e.key.size(), size);
    ASSERT_EQ(e.exact.size(), 1u);
    EXPECT_EQ(e.exact[0].position, 3);
    EXPECT_EQ(getMapName(3, d.mapping).size(), size);
}

TEST(Hostile, MillionAttributesOnOneElement) {
    const int n = 1000000;
    std::string doc = "<site";
    doc.reserve(std::size_t(n) * 16);
    for (int i = 0; i < n; ++i) doc += " id=\"" + std::to_string(i) + "\"";
    doc += "/>";
    IndexedDocument d = parseText(doc);
    // Each attribute is an element "@id" over its value, numbered in order.
    EntryList ids = getRef(d.elementIndex, "id", LookupKind::Exact);
    ASSERT_EQ(ids.size(), std::size_t(n));
    EXPECT_EQ(ids.front().position, 2);
    EXPECT_EQ(ids.back().position, 2 * std::int64_t(n));
    EXPECT_EQ(getMapName(2 * std::int64_t(n) + 1, d.mapping), std::to_string(n - 1));
    EXPECT_EQ(d.tree->kidCount, std::size_t(n));
}

}  // namespace
