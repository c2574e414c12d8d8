// Bound subtrees as deep as a document: cutting their labels and deriving
// the text that conditions test walk them on an ordinary stack, and the
// text of a subtree inside one derived before is the same in any order.
#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <string>
#include <vector>

#include "filter/ConditionCheck.h"
#include "filter/ConditionCheckInternal.h"
#include "filter/VariableBinding.h"
#include "filter/VariableBindingInternal.h"
#include "tests/support/OrdinaryStack.h"
#include "xml/XML.h"

namespace {

using axf::xml::ELNode;
using axf::xml::Tree;
using axf::xml::TXNode;

constexpr int kDepth = 100000;

// prefix followed by the number (appended: a literal plus a temporary trips
// a false warning of the compiler).
std::string numbered(const char* prefix, int i) {
    std::string s = prefix;
    s += std::to_string(i);
    return s;
}

// person^1 over person^2 ... over person^depth over an '@id' attribute
// element and a text: a document's bound subtree, with labels to cut.
const Tree* chain(int depth) {
    const Tree* t = axf::xml::elem(numbered("person^", depth),
                                   {axf::xml::elem("@id^9^1", {axf::xml::text("p7^9^2")}), axf::xml::text("x^9^3")});
    for (int i = depth - 1; i >= 1; --i) t = axf::xml::elem(numbered("person^", i), {t});
    return t;
}

TEST(DeepSubtree, CutAndTextOnAnOrdinaryStack) {
    const Tree* deep = chain(kDepth);
    axf::testsupport::runOnStack([&] {
        axf::filter::checkCutLabels(deep);
        // Cut labels: the bottom keeps its '@id' element; with attributes
        // it becomes an attribute of the last person.
        const Tree* cut = axf::filter::cutLabels(deep);
        const Tree* withAttributes = axf::filter::cutLabelsWithAttributes(deep);
        for (int i = 1; i < kDepth; ++i) {
            ASSERT_EQ(cut->kidCount, 1u);
            ASSERT_EQ(std::get<ELNode>(cut->value).name, "person");
            cut = cut->kids[0];
            withAttributes = withAttributes->kids[0];
        }
        ASSERT_EQ(cut->kidCount, 2u);
        EXPECT_EQ(std::get<ELNode>(cut->kids[0]->value).name, "@id");
        EXPECT_EQ(std::get<TXNode>(cut->kids[1]->value).text, "x");
        const auto& last = std::get<ELNode>(withAttributes->value);
        ASSERT_EQ(last.attributes.size(), 1u);
        EXPECT_EQ(last.attributes[0].first, "id");
        EXPECT_EQ(last.attributes[0].second, "p7");
        ASSERT_EQ(withAttributes->kidCount, 1u);
        EXPECT_EQ(std::get<TXNode>(withAttributes->kids[0]->value).text, "x");

        EXPECT_EQ(axf::filter::extractText(deep), "p7 x ");
        EXPECT_EQ(axf::filter::conditionValue(deep), "p7 x");
    });
}

// Every level holds a text of its own: the text of level i is the texts of
// levels i.. joined. Whatever order the subtrees are tested in (the outermost
// first, the innermost first, at random), a condition reads each one's own
// text, and a text read again is the same.
TEST(DeepSubtree, NestedSubtreeTextsInAnyOrder) {
    const int depth = 300;
    std::vector<const Tree*> levels(static_cast<std::size_t>(depth), nullptr);
    const Tree* t = axf::xml::text("bottom^9^9");
    for (int i = depth; i >= 1; --i) {
        t = axf::xml::elem(numbered("parlist^", i), {axf::xml::text(numbered("t", i) + "^1^1"), t});
        levels[std::size_t(i - 1)] = t;
    }
    std::vector<std::string> expected(static_cast<std::size_t>(depth));
    std::string below = "bottom ";
    for (int i = depth; i >= 1; --i) {
        below.insert(0, numbered("t", i) + " ");
        expected[std::size_t(i - 1)] = below;
    }
    std::vector<std::size_t> outerFirst(static_cast<std::size_t>(depth)), innerFirst, shuffled;
    for (std::size_t i = 0; i < outerFirst.size(); ++i) outerFirst[i] = i;
    innerFirst.assign(outerFirst.rbegin(), outerFirst.rend());
    shuffled = outerFirst;
    std::shuffle(shuffled.begin(), shuffled.end(), std::mt19937(5));
    std::vector<std::size_t> middleOut = {150, 0, 299, 149, 151, 1, 298};

    axf::filter::RuleConditions anyText;
    anyText.regexConditions.push_back({"X", ".*"});
    axf::filter::RuleConditions sameValue;
    sameValue.expressionConditions.push_back({"X = X"});
    for (const auto* order : {&outerFirst, &innerFirst, &shuffled, &middleOut}) {
        axf::filter::ConditionChecker regex(anyText, axf::filter::Polarity::Positive, {"X"});
        axf::filter::ConditionChecker expression(sameValue, axf::filter::Polarity::Positive, {"X"});
        for (int pass = 0; pass < 2; ++pass) {
            for (std::size_t i : *order) {
                SCOPED_TRACE("level " + std::to_string(i + 1));
                auto kept = regex.verify({{"X", 1, {levels[i]}}});
                ASSERT_TRUE(kept && kept->size() == 1 && kept->front().subtrees.size() == 1);
                EXPECT_EQ(std::get<TXNode>(kept->front().subtrees[0]->value).text, expected[i]);
                auto value = expression.verify({{"X", 1, {levels[i]}}});
                ASSERT_TRUE(value && value->size() == 1 && value->front().subtrees.size() == 1);
                EXPECT_EQ(std::get<TXNode>(value->front().subtrees[0]->value).text,
                          expected[i].substr(0, expected[i].size() - 1));
            }
        }
    }
}

}  // namespace
