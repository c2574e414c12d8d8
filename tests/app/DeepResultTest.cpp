// Statements whose result is as deep as the document, run whole on an
// ordinary 8 MiB stack: a variable binds a chain of 100,000 nested elements,
// which the listing statements print, the conditions read as a text, and the
// negated filter removes.
#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <string>
#include <utility>
#include <vector>

#include "app/FilterRun.h"
#include "app/ResultPrinter.h"
#include "app/ResultPrinterInternal.h"
#include "common/Output.h"
#include "tests/support/OrdinaryStack.h"
#include "xml/XML.h"

namespace {

constexpr int kDepth = 100000;

// The output as lines of (indentation, text): the indentation alone is
// quadratic in the depth, so blanks are counted, not kept.
struct Lines : axf::Sink {
    std::vector<std::pair<std::size_t, std::string>> lines{{0, ""}};
    void write(std::string_view t) override {
        for (char c : t) {
            if (c == '\n')
                lines.emplace_back(0, "");
            else
                lines.back().second += c;
        }
    }
    void spaces(std::size_t n) override { lines.back().first += n; }
};

using Shape = std::vector<std::pair<std::size_t, std::string>>;

// An element over one text, at an indentation of `blanks`: one line, or
// three where the line would pass 80 columns.
void addTextElement(Shape& out, std::size_t blanks, const std::string& open, const std::string& name, const std::string& text) {
    if (blanks + 2 * name.size() + text.size() + 5 <= 80) {
        out.emplace_back(blanks, open + text + "</" + name + ">");
        return;
    }
    out.insert(out.end(), {{blanks, open}, {blanks + 3, text}, {blanks, "</" + name + ">"}});
}

// site over the chain of `depth` persons over <name>x</name>, at `level`.
void addChain(Shape& out, std::size_t level, int depth) {
    out.emplace_back(3 * level, "<site>");
    for (int i = 1; i <= depth; ++i) out.emplace_back(3 * (level + std::size_t(i)), "<person>");
    addTextElement(out, 3 * (level + std::size_t(depth) + 1), "<name>", "name", "x");
    for (int i = depth; i >= 1; --i) out.emplace_back(3 * (level + std::size_t(i)), "</person>");
    out.emplace_back(3 * level, "</site>");
}

class DeepDocument : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        char name[] = "/tmp/axf_deep_XXXXXX";
        int fd = mkstemp(name);
        ASSERT_GE(fd, 0);
        close(fd);
        path_ = name;
        std::ofstream f(path_);
        f << "<site>";
        for (int i = 0; i < kDepth; ++i) f << "<person>";
        f << "<name>x</name>";
        for (int i = 0; i < kDepth; ++i) f << "</person>";
        f << "</site>";
    }
    static void TearDownTestSuite() { std::remove(path_.c_str()); }
    static std::string path_;
};
std::string DeepDocument::path_;

TEST_F(DeepDocument, EveryStatementEndsOnAnOrdinaryStack) {
    Shape plain{{0, "<Results>"}};
    addChain(plain, 1, kDepth);
    plain.emplace_back(0, "</Results>");
    Shape ranked{{0, "<Results>"}, {3, "<Query Rank rank=\"0\"/>"}};
    addChain(ranked, 1, kDepth);
    ranked.emplace_back(0, "</Results>");
    Shape joined{{0, "<Results>"}, {3, "<ResultQuery>"}};
    addChain(joined, 2, kDepth);
    joined.insert(joined.end(), {{6, "<name>x</name>"}, {3, "</ResultQuery>"}, {0, "</Results>"}});
    Shape joinedRanked = joined;
    joinedRanked.insert(joinedRanked.begin() + 1, {3, "<Query Rank rank=\"0\"/>"});

    const std::string file = " in file '" + path_ + "'";
    const struct {
        std::string filter;
        Shape shape;
    } cases[] = {
        {"filterAllExact site(X)" + file, plain},
        {"filterBestExact site(X)" + file, plain},
        {"filterAllBest site(X)" + file, ranked},
        {"filterOneBest site(X)" + file, ranked},
        {"filterAllExact and(site(X), name(Y))" + file, joined},
        {"filterAllBest or(site(X), name(Y))" + file, joinedRanked},
        {"filterAllExact site(X)" + file + " where &X match .*x.*&",
         {{0, "<Results>"}, {3, "<site>x </site>"}, {0, "</Results>"}}},
        {"filterAllExact site(X)" + file + " (N)", {{0, "<Results>empty text</Results>"}}},
        {"filterAllBest person(X)" + file + " where &X match x.*& (N)", {{0, "<Results>"}, {3, "<site/>"}, {0, "</Results>"}}},
        {"count (filterAllExact site(X)" + file + ")", {{0, "<Results Embedding Num=\"1\"/>"}}},
        {"count (filterAllBest person(X)" + file + " where &X match .*x.*&)", {{0, "<Results Embedding Num=\"100000\"/>"}}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.filter);
        Lines out;
        int status = -1;
        axf::testsupport::runOnStack([&] { status = axf::app::filterXML(c.filter, out); });
        EXPECT_EQ(status, 0);
        // The result, then an empty line, the time lines and the last line end.
        ASSERT_EQ(out.lines.size(), c.shape.size() + 4);
        out.lines.resize(c.shape.size());
        EXPECT_TRUE(out.lines == c.shape);
    }
}

TEST(DeepCutPrinter, DocumentTreeAsDeepAsTheDocumentPrintsOnAnOrdinaryStack) {
    // Labels as the document gives them (name^position), an '@' element at
    // the bottom: the printer cuts the labels and turns the attribute.
    const axf::xml::Tree* t =
        axf::xml::elem("name^9", {axf::xml::elem("@id^7", {axf::xml::text("p1^8")}), axf::xml::text("x^10")});
    for (int i = kDepth; i >= 1; --i) {
        std::string label = "person^";
        label += std::to_string(i);
        t = axf::xml::elem(label, {t});
    }
    Lines out;
    axf::testsupport::runOnStack([&] { axf::app::writeCutFormattedXML(0, true, t, out); });
    Shape expected;
    for (int i = 0; i < kDepth; ++i) expected.emplace_back(3 * std::size_t(i), "<person>");
    addTextElement(expected, 3 * std::size_t(kDepth), "<name id=\"p1\">", "name", "x");
    for (int i = kDepth - 1; i >= 0; --i) expected.emplace_back(3 * std::size_t(i), "</person>");
    ASSERT_EQ(out.lines.size(), expected.size() + 1);
    out.lines.pop_back();
    EXPECT_TRUE(out.lines == expected);
}

}  // namespace
