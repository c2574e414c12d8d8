// The parser's rule tree read into the typed rule.
#include "filter/RuleReading.h"

#include <gtest/gtest.h>

#include <string>
#include <variant>

#include "common/Fatal.h"
#include "filter/FilterParser.h"

namespace axf::filter {
namespace {

Rule ruleOf(std::string_view filterText) {
    ParseResult parsed = parseFilter(filterText);
    const auto* ok = std::get_if<ParseOk>(&parsed);
    if (!ok) throw std::runtime_error("does not parse: " + std::string(filterText));
    return readRule(ok->tree);
}

// A compact form of the rule's typed parts: kind, polarity, count, source.
std::string shown(const Rule& r) {
    const char* kinds[] = {"best", "all", "bestExact", "allExact"};
    std::string s = kinds[static_cast<int>(r.kind)];
    s += r.polarity == Polarity::Negated ? " negated" : " positive";
    switch (r.count.kind) {
        case CountBound::Kind::NoCount: break;
        case CountBound::Kind::CountAll: s += " count all"; break;
        case CountBound::Kind::CountUpToCost: s += " count up to " + std::to_string(r.count.costBound); break;
    }
    if (const auto* f = std::get_if<DocumentFile>(&r.source)) s += " file " + f->path;
    if (const auto* d = std::get_if<InlineDocument>(&r.source)) s += " inline " + d->text;
    if (const auto* n = std::get_if<NestedRule>(&r.source)) s += " nested (" + shown(*n->rule) + ")";
    return s;
}

TEST(RuleReading, StatementPolarityCountAndSource) {
    const struct {
        const char* filter;
        const char* rule;
    } cases[] = {
        {"filterOneBest a() in file 'd.xml'", "best positive file d.xml"},
        {"filterAllBest a() in 'x' (P)", "all positive inline x"},
        {"filterBestExact a() in site(people()) (N)", "bestExact negated inline <site><people/></site>"},
        {"count (filterAllExact a() in file 'd.xml')", "allExact positive count all file d.xml"},
        {"count 0 (filterAllBest a() in 'x' (N))", "all negated count up to 0 inline x"},
        {"count 2147483647 (filterAllBest a() in 'x')", "all positive count up to 2147483647 inline x"},
        {"count 3 (filterOneBest a() in (count (filterAllExact b() in file 'd.xml' (N))))",
         "best positive count up to 3 nested (allExact negated count all file d.xml)"},
    };
    for (const auto& c : cases) EXPECT_EQ(shown(ruleOf(c.filter)), c.rule) << c.filter;
}

TEST(RuleReading, QueryAndConditionsAsWritten) {
    Rule r = ruleOf("filterAllBest and(a(X), b(Y)) in 'x' where &X match [0-9]+&, &X > Y&");
    const auto& root = std::get<xml::ELNode>(r.query->value);
    EXPECT_EQ(root.name, "and");
    EXPECT_EQ(r.query->kidCount, 2u);
    ASSERT_EQ(r.conditions.regexConditions.size(), 1u);
    EXPECT_EQ(r.conditions.regexConditions[0].variable, "X");
    EXPECT_EQ(r.conditions.regexConditions[0].pattern, "[0-9]+");
    ASSERT_EQ(r.conditions.expressionConditions.size(), 1u);
    EXPECT_EQ(r.conditions.expressionConditions[0].text, "X > Y");
}

// A count bound out of range ends the run; of two, the outer rule's fires,
// as the outer rule is read first.
TEST(RuleReading, CountBoundOutOfRange) {
    const struct {
        const char* filter;
        const char* message;
    } cases[] = {
        {"count 2147483648 (filterAllBest a() in 'x')", "Attention: the count bound 2147483648 is out of range"},
        {"count 99999999999 (filterAllBest a() in (count 88888888888 (filterAllBest b() in 'x')))",
         "Attention: the count bound 99999999999 is out of range"},
        {"count 1 (filterAllBest a() in (count 88888888888 (filterAllBest b() in 'x')))",
         "Attention: the count bound 88888888888 is out of range"},
    };
    for (const auto& c : cases) {
        try {
            ruleOf(c.filter);
            ADD_FAILURE() << "no failure: " << c.filter;
        } catch (const Fatal& e) {
            EXPECT_STREQ(e.what(), c.message) << c.filter;
        }
    }
}

}  // namespace
}  // namespace axf::filter
