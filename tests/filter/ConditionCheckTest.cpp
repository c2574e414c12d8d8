#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "common/Fatal.h"
#include "filter/ConditionCheck.h"
#include "filter/ConditionCheckInternal.h"
#include "tests/support/TreeText.h"

namespace {

using namespace axf::filter;
using axf::testtree::showTrees;
using axf::testtree::tree;
using axf::xml::TreeList;

// "X:4:['12^20','7^21']" per triple, joined by blanks; "rejected" when absent.
std::string show(const std::optional<Association>& a) {
    if (!a) return "rejected";
    std::string out;
    for (const AssocTriple& t : *a) {
        if (!out.empty()) out += ' ';
        out += t.name + ":" + std::to_string(t.number) + ":" + showTrees(t.subtrees);
    }
    return out;
}

AssocTriple triple(std::string name, std::int64_t number, std::initializer_list<const char*> trees) {
    TreeList ts;
    for (const char* t : trees) ts.push_back(tree(t));
    return AssocTriple{std::move(name), number, ts};
}

RuleConditions regexes(std::vector<RegexCondition> rs) {
    RuleConditions c;
    c.regexConditions = std::move(rs);
    return c;
}

RuleConditions expressions(std::vector<ExpressionCondition> es) {
    RuleConditions c;
    c.expressionConditions = std::move(es);
    return c;
}

const std::vector<std::string> kXY = {"X", "Y", "Z"};

TEST(RegexCondition, AcceptanceTable) {
    struct Case {
        const char* pattern;
        const char* subtree;
        bool passes;
    };
    const std::vector<Case> cases = {
        {"[0-9]+", "'2007^12'", true},
        {"[0-9]+", "'12a^12'", false},
        {"[0-9]+", "'a12^12'", false},
        {"[0-9]+", "year^11('2007^12')", false},  // tested as "2007 "
        {"[0-9]+\\s", "year^11('2007^12')", true},
        {"[0-9]+", "year^11", true},  // no text below: ""
        {"[0-9]+", "'^12'", true},    // empty text
        {"[a-z]*", "'Rome^12'", false},
        {"a|ab", "'ab^12'", false},
        {"ab|a", "'ab^12'", true},
        {"", "'x^12'", false},
        {"[0-9]+", "p^10(a^11('12^12'),b^13('34^14'))", false},
        {"[0-9\\s]+", "p^10(a^11('12^12'),b^13('34^14'))", true},
        {"[0-9]+\\s", "a^11('x\\^y^12')", false},
        {"x\\^y\\s", "a^11('x\\^y^12')", true},  // a '^' of the text is the text's
    };
    for (const auto& c : cases) {
        Association a{triple("X", 4, {c.subtree})};
        auto r = verifyConditions(a, regexes({{"X", c.pattern}}), Polarity::Positive, kXY);
        EXPECT_EQ(!r->empty(), c.passes) << c.pattern << " on " << c.subtree;
    }
}

TEST(RegexCondition, KeptSubtreesAndReplacements) {
    Association a{triple("X", 4, {"'2007^12'", "y^13('2007^14')", "'abc^15'"}), triple("Y", 6, {"'abc^20'"})};
    // Positive: a text stays as it is, a passing element becomes the text it
    // was tested on; other variables are untouched.
    EXPECT_EQ(show(verifyConditions(a, regexes({{"X", "[0-9]+\\s?"}}), Polarity::Positive, kXY)),
              "X:4:['2007^12','2007 '] Y:6:['abc^20']");
    // Negated: the document nodes themselves stay.
    EXPECT_EQ(show(verifyConditions(a, regexes({{"X", "[0-9]+\\s?"}}), Polarity::Negated, kXY)),
              "X:4:['2007^12',y^13('2007^14')] Y:6:['abc^20']");
    // A triple with no passing subtree goes; a condition on an unbound
    // variable changes nothing.
    EXPECT_EQ(show(verifyConditions(a, regexes({{"X", "z"}}), Polarity::Positive, kXY)), "Y:6:['abc^20']");
    EXPECT_EQ(show(verifyConditions(a, regexes({{"Z", "z"}}), Polarity::Positive, kXY)), show(a));
    // A second condition on the same variable tests the replacement.
    EXPECT_EQ(show(verifyConditions(a, regexes({{"X", "[0-9]+\\s"}, {"X", "2007 "}}), Polarity::Positive, kXY)),
              "X:4:['2007 '] Y:6:['abc^20']");
    // An empty association stays empty without any search.
    EXPECT_EQ(show(verifyConditions({}, regexes({{"X", "("}}), Polarity::Positive, kXY)), "");
}

TEST(RegexCondition, AnIllegalPatternEndsTheRunNamingItWhenFirstApplied) {
    Association a{triple("X", 4, {"'abc^12'"})};
    try {
        verifyConditions(a, regexes({{"X", "a(b"}}), Polarity::Positive, kXY);
        ADD_FAILURE() << "no failure";
    } catch (const axf::Fatal& e) {
        EXPECT_NE(std::string(e.what()).find("\"a(b\""), std::string::npos) << e.what();
    }
    // Not applied: no subtree of the variable is tested.
    Association other{triple("Y", 4, {"'abc^12'"})};
    EXPECT_NO_THROW(verifyConditions(other, regexes({{"X", "a(b"}}), Polarity::Positive, kXY));
    // An empty tested text does not slip through an illegal pattern.
    for (const char* empty : {"'^12'", "year^11"}) {
        Association e{triple("X", 4, {empty})};
        EXPECT_THROW(verifyConditions(e, regexes({{"X", "a(b"}}), Polarity::Positive, kXY), axf::Fatal) << empty;
    }
}

TEST(ExpressionCondition, WorkedExamples) {
    Association one{triple("X", 4, {"'12^20'", "'7^21'", "'20^22'"}), triple("Y", 6, {"'rome^30'"})};
    EXPECT_EQ(show(verifyConditions(one, expressions({{"X > 10"}}), Polarity::Positive, kXY)), "X:4:['12','20'] Y:6:['rome^30']");
    EXPECT_EQ(show(verifyConditions(one, expressions({{"X > 100"}}), Polarity::Positive, kXY)), "Y:6:['rome^30']");

    Association two{triple("X", 4, {"'5^10'", "'15^11'"}), triple("Y", 7, {"'10^12'", "'20^13'"})};
    EXPECT_EQ(show(verifyConditions(two, expressions({{"X < Y"}}), Polarity::Positive, kXY)),
              "Y:7:['10','20','20'] X:4:['5','5','15']");
    // Negated: each kept document node once.
    EXPECT_EQ(show(verifyConditions(two, expressions({{"X < Y"}}), Polarity::Negated, kXY)),
              "Y:7:['10^12','20^13'] X:4:['5^10','15^11']");
}

TEST(ExpressionCondition, ConditionsApplyInListOrderAfterTheRegularExpressions) {
    Association a{triple("X", 4, {"'12^20'", "'7^21'", "'20^22'"}), triple("Y", 6, {"'rome^30'"})};
    // No variable in the text: never evaluated, even when it does not parse.
    EXPECT_EQ(show(verifyConditions(a, expressions({{"3 > > 2"}}), Polarity::Positive, kXY)), show(a));
    // A condition that removed X rejects the result when a later one needs X.
    EXPECT_EQ(show(verifyConditions(a, expressions({{"X > 100"}, {"X > 10"}}), Polarity::Positive, kXY)), "rejected");
    // Once the association is empty no later condition is looked at, not even
    // one on a variable the query lacks.
    Association onlyX{triple("X", 4, {"'12^20'"})};
    EXPECT_EQ(show(verifyConditions(onlyX, expressions({{"X > 100"}, {"Q > 1"}}), Polarity::Positive, kXY)), "");
    // Regular expressions first: 7 is gone before the expression sees X.
    RuleConditions both = expressions({{"X < 15"}});
    both.regexConditions = {{"X", "[0-9][0-9]"}};
    EXPECT_EQ(show(verifyConditions(a, both, Polarity::Positive, kXY)), "X:4:['12'] Y:6:['rome^30']");
    // An element without children has its name as value, with children its text.
    Association el{triple("X", 4, {"gold^20", "p^21('12^22')"})};
    EXPECT_EQ(show(verifyConditions(el, expressions({{"X = X"}}), Polarity::Positive, kXY)), "X:4:['gold','12']");
    EXPECT_EQ(show(verifyConditions(el, expressions({{"X > 3"}}), Polarity::Positive, kXY)), "X:4:['12']");
}

TEST(ExpressionCondition, BoundValuesNeverChangeTheCondition) {
    Association a{triple("X", 4, {"'0 in 1 > 0 #^20'", "'New York^21'", "'index^22'", "'12^23'", "' 12 ^24'"})};
    EXPECT_EQ(show(verifyConditions(a, expressions({{"X > 10"}}), Polarity::Positive, kXY)), "X:4:['12',' 12 ']");
    // The same variable takes the same value at every occurrence.
    Association b{triple("X", 4, {"'3^20'", "'4^21'"})};
    EXPECT_EQ(show(verifyConditions(b, expressions({{"X * X > 10"}}), Polarity::Positive, kXY)), "X:4:['4']");
    // Multi-letter names bind by their whole name.
    Association c{triple("City", 4, {"'Rome^20'", "'Oslo^21'"}), triple("Name", 5, {"'Rome^30'"})};
    EXPECT_EQ(show(verifyConditions(c, expressions({{"City = Name"}}), Polarity::Positive, {"City", "Name"})),
              "Name:5:['Rome'] City:4:['Rome']");
}

TEST(ExpressionCondition, AVariableTheQueryDoesNotDeclareEndsTheRun) {
    Association a{triple("X", 4, {"'12^20'"})};
    try {
        verifyConditions(a, expressions({{"Q > 1"}}), Polarity::Positive, kXY);
        ADD_FAILURE() << "no failure";
    } catch (const axf::Fatal& e) {
        EXPECT_STREQ(e.what(), "Attention: variable Qdoesn't exists.");
    }
    // Declared but unbound in this result: the result is rejected.
    EXPECT_EQ(show(verifyConditions(a, expressions({{"Y > 1"}}), Polarity::Positive, kXY)), "rejected");
}

}  // namespace
