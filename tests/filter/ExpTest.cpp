#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "common/Fatal.h"
#include "filter/Exp.h"
#include "filter/ExpInternal.h"
#include "filter/ExpTable.h"

namespace {

using namespace axf::filter;
using K = ExpTokenKind;

std::string show(const std::vector<ExpToken>& ts) {
    static const char* const names[] = {"let", "in", "F",  "S", "V", "=", "<", "<=", ">",
                                        ">=",  "+",  "++", "-", "*", "/", "(", ")"};
    std::string out;
    for (const ExpToken& t : ts) {
        if (!out.empty()) out += ' ';
        out += names[int(t.kind)];
        if (!t.text.empty()) out += ":" + t.text;
    }
    return out;
}

TEST(ExpLexer, CutsLexemesUnderThePriorityPolicy) {
    struct Case {
        const char* text;
        const char* tokens;
    };
    const std::vector<Case> cases = {
        {"", ""},
        {" \t\n ", ""},
        {"X>=10", "V:X >= F:10"},
        {"let X=abc in X=abc", "let V:X = S:abc in V:X = S:abc"},
        {"letter", "let S:ter"},
        {"lets", "let S:s"},
        {"index", "in S:dex"},
        {"inner", "in S:ner"},
        {"in5", "in F:5"},
        {"Index Let In", "V:Index V:Let V:In"},
        {"3rd a.b _x 1e5 Xy_2", "S:3rd S:a.b S:_x S:1e5 V:Xy_2"},
        {"12 3.5 007 1.2.3", "F:12 F:3.5 F:007 F:1.2.3"},
        {"=< =>", "= < = >"},
        {"a++b", "S:a ++ S:b"},
        {"a+++b", "S:a S:+++ S:b"},
        {"** -- //", "* * - - / /"},
        {"-5", "- F:5"},
        {"a,b", "S:a"},
        {"X = 5 # anything", "V:X = F:5"},
        {"(1+2)*3", "( F:1 + F:2 ) * F:3"},
        {"a\xA0"
         "b",
         "S:a S:b"},
        {"a\xC0"
         "b",
         "S:a"},
    };
    for (const auto& c : cases) EXPECT_EQ(show(expTokenList(c.text)), c.tokens) << c.text;
}

TEST(ExpTable, FiguresOfTheAutomaton) {
    EXPECT_EQ(expTable.numStates, 62);
    EXPECT_EQ(expTable.numProductions, 27);
    ASSERT_GT(expTable.numConflicts, 0);
    // One state holds the conflict, between the text term and the factor on a
    // variable, settled for the factor on every comparison.
    for (int i = 0; i < expTable.numConflicts; ++i) {
        EXPECT_EQ(expTable.conflicts[i].state, expTable.conflicts[0].state);
        EXPECT_EQ(expTable.conflicts[i].chosen, -26);
    }
    EXPECT_EQ(expTable.numConflicts, 5);
}

TEST(ExpEval, WorkedExamples) {
    struct Case {
        const char* text;
        bool want;
    };
    const std::vector<Case> cases = {
        {"let X=12 in X > 10", true},
        {"let X=12 in X = 12.0", true},
        {"let X=007 in X = 7", true},
        {"let X=10 in let Y=4 in (X + Y) * 2 >= 28", true},
        {"let X=2 in 2 + 3 * X = 8", true},
        {"8 / 4 / 2 = 1", true},
        {"3 - 2 - 1 = 0", true},
        {"2 + 3 * 4 = 14", true},
        {"0.1 + 0.2 = 0.3", true},
        {"let X=0 in 1 / X > 1000", true},
        {"let X=0 in X / X = X / X", false},
        {"let X=1 in let X=2 in X = 2", true},
        {"let X=1.2.3 in let X=5 in X > 3", true},
        {"let X=rome in let Y=rome in X = Y", true},
        {"let X=a in let Y=b in X = Y", false},
        {"let X=abc in let Y=abd in X < Y", true},
        {"let X=ab in let Y=abc in X < Y", true},
        {"let X=b in let Y=abc in X > Y", true},
        {"let X=abc in let Y=abc in X >= Y", true},
        {"let X=abc in let Y=ab in let Z=c in X = Y ++ Z", true},
        {"let X=abc in let Y=xy in X = Y ++ Z", false},
        {"let A=x in let B=y in let C=z in A = B ++ C", false},
        {"3 > 2", true},
        {"let X=12 in X > 10 # anything", true},
    };
    for (const auto& c : cases) EXPECT_EQ(evalExp(c.text), c.want) << c.text;
}

TEST(ExpEval, FatalMessagesAndTheirOrder) {
    struct Case {
        const char* text;
        const char* message;
    };
    const std::vector<Case> cases = {
        {"let X=1.2.3 in X > 3", "Prelude.read: no parse"},
        {"1.2 + .5 = 3", "Prelude.read: no parse"},
        {"let X=abc in let Y=ab in X = Y ++ Z", "no var"},
        {"let X=ab in let Y=ab in X = Y ++ Z", "no var"},
        {"X > 3", "no var"},
        {"X = Y", "no var"},  // numeric without bindings
        {"let X=12 in let Y=abc in X = Y", "Parse error"},
        {"let X=abc in X = abc", "Parse error"},
        {"let X=Rome in X = X", "Parse error"},
        {"let X=letter in X = X", "Parse error"},
        {"let X=a b in X = X", "Parse error"},
        {"let X=5 in X", "Parse error"},
        {"let X=5 in", "Parse error"},
        {"", "Parse error"},
        {"1 < 2 < 3", "Parse error"},
        {"(1 < 2)", "Parse error"},
        {"X ++ Y = Z", "Parse error"},
        {"A = B ++ C", "Parse error"},
        {"let A=x in let B=y in let C=z in let D=w in A = B ++ C ++ D", "Parse error"},
        {"let X=a in X < Y ++ Z", "Parse error"},
        {"let X=1 in let Y=b in X = Y", "Parse error"},
        {"let X=b in let Y=1 in X = Y", "Parse error"},
        // "Parse error" before the number failure and the missing variable.
        {"let X=1.2.3 in X > Q >", "Parse error"},
    };
    for (const auto& c : cases) {
        try {
            evalExp(c.text);
            ADD_FAILURE() << "no failure for " << c.text;
        } catch (const axf::Fatal& e) {
            EXPECT_STREQ(e.what(), c.message) << c.text;
        }
    }
}

TEST(ExpEval, SinglePrecisionArithmetic) {
    // 16777217 is not a float: it reads as 16777216.
    EXPECT_TRUE(evalExp("16777217 = 16777216"));
    EXPECT_TRUE(evalExp("99999999999999999999999999999999999999999 > 1000"));  // infinity
    EXPECT_EQ(readFloat("0.1"), 0.1f);
    EXPECT_TRUE(std::isinf(readFloat("1" + std::string(60, '0'))));
    EXPECT_EQ(readFloat("0." + std::string(60, '0') + "1"), 0.0f);
    for (const char* bad : {".", ".5", "5.", "1..2", "1.2.3", ""}) EXPECT_THROW(readFloat(bad), axf::Fatal) << bad;
}

TEST(ExpValue, EachValueIsOneNumberOrOneWord) {
    struct Case {
        const char* raw;
        bool number;
        const char* text;
    };
    const std::vector<Case> cases = {
        {"12", true, "12"},
        {" 12 ", true, "12"},
        {"12.5", true, "12.5"},
        {"1.2.3", false, "1.2.3"},
        {".5", false, ".5"},
        {"New York", false, "New York"},
        {"0 in 1 > 0 #", false, "0 in 1 > 0 #"},
        {"", false, ""},
        {"-3", false, "-3"},
    };
    for (const auto& c : cases) {
        ExpValue v = classifyValue(c.raw);
        EXPECT_EQ(v.isNumber, c.number) << c.raw;
        EXPECT_EQ(v.text, c.text) << c.raw;
    }
}

bool holds(ExpCondition& c, const std::vector<std::string>& raws) {
    std::vector<ExpValue> vals;
    for (const auto& r : raws) vals.push_back(classifyValue(r));
    std::vector<const ExpValue*> ptrs;
    for (const auto& v : vals) ptrs.push_back(&v);
    return c.holds(ptrs);
}

TEST(ExpCondition, ValuesAreTokensNeverText) {
    ExpCondition gt("X > 10", {"X"});
    EXPECT_TRUE(holds(gt, {"12"}));
    EXPECT_FALSE(holds(gt, {"7"}));
    EXPECT_TRUE(holds(gt, {" 12 "}));
    // Values that would change the text's structure, or not parse, are words:
    // a numeric comparison with them is false.
    for (const char* v : {"0 in 1 > 0 #", "New York", "index", "Rome", "", "1.2.3", "-5", "+++"})
        EXPECT_FALSE(holds(gt, {v})) << v;
    // A comparison of variables reads numbers as numbers and anything else as
    // text.
    ExpCondition eq("X = Y", {"Y", "X"});
    EXPECT_TRUE(holds(eq, {"12", "12.0"}));
    EXPECT_TRUE(holds(eq, {"New York", "New York"}));
    EXPECT_FALSE(holds(eq, {"12", "New York"}));
    EXPECT_TRUE(holds(eq, {"letter", "letter"}));
    // A text condition takes every value as text.
    ExpCondition app("X = Y ++ Z", {"Z", "Y", "X"});
    EXPECT_TRUE(holds(app, {"12", "abc", "abc12"}));
    EXPECT_TRUE(holds(eq, {"12", "12"}));
    ExpCondition gtText("X > Y", {"Y", "X"});
    EXPECT_TRUE(holds(gtText, {"bz", "b\xE9"}));  // bytes compare unsigned
    // Multi-letter names.
    ExpCondition city("City = Name", {"Name", "City"});
    EXPECT_TRUE(holds(city, {"Rome", "Rome"}));
    // A condition malformed whatever the values fails when first evaluated.
    ExpCondition bad("X > > 3", {"X"});
    EXPECT_THROW(holds(bad, {"1"}), axf::Fatal);
    ExpCondition noVar("X > Xa", {"X"});
    EXPECT_THROW(holds(noVar, {"1"}), axf::Fatal);
}

TEST(ExpCondition, VariablesOfAText) {
    EXPECT_EQ(expressionVariables("X < Y"), (std::vector<std::string>{"Y", "X"}));
    EXPECT_EQ(expressionVariables("X * X > 10"), (std::vector<std::string>{"X"}));
    EXPECT_EQ(expressionVariables("Price > 5 and City"), (std::vector<std::string>{"City", "Price"}));
    EXPECT_TRUE(expressionVariables("3 > 2").empty());
    EXPECT_EQ(expressionVariables("let Z=5 in X > Z"), (std::vector<std::string>{"X"}));
}

}  // namespace

namespace {

// The note of a condition that does not parse: the condition, the column of
// the token the parse stops at (the end, or a byte no lexeme begins with),
// and what it expected; a word out of place gets the hint about let.
TEST(ExpCondition, ParseErrorNoteSaysWhereAndWhat) {
    struct Case {
        const char* text;
        const char* note;
    };
    const Case cases[] = {
        {"X >= john",
         "axfilter: the condition &X >= john& does not parse: at column 6 of the condition, found \"john\" where it "
         "expects a number, a variable or \"(\"\naxfilter: hint: a word enters a comparison only through let: "
         "&let W = john in ...&"},
        {"X > > 3",
         "axfilter: the condition &X > > 3& does not parse: at column 5 of the condition, found \">\" where it "
         "expects a number, a variable or \"(\""},
        {"X > 3 +",
         "axfilter: the condition &X > 3 +& does not parse: found the end of the condition where it expects a "
         "number, a variable or \"(\""},
        {"X > $ 3",
         "axfilter: the condition &X > $ 3& does not parse: at column 5 of the condition, found '$', which a "
         "condition cannot hold where it expects"},
    };
    for (const Case& c : cases) {
        ExpCondition cond(c.text, {"X"});
        ExpValue three = classifyValue("3");
        const ExpValue* values[] = {&three};
        try {
            cond.holds(values);
            ADD_FAILURE() << c.text << ": parsed";
        } catch (const axf::Fatal& e) {
            EXPECT_STREQ(e.what(), "Parse error") << c.text;
            EXPECT_EQ(e.note().substr(0, std::string(c.note).size()), c.note) << c.text;
        }
    }
}

}  // namespace
