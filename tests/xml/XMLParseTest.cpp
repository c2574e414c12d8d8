// The event parser: documents to events (with where the sequence stopped),
// the tag grammar over hand-made token lists, comments, processing
// instructions, the prolog, laziness, and large inputs in a small stack.
#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "common/Fatal.h"
#include "common/LargeStack.h"
#include "xml/XMLParseInternal.h"

namespace axf::xml {
namespace {

// One line per event: "S a b=1" (start), "M a" (empty-element), "E a", "T x",
// "P target|text", "G name", "C text", "X message". Attribute values are read.
std::string show(const XMLEvent& e) {
    auto atts = [](const LazyAttList& as) {
        std::string s;
        for (const auto& [n, v] : as) s += " " + n + "=" + v.get();
        return s;
    };
    struct V {
        decltype(atts)& at;
        std::string operator()(const StartEvent& e) { return "S " + e.name + at(e.attributes); }
        std::string operator()(const EmptyEvent& e) { return "M " + e.name + at(e.attributes); }
        std::string operator()(const EndEvent& e) { return "E " + e.name; }
        std::string operator()(const TextEvent& e) { return "T " + e.text; }
        std::string operator()(const PIEvent& e) { return "P " + e.target + "|" + e.text; }
        std::string operator()(const GERefEvent& e) { return "G " + e.name; }
        std::string operator()(const CommentEvent& e) { return "C " + e.text; }
        std::string operator()(const ErrorEvent& e) { return "X " + e.message; }
    };
    return std::visit(V{atts}, e);
}

std::vector<std::string> showAll(DocumentEvents& evs) {
    std::vector<std::string> out;
    while (auto e = evs.next()) out.push_back(show(*e));
    return out;
}

using Lines = std::vector<std::string>;
Delimiter t(DelimKind k, std::string text = {}) { return Delimiter::make(k, std::move(text)); }
using K = DelimKind;

struct DocCase {
    std::string doc;
    Lines events;
    // Where the sequence stopped; offset -1: not early (ended at the end).
    long offset = -1;
    std::string token = {};
    long failOffset = -1;
    std::string failToken = {};
};

TEST(ParseDocument, DocumentsToEvents) {
    const std::string prologError = "X Error parsing prolog";
    const std::vector<DocCase> cases = {
        {"<a>x</a>", {"S a", "T x", "E a"}},
        {"<a b='1' c=d>hi &amp; bye</a>", {"S a b=1 c=d", "T hi ", "G amp", "T  ", "T bye", "E a"}},
        {"<a x='&lt;&#65;'>t</a>", {"S a x=<A", "T t", "E a"}},
        {"<a></b>", {"S a", "E b"}},
        {"hello<a/><b/>", {"T hello", "M a", "M b"}},
        {"<a/><?p x?>", {"M a", "P p|x"}},
        {"", {}},
        {"   ", {}},
        // A '>' in character data is text.
        {"<a>x > y</a>", {"S a", "T x > y", "E a"}},
        {"<a>>y</a>", {"S a", "T >y", "E a"}},
        // Prolog: at most one PI and one document type line, dropped.
        {"<?xml version='1.0'?><!DOCTYPE a SYSTEM 'a.dtd'><a><b/>t</a>", {"S a", "M b", "T t", "E a"}},
        {"<?xml version='1.0'?> <a/>", {"M a"}},
        {"  <?xml version='1.0'?>  <a/>", {"M a"}},
        {"<?p x?><?q y?><a/>", {"P q|y", "M a"}},
        {"<!DOCTYPE a><a/>", {"M a"}},
        {"<!DOCTYPE a SYSTEM><a/>", {"M a"}},
        {"<!DOCTYPE a SYSTEM \"s\"><a/>", {"M a"}},
        {"<!DOCTYPE a PUBLIC \"p\"><a/>", {"M a"}},
        {"<!DOCTYPE a PUBLIC \"p\" 's'><a/>", {"M a"}},
        {"<!DOCTYPE a><?xml version=\"1.0\"?><a/>", {"P xml|version=\"1.0\"", "M a"}},
        {"<?xml version='1.0'?><!-- c --><a/>", {"C  c ", "M a"}},
        // After the document type line the scanner stays in declaration
        // mode up to the next tag: white space gives no token.
        {"<!DOCTYPE a> <!-- c --> <?p x?> <a/>", {"C  c ", "P p|x", "M a"}},
        // Prolog errors: the single error event.
        {"<!DOCTYPE a [<!ELEMENT a ANY>]><a/>", {prologError}, 12, "[", 12, "["},
        {"<!ELEMENT a ANY><a/>", {prologError}, 2, "ELEMENT", 2, "ELEMENT"},
        {"<!ATTLIST a b CDATA #IMPLIED><a/>", {prologError}, 2, "ATTLIST", 2, "ATTLIST"},
        {"<!ENTITY e 'x'><a/>", {prologError}, 2, "ENTITY", 2, "ENTITY"},
        {"<!DOCTYPE a PUBLIC><a/>", {prologError}, 18, ">", 18, ">"},
        {"<!DOCTYPE a SYSTEM 's' 't'><a/>", {prologError}, 23, "'t'", 23, "'t'"},
        {"<!DOCTYPE a SYSTEM 's' [<!ELEMENT a ANY>]><a/>", {prologError}, 23, "[", 23, "["},
        {"<!doctype a><a/>", {prologError}, 2, "doctype", 2, "doctype"},
        {"<!DOCTYPE><a/>", {prologError}, 9, ">", 9, ">"},
        {"<?xml version='1.0'", {prologError}, 19, "end of text", 19, "end of text"},
        // Early stops in the instance.
        {"<!-- c --><!DOCTYPE a><a/>", {"C  c "}, 10, "<!", 10, "<!"},
        {"<?xml version='1.0'?><!-- c --><!DOCTYPE a><a/>", {"C  c "}, 31, "<!", 31, "<!"},
        {"<!DOCTYPE a>text<a/>", {}, 12, "text", 12, "text"},
        // A "--" after the document type line opens a comment that runs to
        // the next "--": when there is none it takes the whole document.
        {"<!DOCTYPE a>-- c --<a/>", {"M a"}},
        {"<!DOCTYPE a> \n--<a>x</a>", {}, 14, "unclosed comment \"--\"", 14, "unclosed comment \"--\""},
        {"<!DOCTYPE a -- x><a/>", {prologError}, 12, "unclosed comment \"--\"", 12, "unclosed comment \"--\""},
        {"<!DOCTYPE a> \n ", {}},
        {"<a b>x</a>", {}, 0, "<", 4, ">"},
        {"<a>1</a><!x>", {"S a", "T 1", "E a"}, 8, "<!", 8, "<!"},
        {"<a>1</a><a x='1'", {"S a", "T 1", "E a"}, 8, "<", 16, "end of text"},
        {"<a>&bad x</a>", {"S a"}, 3, "Bad entity reference bad", 3, "Bad entity reference bad"},
        {"<a><]]></a>", {"S a"}, 3, "]]>", 3, "]]>"},
        {"<a>]]></a>", {"S a", "T ]]>", "E a"}},
        {"<a/><!-- x", {"M a"}, 4, "<!--", 10, "end of text"},
        {"<a/><?p x", {"M a"}, 4, "<?", 9, "end of text"},
        // Trailing text the parser need not understand fully.
        {"<a>1</a>>&#x41;", {"S a", "T 1", "E a", "T >", "T A"}},
        {"<a>x</a><![CDATA[ab", {"S a", "T x", "E a", "T ab"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.doc);
        DocumentEvents evs = parseDocument(c.doc);
        EXPECT_EQ(showAll(evs), c.events);
        const auto& s = evs.stop();
        EXPECT_EQ(s.early, c.offset >= 0);
        if (c.offset >= 0) {
            EXPECT_EQ(long(s.offset), c.offset);
            EXPECT_EQ(s.token, c.token);
            EXPECT_EQ(long(s.failOffset), c.failOffset);
            EXPECT_EQ(s.failToken, c.failToken);
        } else {
            EXPECT_EQ(s.offset, c.doc.size());
            EXPECT_EQ(s.token, "end of text");
        }
        EXPECT_FALSE(evs.next());  // stays ended
    }
}

TEST(ParseDocument, InstanceHasNoProlog) {
    const std::vector<std::pair<std::string, Lines>> cases = {
        {"<?p x?><a/>", {"P p|x", "M a"}},
        {" <a/>", {"T  ", "M a"}},
        {"<!DOCTYPE a><a/>", {}},
    };
    for (const auto& [doc, events] : cases) {
        DocumentEvents evs = parseInstance(doc);
        EXPECT_EQ(showAll(evs), events) << doc;
    }
}

TEST(ParseDocument, AttributeValuesExpandOnFirstRead) {
    DocumentEvents evs = parseDocument("<a x='&foo;' y='&amp;'>t</a>");
    auto start = evs.next();
    ASSERT_TRUE(start && std::holds_alternative<StartEvent>(*start));
    const auto& atts = std::get<StartEvent>(*start).attributes;
    ASSERT_EQ(atts.size(), 2u);
    EXPECT_EQ(showAll(evs), (Lines{"T t", "E a"}));  // the rest parses without error
    EXPECT_EQ(atts[1].second.get(), "&");
    EXPECT_THROW(atts[0].second.get(), Fatal);
    try {
        atts[0].second.get();
    } catch (const Fatal& e) {
        EXPECT_STREQ(e.what(), "entity foo not defined");
    }
}

TEST(ParseDocument, ScansOnlyAsFarAsTheEventsAsked) {
    // The scanner fails at the nested "<![", which it reaches only when the
    // event after "T x" is asked for; the events before stand.
    DocumentEvents evs = parseDocument("<a>t</a><![CDATA[x<![y");
    for (const char* want : {"S a", "T t", "E a", "T x"}) {
        SCOPED_TRACE(want);
        auto e = evs.next();
        ASSERT_TRUE(e);
        EXPECT_EQ(show(*e), want);
    }
    EXPECT_THROW(evs.next(), Fatal);
    EXPECT_EQ(evs.failureOffset(), std::optional<std::size_t>(18));  // the "<![" the scanner refused

    // A bad character reference fails when its text event is made.
    DocumentEvents bad = parseDocument("<a/>&#1F;");
    EXPECT_EQ(show(*bad.next()), "M a");
    EXPECT_THROW(bad.next(), Fatal);
    EXPECT_EQ(bad.failureOffset(), std::optional<std::size_t>(4));
}

// Where each event stands: "OFFSET" of its first token, then for a tag
// " @" and the offsets of its name and of each attribute's name and value.
TEST(ParseDocument, WhereEventsStand) {
    const std::vector<std::pair<std::string, Lines>> cases = {
        {"<a>t&amp;</a>", {"0 @1", "3", "4", "9"}},
        {"<!DOCTYPE a>\n< a  x = 'v'\ty=w/><!--c--><?p?>", {"13 @15 18 23 26 28", "31", "39"}},
        {"<!DOCTYPE a [ ]>", {"12"}},  // the prolog breaks off at '['
    };
    for (const auto& [doc, want] : cases) {
        SCOPED_TRACE(doc);
        DocumentEvents evs = parseDocument(doc);
        Lines got;
        while (auto e = evs.next()) {
            std::string line = std::to_string(evs.eventOffset());
            if (std::holds_alternative<StartEvent>(*e) || std::holds_alternative<EmptyEvent>(*e)) {
                const LazyAttList& atts = std::holds_alternative<StartEvent>(*e) ? std::get<StartEvent>(*e).attributes
                                                                                 : std::get<EmptyEvent>(*e).attributes;
                std::vector<std::size_t> parts = {evs.tagNameOffset()};
                for (std::size_t i = 0; i < atts.size(); ++i) {
                    parts.push_back(evs.attributeNameOffset(i));
                    parts.push_back(evs.attributeValueOffset(i));
                }
                const char* sep = " @";
                for (std::size_t at : parts) {
                    line.append(sep).append(std::to_string(at));
                    sep = " ";
                }
            }
            got.push_back(line);
        }
        EXPECT_EQ(got, want);
    }
}

TEST(ParseDocument, CommentsAndProcessingInstructions) {
    const std::vector<std::pair<std::string, Lines>> cases = {
        {"<!---->", {"C "}},
        {"<!-- c -->", {"C  c "}},
        {"<!--\n c \n-->", {"C \n c \n"}},
        {"<!-- c --  \n >", {"C  c "}},  // white space before ">" is skipped
        {"<!-- a-b -->", {"C  a-b "}},
        {"<!-- c --->", {}},         // third hyphen
        {"<!-- a -- b -->", {}},     // two hyphens inside
        {"<!-- x -- -- y -->", {}},  // two comments in one declaration
        {"<?"
         "?>",
         {"P |"}},
        {"<?a?b?>", {"P a|?b"}},
        {"<a/><?xml version='1.0' encoding=\"x\" ?>", {"M a", "P xml|version='1.0' encoding=\"x\" "}},
    };
    for (const auto& [doc, events] : cases) {
        DocumentEvents evs = parseInstance(doc);
        EXPECT_EQ(showAll(evs), events) << doc;
        EXPECT_EQ(evs.stop().early, events.empty()) << doc;
    }
}

TEST(ParseDocument, PISplit) {
    const std::vector<std::tuple<std::string, std::string, std::string>> cases = {
        {"", "", ""},
        {"xml", "xml", ""},
        {"xml version='1.0' ", "xml", "version='1.0' "},
        {" \t x y", "", "x y"},
        {"a=b", "a", "=b"},
        {"a?b", "a", "?b"},
        {"a&b", "a", "&b"},
        {"x-y.z:w_v  rest", "x-y.z:w_v", "rest"},
        {"1.5-x y", "1.5-x", "y"},
        {"a\xA0"
         "b",
         "a", "b"},  // 160 is white space
    };
    for (const auto& [content, target, text] : cases) {
        SCOPED_TRACE(content);
        EXPECT_EQ(splitPI(content), PIValue(target, text));
        // The same through the parser, over content cut into pieces.
        std::vector<Delimiter> toks{t(K::PIO)};
        for (std::size_t i = 0; i < content.size(); i += 2) toks.push_back(t(K::CDATA, content.substr(i, 2)));
        toks.push_back(t(K::PIC));
        TokenStream in(std::move(toks));
        auto r = pPI()(in, 0);
        ASSERT_TRUE(r.ok());
        EXPECT_EQ(*r.value, PIValue(target, text));
    }
}

// Runs a parser over a hand-made token list: its status and, on success, the
// position after it.
template <class V>
std::pair<ParseStatus, std::size_t> runTokens(const XP<V>& p, std::vector<Delimiter> toks) {
    TokenStream in(std::move(toks));
    auto r = p(in, 0);
    return {r.status, r.rest};
}

TEST(ParseGrammar, CommentDeclarations) {
    auto run = [](std::vector<Delimiter> toks) {
        TokenStream in(std::move(toks));
        auto r = pDeclComment()(in, 0);
        return r.ok() ? *r.value : std::string("<fail>");
    };
    EXPECT_EQ(run({t(K::MDOCOM), t(K::COM), t(K::MDC)}), "");
    EXPECT_EQ(run({t(K::MDOCOM), t(K::COM), t(K::COM), t(K::COM), t(K::MDC)}), "");
    std::vector<Delimiter> two = {t(K::MDOCOM),      t(K::CDATA, " x "), t(K::COM), t(K::COM),
                                  t(K::CDATA, " y"), t(K::CDATA, "-z "), t(K::COM), t(K::MDC)};
    EXPECT_EQ(run(two), " x  y-z ");
    // From the scanner: the white space between the two comments is in neither.
    EXPECT_EQ(run(scanAll("<!-- a -- \n -- b -->")), " a  b ");
    EXPECT_EQ(runTokens(pComment(), two).first, ParseStatus::FailConsumed);
    EXPECT_EQ(run({t(K::MDOCOM), t(K::COM), t(K::LEXERR, "x"), t(K::MDC)}), "<fail>");
    EXPECT_EQ(runTokens(pDeclComment(), {t(K::PIO)}).first, ParseStatus::FailEmpty);
    EXPECT_EQ(runTokens(pComment(), {}).first, ParseStatus::FailEmpty);
}

TEST(ParseGrammar, TokenParsers) {
    const XP<Unit> skip = pSkipWS;
    EXPECT_EQ(runTokens(skip, {t(K::CDATA, " ")}), std::make_pair(ParseStatus::Ok, std::size_t{0}));
    EXPECT_EQ(runTokens(skip, {t(K::WS, " "), t(K::WS, "\t"), t(K::STAGO)}), std::make_pair(ParseStatus::Ok, std::size_t{2}));
    EXPECT_EQ(runTokens(skip, {}).first, ParseStatus::Ok);

    TokenStream ws({t(K::WS, " ")});
    EXPECT_EQ(*pText(ws, 0).value, " ");
    const XP<std::string> text = pText, name = pName, literal = pLiteral, geref = pGERef, peref = pPERef;
    const XP<Unit> doctype = pKeyword("DOCTYPE"), pcdata = pReservedName("#PCDATA"), stago = pDelim(K::STAGO);
    const auto failsEmpty = [](const auto& p, std::vector<Delimiter> toks) {
        return runTokens(p, std::move(toks)).first == ParseStatus::FailEmpty;
    };
    EXPECT_TRUE(failsEmpty(text, {t(K::LITERAL, "x")}));
    EXPECT_TRUE(failsEmpty(name, {t(K::RNINAME, "#PCDATA")}));
    EXPECT_TRUE(failsEmpty(name, {t(K::LEXERR, "x")}));
    EXPECT_TRUE(failsEmpty(doctype, {t(K::NAME, "doctype")}));
    EXPECT_TRUE(failsEmpty(doctype, {t(K::NAME, "DOCTYPES")}));
    EXPECT_TRUE(failsEmpty(doctype, {t(K::RNINAME, "DOCTYPE")}));
    EXPECT_TRUE(failsEmpty(pcdata, {t(K::NAME, "#PCDATA")}));
    EXPECT_EQ(runTokens(doctype, {t(K::NAME, "DOCTYPE")}).first, ParseStatus::Ok);
    EXPECT_EQ(runTokens(pcdata, {t(K::RNINAME, "#PCDATA")}).first, ParseStatus::Ok);
    EXPECT_TRUE(failsEmpty(stago, {t(K::ETAGO)}));
    for (const auto& [label, p] : {std::pair{"text", &text}, std::pair{"name", &name}, std::pair{"literal", &literal},
                                   std::pair{"geref", &geref}, std::pair{"peref", &peref}})
        EXPECT_TRUE(failsEmpty(*p, {})) << label;
    for (const auto& [label, p] : {std::pair{"doctype", &doctype}, std::pair{"pcdata", &pcdata}, std::pair{"stago", &stago}})
        EXPECT_TRUE(failsEmpty(*p, {})) << label;
}

TEST(ParseGrammar, EventsFromTokenLists) {
    struct Case {
        std::vector<Delimiter> toks;
        ParseStatus status;
        std::string event = {};
    };
    const std::vector<Case> cases = {
        {{t(K::STAGO), t(K::NAME, "a"), t(K::TAGC)}, ParseStatus::Ok, "S a"},
        {{t(K::STAGO), t(K::NAME, "a"), t(K::NAME, "b"), t(K::VI), t(K::LITERAL, "1"), t(K::NAME, "c"), t(K::VI), t(K::NAME, "x"),
          t(K::EETAGC)},
         ParseStatus::Ok,
         "M a b=1 c=x"},
        {{t(K::STAGO), t(K::NAME, "a"), t(K::NAME, "b"), t(K::VI), t(K::LITERAL, "1"), t(K::NAME, "b"), t(K::VI),
          t(K::LITERAL, "2"), t(K::TAGC)},
         ParseStatus::Ok,
         "S a b=1 b=2"},
        {{t(K::STAGO), t(K::NAME, "a"), t(K::NAME, "v"), t(K::VI), t(K::LITERAL, "&lt;b&gt;"), t(K::TAGC)},
         ParseStatus::Ok,
         "S a v=<b>"},
        {{t(K::ETAGO), t(K::NAME, "b"), t(K::TAGC)}, ParseStatus::Ok, "E b"},
        {{t(K::GEREF, "amp")}, ParseStatus::Ok, "G amp"},
        {{t(K::WS, " "), t(K::CDATA, "x")}, ParseStatus::Ok, "T  "},
        {{t(K::PIO), t(K::CDATA, "p x"), t(K::PIC)}, ParseStatus::Ok, "P p|x"},
        {{t(K::MDOCOM), t(K::CDATA, "c"), t(K::COM), t(K::MDC)}, ParseStatus::Ok, "C c"},
        // Broken after the first token.
        {{t(K::STAGO), t(K::NAME, "a"), t(K::NAME, "b"), t(K::TAGC)}, ParseStatus::FailConsumed},
        {{t(K::STAGO), t(K::NAME, "a"), t(K::NAME, "b"), t(K::VI), t(K::TAGC)}, ParseStatus::FailConsumed},
        {{t(K::STAGO), t(K::TAGC)}, ParseStatus::FailConsumed},
        {{t(K::STAGO), t(K::NAME, "a"), t(K::LITERAL, "1"), t(K::TAGC)}, ParseStatus::FailConsumed},
        {{t(K::STAGO), t(K::NAME, "a"), t(K::STAGO)}, ParseStatus::FailConsumed},
        {{t(K::STAGO), t(K::NAME, "a"), t(K::LEXERR, "!"), t(K::TAGC)}, ParseStatus::FailConsumed},
        {{t(K::ETAGO), t(K::NAME, "a"), t(K::NAME, "b"), t(K::VI), t(K::LITERAL, "1"), t(K::TAGC)}, ParseStatus::FailConsumed},
        {{t(K::STAGO), t(K::NAME, "a"), t(K::NAME, "b"), t(K::VI), t(K::LITERAL, "1")}, ParseStatus::FailConsumed},
        {{t(K::PIO), t(K::CDATA, "p"), t(K::STAGO)}, ParseStatus::FailConsumed},
        {{t(K::MDOCOM), t(K::CDATA, "c"), t(K::COM), t(K::COM)}, ParseStatus::FailConsumed},
        // Tokens that begin no event.
        {{t(K::LEXERR, "x")}, ParseStatus::FailEmpty},
        {{t(K::MDO)}, ParseStatus::FailEmpty},
        {{t(K::MSC)}, ParseStatus::FailEmpty},
        {{t(K::NAME, "text")}, ParseStatus::FailEmpty},
        {{}, ParseStatus::FailEmpty},
    };
    for (std::size_t i = 0; i < cases.size(); ++i) {
        const auto& c = cases[i];
        SCOPED_TRACE(i);
        TokenStream in(c.toks);
        auto r = pEvent()(in, 0);
        EXPECT_EQ(r.status, c.status);
        if (r.ok()) {
            EXPECT_EQ(show(*r.value), c.event);
        }
    }
    // The whole list through the document entry: one event per text token.
    DocumentEvents evs = parseInstanceTokens({t(K::WS, " "), t(K::CDATA, "x"), t(K::STAGO), t(K::TAGC), t(K::CDATA, "y")});
    EXPECT_EQ(showAll(evs), (Lines{"T  ", "T x"}));
    EXPECT_TRUE(evs.stop().early);
    EXPECT_EQ(evs.stop().offset, 2u);  // token indices stand for offsets here
    EXPECT_EQ(evs.stop().failOffset, 3u);
}

TEST(ParseGrammar, ExternalIdentifiers) {
    struct Case {
        std::vector<Delimiter> toks;
        std::optional<std::string> pub, sys;
        std::size_t rest;
    };
    const std::vector<Case> cases = {
        {{t(K::MDC)}, std::nullopt, std::nullopt, 0},
        {{t(K::NAME, "SYSTEM"), t(K::MDC)}, std::nullopt, std::nullopt, 1},
        {{t(K::NAME, "SYSTEM"), t(K::LITERAL, "s")}, std::nullopt, "s", 2},
        {{t(K::NAME, "PUBLIC"), t(K::LITERAL, "p"), t(K::MDC)}, "p", std::nullopt, 2},
        {{t(K::NAME, "PUBLIC"), t(K::LITERAL, "p"), t(K::LITERAL, "s")}, "p", "s", 3},
        {{t(K::NAME, "system")}, std::nullopt, std::nullopt, 0},
    };
    for (std::size_t i = 0; i < cases.size(); ++i) {
        const auto& c = cases[i];
        SCOPED_TRACE(i);
        TokenStream in(c.toks);
        auto r = pExternalId()(in, 0);
        ASSERT_TRUE(r.ok());
        EXPECT_EQ(r.value->publicId, c.pub);
        EXPECT_EQ(r.value->systemId, c.sys);
        EXPECT_EQ(r.rest, c.rest);
    }
    EXPECT_EQ(runTokens(pExternalId(), {t(K::NAME, "PUBLIC"), t(K::MDC)}).first, ParseStatus::FailConsumed);
}

TEST(ParseDocument, LargeInputsRunInASmallStack) {
    // 1,000,000 events: a root holding 999,998 empty elements.
    std::string doc = "<r>";
    for (int i = 0; i < 999998; ++i) doc += "<a/>";
    doc += "</r>";
    // One tag with 100,000 attributes.
    std::string tag = "<a";
    for (int i = 0; i < 100000; ++i) tag += " a" + std::to_string(i) + "='" + std::to_string(i) + "'";
    tag += "/>";
    runWithLargeStack(
        [&] {
            DocumentEvents evs = parseDocument(doc);
            std::size_t n = 0;
            while (auto e = evs.next()) ++n;
            EXPECT_EQ(n, 1000000u);
            EXPECT_FALSE(evs.stop().early);

            DocumentEvents one = parseDocument(tag);
            auto e = one.next();
            ASSERT_TRUE(e && std::holds_alternative<EmptyEvent>(*e));
            const auto& atts = std::get<EmptyEvent>(*e).attributes;
            ASSERT_EQ(atts.size(), 100000u);
            EXPECT_EQ(atts[99999].first, "a99999");
            EXPECT_EQ(atts[99999].second.get(), "99999");
            EXPECT_FALSE(one.next());
        },
        256 * 1024);
}

}  // namespace
}  // namespace axf::xml
