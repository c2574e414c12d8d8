#include <gtest/gtest.h>

#include <stdexcept>
#include <string>

#include "app/FilterRun.h"
#include "app/FilterRunInternal.h"
#include "app/ResultPrinter.h"
#include "app/RuleEvaluation.h"
#include "app/RuleEvaluationInternal.h"
#include "common/Fatal.h"
#include "filter/ConditionReading.h"
#include "filter/ConditionReadingInternal.h"
#include "filter/FilterParser.h"
#include "filter/RuleReading.h"
#include "xml/XML.h"

namespace {

using namespace axf::app;
using axf::filter::CountBound;
using axf::index::EmbeddingEntry;
using axf::xml::elem;
using axf::xml::text;

EmbeddingEntry entry(std::int64_t cost, const axf::xml::Tree* t) { return EmbeddingEntry{1, 0, 1, 0, cost, t}; }

SearchResult list(std::initializer_list<EmbeddingEntry> es) { return SearchResult{es, nullptr}; }

const CountBound noCount{};
const CountBound countAll{CountBound::Kind::CountAll, 0};
CountBound countUpTo(std::int64_t cost) { return {CountBound::Kind::CountUpToCost, cost}; }

TEST(ResultDocument, ShapesByKindCountAndOuterFlag) {
    auto a = elem("item", {text("A")});
    auto b = elem("item", {text("B")});
    struct Case {
        SearchResult results;
        StatementKind kind;
        int outer;
        CountBound count;
        std::string expected;
    };
    std::vector<Case> cases = {
        {list({}), StatementKind::Best, 1, countAll, "<Empty Result/>\n"},
        {list({entry(0, a), entry(4, b)}), StatementKind::Best, 1, noCount,
         "<Results>\n   <Query Rank rank=\"0\"/>\n   <item>A</item>\n   <Query Rank rank=\"4\"/>\n   "
         "<item>B</item>\n</Results>\n"},
        {list({entry(0, a), entry(4, b)}), StatementKind::All, 0, noCount,
         "<Results>\n   <item>A</item>\n   <item>B</item>\n</Results>\n"},
        {list({entry(0, a), entry(2, b)}), StatementKind::BestExact, 1, noCount, "<Results>\n   <item>A</item>\n</Results>\n"},
        {list({entry(2, a), entry(3, b)}), StatementKind::AllExact, 1, noCount, "<Empty Result/>\n"},
        {list({entry(0, a), entry(3, b), entry(5, a)}), StatementKind::Best, 1, countUpTo(3), "<Results Embedding Num=\"2\"/>\n"},
        {list({entry(5, a), entry(7, b)}), StatementKind::Best, 1, countUpTo(3), "<Results Embedding Num=\"0\"/>\n"},
        {list({entry(5, a), entry(7, b), entry(0, b)}), StatementKind::AllExact, 1, countAll, "<Results Embedding Num=\"3\"/>\n"},
        // A single text match takes the one-line form of its root.
        {list({entry(0, text("hello"))}), StatementKind::All, 0, noCount, "<Results>hello</Results>\n"},
    };
    for (std::size_t i = 0; i < cases.size(); ++i) {
        const Case& c = cases[i];
        EXPECT_EQ(
            showResultDocument(0, true, buildQueryResult(c.results, c.kind, Polarity::Positive, MatchListing(c.outer), c.count)),
            c.expected)
            << "case " << i;
    }
}

TEST(ResultDocument, PendingFailureFiresAfterThePrintedMatches) {
    SearchResult r{{entry(0, elem("a"))}, std::make_exception_ptr(axf::Fatal("boom"))};
    ResultDocument doc = buildQueryResult(r, StatementKind::Best, Polarity::Positive, MatchListing::RankedTrees, noCount);
    axf::StringSink sink;
    EXPECT_THROW(writeResultDocument(0, true, doc, sink), axf::Fatal);
    EXPECT_EQ(sink.text(), "<Results>\n   <Query Rank rank=\"0\"/>\n   <a/>\n");
}

// The rule with its inline source, or its nested rule's, holding `doc`.
const axf::xml::Tree* withInlineDocument(const axf::xml::Tree* rule, const std::string& doc) {
    std::vector<const axf::xml::Tree*> parts(rule->children().begin(), rule->children().end());
    const auto& source = std::get<axf::xml::ELNode>(parts[2]->value);
    parts[2] = source.name == "rule" ? withInlineDocument(parts[2], doc) : elem("xml", {text(doc)});
    return axf::xml::makeTree(rule->value, parts);
}

// The printed result of a filter whose inline source is replaced by `doc`.
std::string resultOver(const std::string& filterText, const std::string& doc) {
    auto parsed = axf::filter::parseFilter(filterText);
    const auto* ok = std::get_if<axf::filter::ParseOk>(&parsed);
    if (!ok) return "does not parse";
    return showResultDocument(0, true, evaluateRuleOnSource(axf::filter::readRule(withInlineDocument(ok->tree, doc)), true));
}

TEST(ResultDocument, InlineSourceWithAByteOrderMark) {
    const std::string doc = "<people><person><name>Anna</name></person><person><name>Bo</name></person></people>";
    for (const char* f : {"filterAllBest people(person(name(X))) in 'x'", "filterAllBest person(name('Bo')) in 'x' (N)",
                          "filterAllBest people() in (filterAllExact people(person(name())) in 'x')"}) {
        SCOPED_TRACE(f);
        const std::string plain = resultOver(f, doc);
        EXPECT_NE(plain.find("<people"), std::string::npos) << plain;
        EXPECT_EQ(plain.find('\xEF'), std::string::npos) << plain;
        EXPECT_EQ(resultOver(f, "\xEF\xBB\xBF" + doc), plain);
    }
}

TEST(ConditionTexts, WorkedExampleAndEdges) {
    auto conds = axf::xml::elem("conditions", {text("Y > X + 2"), text("X match [0-9]+"), text("Z match [a-z]+")});
    axf::filter::RuleConditions t = axf::filter::readConditions(conds);
    ASSERT_EQ(t.regexConditions.size(), 2u);
    EXPECT_EQ(t.regexConditions[0].variable, "Z");
    EXPECT_EQ(t.regexConditions[0].pattern, "[a-z]+");
    EXPECT_EQ(t.regexConditions[1].variable, "X");
    EXPECT_EQ(t.regexConditions[1].pattern, "[0-9]+");
    ASSERT_EQ(t.expressionConditions.size(), 1u);
    EXPECT_EQ(t.expressionConditions[0].text, "Y > X + 2");
    EXPECT_TRUE(axf::filter::readConditions(text("conditions")).empty());

    struct Case {
        std::string text, kind;
        std::vector<std::string> names;
        std::string rest;
    };
    std::vector<Case> cases = {
        {"X match a match b", "R", {"X"}, "a match b"},
        {"X = matches", "R", {"X"}, "es"},
        {" X match a", "R", {""}, "a"},
        {"X Y match  ab c ", "R", {"X"}, "ab c "},
        {"X match", "R", {"X"}, ""},
        {"X + X > Y", "N", {"Y", "X", "X"}, "X + X > Y"},
        {"MATCH", "N", {"H", "C", "T", "A", "M"}, "MATCH"},
        {"", "N", {}, ""},
    };
    for (const auto& c : cases) {
        axf::filter::ConditionReading r = axf::filter::readCondition(c.text);
        EXPECT_EQ(r.kind == axf::filter::ConditionKind::Regex ? "R" : "N", c.kind) << c.text;
        EXPECT_EQ(r.names, c.names) << c.text;
        EXPECT_EQ(r.text, c.rest) << c.text;
    }
}

TEST(ConditionTexts, NamesMergeInOrderOfFirstUse) {
    using Names = std::vector<std::string>;
    const struct {
        Names add, soFar, merged;
    } cases[] = {
        {{}, {}, {}},
        {{"X"}, {}, {"X"}},
        {{"Y", "X", "X"}, {"X"}, {"X", "Y"}},
        {{"Z", "Y", "Z"}, {"Y", "X"}, {"Y", "X", "Z"}},
        {{}, {"X", "X"}, {"X", "X"}},  // the names so far stay as they are
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::PrintToString(c.add) + " into " + testing::PrintToString(c.soFar));
        EXPECT_EQ(axf::filter::addDistinctVars(c.add, c.soFar), c.merged);
    }
}

}  // namespace
