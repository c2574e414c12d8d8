#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "common/Fatal.h"
#include "xml/XMLScanner.h"

namespace {

using namespace axf::xml;
using K = DelimKind;

Delimiter T(K k, std::string text = {}) { return Delimiter::make(k, std::move(text)); }

// Printed form of the tokens, reading every text (char references included).
std::string scanShown(std::string_view text, ScanMode mode = ScanMode::Content) {
    return showListText(scanAll(text, mode));
}

struct Case {
    std::string input;
    std::vector<Delimiter> tokens;
};

void checkTable(const std::vector<Case>& cases, ScanMode mode) {
    for (const Case& c : cases) EXPECT_EQ(scanShown(c.input, mode), showListText(c.tokens)) << "input: " << c.input;
}

TEST(Scanner, ContentModeTokens) {
    checkTable(
        {
            {"", {}},
            {"  abc  def  <x/>", {T(K::WS, "  "), T(K::CDATA, "abc  def  "), T(K::STAGO), T(K::NAME, "x"), T(K::EETAGC)}},
            {"abc\n  def", {T(K::CDATA, "abc\n  def")}},
            {"\n\n<a>", {T(K::WS, "\n\n"), T(K::STAGO), T(K::NAME, "a"), T(K::TAGC)}},
            // '>' in character data is text, also at the start of a run.
            {"a>b", {T(K::CDATA, "a>b")}},
            {">b", {T(K::CDATA, ">b")}},
            {" >x", {T(K::WS, " "), T(K::CDATA, ">x")}},
            {"&amp;", {T(K::GEREF, "amp")}},
            {"&a.b-c:d;", {T(K::GEREF, "a.b-c:d")}},
            {"&;", {T(K::GEREF, "")}},
            {"&amp x", {T(K::LEXERR, "Bad entity reference amp"), T(K::WS, " "), T(K::CDATA, "x")}},
            {"& x", {T(K::LEXERR, "Bad entity reference "), T(K::WS, " "), T(K::CDATA, "x")}},
            {"a&", {T(K::CDATA, "a"), T(K::LEXERR, "Bad entity reference ")}},
            {"&#65;", {T(K::CDATA, "A")}},
            {"&#65", {T(K::CDATA, "A")}},
            {"&#x41;b", {T(K::CDATA, "A"), T(K::CDATA, "b")}},
            {"&#X41;", {T(K::CDATA, "A")}},
            {"&#1114111;", {T(K::CDATA, "\xF4\x8F\xBF\xBF")}},
            {"&#233;", {T(K::CDATA, "\xE9")}},
            {"&#256;", {T(K::CDATA, "\xC4\x80")}},
            {"<", {T(K::STAGO)}},
            {"< a>", {T(K::STAGO), T(K::NAME, "a"), T(K::TAGC)}},
            {"<>", {T(K::STAGO), T(K::TAGC)}},
            {"<]]>x", {T(K::MSC), T(K::CDATA, "x")}},
            {"<]]x", {T(K::STAGO), T(K::LEXERR, "]"), T(K::LEXERR, "]"), T(K::NAME, "x")}},
            {"<]", {T(K::STAGO), T(K::LEXERR, "]")}},
            {"<!DOCTYPE doc>", {T(K::MDO), T(K::NAME, "DOCTYPE"), T(K::NAME, "doc"), T(K::MDC)}},
            {"<!", {T(K::MDO)}},
            {"<!-", {T(K::MDO), T(K::MINUS)}},
            {"<!--", {T(K::MDOCOM)}},
            {"<!-- c -->", {T(K::MDOCOM), T(K::CDATA, " c "), T(K::COM), T(K::MDC)}},
            {"<!-x", {T(K::MDO), T(K::MINUS), T(K::NAME, "x")}},
            {"<![CDATA[a]]>", {T(K::CDATA, "a")}},
            {"<![CDATA[", {}},
            {"<![cdata[x]]>y", {T(K::LEXERR, "Illegal marked section [cdata"), T(K::CDATA, "x]]>y")}},
            {"<![CDATX[y", {T(K::LEXERR, "Illegal marked section [CDATX"), T(K::CDATA, "y")}},
            {"<![CDAT", {T(K::LEXERR, "Illegal marked section [CDAT")}},
            {"<![abc", {T(K::LEXERR, "Illegal marked section [abc")}},
            {"<?pi x?>", {T(K::PIO), T(K::CDATA, "pi x"), T(K::PIC)}},
            {"<?", {T(K::PIO)}},
            {"</", {T(K::ETAGO)}},
        },
        ScanMode::Content);
}

TEST(Scanner, CharacterReferenceFailsOnlyWhenRead) {
    // The reference runs to the next ';' whatever lies between.
    auto toks = scanAll("&#65<b>x</b>;y");
    ASSERT_EQ(toks.size(), 2u);
    EXPECT_TRUE(toks[0].is(K::CDATA));
    EXPECT_EQ(toks[1].text(), "y");
    EXPECT_THROW(toks[0].text(), axf::Fatal);

    for (const char* bad : {"&#1F;", "&#;", "&#", "&#x;", "&#1114112;", "&#99999999999999999999;", "&#xG;", "&#-1;"}) {
        auto t = scanAll(bad);
        ASSERT_EQ(t.size(), 1u) << bad;
        EXPECT_THROW(t[0].text(), axf::Fatal) << bad;
    }
}

}  // namespace
