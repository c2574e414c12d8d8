// XML text output of events and trees.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "common/Fatal.h"
#include "common/Output.h"
#include "xml/XML.h"
#include "xml/XMLPrint.h"
#include "xml/XMLTree.h"

namespace axf::xml {
namespace {

XMLEvent S(std::string n, AttList atts = {}) { return StartEvent{std::move(n), readyAttributes(atts)}; }

// What fn writes to standard output through the buffered writer.
template <class Fn>
std::string captured(Fn fn) {
    testing::internal::CaptureStdout();
    try {
        fn();
    } catch (...) {
        axf::out().flush();
        testing::internal::GetCapturedStdout();
        throw;
    }
    axf::out().flush();
    return testing::internal::GetCapturedStdout();
}

TEST(ShowEvent, EachKind) {
    const std::string nasty = "q\"a&p'l<g>";
    const std::vector<std::pair<XMLEvent, std::string>> cases = {
        {S("a"), "<a>"},
        {S("a", {{"x", "1"}, {"y", ""}}), "<a x=\"1\" y=\"\">"},
        {S("a", {{"v", nasty}}), "<a v=\"q&quot;a&amp;p&apos;l&lt;g&gt;\">"},
        {EmptyEvent{"b", readyAttributes({{"k", "<>"}})}, "<b k=\"&lt;&gt;\"/>"},
        {EmptyEvent{"b", {}}, "<b/>"},
        {EndEvent{"a"}, "</a\n>"},
        {TextEvent{nasty}, "q\"a&amp;p'l&lt;g&gt;"},
        {TextEvent{"\n\xe9\t"}, "\n\xe9\t"},
        {PIEvent{"t", ""}, "<?t?>"},
        {PIEvent{"t", " x"}, "<?t  x?>"},
        {PIEvent{"t", "a<&"}, "<?t a<&?>"},
        {GERefEvent{"amp"}, "&amp;"},
        {CommentEvent{" <&> "}, "<!-- <&> -->"},
    };
    for (const auto& [ev, text] : cases) EXPECT_EQ(showEvent(ev), text) << text;
    EXPECT_EQ(showEvent(EndEvent{"a"}).size(), 5u);

    try {
        showEvent(ErrorEvent{"stop"});
        FAIL();
    } catch (const Fatal& e) {
        EXPECT_STREQ(e.what(), "stop");
    }
}

TEST(ShowEvents, SequencesAndStandardOutput) {
    const std::vector<XMLEvent> evs = {S("a"), TextEvent{"x"}, EndEvent{"a"}, CommentEvent{"c"}};
    EXPECT_EQ(showEvents(evs), "<a>x</a\n><!--c-->");
    EXPECT_EQ(showEvents(eventsOf(evs)), "<a>x</a\n><!--c-->");
    EXPECT_EQ(showEvents(std::vector<XMLEvent>{}), "");
    EXPECT_EQ(captured([] { printEvents(std::vector<XMLEvent>{}); }), "");
    EXPECT_EQ(captured([&] { printEvents(evs); }), "<a>x</a\n><!--c-->");
    EXPECT_EQ(captured([&] { printEvent(evs[2]); }), "</a\n>");

    // Events before an error are written, in order, before the run stops.
    testing::internal::CaptureStdout();
    EXPECT_THROW(printEvents(eventsOf({S("a"), TextEvent{"x"}, ErrorEvent{"bad"}, TextEvent{"y"}})), Fatal);
    axf::out().flush();
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "<a>x");
}

TEST(ShowXML, TreesAndThePrintedEventsOfTrees) {
    const Tree* emptyRoot = leafNode(RTNode{});
    struct Case {
        const Tree* tree;
        std::string shown;    // showXML
        std::string printed;  // printXML
    };
    const std::vector<Case> cases = {
        {emptyRoot, "", ""},
        {leafNode(ELNode{"e", {{"a", "\"'"}}}), "<e a=\"&quot;&apos;\"/>", "<e a=\"&quot;&apos;\"></e\n>"},
        // An element whose only child writes nothing still has children.
        {elem("a", {emptyRoot}), "<a></a\n>", "<a></a\n>"},
        // Only the text node's own text is written.
        {makeTree(TXNode{"1<2"}, {elem("x")}), "1&lt;2", "1&lt;2"},
        {makeTree(RTNode{}, {leafNode(PINode{"xml", "v"}),
                             elem("r", {text("t&"), leafNode(ENNode{"e"}), leafNode(CXNode{"c"}), elem("k")})}),
         "<?xml v?><r>t&amp;&e;<!--c--><k/></r\n>", "<?xml v?><r>t&amp;&e;<!--c--><k></k\n></r\n>"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.shown);
        EXPECT_EQ(showXML(c.tree), c.shown);
        EXPECT_EQ(captured([&] { printXML(c.tree); }), c.printed);
        EXPECT_EQ(showEvents(serializeTree(c.tree)), c.printed);
    }
}

TEST(ShowXML, TreesBuiltOnRequest) {
    LazyTree doc = parseXML("<a><b x='1'/>t</a>");
    EXPECT_EQ(showXML(doc), "<a><b x=\"1\"/>t</a\n>");
    EXPECT_EQ(captured([&] { printXML(doc); }), "<a><b x=\"1\"></b\n>t</a\n>");

    // A prolog that does not parse: nothing of the tree is written.
    testing::internal::CaptureStdout();
    try {
        printXML(parseXML("<!ENTITY e 'x'><a/>"));
        ADD_FAILURE();
    } catch (const Fatal& e) {
        EXPECT_STREQ(e.what(), "Error parsing prolog");
    }
    axf::out().flush();
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "");

    // A failure further on: what comes before it reaches the sink.
    StringSink sink;
    EXPECT_THROW(writeXML(sink, parseXML("<a>ok</a><b>&#1F;</b>")), Fatal);
    // The element b is written once its first child is known.
    EXPECT_EQ(sink.text(), "<a>ok</a\n>");
}

}  // namespace
}  // namespace axf::xml
