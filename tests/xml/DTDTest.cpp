#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "common/Fatal.h"
#include "xml/DTD.h"

namespace {

using namespace axf::xml;

using M = ContentModel;
using PT = PrimitiveToken;

M el(std::string name) { return Prim<PT>{ELEMENT{std::move(name)}}; }
M pcdata() { return Prim<PT>{PCDATA{}}; }
M rep(M m) { return Rep<PT>{m}; }
M opt(M m) { return Opt<PT>{m}; }
M plus(M m) { return Plus<PT>{m}; }
M seq(std::vector<M> ms) { return Seq<PT>{std::move(ms)}; }
M alt(std::vector<M> ms) { return Or<PT>{std::move(ms)}; }
M all(std::vector<M> ms) { return And<PT>{std::move(ms)}; }

template <class V>
std::string showPrec(int prec, const V& v) {
    std::string out;
    showAt(prec, v, out);
    return out;
}

axf::Lazy<std::string> ready(std::string s) { return axf::Lazy<std::string>::ready(std::move(s)); }

std::vector<std::string> keys(const auto& table) {
    std::vector<std::string> out;
    for (const auto& p : table.pairs()) out.push_back(p.first);
    return out;
}

// ---- declare operations --------------------------------------------------------

TEST(DTDRecords, EmptyDTD) {
    const DTD& d = emptyDTD();
    EXPECT_TRUE(d.elements.isEmpty());
    EXPECT_TRUE(d.attlists.isEmpty());
    EXPECT_TRUE(d.parments.isEmpty());
    EXPECT_TRUE(d.notations.empty());
    EXPECT_EQ(d.dtdname, "");
    EXPECT_EQ(showText(d.genents.pairs()), showText(predefinedEntities().pairs()));
    EXPECT_EQ(keys(d.genents), (std::vector<std::string>{"quot", "apos", "gt", "amp", "lt"}));
}

TEST(DTDRecords, EntitiesKeepTheFirstDeclaration) {
    DTD d = declareGeneralEntity("amp", EN_INTERNAL{"x"}, emptyDTD());
    EXPECT_EQ(showText(d.genents.pairs()), showText(predefinedEntities().pairs()));
    d = declareGeneralEntity("e", EN_EXTERNAL{{std::nullopt, "e.txt"}}, std::move(d));
    d = declareGeneralEntity("e", EN_INTERNAL{"later"}, std::move(d));
    EXPECT_EQ(keys(d.genents), (std::vector<std::string>{"quot", "apos", "gt", "amp", "lt", "e"}));
    EXPECT_EQ(expandInternalEntity(d.genents, "e"), std::nullopt);  // still the external one

    d = declareParameterEntity("p", EN_INTERNAL{"first"}, std::move(d));
    d = declareParameterEntity("p", EN_INTERNAL{"second"}, std::move(d));
    EXPECT_EQ(showText(d.parments.pairs()), "[(\"p\",EN_INTERNAL \"first\")]");
    // The general and the parameter tables are independent, and the
    // predefined table is untouched.
    EXPECT_EQ(predefinedEntities().size(), 5u);
    EXPECT_EQ(emptyDTD().genents.size(), 5u);
}

TEST(DTDRecords, ElementsTakeTheLastDeclarationInTheFirstPlace) {
    DTD d = declareElements({"a", "b"}, {false, true}, DC_ANY{}, {{"i"}, {"x", "y"}}, emptyDTD());
    ASSERT_EQ(keys(d.elements), (std::vector<std::string>{"a", "b"}));
    for (const auto& [name, e] : d.elements.pairs()) {
        SCOPED_TRACE(name);
        EXPECT_EQ(e.gi, name);
        EXPECT_TRUE(std::holds_alternative<DC_ANY>(e.contype));
        EXPECT_EQ(e.omissibility, std::make_pair(false, true));
        EXPECT_EQ(e.inclusions.get(), (std::vector<std::string>{"i"}));
        EXPECT_EQ(e.exclusions.get(), (std::vector<std::string>{"x", "y"}));
    }
    d = declareElements({"c", "a"}, {true, true}, DC_EMPTY{}, {}, std::move(d));
    ASSERT_EQ(keys(d.elements), (std::vector<std::string>{"a", "b", "c"}));
    const ELEMTYPE& a = *d.elements.find("a");
    EXPECT_TRUE(std::holds_alternative<DC_EMPTY>(a.contype));
    EXPECT_EQ(a.omissibility, std::make_pair(true, true));
    EXPECT_TRUE(a.inclusions.empty());
    // No names: nothing changes.
    d = declareElements({}, {false, false}, DC_EMPTY{}, {}, std::move(d));
    EXPECT_EQ(d.elements.size(), 3u);
}

TEST(DTDRecords, AttlistsReplaceWholeAndNotationsStackUp) {
    const ATTDEF d1{"x", ATcdata{}, ADVimplied{}};
    const ATTDEF d2{"y", ATid{}, ADVrequired{}};
    DTD d = declareAttlist({"a", "b"}, std::vector<ATTDEF>{d1}, emptyDTD());
    d = declareAttlist({"a"}, std::vector<ATTDEF>{d2}, std::move(d));
    EXPECT_EQ(showText(d.attlists.pairs()),
              "[(\"a\",[ATTDEF {att_name = \"y\", att_type = ATid, att_dv = ADVrequired}]),"
              "(\"b\",[ATTDEF {att_name = \"x\", att_type = ATcdata, att_dv = ADVimplied}])]");

    d = declareNotation("p", {}, std::move(d));
    d = declareNotation("q", {std::string("pub"), std::nullopt}, std::move(d));
    EXPECT_EQ(std::vector<std::string>(d.notations.begin(), d.notations.end()), (std::vector<std::string>{"q", "p"}));
    d = declareNotation("p", {}, std::move(d));
    EXPECT_EQ(std::vector<std::string>(d.notations.begin(), d.notations.end()), (std::vector<std::string>{"p", "q", "p"}));
}

TEST(DTDRecords, DeclaringLeavesTheGivenSetAsItWas) {
    const DTD base = declareElements({"a"}, {false, false}, DC_ANY{}, {}, emptyDTD());
    const DTD next = declareElements({"a", "b"}, {false, false}, DC_EMPTY{}, {}, base);
    EXPECT_EQ(base.elements.size(), 1u);
    EXPECT_TRUE(std::holds_alternative<DC_ANY>(base.elements.find("a")->contype));
    EXPECT_TRUE(std::holds_alternative<DC_EMPTY>(next.elements.find("a")->contype));
}

// ---- printed forms ---------------------------------------------------------------

TEST(DTDShow, ContentModels) {
    const std::pair<M, const char*> cases[] = {
        {seq({el("x"), rep(el("y")), opt(alt({pcdata(), el("z")}))}), "(x, y*, (#PCDATA | z)?)"},
        {plus(all({el("x"), el("y")})), "(x & y)+"},
        {alt({el("x")}), "(x)"},
        {pcdata(), "#PCDATA"},
        {all({}), "(-- ERROR: empty model group! --)"},
        {rep(seq({})), "(-- ERROR: empty model group! --)*"},
        {seq({el("x"), alt({})}), "(x, (-- ERROR: empty model group! --))"},
        {opt(rep(el("x"))), "x*?"},
        {rep(opt(el("x"))), "x?*"},
        {seq({seq({el("a"), el("b")}), el("c")}), "((a, b), c)"},
        // Element names print as they stand.
        {alt({el("a b"), el("q\"|"), el("\xe9t\xe9")}), "(a b | q\"| | \xe9t\xe9)"},
    };
    for (const auto& [m, text] : cases) {
        SCOPED_TRACE(text);
        EXPECT_EQ(showPrec(0, m), text);
        EXPECT_EQ(showPrec(11, m), text);
    }
    EXPECT_EQ(showListText(std::vector<M>{el("x"), alt({el("y"), el("z")})}), "[x,(y | z)]");
    EXPECT_EQ(showListText(std::vector<M>{}), "[]");
    EXPECT_EQ(showListText(std::vector<PT>{PCDATA{}, ELEMENT{"a\"b"}}), "[#PCDATA,a\"b]");
    EXPECT_EQ(showPrec(11, PT{ELEMENT{"x"}}), "x");
}

TEST(DTDShow, DeclaredContentAndAttributeValues) {
    EXPECT_EQ(showPrec(0, CONTYPE{DC_MODELGRP{el("x")}}), "DC_MODELGRP x");
    EXPECT_EQ(showPrec(11, CONTYPE{DC_MODELGRP{el("x")}}), "(DC_MODELGRP x)");
    EXPECT_EQ(showPrec(11, CONTYPE{DC_MODELGRP{rep(alt({el("a"), el("b")}))}}), "(DC_MODELGRP (a | b)*)");
    EXPECT_EQ(showPrec(0, CONTYPE{DC_EMPTY{}}), "DC_EMPTY");
    EXPECT_EQ(showPrec(11, CONTYPE{DC_EMPTY{}}), "DC_EMPTY");
    EXPECT_EQ(showPrec(11, CONTYPE{DC_ANY{}}), "DC_ANY");

    EXPECT_EQ(showPrec(0, ATT_TYPE{ATnotation{{"x", "y"}}}), "ATnotation [\"x\",\"y\"]");
    EXPECT_EQ(showPrec(11, ATT_TYPE{ATnotation{{"x", "y"}}}), "(ATnotation [\"x\",\"y\"])");
    EXPECT_EQ(showPrec(0, ATT_TYPE{ATenumerated{}}), "ATenumerated []");
    EXPECT_EQ(showPrec(11, ATT_TYPE{ATnmtokens{}}), "ATnmtokens");
    EXPECT_EQ(showListText(std::vector<ATT_TYPE>{ATcdata{}, ATentity{}, ATentities{}, ATid{}, ATidref{}, ATidrefs{}, ATnmtoken{},
                                                 ATnmtokens{}, ATenumerated{{"a\""}}}),
              "[ATcdata,ATentity,ATentities,ATid,ATidref,ATidrefs,ATnmtoken,ATnmtokens,ATenumerated [\"a\\\"\"]]");

    EXPECT_EQ(showPrec(11, ATT_DV{ADVrequired{}}), "ADVrequired");
    EXPECT_EQ(showPrec(0, ATT_DV{ADVfixed{ready("1")}}), "ADVfixed \"1\"");
    EXPECT_EQ(showPrec(11, ATT_DV{ADVdefault{ready("a\nb")}}), "(ADVdefault \"a\\nb\")");
    EXPECT_EQ(showListText(std::vector<ATT_DV>{ADVimplied{}, ADVcurrent{}, ADVconref{}}), "[ADVimplied,ADVcurrent,ADVconref]");
    // A stored value is computed when printed, and only then may fail.
    const ATT_DV bad = ADVdefault{axf::Lazy<std::string>([]() -> std::string { throw axf::Fatal("entity e not defined"); })};
    EXPECT_THROW(showText(bad), axf::Fatal);
}

TEST(DTDShow, Records) {
    const ATTDEF id{"id", ATid{}, ADVrequired{}};
    EXPECT_EQ(showPrec(0, id), "ATTDEF {att_name = \"id\", att_type = ATid, att_dv = ADVrequired}");
    EXPECT_EQ(showPrec(11, id), "(ATTDEF {att_name = \"id\", att_type = ATid, att_dv = ADVrequired})");
    EXPECT_EQ(showText(ATTDEF{"n", ATnotation{{"a"}}, ADVfixed{ready("v")}}),
              "ATTDEF {att_name = \"n\", att_type = ATnotation [\"a\"], att_dv = ADVfixed \"v\"}");

    const CONTYPE pContent = DC_MODELGRP{rep(alt({pcdata(), el("em")}))};
    EXPECT_EQ(showText(ELEMTYPE{"p", pContent, {false, true}, {}, {"p"}}),
              "ELEMTYPE {gi = \"p\", contype = DC_MODELGRP (#PCDATA | em)*, omissibility = (False,True), "
              "inclusions = [], exclusions = [\"p\"]}");
    // The element name is escaped as gi, not as a leaf.
    EXPECT_EQ(showPrec(11, ELEMTYPE{"a\"", DC_MODELGRP{el("a\"")}, {true, false}, {"i"}, {}}),
              "(ELEMTYPE {gi = \"a\\\"\", contype = DC_MODELGRP a\", omissibility = (True,False), "
              "inclusions = [\"i\"], exclusions = []})");

    EXPECT_EQ(showText(DTD{}), "DTD {elements = [], attlists = [], genents = [], parments = [], notations = [], dtdname = \"\"}");

    DTD d;
    d = declareElements({"p"}, {false, false}, pContent, {}, std::move(d));
    d = declareAttlist({"p"}, std::vector<ATTDEF>{{"id", ATid{}, ADVimplied{}}}, std::move(d));
    d = declareNotation("eps", {}, std::move(d));
    d.dtdname = "doc";
    EXPECT_EQ(showText(d),
              "DTD {elements = [(\"p\",ELEMTYPE {gi = \"p\", contype = DC_MODELGRP (#PCDATA | em)*, "
              "omissibility = (False,False), inclusions = [], exclusions = []})], "
              "attlists = [(\"p\",[ATTDEF {att_name = \"id\", att_type = ATid, att_dv = ADVimplied}])], "
              "genents = [], parments = [], notations = [\"eps\"], dtdname = \"doc\"}");
    EXPECT_EQ(showPrec(11, DTD{}).front(), '(');

    // The entity tables print their entity texts.
    const DTD withEntities = declareParameterEntity("pe", EN_EXTERNAL{{std::string("pub"), std::nullopt}},
                                                    declareGeneralEntity("ge", EN_INTERNAL{"<x>"}, emptyDTD()));
    const std::string text = showText(withEntities);
    EXPECT_NE(text.find("(\"lt\",EN_INTERNAL \"<\"),(\"ge\",EN_INTERNAL \"<x>\")]"), std::string::npos) << text;
    EXPECT_NE(text.find("parments = [(\"pe\",EN_EXTERNAL (Just \"pub\",Nothing))]"), std::string::npos) << text;
}

// ---- equality --------------------------------------------------------------------------

TEST(DTDEquality, ContentModelsCompareStructurally) {
    EXPECT_EQ(PT{ELEMENT{"a"}}, PT{ELEMENT{"a"}});
    EXPECT_NE(PT{ELEMENT{"a"}}, PT{ELEMENT{"A"}});
    EXPECT_NE(PT{PCDATA{}}, PT{ELEMENT{"#PCDATA"}});
    EXPECT_EQ(PT{PCDATA{}}, PT{PCDATA{}});

    const M m = plus(seq({el("a"), rep(alt({el("b"), el("c")})), opt(el("d"))}));
    EXPECT_EQ(m, m);
    EXPECT_EQ(m, plus(seq({el("a"), rep(alt({el("b"), el("c")})), opt(el("d"))})));
    EXPECT_NE(m, plus(seq({el("a"), rep(alt({el("b"), el("c")})), plus(el("d"))})));
    EXPECT_NE(m, plus(seq({el("a"), rep(alt({el("b"), el("c")}))})));
    EXPECT_NE(alt({el("x"), el("y")}), alt({el("y"), el("x")}));
    EXPECT_NE(seq({el("x")}), el("x"));
    EXPECT_EQ(seq({}), seq({}));
    EXPECT_NE(seq({}), alt({}));
    EXPECT_NE(all({el("x")}), alt({el("x")}));
    EXPECT_NE(opt(rep(el("x"))), rep(opt(el("x"))));
    EXPECT_NE(el("x"), pcdata());
}

TEST(DTDEquality, DeepModelsPrintAndCompareWithoutRecursion) {
    // Built, printed and compared on an ordinary stack.
    const int depth = 100000;
    M a = el("x");
    M b = el("x");
    for (int i = 0; i < depth; ++i) {
        a = i % 2 ? rep(a) : seq({a, el("y")});
        b = i % 2 ? rep(b) : seq({b, el("y")});
    }
    EXPECT_EQ(a, b);
    EXPECT_NE(a, opt(b));
    const std::string text = showText(a);
    EXPECT_EQ(text.size(), std::size_t(depth / 2) * std::string("(, y)*").size() + 1);
    EXPECT_EQ(text.substr(text.size() - 10), ", y)*, y)*");
}

}  // namespace
