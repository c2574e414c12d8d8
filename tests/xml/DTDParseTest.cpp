#include <gtest/gtest.h>

#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "common/Fatal.h"
#include "xml/DTD.h"
#include "xml/DTDParseInternal.h"
#include "xml/XMLParse.h"

namespace {

using namespace axf::xml;

using Names = std::vector<std::string>;
constexpr auto Ok = ParseStatus::Ok;
constexpr auto Empty = ParseStatus::FailEmpty;
constexpr auto Consumed = ParseStatus::FailConsumed;

// Runs a parser on the tokens of a text scanned in declaration mode.
template <class V>
Reply<V> run(const XP<V>& p, std::string_view text) {
    TokenStream tokens(text, ScanMode::Markup);
    return p(tokens, 0);
}

// Runs a parser on a hand-made token list.
template <class V>
Reply<V> runTokens(const XP<V>& p, std::vector<Delimiter> toks) {
    TokenStream tokens(std::move(toks));
    return p(tokens, 0);
}
Delimiter tok(DelimKind k, std::string text = {}) { return Delimiter::make(k, std::move(text)); }

// The general entities beyond the five predefined ones.
std::string declaredGenents(const DTD& d) {
    std::vector<EntityTable::Pair> extra(d.genents.pairs().begin() + 5, d.genents.pairs().end());
    return showText(extra);
}

// ---- name groups and content models ------------------------------------------

TEST(DTDParseGroups, NameGroups) {
    struct Case {
        const char* text;
        ParseStatus status;
        Names names;
        std::size_t rest;
    };
    const Case cases[] = {
        {"(a)", Ok, {"a"}, 3},
        {"(a, b, c)", Ok, {"a", "b", "c"}, 7},
        {"(a|b|c) x", Ok, {"a", "b", "c"}, 7},
        {"(a & b & a)", Ok, {"a", "b", "a"}, 7},
        {"(a, b | c)", Consumed, {}, 4},
        {"()", Consumed, {}, 1},
        {"((a))", Consumed, {}, 1},
        {"(#PCDATA)", Consumed, {}, 1},
        {"(a*)", Consumed, {}, 2},
        {"(a b)", Consumed, {}, 2},
        {"(a,)", Consumed, {}, 3},
        {"(a", Consumed, {}, 2},
        {"a", Empty, {}, 0},
        {"", Empty, {}, 0},
    };
    for (const Case& c : cases) {
        auto r = run(pNameGroup(), c.text);
        EXPECT_EQ(r.status, c.status) << c.text;
        EXPECT_EQ(r.rest, c.rest) << c.text;
        if (r.ok()) {
            EXPECT_EQ(*r.value, c.names) << c.text;
        }
    }
    EXPECT_EQ(*run(pNameOrGroup(), "a b").value, Names{"a"});
    EXPECT_EQ(*run(pNameOrGroup(), "(a|b)").value, (Names{"a", "b"}));
    EXPECT_EQ(run(pNameOrGroup(), "#a").status, Empty);
    EXPECT_EQ(run(pNameOrGroup(), "(a|)").status, Consumed);
}

TEST(DTDParseGroups, ContentModels) {
    struct Case {
        const char* text;
        ParseStatus status;
        const char* shown;  // the model's printed form
        std::size_t rest;
    };
    const Case cases[] = {
        {"a", Ok, "a", 1},
        {"(a)", Ok, "a", 3},
        {"(a, b, c)", Ok, "(a, b, c)", 7},
        {"(a | b | c)", Ok, "(a | b | c)", 7},
        {"(a & b & c)", Ok, "(a & b & c)", 7},
        {"((a, b))", Ok, "(a, b)", 7},
        {"(a, (b | c)*, d?)+", Ok, "(a, (b | c)*, d?)+", 14},
        {"(#PCDATA | a | b)*", Ok, "(#PCDATA | a | b)*", 8},
        {"(a, #PCDATA)", Ok, "(a, #PCDATA)", 5},
        {"#PCDATA+", Ok, "#PCDATA+", 2},
        {"(a)*", Ok, "a*", 4},
        {"(a*)", Ok, "a*", 4},
        {"(a*)*", Ok, "a**", 5},
        {"a**", Ok, "a*", 2},  // the second indicator is left to the caller
        {"a >", Ok, "a", 1},
        {"(a, b | c)", Consumed, "", 4},
        {"()", Consumed, "", 1},
        {"(a**)", Consumed, "", 3},
        {"(a b)", Consumed, "", 2},
        {"(a,)", Consumed, "", 3},
        {"(a", Consumed, "", 2},
        {"((a)", Consumed, "", 4},
        {"(#pcdata)", Consumed, "", 1},
        {"#pcdata", Empty, "", 0},
        {"%e;", Empty, "", 0},
        {")", Empty, "", 0},
        {"", Empty, "", 0},
    };
    for (const Case& c : cases) {
        auto r = run(pContentModel(), c.text);
        EXPECT_EQ(r.status, c.status) << c.text;
        EXPECT_EQ(r.rest, c.rest) << c.text;
        if (r.ok()) {
            EXPECT_EQ(showText(*r.value), c.shown) << c.text;
        }
    }

    using PT = PrimitiveToken;
    auto el = [](const char* n) { return ContentModel(Prim<PT>{ELEMENT{n}}); };
    const ContentModel expected = Plus<PT>{Seq<PT>{{el("a"), Rep<PT>{Or<PT>{{el("b"), el("c")}}}, Opt<PT>{el("d")}}}};
    EXPECT_EQ(*run(pContentModel(), "(a, (b | c)*, d?)+").value, expected);
    EXPECT_EQ(*run(pContentModel(), "((a))").value, el("a"));

    for (const auto& [text, shown] : {std::pair{"", "x"}, {"+", "x+"}, {"*", "x*"}, {"?", "x?"}, {"a", "x"}}) {
        auto r = run(pOccurrence(), text);
        ASSERT_TRUE(r.ok()) << text;
        EXPECT_EQ(showText((*r.value)(el("x"))), shown) << text;
    }
}

TEST(DTDParseGroups, DeclaredContent) {
    struct Case {
        const char* text;
        ParseStatus status;
        const char* shown;
        std::size_t rest;
    };
    const Case cases[] = {
        {"EMPTY", Ok, "DC_EMPTY", 1},
        {"ANY", Ok, "DC_ANY", 1},
        {"empty", Ok, "DC_MODELGRP empty", 1},
        {"(EMPTY)", Ok, "DC_MODELGRP EMPTY", 3},
        {"b*", Ok, "DC_MODELGRP b*", 2},
        {"CDATA", Ok, "DC_MODELGRP CDATA", 1},
        {"EMPTY*", Ok, "DC_EMPTY", 1},
        {"#EMPTY", Empty, "", 0},
        {"", Empty, "", 0},
    };
    for (const Case& c : cases) {
        auto r = run(pDeclaredContent(), c.text);
        EXPECT_EQ(r.status, c.status) << c.text;
        EXPECT_EQ(r.rest, c.rest) << c.text;
        if (r.ok()) {
            EXPECT_EQ(showText(*r.value), c.shown) << c.text;
        }
    }
}

TEST(DTDParseGroups, DeepAndLongModelsOnAnOrdinaryStack) {
    const int depth = 100000;
    std::string text(depth, '(');
    text += "a";
    for (int i = 0; i < depth; ++i) text += ", b)*";
    auto r = run(pContentModel(), text);
    ASSERT_TRUE(r.ok());
    EXPECT_EQ(showText(*r.value), text);

    // The same depth of single-member groups leaves the bare name.
    std::string single = std::string(depth, '(') + "a" + std::string(depth, ')');
    EXPECT_EQ(showText(*run(pContentModel(), single).value), "a");

    std::string wide = "(a0";
    for (int i = 1; i < 100000; ++i) wide += "|a" + std::to_string(i);
    wide += ")";
    auto w = run(pContentModel(), wide);
    ASSERT_TRUE(w.ok());
    EXPECT_EQ(std::get<Or<PrimitiveToken>>(w.value->value()).members.size(), 100000u);
}

// ---- element declarations ------------------------------------------------------

// The element table of a declaration text, one line per element.
std::string elementsOf(const std::string& text) {
    std::string out;
    const DTD d = parseDTD(text);
    for (const auto& [name, e] : d.elements.pairs()) {
        EXPECT_EQ(e.gi, name) << name;
        out += name + ": " + showText(e.contype) + " " + showText(e.omissibility) + " +" + showText(e.inclusions) + " -" +
               showText(e.exclusions) + "\n";
    }
    return out;
}

TEST(DTDParseElements, Declarations) {
    const std::pair<const char*, const char*> cases[] = {
        {"a EMPTY", "a: DC_EMPTY (False,False) +[] -[]\n"},
        {"(a|b) - O (c)*",
         "a: DC_MODELGRP c* (False,True) +[] -[]\n"
         "b: DC_MODELGRP c* (False,True) +[] -[]\n"},
        {"a O O ANY", "a: DC_ANY (True,True) +[] -[]\n"},
        {"a - - (#PCDATA)", "a: DC_MODELGRP #PCDATA (False,False) +[] -[]\n"},
        {"a ANY -(c) +(d|e)", "a: DC_ANY (False,False) +[\"d\",\"e\"] -[\"c\"]\n"},
        {"a ANY +(d)", "a: DC_ANY (False,False) +[\"d\"] -[]\n"},
        {"a (b)* +(d)", "a: DC_MODELGRP b* (False,False) +[\"d\"] -[]\n"},
        {"a (b) -(c)", "a: DC_MODELGRP b (False,False) +[] -[\"c\"]\n"},
        {"(a|a) EMPTY", "a: DC_EMPTY (False,False) +[] -[]\n"},
        // Declarations that do not parse leave nothing.
        {"a - (b)", ""},          // one flag: the group is no flag
        {"a o o ANY", ""},        // o is content, the second o stands where ">" must
        {"a ANY +(d) -(c)", ""},  // exclusions come first
        {"a (b) +(d)", ""},       // "+" is the model's indicator
        {"a O", ""},              // O is a flag, the second flag is missing
        {"a ANY - c", ""},
        {"a", ""},
        {"a (b)**", ""},
    };
    for (const auto& [body, expected] : cases) EXPECT_EQ(elementsOf(std::string("<!ELEMENT ") + body + ">"), expected) << body;

    EXPECT_EQ(run(pElementDecl(), "").status, Empty);
    EXPECT_EQ(run(pElementDecl(), "#a ANY").status, Empty);
    EXPECT_EQ(run(pElementDecl(), "(a|b)").status, Consumed);
    EXPECT_EQ(run(pOmissionFlag(), "o").status, Empty);

    // A later declaration replaces the earlier one in its place.
    EXPECT_EQ(elementsOf("<!ELEMENT a EMPTY><!ELEMENT b ANY><!ELEMENT a - O ANY>"),
              "a: DC_ANY (False,True) +[] -[]\n"
              "b: DC_ANY (False,False) +[] -[]\n");
}

// ---- attribute-list declarations ---------------------------------------------------

std::string attlistsOf(const std::string& text) { return showText(parseDTD(text).attlists.pairs()); }

// The printed definitions of one "<!ATTLIST e ...>", or "fails".
std::string defsOf(const std::string& defs) {
    const DTD d = parseDTD("<!ATTLIST e " + defs + ">");
    const auto* l = d.attlists.find("e");
    return l ? showText(*l) : "fails";
}

TEST(DTDParseAttlists, DeclaredValues) {
    const std::pair<const char*, const char*> cases[] = {
        {"CDATA", "ATcdata"},
        {"ID", "ATid"},
        {"IDREF", "ATidref"},
        {"IDREFS", "ATidrefs"},
        {"ENTITY", "ATentity"},
        {"ENTITIES", "ATentities"},
        {"NMTOKEN", "ATnmtoken"},
        {"NMTOKENS", "ATnmtokens"},
        {"NAME", "ATnmtoken"},
        {"NUMBER", "ATnmtoken"},
        {"NUTOKEN", "ATnmtoken"},
        {"NAMES", "ATnmtokens"},
        {"NUMBERS", "ATnmtokens"},
        {"NUTOKENS", "ATnmtokens"},
        {"NOTATION (x|y)", "ATnotation [\"x\",\"y\"]"},
        {"(yes|no)", "ATenumerated [\"yes\",\"no\"]"},
        {"(yes,no)", "ATenumerated [\"yes\",\"no\"]"},
        {"(yes&no)", "ATenumerated [\"yes\",\"no\"]"},
        {"(one)", "ATenumerated [\"one\"]"},
    };
    for (const auto& [value, shown] : cases)
        EXPECT_EQ(defsOf(std::string("x ") + value + " #IMPLIED"),
                  std::string("[ATTDEF {att_name = \"x\", att_type = ") + shown + ", att_dv = ADVimplied}]")
            << value;

    for (const char* bad : {"cdata", "#CDATA", "'x'", "NOTATION", "NOTATION x", "()", "(a|b,c)", "BOGUS"})
        EXPECT_EQ(defsOf(std::string("x ") + bad + " #IMPLIED"), "fails") << bad;
    EXPECT_EQ(run(pDeclaredValue(), "NOTATION x").status, Consumed);
    EXPECT_EQ(run(pDeclaredValue(), "BOGUS").status, Empty);
}

TEST(DTDParseAttlists, DefaultValues) {
    const std::pair<const char*, const char*> cases[] = {
        {"#IMPLIED", "ADVimplied"},
        {"#REQUIRED", "ADVrequired"},
        {"#FIXED '1'", "ADVfixed \"1\""},
        {"#FIXED v", "ADVfixed \"v\""},
        {"'a&amp;b&#65;'", "ADVdefault \"a&bA\""},
        {"\"it's\"", "ADVdefault \"it's\""},
        {"v", "ADVdefault \"v\""},
        {"#CURRENT", "ADVcurrent"},
        {"#CONREF", "ADVconref"},
    };
    for (const auto& [value, shown] : cases)
        EXPECT_EQ(defsOf(std::string("x CDATA ") + value),
                  std::string("[ATTDEF {att_name = \"x\", att_type = ATcdata, att_dv = ") + shown + "}]")
            << value;

    for (const char* bad : {"#DEFAULT", "#implied", "#FIXED", "", "#FIXED #IMPLIED", "(v)"})
        EXPECT_EQ(defsOf(std::string("x CDATA ") + bad), "fails") << bad;
    EXPECT_EQ(run(pDefaultValue(), "#FIXED #IMPLIED").status, Consumed);
    EXPECT_EQ(run(pDefaultValue(), "#DEFAULT").status, Empty);
    EXPECT_EQ(run(pAttDef(), "#x CDATA #IMPLIED").status, Empty);
    EXPECT_EQ(run(pAttDef(), "x CDATA").status, Consumed);

    // A reference to an unknown entity parses; only reading the value fails.
    const DTD d = parseDTD("<!ATTLIST e x CDATA '&nope;' y CDATA #FIXED '&nope;'>");
    const auto& defs = *d.attlists.find("e");
    ASSERT_EQ(defs.size(), 2u);
    try {
        (void)showText(defs[0]);
        FAIL() << "expected the expansion to fail";
    } catch (const axf::Fatal& f) {
        EXPECT_STREQ(f.what(), "entity nope not defined");
    }
    EXPECT_THROW((void)showText(defs[1]), axf::Fatal);

    // Defaults expand over the predefined entities only, not over the
    // entities the same text declares.
    const DTD withEntity = parseDTD("<!ENTITY e 'x'><!ATTLIST a v CDATA '&e;'>");
    EXPECT_THROW((void)showText(withEntity.attlists.pairs()), axf::Fatal);
}

TEST(DTDParseAttlists, Declarations) {
    EXPECT_EQ(attlistsOf("<!ATTLIST e>"), "[(\"e\",[])]");
    // Nothing is merged or checked: keyword-like names, repeated names, an
    // ID with a fixed value, a default outside the enumeration.
    EXPECT_EQ(defsOf("CDATA CDATA #IMPLIED x ID #FIXED 'q' x (a|b) c"),
              "[ATTDEF {att_name = \"CDATA\", att_type = ATcdata, att_dv = ADVimplied},"
              "ATTDEF {att_name = \"x\", att_type = ATid, att_dv = ADVfixed \"q\"},"
              "ATTDEF {att_name = \"x\", att_type = ATenumerated [\"a\",\"b\"], att_dv = ADVdefault \"c\"}]");
    // A group of elements shares one list; a repeated element gets one entry.
    EXPECT_EQ(attlistsOf("<!ATTLIST (a|b|a) x CDATA #IMPLIED>"),
              "[(\"a\",[ATTDEF {att_name = \"x\", att_type = ATcdata, att_dv = ADVimplied}]),"
              "(\"b\",[ATTDEF {att_name = \"x\", att_type = ATcdata, att_dv = ADVimplied}])]");
    // A later list replaces the earlier whole, in its place.
    EXPECT_EQ(attlistsOf("<!ATTLIST a x CDATA #IMPLIED><!ATTLIST b><!ATTLIST a y ID #REQUIRED>"),
              "[(\"a\",[ATTDEF {att_name = \"y\", att_type = ATid, att_dv = ADVrequired}]),(\"b\",[])]");
    // Anything but a definition or ">" after the definitions fails the
    // declaration.
    for (const char* tail : {" %p;", " #IMPLIED", " 'v'", " (a)"})
        EXPECT_EQ(defsOf(std::string("x CDATA #IMPLIED") + tail), "fails") << tail;
    EXPECT_EQ(attlistsOf("<!ATTLIST #e x CDATA #IMPLIED>"), "[]");
}

// ---- entity and notation declarations ---------------------------------------------

TEST(DTDParseEntities, Declarations) {
    const std::pair<const char*, const char*> cases[] = {
        {"e 'a &amp; %p; &#38;'", "[(\"e\",EN_INTERNAL \"a &amp; %p; &#38;\")]"},
        {"e SUBDOC", "[(\"e\",EN_EXTERNAL (Nothing,Nothing))]"},
        {"e NDATA n []", "[(\"e\",EN_EXTERNAL (Nothing,Nothing))]"},
        {"e SYSTEM 'f' NDATA n []", "[(\"e\",EN_EXTERNAL (Nothing,Just \"f\"))]"},
        {"e SYSTEM SDATA n []", "[(\"e\",EN_EXTERNAL (Nothing,Nothing))]"},
        {"e PUBLIC 'p' 's' CDATA n []", "[(\"e\",EN_EXTERNAL (Just \"p\",Just \"s\"))]"},
        {"e PUBLIC 'p' SUBDOC", "[(\"e\",EN_EXTERNAL (Just \"p\",Nothing))]"},
        {"e -- note -- 'x'", "[(\"e\",EN_INTERNAL \"x\")]"},
        // The entity type is required, in capitals, with its notation and
        // data attributes.
        {"e SYSTEM 'f'", "[]"},
        {"e", "[]"},
        {"e SYSTEM 'f' NDATA n", "[]"},
        {"e NDATA []", "[]"},
        {"e ndata n []", "[]"},
        {"e NDATA n [a]", "[]"},
        {"e NDATA n [", "[]"},
        {"e PUBLIC SUBDOC", "[]"},
        {"e SUBDOC x", "[]"},
        {"'e' 'x'", "[]"},
        {"%e; 'x'", "[]"},
    };
    for (const auto& [body, expected] : cases)
        EXPECT_EQ(declaredGenents(parseDTD(std::string("<!ENTITY ") + body + ">")), expected) << body;

    // Parameter entities have their own table; the first declaration wins
    // in each, and the predefined entities stay.
    const DTD d =
        parseDTD("<!ENTITY % e 'p1'><!ENTITY e 'g1'><!ENTITY % e 'p2'><!ENTITY e 'g2'><!ENTITY amp 'x'><!ENTITY % s SUBDOC>");
    EXPECT_EQ(showText(d.parments.pairs()), "[(\"e\",EN_INTERNAL \"p1\"),(\"s\",EN_EXTERNAL (Nothing,Nothing))]");
    EXPECT_EQ(declaredGenents(d), "[(\"e\",EN_INTERNAL \"g1\")]");
    EXPECT_EQ(expandInternalEntity(d.genents, "amp"), "&");
    EXPECT_TRUE(parseDTD("<!ENTITY % 'x'>").parments.isEmpty());

    EXPECT_EQ(run(pEntityDecl(), "'x'").status, Empty);
    EXPECT_EQ(run(pEntityText(), "").status, Consumed);
    EXPECT_EQ(run(pEntityType(), "ndata").status, Empty);
}

TEST(DTDParseEntities, DataAttributes) {
    // Declaration texts never give the "=" token, so data attributes are
    // tried on hand-made tokens. Their values are never expanded.
    using K = DelimKind;
    auto r = runTokens(pEntityType(), {tok(K::NAME, "CDATA"), tok(K::NAME, "n"), tok(K::DSO), tok(K::NAME, "a"), tok(K::VI),
                                       tok(K::LITERAL, "&undeclared;"), tok(K::NAME, "b"), tok(K::VI), tok(K::NAME, "v"),
                                       tok(K::DSC), tok(K::MDC)});
    ASSERT_TRUE(r.ok());
    EXPECT_EQ(*r.value, ENTTYPE::ETcdata);
    EXPECT_EQ(r.rest, 10u);

    auto atts = runTokens(pDataAttributes(), {tok(K::DSO), tok(K::NAME, "a"), tok(K::VI), tok(K::NAME, "v"), tok(K::DSC)});
    ASSERT_TRUE(atts.ok());
    ASSERT_EQ(atts.value->size(), 1u);
    EXPECT_EQ((*atts.value)[0].first, "a");
    EXPECT_EQ((*atts.value)[0].second.get(), "v");

    EXPECT_EQ(runTokens(pDataAttribute(), {tok(K::NAME, "a"), tok(K::VI), tok(K::DSC)}).status, Consumed);
    EXPECT_EQ(runTokens(pDataAttributes(), {tok(K::NAME, "a")}).status, Empty);
}

TEST(DTDParseEntities, Notations) {
    const DTD d = parseDTD("<!NOTATION n><!NOTATION m SYSTEM 's'><!NOTATION n PUBLIC 'p' 's'>");
    EXPECT_EQ(showText(std::vector<std::string>(d.notations.begin(), d.notations.end())), "[\"n\",\"m\",\"n\"]");
    for (const char* bad : {"<!NOTATION n PUBLIC>", "<!NOTATION 'n'>", "<!NOTATION>", "<!NOTATION n x>"})
        EXPECT_TRUE(parseDTD(bad).notations.empty()) << bad;
}

// ---- declaration stream ----------------------------------------------------------

TEST(DTDParseStream, TextsThatDeclareNothing) {
    const std::string empty = showText(emptyDTD());
    for (const char* text :
         {"", " \n\t ", "<!-- c --><?pi x?> %p; <!-- a -- -- b -->", "<!DOCTYPE d><!ENTITY a 'x'>", "<!entity a 'x'>",
          "<![ INCLUDE [ <!ENTITY a 'x'> ]]>", "<p><!ENTITY a 'x'>", "x", "<!ENTITY a 'x'", "<!>"})
        EXPECT_EQ(showText(parseDTD(text)), empty) << text;
    EXPECT_EQ(parseDTD("").genents.size(), 5u);
}

TEST(DTDParseStream, ItemsAreAppliedInOrderUpToTheFirstThatFails) {
    // A parameter-entity reference is skipped, never expanded.
    DTD d = parseDTD("<!ENTITY % p '<!ENTITY x \"y\">'>%p;<!ENTITY z 'w'>");
    EXPECT_EQ(declaredGenents(d), "[(\"z\",EN_INTERNAL \"w\")]");
    EXPECT_EQ(d.parments.size(), 1u);

    d = parseDTD("<!ENTITY a 'x'><!ENTITY b SYSTEM 'f'><!ENTITY c 'y'>");
    EXPECT_EQ(declaredGenents(d), "[(\"a\",EN_INTERNAL \"x\")]");

    // Content after the declarations ends them; what lies beyond is never
    // scanned, so the malformed reference and the nested marked section
    // there do no harm.
    EXPECT_NO_THROW(d = parseDTD("<!ENTITY a 'x'> <p>&#xZZ; <![CDATA[ <![ ]]> <!ENTITY b 'y'>"));
    EXPECT_EQ(declaredGenents(d), "[(\"a\",EN_INTERNAL \"x\")]");
}

TEST(DTDParseStream, WholeDefinition) {
    const DTD d = parseDTD(R"(
        <?xml version="1.0"?>
        <!-- a small document type -->
        <!ENTITY % inline "em | strong">
        <!ELEMENT doc - - (head, body)? -(doc) +(note)>
        <!ELEMENT (head|body) O O (#PCDATA | em)* -- mixed -->
        %inline;
        <!ATTLIST doc id ID #REQUIRED lang NAME "en">
        <!ENTITY logo SYSTEM "logo.gif" NDATA gif []>
        <!NOTATION gif PUBLIC "-//GIF//EN">
        <!ENTITY copy "&#169;">
    )");
    EXPECT_EQ(showText(d),
              "DTD {elements = ["
              "(\"doc\",ELEMTYPE {gi = \"doc\", contype = DC_MODELGRP (head, body)?, omissibility = (False,False), "
              "inclusions = [\"note\"], exclusions = [\"doc\"]}),"
              "(\"head\",ELEMTYPE {gi = \"head\", contype = DC_MODELGRP (#PCDATA | em)*, omissibility = (True,True), "
              "inclusions = [], exclusions = []}),"
              "(\"body\",ELEMTYPE {gi = \"body\", contype = DC_MODELGRP (#PCDATA | em)*, omissibility = (True,True), "
              "inclusions = [], exclusions = []})], "
              "attlists = [(\"doc\",[ATTDEF {att_name = \"id\", att_type = ATid, att_dv = ADVrequired},"
              "ATTDEF {att_name = \"lang\", att_type = ATnmtoken, att_dv = ADVdefault \"en\"}])], "
              "genents = [(\"quot\",EN_INTERNAL \"\\\"\"),(\"apos\",EN_INTERNAL \"'\"),(\"gt\",EN_INTERNAL \">\"),"
              "(\"amp\",EN_INTERNAL \"&\"),(\"lt\",EN_INTERNAL \"<\"),"
              "(\"logo\",EN_EXTERNAL (Nothing,Just \"logo.gif\")),(\"copy\",EN_INTERNAL \"&#169;\")], "
              "parments = [(\"inline\",EN_INTERNAL \"em | strong\")], "
              "notations = [\"gif\"], dtdname = \"\"}");
}

TEST(DTDParseStream, LongTexts) {
    // Many declarations, a long name group and a long definition list: all
    // in loops, each group of elements sharing one list.
    const int n = 100000;
    std::string text;
    for (int i = 0; i < n; ++i) text += "<!ENTITY e" + std::to_string(i) + " 'v'><!-- c -->%p;";
    const int m = 3000;
    text += "<!ATTLIST (";
    for (int i = 0; i < m; ++i) text += (i ? "|a" : "a") + std::to_string(i);
    text += ")";
    for (int i = 0; i < m; ++i) text += " x" + std::to_string(i) + " CDATA #IMPLIED";
    text += "><!NOTATION last>";

    const DTD d = parseDTD(text);
    EXPECT_EQ(d.genents.size(), std::size_t(n) + 5);
    ASSERT_EQ(d.attlists.size(), std::size_t(m));
    const auto& first = *d.attlists.find("a0");
    const auto& last = *d.attlists.find("a" + std::to_string(m - 1));
    EXPECT_EQ(first.size(), std::size_t(m));
    EXPECT_EQ(&first.get(), &last.get());
    EXPECT_EQ(d.notations.front(), "last");
}

}  // namespace
