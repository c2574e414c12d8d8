// The document tree built on request, and the element index merged one key
// at a time, against the whole tree and the whole merge.
#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <string>
#include <utility>
#include <variant>
#include <vector>

#include "common/LargeStack.h"
#include "index/DocumentIndexer.h"
#include "index/ElementIndexInternal.h"
#include "query/MatchRemoval.h"
#include "xml/Show.h"

namespace {

using namespace axf::index;

std::string shown(const axf::xml::Tree* t) {
    std::string s;
    axf::xml::showAt(0, t, s);
    return s;
}

std::string shown(const axf::xml::TreeList& trees) {
    std::string s;
    for (const axf::xml::Tree* t : trees) s += shown(t) + ";";
    return s;
}

// Random documents of the vocabulary's names, with attributes, blank and
// '@' texts, empty elements and deep runs.
std::string randomDocument(std::mt19937& rng) {
    static const char* const names[] = {"site", "person", "persona", "name", "nome", "item", "articolo", "age"};
    std::string doc = "<site>";
    int open = 1;
    std::vector<std::string> stack{"site"};
    const int steps = std::uniform_int_distribution<int>(0, 60)(rng);
    for (int i = 0; i < steps; ++i) {
        switch (std::uniform_int_distribution<int>(0, 5)(rng)) {
            case 0:
            case 1: {
                std::string n = names[rng() % 8];
                doc += "<" + n + (rng() % 3 == 0 ? " id=\"v" + std::to_string(i) + "\" age=\"\"" : "") + ">";
                stack.push_back(n);
                ++open;
                break;
            }
            case 2: doc += "<" + std::string(names[rng() % 8]) + (rng() % 2 ? " name=\"n^\\\"" : "") + "/>"; break;
            case 3:
                // Followed by an element, so that texts never run together.
                doc += rng() % 4 == 0 ? " \n " : (rng() % 3 == 0 ? "@nome" : "t^" + std::to_string(i));
                doc += "<age/>";
                break;
            default:
                if (open > 1) {
                    doc += "</" + stack.back() + ">";
                    stack.pop_back();
                    --open;
                }
        }
    }
    while (!stack.empty()) {
        doc += "</" + stack.back() + ">";
        stack.pop_back();
    }
    return doc;
}

TEST(DocumentTree, SonsAreThoseOfTheWholeTreeAndShareItsNodes) {
    std::mt19937 rng(7);
    for (int round = 0; round < 300; ++round) {
        const std::string text = randomDocument(rng);
        // Sons asked for before the whole tree exists, then the whole tree.
        IndexedDocument lazy = parseText(text);
        const std::int64_t n = std::int64_t(lazy.mapping.size());
        std::vector<axf::xml::TreeList> early;
        for (std::int64_t p = -1; p <= n + 1; p += 3) early.push_back(lazy.tree.sons(p));
        const axf::xml::Tree* root = lazy.tree.root();

        IndexedDocument whole = parseText(text);
        ASSERT_EQ(shown(whole.tree.root()), shown(root)) << text;
        std::size_t k = 0;
        for (std::int64_t p = -1; p <= n + 1; ++p) {
            const axf::xml::TreeList expected = axf::query::findSons(whole.tree.root(), p);
            const axf::xml::TreeList got = whole.tree.sons(p);
            ASSERT_EQ(shown(got), shown(expected)) << text << " at " << p;
            // Nodes are made once: the sons are the whole tree's own nodes.
            ASSERT_EQ(got, expected);
            if ((p + 1) % 3 == 0) {
                ASSERT_EQ(shown(early[k]), shown(expected)) << text << " at " << p;
                ASSERT_EQ(early[k++], axf::query::findSons(root, p));
            }
        }
    }
}

TEST(DocumentTree, EdgesOfTheTopLevel) {
    // No node: the tree "empty", answered by the tree alone.
    IndexedDocument none = parseText("<?xml version=\"1.0\"?>\n<!-- nothing -->");
    EXPECT_FALSE(none.tree.byPosition());
    EXPECT_EQ(shown(none.tree.root()), shown(axf::xml::elem("empty")));
    EXPECT_THROW(none.tree.sons(1), axf::InternalError);

    // A top-level element without children, then a text.
    IndexedDocument leaf = parseText("<a/>");
    EXPECT_EQ(shown(leaf.tree.root()), "Tree (ELNode \"a^1\" []) []");
    EXPECT_TRUE(leaf.tree.sons(1).empty());
    EXPECT_TRUE(leaf.tree.sons(2).empty());
}

TEST(DocumentTree, ElementsPastAWordKeepTheirCountAside) {
    DocumentTree::LargeCounts large;
    EXPECT_EQ(DocumentTree::elementWord(5, 3, large), 6u);
    EXPECT_EQ(DocumentTree::elementWord(6, 0x7FFFFFFE, large), 0xFFFFFFFCu);  // the largest a word holds
    EXPECT_EQ(DocumentTree::elementWord(7, 0x7FFFFFFF, large), DocumentTree::kLargeWord);
    EXPECT_EQ(DocumentTree::elementWord(9, std::int64_t(1) << 40, large), DocumentTree::kLargeWord);
    EXPECT_EQ(large, (DocumentTree::LargeCounts{{7, 0x7FFFFFFF}, {9, std::int64_t(1) << 40}}));

    // <a><b/>t</a> with a's count kept aside reads as with its word.
    const Mapping labels{"", "a", "b", "t"};
    DocumentTree aside(labels, {0, DocumentTree::kLargeWord, 0, DocumentTree::kTextWord}, {{1, 2}});
    DocumentTree inWord(labels, {0, 4, 0, DocumentTree::kTextWord});
    EXPECT_EQ(aside.last(1), 3);
    EXPECT_EQ(shown(aside.root()), shown(inWord.root()));
    EXPECT_EQ(shown(aside.sons(1)), shown(inWord.sons(1)));
    const TextIndex texts(aside);
    ASSERT_NE(texts.find("t"), nullptr);
    EXPECT_EQ(texts.find("t")->exact.at(0).depth, 2);
}

TEST(DocumentTree, DeepDocumentsAreBuiltWithoutRecursion) {
    const int depth = 100000;
    std::string text;
    for (int i = 0; i < depth; ++i) text += "<a>";
    text += "x";
    for (int i = 0; i < depth; ++i) text += "</a>";
    IndexedDocument doc = parseText(text);
    ASSERT_EQ(doc.tree.sons(depth).size(), 1u);  // the innermost a holds the text
    EXPECT_EQ(shown(doc.tree.sons(depth)), "Tree (TXNode \"x^100001\") [];");
    const axf::xml::Tree* t = doc.tree.root();
    for (int i = 1; i < depth; ++i) t = t->kids[0];
    EXPECT_EQ(t, doc.tree.sons(depth - 1)[0]);
}

// The text index from the document tree: every text, whatever its first
// byte, in preorder, at depth 2 per element above it.
void textsOf(const axf::xml::Tree* t, std::int64_t depth, std::vector<std::string>& out) {
    if (const auto* x = std::get_if<axf::xml::TXNode>(&t->value)) {
        out.push_back(x->text + " at " + std::to_string(depth));
        return;
    }
    for (const axf::xml::Tree* c : t->children()) textsOf(c, depth + 2, out);
}

TEST(TextIndex, MadeOnFirstReadWithTheTreesTextsAndDepths) {
    std::mt19937 rng(5);
    for (int round = 0; round < 200; ++round) {
        const std::string text = randomDocument(rng);
        IndexedDocument doc = parseText(text);
        EXPECT_FALSE(doc.textIndex.isMade());
        std::vector<std::string> expected;
        textsOf(doc.tree.root(), 0, expected);
        std::vector<std::pair<std::int64_t, std::string>> filed;
        for (const IndexEntry& e : doc.textIndex.entries())
            for (const EmbeddingEntry& x : e.exact) {
                ASSERT_EQ(x.last, x.position);
                filed.emplace_back(x.position, documentLabel(e.key, x.position) + " at " + std::to_string(x.depth));
            }
        std::sort(filed.begin(), filed.end());
        std::vector<std::string> got;
        for (auto& f : filed) got.push_back(f.second);
        ASSERT_EQ(got, expected) << text;
    }
}

TEST(MergedElementIndex, KeysMergedOnLookupEqualTheWholeMerge) {
    std::mt19937 rng(11);
    auto same = [](const EntryList& a, const EntryList& b) {
        if (a.size() != b.size()) return false;
        for (std::size_t i = 0; i < a.size(); ++i)
            if (a[i].position != b[i].position || a[i].renamingCost != b[i].renamingCost ||
                shown(a[i].tree) != shown(b[i].tree) || a[i].last != b[i].last || a[i].depth != b[i].depth)
                return false;
        return true;
    };
    for (int round = 0; round < 200; ++round) {
        const std::string text = randomDocument(rng);
        const Index whole = mergeIndex(buildIndexesDirect(removeLineBreaksAndTabs(text), text).elementIndex);
        IndexedDocument lazy = parseText(text);
        // Some keys looked up one at a time, then the rest at once.
        for (const IndexEntry& e : whole.entries()) {
            if (rng() % 2) continue;
            const IndexEntry* got = lazy.elementIndex.find(e.key);
            ASSERT_NE(got, nullptr);
            EXPECT_TRUE(same(got->exact, e.exact) && same(got->inexact, e.inexact)) << text << " key " << e.key;
        }
        EXPECT_EQ(lazy.elementIndex.find("absent"), nullptr);
        const Index& all = lazy.elementIndex.merged();
        ASSERT_EQ(all.size(), whole.size());
        for (std::size_t i = 0; i < all.size(); ++i) {
            EXPECT_EQ(all.entries()[i].key, whole.entries()[i].key);
            EXPECT_TRUE(same(all.entries()[i].exact, whole.entries()[i].exact) &&
                        same(all.entries()[i].inexact, whole.entries()[i].inexact))
                << text;
        }
    }
}

}  // namespace
