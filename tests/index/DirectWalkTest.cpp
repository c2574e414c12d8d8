// The direct walk over the text against the walk of the event parser's
// events: the same tree, mapping, indexes and position, or the same failure,
// on documents of every shape, malformed ones included.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "common/LargeStack.h"
#include "index/DocumentIndexer.h"
#include "xml/XMLParse.h"

namespace {

using namespace axf::index;

void describeIndex(const Index& index, std::string& out) {
    for (const IndexEntry& e : index.entries()) {
        out += '[';
        out += e.key;
        out += ']';
        for (const EmbeddingEntry& x : e.exact) {
            out += ' ' + std::to_string(x.position) + '/' + std::to_string(x.depth) + '/' + std::to_string(x.last) + '/' +
                   std::to_string(x.renamingCost) + '/' + std::to_string(x.cost) + ':';
            axf::xml::showAt(0, x.tree, out);
        }
        out += '\n';
    }
}

std::string describe(const BuildResult& r) {
    std::string out = "reached " + std::to_string(r.reachedEnd) + " last " + std::to_string(r.lastPosition) + '\n';
    axf::xml::showAt(0, r.tree, out);
    out += "\nmapping";
    for (std::string_view m : r.mapping) {
        out += " |";
        out += m;
    }
    out += "\nelements\n";
    describeIndex(r.elementIndex, out);
    out += "texts\n";
    describeIndex(r.textIndex, out);
    return out;
}

// The walk as the event parser gives it, with the check for an early stop.
std::string byEvents(const std::string& text) {
    try {
        std::string prepared = removeLineBreaksAndTabs(text);
        axf::xml::DocumentEvents events = axf::xml::parseDocument(prepared);
        BuildResult r = buildIndexes([&events] { return events.next(); });
        if (r.reachedEnd && events.stop().early)
            throw axf::Fatal("Attention: malformed document at byte " +
                             std::to_string(originalOffset(text, events.stop().offset)) + ": " + events.stop().token);
        return describe(r);
    } catch (const axf::Fatal& f) {
        return std::string("fatal: ") + f.what();
    }
}

std::string direct(const std::string& text) {
    try {
        std::string prepared = removeLineBreaksAndTabs(text);
        return describe(buildIndexesDirect(prepared, text));
    } catch (const axf::Fatal& f) {
        return std::string("fatal: ") + f.what();
    }
}

TEST(DirectWalk, SameAsEventsOnChosenDocuments) {
    const std::vector<std::string> docs = {
        "",
        " \n\t\r ",
        "<?xml version=\"1.0\"?>\n<site>\n<item id=\"i1\" featured='yes'><name>Pen &amp; ink</name></item></site>\n",
        "<?xml version=\"1.0\"?><?second pi?><site/>",
        "<!DOCTYPE site SYSTEM \"a.dtd\"><site><x/></site>",
        "<?xml?><!-- c --><site a=b c = 'd&lt;e' f=\"&#65;&#x42;\"/>",
        "<site><!-- a - b --  ><?pi ? x?>t\r<name  >x</name >\xa0y</site>",
        "<site>&#32;&#10;a&#233;&#x100;b&quot;&apos;&gt;</site>",
        "<site></site></other>trailing < junk",
        "<site></site><site>x</site>",
        "<site><a><b>unclosed",
        "x<site/>y",
        "< site >< /site>",
        "<site><![CDATA[a<b]]>c</site>",
        "<site><!ELEMENT x>y</site>",
        "<site><!-- x -- y --></site>",
        "<site><!-- open",
        "<site><?pi open",
        "<site a='1' b></site>",
        "<site a='unterminated></site>",
        "<site a=-1/>",
        "<site/ >",
        "<site>&nbsp;</site>",
        "<site>&amp</site>",
        "<site>&;</site>",
        "<site>&#xZZ;</site>",
        "<site>&#99999999;</site>",
        "<site>&#12",
        "<site a='&nbsp;'/>",
        "<site a='&#xG;' b='&bad;'/>",
        "<site a='&bad;' <",
        "<site>x</site><",
        "<site><]]></site>",
        "<site>\n  <text>two\nlines\tand tab</text>\n</site>\n",
        "<site a='x\ny\tz'/>",
        "<site>@at text</site><site>@at text</site>",
        "<site><a x='@v'/></site>",
        "<site></a></b></site>",
        "<!-- before --><site/>",
        "<?pi?> <!DOCTYPE site> <site/>",
        "<?pi never closed <site/>",
        "<site>x</site >   ",
        "<site>\x01\x7f\xff</site>",
        "<![CDATA[]]><?pi x<site/>",
        "<![CDATA[ ]]><?pi?><site/>",
        "<?pi?><![CDATA[]]><!DOCTYPE site><site/>",
        " <![CDATA[x]]> <site/>",
    };
    for (const std::string& d : docs) EXPECT_EQ(direct(d), byEvents(d)) << d;
    const std::string withNul("<a>x</a><![CDATA\0\0[ab", 22);
    EXPECT_EQ(direct(withNul), byEvents(withNul));
    EXPECT_EQ(direct("<site>\n<item>x</item>\n<</site>"), "fatal: Attention: malformed document at byte 22: <");
}

// A small deterministic generator of documents from pieces of markup, well-
// formed and not.
class Pieces {
public:
    explicit Pieces(std::uint64_t seed) : state_(seed) {}
    std::string document() {
        static const std::vector<std::string> pieces = {
            "<site>",
            "</site>",
            "<item id=\"7\">",
            "</item>",
            "<name>",
            "</name>",
            "<a/>",
            "<b x='1' y=z/>",
            "text",
            " ",
            "\n",
            "\t",
            "\r",
            "&amp;",
            "&lt;",
            "&#65;",
            "&#x3b1;",
            "&nope;",
            "&#;",
            "&",
            "<",
            ">",
            "<!-- c -->",
            "<?p i?>",
            "<![CDATA[x]]>",
            "<!X>",
            "'",
            "\"",
            "=",
            "/",
            "?>",
            "-->",
            "--",
            "]]>",
            "<?xml version='1.0'?>",
            "<!DOCTYPE site>",
            "@",
            "\xa0",
            "<![CDATA[]]>",
            "<c a='&amp;&#66;'>",
            "</c>",
            "< d >",
            "</ d >",
        };
        std::string out;
        const std::uint64_t count = next(24);
        for (std::uint64_t i = 0; i < count; ++i) out += pieces[next(pieces.size())];
        return out;
    }

private:
    std::uint64_t next(std::uint64_t n) {
        state_ = state_ * 6364136223846793005ULL + 1442695040888963407ULL;
        return (state_ >> 33) % n;
    }
    std::uint64_t state_;
};

TEST(DirectWalk, SameAsEventsOnGeneratedDocuments) {
    Pieces gen(20261210);
    for (int i = 0; i < 20000; ++i) {
        const std::string d = gen.document();
        const std::string a = direct(d);
        const std::string b = byEvents(d);
        ASSERT_EQ(a, b) << "document: " << d;
    }
}

TEST(DirectWalk, DeepDocument) {
    axf::runWithLargeStack([] {
        std::string d;
        const int depth = 100000;
        for (int i = 0; i < depth; ++i) d += "<a x='1'>";
        d += "t";
        for (int i = 0; i < depth; ++i) d += "</a>";
        std::string prepared = removeLineBreaksAndTabs(d);
        BuildResult r = buildIndexesDirect(prepared, d);
        EXPECT_EQ(r.lastPosition, 3 * depth + 1);
        EXPECT_TRUE(r.reachedEnd);
    });
}

}  // namespace
