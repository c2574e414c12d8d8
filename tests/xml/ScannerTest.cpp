#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "common/Fatal.h"
#include "common/LargeStack.h"
#include "xml/XMLScannerInternal.h"

namespace {

using namespace axf::xml;
using K = DelimKind;

Delimiter T(K k, std::string text = {}) { return Delimiter::make(k, std::move(text)); }

// Printed form of the tokens, reading every text (char references included).
std::string scanShown(std::string_view text, ScanMode mode = ScanMode::Content) { return showListText(scanAll(text, mode)); }

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
            // Bytes are read unsigned: 160, 11, 12, 13 are white space, 133 and 0 are not.
            {"\xA0\v\f\r\x85 \xA0", {T(K::WS, "\xA0\v\f\r"), T(K::CDATA, "\x85 \xA0")}},
            {std::string("\0 x", 3), {T(K::CDATA, std::string("\0 x", 3))}},
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

TEST(Scanner, TagStateTokens) {
    checkTable(
        {
            {"<a b=\"1\"/>z",
             {T(K::STAGO), T(K::NAME, "a"), T(K::NAME, "b"), T(K::VI), T(K::LITERAL, "1"), T(K::EETAGC), T(K::CDATA, "z")}},
            {"</x>", {T(K::ETAGO), T(K::NAME, "x"), T(K::TAGC)}},
            {"</x/>", {T(K::ETAGO), T(K::NAME, "x"), T(K::EETAGC)}},
            {"<a v='&amp;\n\t<>\"'>",
             {T(K::STAGO), T(K::NAME, "a"), T(K::NAME, "v"), T(K::VI), T(K::LITERAL, "&amp;\n\t<>\""), T(K::TAGC)}},
            {"<a v=\"\">", {T(K::STAGO), T(K::NAME, "a"), T(K::NAME, "v"), T(K::VI), T(K::LITERAL, ""), T(K::TAGC)}},
            // An unclosed literal takes the rest of the text.
            {"<a v=\"x> <b>", {T(K::STAGO), T(K::NAME, "a"), T(K::NAME, "v"), T(K::VI), T(K::LITERAL, "x> <b>")}},
            {"<a v='", {T(K::STAGO), T(K::NAME, "a"), T(K::NAME, "v"), T(K::VI), T(K::LITERAL, "")}},
            {"<a / x>", {T(K::STAGO), T(K::NAME, "a"), T(K::LEXERR, "/"), T(K::NAME, "x"), T(K::TAGC)}},
            {"<a /", {T(K::STAGO), T(K::NAME, "a"), T(K::LEXERR, "/")}},
            {"<a <b </c<",
             {T(K::STAGO), T(K::NAME, "a"), T(K::STAGO), T(K::NAME, "b"), T(K::ETAGO), T(K::NAME, "c"), T(K::STAGO)}},
            {"<a <!x>", {T(K::STAGO), T(K::NAME, "a"), T(K::STAGO), T(K::LEXERR, "!"), T(K::NAME, "x"), T(K::TAGC)}},
            {"<1a.b -a>", {T(K::STAGO), T(K::NAME, "1a.b"), T(K::LEXERR, "-"), T(K::NAME, "a"), T(K::TAGC)}},
            {"<a=1>", {T(K::STAGO), T(K::NAME, "a"), T(K::VI), T(K::NAME, "1"), T(K::TAGC)}},
            {"<&#?;>", {T(K::STAGO), T(K::LEXERR, "&"), T(K::LEXERR, "#"), T(K::LEXERR, "?"), T(K::LEXERR, ";"), T(K::TAGC)}},
            {"<a \t\n\r\f\v\xA0"
             "b>",
             {T(K::STAGO), T(K::NAME, "a"), T(K::NAME, "b"), T(K::TAGC)}},
            {"<abc", {T(K::STAGO), T(K::NAME, "abc")}},
            {"<\xE9t\xE9>", {T(K::STAGO), T(K::NAME, "\xE9t\xE9"), T(K::TAGC)}},
        },
        ScanMode::Content);
}

TEST(Scanner, CommentAndPIBodies) {
    auto com = [](std::vector<Delimiter> body) {
        body.insert(body.begin(), T(K::MDOCOM));
        return body;
    };
    auto pi = [](std::vector<Delimiter> body) {
        body.insert(body.begin(), T(K::PIO));
        return body;
    };
    checkTable(
        {
            {"<!-- c -->", com({T(K::CDATA, " c "), T(K::COM), T(K::MDC)})},
            {"<!--a-b-->x", com({T(K::CDATA, "a"), T(K::CDATA, "-b"), T(K::COM), T(K::MDC), T(K::CDATA, "x")})},
            {"<!--a\nb\rc\td-->", com({T(K::CDATA, "a"), T(K::CDATA, "\nb\rc\td"), T(K::COM), T(K::MDC)})},
            {"<!---->", com({T(K::COM), T(K::MDC)})},
            {"<!----->", com({T(K::COM), T(K::LEXERR, "-"), T(K::MDC)})},
            {"<!-- a -- -- b -->", com({T(K::CDATA, " a "), T(K::COM), T(K::COM), T(K::CDATA, " b "), T(K::COM), T(K::MDC)})},
            {"<!-- a -- x -->", com({T(K::CDATA, " a "), T(K::COM), T(K::LEXERR, "x"), T(K::COM), T(K::CDATA, ">")})},
            {"<!-- a --  >", com({T(K::CDATA, " a "), T(K::COM), T(K::MDC)})},
            {"<!--abc", com({T(K::CDATA, "abc")})},
            {"<!--a--", com({T(K::CDATA, "a"), T(K::COM)})},
            // "<!--" inside a comment opens nothing.
            {"<!--x<!--y-->", com({T(K::CDATA, "x<!"), T(K::COM), T(K::LEXERR, "y"), T(K::COM), T(K::CDATA, ">")})},
            {"<?pi x?>z", pi({T(K::CDATA, "pi x"), T(K::PIC), T(K::CDATA, "z")})},
            {"<?a?b?>", pi({T(K::CDATA, "a"), T(K::CDATA, "?b"), T(K::PIC)})},
            {"<?"
             "?>",
             pi({T(K::PIC)})},
            {"<?a\n->-b?>", pi({T(K::CDATA, "a\n->-b"), T(K::PIC)})},
            {"<?a?", pi({T(K::CDATA, "a"), T(K::CDATA, "?")})},
        },
        ScanMode::Content);
}

TEST(Scanner, CDATASections) {
    auto sec = [](std::string body) { return "<![CDATA[" + body; };
    checkTable(
        {
            {sec("]]>x"), {T(K::CDATA, "x")}},
            {sec("a<b>c]]>"), {T(K::CDATA, "a"), T(K::CDATA, "<b>c")}},
            {sec("a\nb\rc\td]]>"), {T(K::CDATA, "a"), T(K::CDATA, "\nb\rc\td")}},
            {sec("a]]b]]>"), {T(K::CDATA, "a"), T(K::CDATA, "]"), T(K::CDATA, "]b")}},
            {sec("a]]]>"), {T(K::CDATA, "a"), T(K::CDATA, "]")}},
            {sec("<!x&amp;]]><b/>"), {T(K::CDATA, "<!x&amp;"), T(K::STAGO), T(K::NAME, "b"), T(K::EETAGC)}},
            {sec("ab"), {T(K::CDATA, "ab")}},
            {sec("a<"), {T(K::CDATA, "a"), T(K::CDATA, "<")}},
            {sec("a]"), {T(K::CDATA, "a"), T(K::CDATA, "]")}},
        },
        ScanMode::Content);

    for (const char* bad : {"<![CDATA[<![x", "<![CDATA[ab<![x"}) {
        SCOPED_TRACE(bad);
        XMLScanner sc(bad);
        if (std::string_view(bad).size() > 13) {
            EXPECT_EQ(sc.next()->text(), "ab");
        }
        try {
            sc.next();
            FAIL() << bad;
        } catch (const axf::Fatal& e) {
            EXPECT_STREQ(e.what(), "Nested <![ in marked section");
        }
    }
}

TEST(Scanner, DeclarationModeTokens) {
    const std::string badPE = "Bad parameter entity reference %";
    checkTable(
        {
            {"", {}},
            {"(a|b)*", {T(K::GRPO), T(K::NAME, "a"), T(K::OR), T(K::NAME, "b"), T(K::GRPC), T(K::REP)}},
            {"a-b.c 1st", {T(K::NAME, "a-b.c"), T(K::NAME, "1st")}},
            {".x", {T(K::LEXERR, "."), T(K::NAME, "x")}},
            {"-x-", {T(K::MINUS), T(K::NAME, "x-")}},
            {"- x -", {T(K::MINUS), T(K::NAME, "x"), T(K::MINUS)}},
            {"#PCDATA", {T(K::RNINAME, "#PCDATA")}},
            {"#(", {T(K::RNINAME, "#"), T(K::GRPO)}},
            {"#-x", {T(K::RNINAME, "#-x")}},
            {"%ent;", {T(K::PEREF, "ent")}},
            {"%ent x", {T(K::LEXERR, badPE + "ent"), T(K::NAME, "x")}},
            {"% x", {T(K::PERO), T(K::NAME, "x")}},
            {"%;", {T(K::PEREF, "")}},
            {"%.x;", {T(K::PEREF, ".x")}},
            {"%\tx", {T(K::LEXERR, badPE), T(K::NAME, "x")}},
            {"%", {T(K::LEXERR, badPE)}},
            {"%ab", {T(K::LEXERR, badPE + "ab")}},
            {"\"a'b\" 'a\"b' \"\"", {T(K::LITERAL, "a'b"), T(K::LITERAL, "a\"b"), T(K::LITERAL, "")}},
            {"\"a <b> %x;", {T(K::LITERAL, "a <b> %x;")}},
            // Comments inside declarations are dropped.
            {"-- note -- x", {T(K::NAME, "x")}},
            {"----", {}},
            {"-----", {T(K::MINUS)}},
            {"---x--y", {T(K::NAME, "y")}},
            {"-- note", {}},
            {"-- note -", {}},
            {"<!ELEMENT", {T(K::MDO), T(K::NAME, "ELEMENT")}},
            {"<!", {T(K::MDO)}},
            {"<!-x", {T(K::MDO), T(K::MINUS), T(K::NAME, "x")}},
            {"<![", {T(K::MDO), T(K::DSO)}},
            {"<!-- c --> x", {T(K::MDOCOM), T(K::CDATA, " c "), T(K::COM), T(K::MDC), T(K::NAME, "x")}},
            {"<?p d?> x", {T(K::PIO), T(K::CDATA, "p d"), T(K::PIC), T(K::NAME, "x")}},
            {"> x", {T(K::MDC), T(K::NAME, "x")}},
            {"&,?+[]", {T(K::AND), T(K::SEQ), T(K::OPT), T(K::PLUS), T(K::DSO), T(K::DSC)}},
            {"=$;/{\x01",
             {T(K::LEXERR, "="), T(K::LEXERR, "$"), T(K::LEXERR, ";"), T(K::LEXERR, "/"), T(K::LEXERR, "{"),
              T(K::LEXERR, "\x01")}},
            {"\xA0 \n", {}},
            // A '<' that opens neither "<!" nor "<?" hands the rest to content mode.
            {"<a>", {T(K::STAGO), T(K::NAME, "a"), T(K::TAGC)}},
            {"</a> x", {T(K::ETAGO), T(K::NAME, "a"), T(K::TAGC), T(K::WS, " "), T(K::CDATA, "x")}},
            {"< x", {T(K::STAGO), T(K::NAME, "x")}},
            {"<", {T(K::STAGO)}},
        },
        ScanMode::Markup);

    // A document-type line with an internal subset, then the root element.
    checkTable({{"<!DOCTYPE r SYSTEM \"r.dtd\" [<!ENTITY e 'v'>]>\n<r>a b</r>",
                 {T(K::MDO),
                  T(K::NAME, "DOCTYPE"),
                  T(K::NAME, "r"),
                  T(K::NAME, "SYSTEM"),
                  T(K::LITERAL, "r.dtd"),
                  T(K::DSO),
                  T(K::MDO),
                  T(K::NAME, "ENTITY"),
                  T(K::NAME, "e"),
                  T(K::LITERAL, "v"),
                  T(K::MDC),
                  T(K::DSC),
                  T(K::MDC),
                  T(K::STAGO),
                  T(K::NAME, "r"),
                  T(K::TAGC),
                  T(K::CDATA, "a b"),
                  T(K::ETAGO),
                  T(K::NAME, "r"),
                  T(K::TAGC)}}},
               ScanMode::Content);
}

TEST(Scanner, LongRunsScanInConstantStack) {
    // Each "-x" is one comment piece; a million siblings are as many tokens.
    std::string comment = "<!--";
    for (int i = 0; i < 100000; ++i) comment += "-x";
    comment += "-->";
    std::string doc = "<r>";
    for (int i = 0; i < 1000000; ++i) doc += "<a/>";
    doc += "</r>";
    axf::runWithLargeStack(
        [&] {
            auto toks = scanAll(comment);
            ASSERT_EQ(toks.size(), 100003u);
            EXPECT_EQ(toks[1].view(), "-x");

            XMLScanner sc(doc);
            std::size_t n = 0;
            while (sc.next()) ++n;
            EXPECT_EQ(n, 3u + 3u * 1000000u + 3u);
        },
        256 * 1024);
}

TEST(Scanner, OffsetsAndLaziness) {
    const std::string doc = "<a x='1'> t&#1F;<!--c--></a>";
    XMLScanner sc(doc);
    std::vector<std::size_t> offs;
    std::vector<Delimiter> toks;
    while (auto t = sc.next()) {
        offs.push_back(sc.lastOffset());
        toks.push_back(*t);
    }
    EXPECT_EQ(offs, (std::vector<std::size_t>{0, 1, 3, 4, 5, 8, 9, 10, 11, 16, 20, 21, 23, 24, 26, 27}));
    // The bad reference fails only when read, on every read.
    EXPECT_THROW(toks[8].text(), axf::Fatal);
    EXPECT_THROW(toks[8].view(), axf::Fatal);
    EXPECT_FALSE(sc.next());
    EXPECT_EQ(sc.lastOffset(), doc.size());
}

TEST(Tokens, EqualityAndPrintedForm) {
    EXPECT_EQ(T(K::NAME, "a"), T(K::NAME, "a"));
    EXPECT_EQ(T(K::NAME, "a"), Delimiter::fromView(K::NAME, "a"));
    EXPECT_FALSE(T(K::NAME, "a") == T(K::NAME, "A"));
    EXPECT_FALSE(T(K::NAME, "a") == T(K::NAME, "a "));
    EXPECT_FALSE(T(K::NAME, "a") == T(K::RNINAME, "a"));
    EXPECT_FALSE(T(K::WS, " ") == T(K::CDATA, " "));
    EXPECT_EQ(T(K::STAGO), T(K::STAGO));
    EXPECT_FALSE(T(K::STAGO) == T(K::ETAGO));
    EXPECT_EQ(T(K::CDATA), T(K::CDATA));
    EXPECT_EQ(Delimiter::charRef("65", true), T(K::CDATA, "A"));

    EXPECT_EQ(showText(T(K::NAME, "a")), R"(NAME "a")");
    std::string out;
    showAt(11, T(K::NAME, "a"), out);
    showAt(11, T(K::TAGC), out);
    EXPECT_EQ(out, R"((NAME "a")TAGC)");
    EXPECT_EQ(showListText(std::vector<Delimiter>{T(K::STAGO), T(K::NAME, "a"), T(K::TAGC)}), R"([STAGO,NAME "a",TAGC])");
    EXPECT_EQ(showText(T(K::WS, "\n")), R"(WS "\n")");
    EXPECT_EQ(showText(T(K::CDATA,
                         "\xC8"
                         "1")),
              R"(CDATA "\200\&1")");
    for (int k = 0; k <= int(K::PERO); ++k) {
        const auto kind = DelimKind(k);
        EXPECT_EQ(showText(T(kind)).rfind(delimKindName(kind), 0), 0u) << delimKindName(kind);
    }
    EXPECT_STREQ(delimKindName(K::PERO), "PERO");
    EXPECT_STREQ(delimKindName(K::MDODSO), "MDODSO");
}

TEST(CharClasses, Bytes) {
    for (int c : {9, 10, 11, 12, 13, 32, 160}) EXPECT_TRUE(isSEPCHAR(c)) << c;
    for (int c : {0, 8, 14, 133, 255, int('_')}) EXPECT_FALSE(isSEPCHAR(c)) << c;
    for (int c : {int('7'), int('_'), int(':'), int('a'), int('Z'), 0xE9, 0xAA}) EXPECT_TRUE(isNMSTART(c)) << c;
    for (int c : {int('.'), int('-'), int('#'), int(' '), 0xA0, 0xD7}) EXPECT_FALSE(isNMSTART(c)) << c;
    for (int c : {int('.'), int('-'), int('7'), int('_'), int(':'), 0xFF}) EXPECT_TRUE(isNMCHAR(c)) << c;
    for (int c : {int('#'), int('%'), int(';'), int('='), int(' '), 0xB2}) EXPECT_FALSE(isNMCHAR(c)) << c;
    for (int c = 0; c < 256; ++c)
        if (isNMSTART(c)) {
            EXPECT_TRUE(isNMCHAR(c)) << c;
        }
}

std::string fatalOf(const std::function<void()>& fn) {
    try {
        fn();
    } catch (const axf::Fatal& e) {
        return e.what();
    }
    return "(no failure)";
}

TEST(References, Expansion) {
    const EntityTable& pre = predefinedEntities();
    struct {
        std::string in, out;
    } ok[] = {
        {"", ""},
        {"a&lt;b", "a<b"},
        {"&amp;", "&"},
        {"&quot;&apos;&gt;", "\"'>"},
        {"&amp;lt;", "&lt;"},
        {"&#65;", "A"},
        {"&#X41;", "A"},
        {"&#x41;", "A"},
        {"&#xff;&#XFF;", "\xFF\xFF"},
        {"&#65", "A"},
        {"&amp", "&"},
        {"x;y #1", "x;y #1"},
        {"&#0;", std::string(1, '\0')},
        {"&#x20AC;", "\xE2\x82\xAC"},
        {"&#1114111;", "\xF4\x8F\xBF\xBF"},
        {"&#128512;", "\xF0\x9F\x98\x80"},
        // Codes up to 255 stay one byte; above, UTF-8 at each length boundary.
        {"&#127;&#128;&#255;", "\x7F\x80\xFF"},
        {"&#256;&#x7FF;", "\xC4\x80\xDF\xBF"},
        {"&#x800;&#xFFFF;", "\xE0\xA0\x80\xEF\xBF\xBF"},
        {"&#x10000;", "\xF0\x90\x80\x80"},
    };
    for (const auto& c : ok) EXPECT_EQ(expandReferences(pre, c.in), c.out) << c.in;

    struct {
        std::string in, message;
    } bad[] = {
        {"AT&T", "entity T not defined"},
        {"a&", "entity  not defined"},
        {"&nbsp;", "entity nbsp not defined"},
        {"&AMP;", "entity AMP not defined"},
        {"ab&zz;cd", "entity zz not defined"},
        {"&#1A;", "Bad character reference \"&#1A;\": 'A' is not a decimal digit"},
        {"&#65 b", "Bad character reference \"&#65 b\": ' ' is not a decimal digit"},
        {"&#xG1;", "Bad character reference \"&#xG1;\": 'G' is not a hexadecimal digit"},
        {"&#-1;", "Bad character reference \"&#-1;\": '-' is not a decimal digit"},
        {"&#;", "Bad character reference \"&#;\": no digits"},
        {"&#", "Bad character reference \"&#\": no digits"},
        {"&#x;", "Bad character reference \"&#x;\": no digits"},
        {"&#1114112;", "Bad character reference \"&#1114112;\": code above 1114111"},
        {"&#x110000;", "Bad character reference \"&#x110000;\": code above 1114111"},
        {"&#4294967361;", "Bad character reference \"&#4294967361;\": code above 1114111"},
    };
    for (const auto& c : bad) EXPECT_EQ(fatalOf([&] { expandReferences(pre, c.in); }), c.message) << c.in;

    // The content scanner reads character references by the same rule.
    EXPECT_EQ(fatalOf([] { scanAll("&#1F;")[0].text(); }), "Bad character reference \"&#1F;\": 'F' is not a decimal digit");
    EXPECT_EQ(expandReferences(insert<std::string, EntityText>("e", EN_INTERNAL{"&lt;"}, pre), "[&e;]"), "[&lt;]");
}

}  // namespace
