// A negated rule's reduced document kept as removed positions over the
// indexed document (query::RemovalOverlay) and printed straight from the
// document's nodes, against removing from the built document tree
// (query::DocumentEditor) and printing that tree.
#include <gtest/gtest.h>

#include <memory>
#include <random>
#include <string>
#include <vector>

#include "app/ResultPrinter.h"
#include "app/RuleEvaluation.h"
#include "common/LargeStack.h"
#include "common/Output.h"
#include "index/DocumentIndexer.h"
#include "query/MatchRemoval.h"
#include "query/NodeLabel.h"
#include "xml/Show.h"

namespace {

using axf::index::DocumentTree;
using axf::index::IndexedDocument;
using axf::xml::Tree;
using axf::xml::TreeList;
namespace app = axf::app;
namespace query = axf::query;
namespace xml = axf::xml;

// A random document of vocabulary names, with attributes (some blank) and
// texts, and at times a bare text or a leaf element at the top.
const char* const kNames[] = {"site", "person", "name", "item", "parlist", "listitem"};
const char* const kTexts[] = {"Ann", "x^y", "a & b", "12", "a text long enough to be written on three lines"};

std::string randomDocument(std::mt19937& rng, int depth) {
    auto pick = [&](int n) { return std::uniform_int_distribution<int>(0, n - 1)(rng); };
    std::string out;
    auto element = [&](auto&& self, int d) -> void {
        std::string name = kNames[pick(6)];
        out += "<" + name;
        if (pick(3) == 0) out += pick(3) == 0 ? " id=\" \"" : " id=\"v" + std::to_string(pick(3)) + "\"";
        out += ">";
        int n = d > 0 ? pick(4) : 0;
        for (int i = 0; i < n; ++i) {
            if (pick(3) == 0) {
                std::string t = kTexts[pick(5)];
                out += t == "a & b" ? "a &amp; b" : t;
            } else
                self(self, d - 1);
        }
        out += "</" + name + ">";
    };
    element(element, depth);
    return out;
}

// A random embedding over the document: a node and, below it, some of its
// descendants that do not nest, each numbered in preorder from `q`.
const Tree* randomEmbedding(const DocumentTree& d, std::mt19937& rng, std::int64_t p, std::int64_t& q, int depth) {
    auto pick = [&](std::int64_t n) { return std::uniform_int_distribution<std::int64_t>(0, n - 1)(rng); };
    std::string label = query::makeLabel(d.label(p), q++, p);
    if (d.isText(p)) return xml::text(std::move(label));
    TreeList kids;
    std::int64_t from = p + 1;
    for (int k = depth > 0 ? int(pick(3)) : 0; k > 0 && from <= d.last(p); --k) {
        std::int64_t c = from + pick(d.last(p) - from + 1);
        kids.push_back(randomEmbedding(d, rng, c, q, depth - 1));
        from = d.last(c) + 1;
    }
    return xml::makeTree(xml::ELNode{std::move(label), {}}, kids);
}

// The embedding's nodes with their numbers and positions, in preorder.
void nodesOf(const Tree* e, std::vector<std::pair<std::int64_t, std::int64_t>>& out) {
    std::string label = query::rootLabelComponent(e, 1);
    if (label != "and")
        out.emplace_back(query::readLabelNumber(query::rootLabelComponent(e, 2)),
                         query::readLabelNumber(query::rootLabelComponent(e, 3)));
    for (const Tree* c : e->children()) nodesOf(c, out);
}

std::string printedOld(const Tree* remaining, int flag) {
    app::ResultDocument doc;
    doc.tree = xml::makeTree(xml::ELNode{"0000", {}}, {remaining});
    doc.cutBelowRoot = true;
    return app::showResultDocument(0, flag, doc);
}

std::string printedNew(const std::shared_ptr<query::RemovalOverlay>& overlay, int flag) {
    app::ResultDocument doc;
    doc.reduced = overlay;
    return app::showResultDocument(0, flag, doc);
}

TEST(ReducedDocument, RemovalsByPositionAgreeWithRemovalsFromTheTree) {
    std::mt19937 rng(251211);
    int emptied = 0;
    for (int round = 0; round < 400; ++round) {
        std::string text = randomDocument(rng, 1 + round % 5);
        SCOPED_TRACE("round " + std::to_string(round) + ": " + text);
        IndexedDocument doc = axf::index::parseText(text);
        const DocumentTree& d = doc.tree;
        ASSERT_TRUE(d.byPosition());
        query::DocumentEditor editor(d.root());
        auto overlay = std::make_shared<query::RemovalOverlay>(d);
        auto pick = [&](std::int64_t n) { return std::uniform_int_distribution<std::int64_t>(0, n - 1)(rng); };
        for (int step = 0; step < 6; ++step) {
            // One embedding, or two under a boolean root.
            std::int64_t q = 2;
            const Tree* e = randomEmbedding(d, rng, 1 + pick(d.last(1)), q, 3);
            if (pick(4) == 0)
                e = xml::makeTree(xml::ELNode{"and^1^0", {}}, {e, randomEmbedding(d, rng, 1 + pick(d.last(1)), q, 2)});
            // Bindings on some of its nodes, to some of the current sons there.
            std::vector<std::pair<std::int64_t, std::int64_t>> nodes;
            nodesOf(e, nodes);
            std::vector<query::NodeBinding> oldB, newB;
            for (const auto& [number, p] : nodes) {
                if (pick(2) == 0) continue;
                TreeList oldSons = editor.findSons(p), newSons = overlay->findSons(p);
                ASSERT_EQ(xml::showText(xml::makeTree(xml::ELNode{"sons", {}}, oldSons)),
                          xml::showText(xml::makeTree(xml::ELNode{"sons", {}}, newSons)))
                    << p;
                query::NodeBinding ob{number, {}}, nb{number, {}};
                for (std::size_t i = 0; i < oldSons.size(); ++i)
                    if (pick(3) != 0) {
                        ob.subtrees.push_back(oldSons[i]);
                        nb.subtrees.push_back(newSons[i]);
                    }
                oldB.push_back(std::move(ob));
                newB.push_back(std::move(nb));
            }
            SCOPED_TRACE("step " + std::to_string(step) + ": " + xml::showText(e));
            editor.remove(e, oldB);
            overlay->remove(e, newB);
            ASSERT_EQ(xml::showText(overlay->current()), xml::showText(editor.current()));
        }
        for (int flag : {1, 0}) EXPECT_EQ(printedNew(overlay, flag), printedOld(editor.current(), flag)) << "flag " << flag;
        emptied += overlay->rootRemoved();
    }
    EXPECT_GT(emptied, 10);
}

TEST(ReducedDocument, TextAndLeafDocuments) {
    for (const char* text : {"<site/>", "<site id=\"1\"/>", "<site>hello</site>"}) {
        SCOPED_TRACE(text);
        IndexedDocument doc = axf::index::parseText(text);
        auto overlay = std::make_shared<query::RemovalOverlay>(doc.tree);
        EXPECT_EQ(printedNew(overlay, 1), printedOld(doc.tree.root(), 1));
        overlay->remove(xml::elem(query::makeLabel(doc.tree.label(1), 2, 1)), {});
        EXPECT_EQ(printedNew(overlay, 1), "<Results>empty text</Results>\n");
    }
}

TEST(ReducedDocument, DeepDocumentPrintsOnAnOrdinaryStack) {
    const int depth = 100000;
    std::string text;
    for (int i = 0; i < depth; ++i) text += "<parlist>";
    text += "<text>deep</text>";
    for (int i = 0; i < depth; ++i) text += "</parlist>";
    IndexedDocument doc = axf::index::parseText(text);
    auto overlay = std::make_shared<query::RemovalOverlay>(doc.tree);
    // The text element at the bottom goes, and the chain stays.
    std::int64_t bottom = depth + 1;
    overlay->remove(xml::elem(query::makeLabel("text", 2, bottom)), {});
    // The indentation alone is quadratic: the sink keeps the lines, not the
    // blanks.
    struct Lines : axf::Sink {
        std::vector<std::string> lines{""};
        std::size_t blanks = 0;
        void write(std::string_view t) override {
            for (char c : t) {
                if (c == '\n')
                    lines.emplace_back();
                else
                    lines.back() += c;
            }
        }
        void spaces(std::size_t n) override { blanks += n; }
    } sink;
    app::ResultDocument result;
    result.reduced = overlay;
    app::writeResultDocument(0, true, result, sink);
    ASSERT_EQ(sink.lines.size(), std::size_t(2 * depth + 2));
    EXPECT_EQ(sink.lines[depth], "<parlist/>");
    EXPECT_EQ(sink.lines[depth + 1], "</parlist>");
    EXPECT_EQ(sink.blanks, std::size_t(3) * depth * depth);
}

}  // namespace
