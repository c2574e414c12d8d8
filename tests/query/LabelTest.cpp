#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "common/Fatal.h"
#include "query/NodeLabel.h"
#include "query/NodeLabelInternal.h"
#include "xml/XML.h"

namespace {

using namespace axf::query;
using axf::xml::elem;
using axf::xml::ELNode;
using axf::xml::makeTree;
using axf::xml::text;
using axf::xml::TreeList;

TEST(LabelComponent, ReadsComponentsOfPlainLabels) {
    struct Case {
        std::string label;
        int k;
        std::string want;
    };
    const std::vector<Case> cases = {
        {"site^1", 1, "site"}, {"site^1", 2, "1"}, {"name^4^17", 3, "17"}, {"and^1^0", 1, "and"}, {"and^1^0", 3, "0"},
        {"", 1, ""},           {"a^^c", 1, "a"},   {"a^^c", 2, ""},        {"a^^c", 3, "c"},      {"a^", 2, ""},
        {"^a", 1, ""},         {"^a", 2, "a"},     {"empty", 1, "empty"},  {"x^y^9", 2, "y"},     {"a^b^c^d", 2, "b"},
    };
    for (const auto& c : cases) EXPECT_EQ(getLabelComponent(c.label, c.k), c.want) << c.label << " " << c.k;
}

TEST(LabelComponent, OutsideTheLabelIsAnInternalErrorNamingIt) {
    for (auto [label, k] : std::vector<std::pair<std::string, int>>{{"site^1", 3}, {"", 2}, {"a^b", 0}, {"a^b", -1}}) {
        try {
            getLabelComponent(label, k);
            ADD_FAILURE() << label << " " << k;
        } catch (const axf::InternalError& e) {
            EXPECT_NE(std::string(e.what()).find("\"" + label + "\""), std::string::npos) << e.what();
        }
    }
}

TEST(LabelComponent, ValueWithCaretOrBackslashStaysWhole) {
    // A document text x^y at position 9 keeps its position in component 2.
    std::string doc = makeLabel("x^y", 9);
    EXPECT_EQ(doc, "x\\^y^9");
    EXPECT_EQ(getLabelComponent(doc, 1), "x^y");
    EXPECT_EQ(getLabelComponent(doc, 2), "9");
    EXPECT_THROW(getLabelComponent(doc, 3), axf::InternalError);

    // Match roots: value, query number, position.
    for (std::string value : {"^", "a^^b^", "\\", "C:\\dir\\", "\\^", "^\\", "plain", ""}) {
        std::string m = makeLabel(value, 4, 17);
        EXPECT_EQ(getLabelComponent(m, 1), value) << m;
        EXPECT_EQ(getLabelComponent(m, 2), "4") << m;
        EXPECT_EQ(getLabelComponent(m, 3), "17") << m;
        EXPECT_THROW(getLabelComponent(m, 4), axf::InternalError) << m;
        EXPECT_EQ(findLabelCaret(m), escapeLabelValue(value).size()) << m;
    }
}

TEST(LabelComponent, LoneBackslashStandsForItself) {
    EXPECT_EQ(getLabelComponent("a\\b^3", 1), "a\\b");
    EXPECT_EQ(getLabelComponent("a\\b^3", 2), "3");
    EXPECT_EQ(getLabelComponent("ab\\", 1), "ab\\");
    EXPECT_EQ(getLabelComponent("", 1), "");
    EXPECT_THROW(getLabelComponent("", 2), axf::InternalError);
    EXPECT_EQ(getLabelComponent("a^^", 1), "a");
    EXPECT_EQ(getLabelComponent("a^^", 2), "");
    EXPECT_EQ(getLabelComponent("a^^", 3), "");
}

TEST(FromLabel, ReadsRootLabelOfElementsAndTextLeaves) {
    auto el = makeTree(ELNode{"item^4", {{"var", "X"}}}, {text("x^5"), elem("b^6")});
    EXPECT_EQ(rootLabelComponent(el, 1), "item");
    EXPECT_EQ(rootLabelComponent(el, 2), "4");
    auto tx = text(makeLabel("p^q", 12));
    EXPECT_EQ(rootLabelComponent(tx, 1), "p^q");
    EXPECT_EQ(rootLabelComponent(tx, 2), "12");
}

TEST(FromLabel, UncoveredRootsAreInternalErrors) {
    EXPECT_THROW(rootLabelComponent(makeTree(axf::xml::TXNode{"t^1"}, {text("u^2")}), 1), axf::InternalError);
    EXPECT_THROW(rootLabelComponent(axf::xml::leafNode(axf::xml::CXNode{"c"}), 1), axf::InternalError);
    EXPECT_THROW(rootLabelComponent(elem("a^1"), 3), axf::InternalError);
}

TEST(MakeT, NoChildrenNoTree) {
    EXPECT_TRUE(wrapChildren("a^1", {}).empty());
    TreeList kids = {text("t^2"), elem("b^3")};
    TreeList r = wrapChildren("a^1", kids);
    ASSERT_EQ(r.size(), 1u);
    const auto& el = std::get<ELNode>(r[0]->value);
    EXPECT_EQ(el.name, "a^1");
    EXPECT_TRUE(el.attributes.empty());
    ASSERT_EQ(r[0]->kidCount, 2u);
    EXPECT_EQ(r[0]->children()[0], kids[0]);
    EXPECT_EQ(r[0]->children()[1], kids[1]);
}

}  // namespace
