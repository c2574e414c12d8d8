// Small operations of the filter modules that the query run does not call.
#include <gtest/gtest.h>

#include <string>

#include "common/Fatal.h"
#include "common/Output.h"
#include "filter/ExpInternal.h"
#include "filter/FilterLexerInternal.h"
#include "filter/VariableBinding.h"
#include "filter/VariableBindingInternal.h"
#include "xml/XML.h"

namespace {

using namespace axf::filter;
namespace xml = axf::xml;

TEST(UnusedOps, MatchReGivesTheFirstMatchOrEmpty) {
    struct Case {
        const char* text;
        const char* pattern;
        const char* match;
    };
    const Case cases[] = {
        {"abc123def", "[0-9]+", "123"},
        {"abc", "[0-9]+", ""},
        {"abc", "(", ""},  // does not parse
        {"", "x*", ""},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(matchRe(c.text, c.pattern), c.match) << c.text << " / " << c.pattern;
        EXPECT_EQ(expMatchRe(c.text, c.pattern), c.match) << c.text << " / " << c.pattern;
    }
    EXPECT_FALSE(isNumberAlwaysFalse("123"));
    EXPECT_FALSE(isNumberAlwaysFalse(""));
}

TEST(UnusedOps, ExpressionTextTests) {
    EXPECT_TRUE(expIsVar("X"));
    EXPECT_TRUE(expIsVar("Name"));
    EXPECT_TRUE(expIsVar("\xC0x"));  // Latin-1 upper-case letter
    EXPECT_FALSE(expIsVar("x"));
    EXPECT_FALSE(expIsVar("1"));
    EXPECT_FALSE(expIsVar(""));
    EXPECT_TRUE(expIsText("a"));
    EXPECT_TRUE(expIsText(" "));
    EXPECT_FALSE(expIsText(""));
}

TEST(UnusedOps, LtAssComparesNodeNumbersAsIntegers) {
    AssocTriple a{"X", 9, {}}, b{"Y", 10, {}}, c{"Z", -3, {}};
    EXPECT_TRUE(nodeNumberLess(a, b));
    EXPECT_FALSE(nodeNumberLess(b, a));
    EXPECT_FALSE(nodeNumberLess(a, a));
    EXPECT_TRUE(nodeNumberLess(c, a));
}

TEST(UnusedOps, ViewAssocWritesFourLines) {
    xml::TreeList values{xml::text("v1"), xml::text("v2")};
    axf::StringSink sink;
    dumpAssociation("X", values, sink);
    EXPECT_EQ(sink.text(), "assoc:\nX\nTree (TXNode \"v1\") []\n\n");
    axf::StringSink none;
    EXPECT_THROW(dumpAssociation("X", {}, none), axf::InternalError);
}

}  // namespace
