// The constructor notation of events: print form and reader.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "xml/XMLEventShow.h"
#include "xml/XMLTree.h"

namespace axf::xml {
namespace {

std::string at(int prec, const XMLEvent& e) {
    std::string out;
    showsEventPrec(prec, e, out);
    return out;
}

// The single reading of an event at prec, as "printed form|rest", or
// "none" when the text does not fit.
std::string readOne(int prec, std::string_view text) {
    auto rs = readsEventPrec(prec, text);
    if (rs.empty()) return "none";
    if (rs.size() > 1) return "ambiguous";
    return at(0, rs[0].first) + "|" + std::string(rs[0].second);
}

TEST(EventPrintForm, ConstructorsAndTexts) {
    const std::vector<std::pair<XMLEvent, std::string>> cases = {
        {EndEvent{"a"}, "EndEvent \"a\""},
        {StartEvent{"a", {}}, "StartEvent \"a\" []"},
        {EmptyEvent{"e", readyAttributes({{"x", "1"}, {"y", "\""}})}, "EmptyEvent \"e\" [(\"x\",\"1\"),(\"y\",\"\\\"\")]"},
        {TextEvent{""}, "TextEvent \"\""},
        {PIEvent{"t", "a b"}, "PIEvent \"t\" \"a b\""},
        {GERefEvent{"amp"}, "GERefEvent \"amp\""},
        {CommentEvent{"\\"}, "CommentEvent \"\\\\\""},
        {ErrorEvent{"m"}, "ErrorEvent \"m\""},
        // Escapes: a decimal code before a digit and SO before H get the empty escape.
        {TextEvent{"\xe9"
                   "4\xe9x"},
         "TextEvent \"\\233\\&4\\233x\""},
        {TextEvent{"\x0eH\x0e"
                   "A\x01\x7f\n\t\x1f"},
         "TextEvent \"\\SO\\&H\\SOA\\SOH\\DEL\\n\\t\\US\""},
    };
    for (const auto& [ev, form] : cases) {
        SCOPED_TRACE(form);
        EXPECT_EQ(at(0, ev), form);
        EXPECT_EQ(at(11, ev), "(" + form + ")");
        EXPECT_EQ(at(10, ev), form);
    }
    std::string list;
    showsEventList({EndEvent{"a"}, TextEvent{"b"}}, list);
    EXPECT_EQ(list, "[EndEvent \"a\",TextEvent \"b\"]");
    EXPECT_EQ(showListText(std::vector<XMLEvent>{}), "[]");

    std::string u;
    showsUnparsedPrec(11, UNPARSED{"x\n"}, u);
    EXPECT_EQ(u, "(UNPARSED \"x\\n\")");
    u.clear();
    showsUnparsedList({UNPARSED{"a"}, UNPARSED{""}}, u);
    EXPECT_EQ(u, "[UNPARSED \"a\",UNPARSED \"\"]");
}

TEST(EventReader, PrintedEventsReadBack) {
    std::string every;
    for (int c = 0; c < 256; ++c) every += static_cast<char>(c);
    const std::vector<XMLEvent> events = {
        StartEvent{"a", readyAttributes({{every, "v"}, {"", every}})},
        EmptyEvent{"", {}},
        EndEvent{"a"},
        TextEvent{every + "\x0eH\xe9"
                          "1"},
        PIEvent{"", " "},
        GERefEvent{"g"},
        CommentEvent{"--"},
        ErrorEvent{"e"},
    };
    for (const XMLEvent& e : events) {
        const std::string form = at(0, e);
        SCOPED_TRACE(form);
        EXPECT_EQ(readOne(0, form), form + "|");
        EXPECT_EQ(readOne(11, at(11, e)), form + "|");
    }
    std::string list;
    showsEventList(events, list);
    auto rs = readsEventList(list);
    ASSERT_EQ(rs.size(), 1u);
    EXPECT_EQ(showListText(rs[0].first), list);
    EXPECT_EQ(rs[0].second, "");
}

TEST(EventReader, Notation) {
    struct Case {
        int prec;
        std::string text;
        std::string read;
    };
    const std::vector<Case> cases = {
        // Parentheses: required at 11, any number anywhere, a pair needs its own.
        {11, "EndEvent \"a\"", "none"},
        {11, " ( ( EndEvent \"a\" ) ) x", "EndEvent \"a\"| x"},
        {0, "EndEvent \"a\"  , more", "EndEvent \"a\"|  , more"},
        {0, "(EndEvent \"a\"", "none"},
        {0, "((TextEvent ((\"x\"))))", "TextEvent \"x\"|"},
        {0, "StartEvent(\"a\")([((\"x\"),\"1\"),((\"y\",(\"2\")))])", "StartEvent \"a\" [(\"x\",\"1\"),(\"y\",\"2\")]|"},
        {0, "StartEvent \"a\" [\"x\",\"1\"]", "none"},
        {0, "StartEvent \"a\" [((\"x\")),\"1\")]", "none"},
        // Constructor words match whole and by case.
        {0, "StartEvents \"a\" []", "none"},
        {0, "startEvent \"a\" []", "none"},
        {0, "EndEvent' \"a\"", "none"},
        {0, "UNPARSED \"a\"", "none"},
        // Missing and malformed fields.
        {0, "PIEvent \"a\"", "none"},
        {0, "EndEvent", "none"},
        {0, "EndEvent \"a", "none"},
        {0, "EndEvent a", "none"},
        // Texts as lists of character literals.
        {0, "TextEvent ['a', ('\\n') ,'\\'','\"']", "TextEvent \"a\\n'\\\"\"|"},
        {0, "TextEvent []", "TextEvent \"\"|"},
        {0, "TextEvent [''']", "none"},
        {0, "TextEvent ['ab']", "none"},
        {0, "TextEvent ['\\&']", "none"},
        // Escapes.
        {0, "TextEvent \"\\SOH\\SO\\&H\\^A\\^[\\x41\\X41\"", "none"},
        {0, "TextEvent \"\\SOH\\SO\\&H\\^A\\^[\\x4a\\o101\\65\\DEL\\SP\\BEL\\NUL\\&1\"",
         "TextEvent \"\\SOH\\SO\\&H\\SOH\\ESCJAA\\DEL \\a\\NUL1\"|"},
        {0, "TextEvent \"a\\  \n\t \\b\\&\"", "TextEvent \"ab\"|"},
        {0, "TextEvent \"a\\ b\"", "none"},
        {0, "TextEvent \"\\2334\"", "TextEvent \"\\224\\164\\158\"|"},  // one code, 2334
        {0, "TextEvent \"\\233\\&4\"", "TextEvent \"\\233\\&4\"|"},
        {0, "TextEvent \"\\1114112\"", "none"},
        {0, "TextEvent \"\\x\"", "none"},
        {0, "TextEvent \"\\^a\"", "none"},
        {0, "TextEvent \"\\q\"", "none"},
        // A code above 255 becomes its UTF-8 bytes.
        {0, "TextEvent \"\\1114111\\x100\"", "TextEvent \"\\244\\143\\191\\191\\196\\128\"|"},
    };
    for (const Case& c : cases) EXPECT_EQ(readOne(c.prec, c.text), c.read) << c.text;
}

TEST(EventReader, Lists) {
    auto one = [](std::string_view text) {
        auto rs = readsEventList(text);
        if (rs.size() != 1) return std::string("none");
        return showListText(rs[0].first) + "|" + std::string(rs[0].second);
    };
    EXPECT_EQ(one("[]"), "[]|");
    EXPECT_EQ(one(" (( [ ] )) ]"), "[]| ]");
    EXPECT_EQ(one("[EndEvent \"a\", (TextEvent \"b\") ,GERefEvent\"c\"] x"),
              "[EndEvent \"a\",TextEvent \"b\",GERefEvent \"c\"]| x");
    EXPECT_EQ(one("[EndEvent \"a\",]"), "none");
    EXPECT_EQ(one("[EndEvent \"a\""), "none");
    EXPECT_EQ(one("EndEvent \"a\""), "none");
}

}  // namespace
}  // namespace axf::xml
