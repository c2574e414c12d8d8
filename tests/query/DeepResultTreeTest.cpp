// A result tree as deep as the document below a bound subtree: its '@'
// elements turn into attributes at every level, on an ordinary stack.
#include <gtest/gtest.h>

#include <string>

#include "query/Embedding.h"
#include "tests/support/OrdinaryStack.h"
#include "xml/XML.h"

namespace {

using axf::xml::ELNode;
using axf::xml::Tree;
using axf::xml::TXNode;

TEST(DeepResultTree, AttributesTurnedAtEveryLevelOnAnOrdinaryStack) {
    constexpr int kDepth = 100000;
    // Each level: an '@id' element over its value, then the next level; the
    // bottom holds a text.
    const Tree* t = axf::xml::text("x");
    for (int i = kDepth; i >= 1; --i) {
        std::string value = "p";
        value += std::to_string(i);
        t = axf::xml::elem("person", {axf::xml::elem("@id", {axf::xml::text(value)}), t});
    }
    const Tree* unchanged = axf::xml::text("x");
    for (int i = 0; i < kDepth; ++i) unchanged = axf::xml::elem("person", {unchanged});
    axf::testsupport::runOnStack([&] {
        const Tree* adjusted = axf::query::restoreAttributes(t);
        for (int i = 1; i <= kDepth; ++i) {
            const auto& el = std::get<ELNode>(adjusted->value);
            ASSERT_EQ(el.attributes.size(), 1u) << i;
            std::string value = "p";
            value += std::to_string(i);
            ASSERT_EQ(el.attributes[0].second, value);
            ASSERT_EQ(adjusted->kidCount, 1u);
            adjusted = adjusted->kids[0];
        }
        EXPECT_EQ(std::get<TXNode>(adjusted->value).text, "x");
        // Nothing to turn: the tree itself.
        EXPECT_EQ(axf::query::restoreAttributes(unchanged), unchanged);
    });
}

}  // namespace
