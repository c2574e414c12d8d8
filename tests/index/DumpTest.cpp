#include <gtest/gtest.h>

#include <cstdint>
#include <exception>
#include <functional>
#include <random>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "common/Fatal.h"
#include "common/LargeStack.h"
#include "common/Output.h"
#include "index/IndexDump.h"
#include "tests/support/OrdinaryStack.h"
#include "xml/Show.h"
#include "xml/XML.h"

namespace {

using namespace axf::index;
using axf::StringSink;
using axf::xml::AttList;
using axf::xml::Attribute;
using axf::xml::elem;
using axf::xml::ELNode;
using axf::xml::leafNode;
using axf::xml::makeTree;
using axf::xml::text;
using axf::xml::Tree;

EmbeddingEntry entry(std::int64_t pos, std::int64_t depth, std::int64_t last, std::int64_t rc, std::int64_t cost,
                     const Tree* tree) {
    return EmbeddingEntry{pos, depth, last, rc, cost, tree};
}

const Tree* el(std::string name, AttList atts, std::initializer_list<const Tree*> kids = {}) {
    return makeTree(ELNode{std::move(name), std::move(atts)}, kids);
}

// ---------------------------------------------------------------------------
// Records

TEST(RecordDump, EntriesRecordsAndPairs) {
    StringSink s;
    dumpEntry(entry(1, 0, 2, 0, 0, elem("site")), s);
    dumpEntry(entry(-3, 4, -1, 2, -7, text("x\ny\"")), s);
    EXPECT_EQ(s.text(),
              "(1, 0, 2, 0, 0)Embedd:Tree (ELNode \"site\" []) []\n"
              "(-3, 4, -1, 2, -7)Embedd:Tree (TXNode \"x\\ny\\\"\") []\n");

    // Labels and mapping texts are raw; the same characters inside the tree
    // are quoted and escaped.
    StringSink n;
    dumpRecord(SynonymRecord{"a, (b\")", entry(5, 2, 9, 0, 1, elem("a, (b\")", {text("t")}))}, n);
    EXPECT_EQ(n.text(), "(a, (b\"), 5, 2, 9, 0, 1)Embedd:Tree (ELNode \"a, (b\\\")\" []) [Tree (TXNode \"t\") []]\n");

    StringSink m;
    dumpMappingPair({12, "two words) \""}, m);
    EXPECT_EQ(m.text(), "(12, two words) \") ");
}

TEST(RecordDump, DumpEachClosesEveryListWithOneNewline) {
    StringSink empty;
    dumpEach([&](const EmbeddingEntry& e) { dumpEntry(e, empty); }, EntryList{}, empty);
    EXPECT_EQ(empty.text(), "\n");

    StringSink lines;
    dumpEach([&](const EmbeddingEntry& e) { dumpEntry(e, lines); },
             EntryList{entry(1, 0, 1, 0, 0, elem("a")), entry(2, 2, 2, 0, 0, text("b"))}, lines);
    EXPECT_EQ(lines.text(),
              "(1, 0, 1, 0, 0)Embedd:Tree (ELNode \"a\" []) []\n"
              "(2, 2, 2, 0, 0)Embedd:Tree (TXNode \"b\") []\n\n");

    StringSink pairs;
    std::vector<std::pair<std::int64_t, std::string_view>> mapping{{1, "a"}, {2, "b c"}};
    dumpEach([&](const auto& p) { dumpMappingPair(p, pairs); }, mapping, pairs);
    EXPECT_EQ(pairs.text(), "(1, a) (2, b c) \n");
}

// ---------------------------------------------------------------------------
// Index dumps

TEST(IndexDump, EntryAndSynonymGroupLayout) {
    StringSink s;
    dumpIndexEntry(IndexEntry{"k\"\n", {}, {}}, s);
    EXPECT_EQ(s.text(), "k\"\n:\nExact:\n\nInexact:\n\n\n");

    StringSink full;
    dumpIndexEntry(IndexEntry{"item", {entry(2, 2, 2, 0, 0, elem("item"))}, {entry(3, 2, 3, 2, 0, elem("articolo"))}}, full);
    EXPECT_EQ(full.text(),
              "item:\nExact:\n(2, 2, 2, 0, 0)Embedd:Tree (ELNode \"item\" []) []\n\n"
              "Inexact:\n(3, 2, 3, 2, 0)Embedd:Tree (ELNode \"articolo\" []) []\n\n\n");

    StringSink g;
    dumpSynonymGroup(SynonymIndex::value_type{"12", {}}, g);
    EXPECT_EQ(g.text(), "12: \n");
}

// The walk's five parts: element index keys in first-filing order, the
// mapping newest first, synonym classes in order of first record with their
// records newest first, then the printed tree with no newline after it.
TEST(IndexDump, WalkedTextDump) {
    StringSink s;
    dumpWalkedText("<site><item/>\n\t<articolo/></site>", s);
    EXPECT_EQ(s.text(),
              "item:\nExact:\n(2, 2, 2, 0, 0)Embedd:Tree (ELNode \"item\" []) []\n\nInexact:\n\n\n"
              "articolo:\nExact:\n(3, 2, 3, 0, 0)Embedd:Tree (ELNode \"articolo\" []) []\n\nInexact:\n\n\n"
              "site:\nExact:\n(1, 0, 3, 0, 0)Embedd:Tree (ELNode \"site\" []) []\n\nInexact:\n\n\n"
              "\n"
              "Mapping: (1, site) (3, articolo) (2, item) \n"
              "Synonym: 9: (articolo, 3, 2, 3, 0, 0)Embedd:Tree (ELNode \"articolo\" []) []\n"
              "(item, 2, 2, 2, 0, 0)Embedd:Tree (ELNode \"item\" []) []\n\n"
              "1: (site, 1, 0, 3, 0, 0)Embedd:Tree (ELNode \"site\" []) []\n\n"
              "\n"
              "\nTree (ELNode \"site^1\" []) [Tree (ELNode \"item^2\" []) [],Tree (ELNode \"articolo^3\" []) []]");
}

TEST(IndexDump, WalkPartsOfEmptyPartsAndTheLimitOfTwenty) {
    StringSink empty;
    dumpWalkParts(Index{}, Index{}, {}, SynonymIndex{}, elem("empty"), empty);
    EXPECT_EQ(empty.text(), "\nMapping: \nSynonym: \n\nTree (ELNode \"empty\" []) []");

    // 25 keys of 25 classes: the first 20 of each show, the mapping whole;
    // the text index never shows.
    const std::vector<std::string> names{"africa",     "asia",       "australia", "samerica", "namerica",   "parlist", "listitem",
                                         "shipping",   "incategory", "mailbox",   "mail",     "from",       "to",      "date",
                                         "categories", "category",   "catgraph",  "edge",     "creditcard", "watches", "watch",
                                         "address",    "street",     "city",      "country"};
    std::string doc = "<site>";
    for (const auto& n : names) doc += "<" + n + ">t" + n + "</" + n + ">";
    doc += "</site>";
    StringSink s;
    dumpWalkedText(doc, s);
    const std::string& out = s.text();
    auto keyShown = [&](const std::string& n) {
        return out.find("\n" + n + ":\nExact:") != std::string::npos || out.rfind(n + ":\nExact:", 0) == 0;
    };
    auto classShown = [&](const std::string& n) { return out.find(": (" + n + ", ") != std::string::npos; };
    for (std::size_t i = 0; i < names.size(); ++i) {
        EXPECT_EQ(keyShown(names[i]), i < 20) << names[i];
        EXPECT_EQ(classShown(names[i]), i < 20) << names[i];
        EXPECT_NE(out.find("(" + std::to_string(2 * i + 3) + ", t" + names[i] + ") "), std::string::npos);
    }
    EXPECT_EQ(out.find("\nt" + names[0] + ":"), std::string::npos);
    EXPECT_FALSE(keyShown("site"));  // filed last: key 26
}

TEST(IndexDump, ParsedTextDumpOfTheSmallestDocument) {
    StringSink s;
    dumpParsedText("<site>x</site>", s);
    EXPECT_EQ(s.text(),
              "IndexEL: site:\nExact:\n(1, 0, 2, 0, 0)Embedd:Tree (ELNode \"site\" []) []\n\nInexact:\n\n\n\n"
              "IndexTX: x:\nExact:\n(2, 2, 2, 0, 0)Embedd:Tree (TXNode \"x\") []\n\nInexact:\n\n\n\n"
              "Mapping: (1, site) (2, x) \n"
              "Data Tree: \n<site^1>x^2</site^1>\n\n");

    StringSink none;
    dumpParsedText("", none);
    EXPECT_EQ(none.text(), "IndexEL: \nIndexTX: \nMapping: \nData Tree: \n<empty/>\n\n");
}

// The element index is shown merged: a translation's nodes are inexact
// entries at renaming cost 2; attributes are "@" elements.
TEST(IndexDump, IndexedDocumentDumpIsTheParsedTextDump) {
    for (std::string doc : {"", "<site>x</site>", "<site><item id=\"7\">Pen</item><articolo/></site>"}) {
        StringSink direct, viaText;
        dumpIndexedDocument(parseText(doc), direct);
        dumpParsedText(doc, viaText);
        EXPECT_EQ(direct.text(), viaText.text()) << doc;
    }
}

TEST(IndexDump, ParsedTextDumpShowsTheMergedIndex) {
    StringSink s;
    dumpParsedText("<site><item id=\"7\">Pen</item><articolo/></site>", s);
    EXPECT_EQ(s.text(),
              "IndexEL: id:\nExact:\n(3, 4, 4, 0, 0)Embedd:Tree (ELNode \"@id\" []) []\n\nInexact:\n\n\n"
              "item:\nExact:\n(2, 2, 5, 0, 0)Embedd:Tree (ELNode \"item\" []) []\n\n"
              "Inexact:\n(6, 2, 6, 2, 0)Embedd:Tree (ELNode \"articolo\" []) []\n\n\n"
              "articolo:\nExact:\n(6, 2, 6, 0, 0)Embedd:Tree (ELNode \"articolo\" []) []\n\n"
              "Inexact:\n(2, 2, 5, 2, 0)Embedd:Tree (ELNode \"item\" []) []\n\n\n"
              "site:\nExact:\n(1, 0, 6, 0, 0)Embedd:Tree (ELNode \"site\" []) []\n\nInexact:\n\n\n\n"
              "IndexTX: 7:\nExact:\n(4, 6, 4, 0, 0)Embedd:Tree (TXNode \"7\") []\n\nInexact:\n\n\n"
              "Pen:\nExact:\n(5, 4, 5, 0, 0)Embedd:Tree (TXNode \"Pen\") []\n\nInexact:\n\n\n\n"
              "Mapping: (1, site) (6, articolo) (2, item) (5, Pen) (3, @id) (4, 7) \n"
              "Data Tree: \n"
              "<site^1>\n"
              "   <item^2>\n"
              "      <@id^3>7^4</@id^3>\n"
              "      Pen^5\n"
              "   </item^2>\n"
              "   <articolo^6/>\n"
              "</site^1>\n\n");
}

TEST(IndexDump, DeepDocumentOnTheLargeStack) {
    constexpr int kDepth = 100000;
    std::string doc;
    for (int i = 0; i < kDepth; ++i) doc += "<item>";
    for (int i = 0; i < kDepth; ++i) doc += "</item>";
    std::string out;
    axf::runWithLargeStack([&] {
        StringSink s;
        dumpWalkedText(doc, s);
        out = s.take();
    });
    const std::string end = "[Tree (ELNode \"item^100000\" []) []" + std::string(kDepth - 1, ']');
    ASSERT_GT(out.size(), end.size());
    EXPECT_EQ(out.substr(out.size() - end.size()), end);
    EXPECT_NE(out.find("Mapping: (1, item) (2, item) "), std::string::npos);
}

// ---------------------------------------------------------------------------
// The indented printer

std::string fmt(const Tree* t, std::int64_t level = 0, int flag = 1) { return showFormattedXML(level, flag, t); }

TEST(IndentedPrinter, OneLineThreeLinesAndEmptyElements) {
    EXPECT_EQ(fmt(el("e", {{"a", "x\"y"}, {"b", ""}}), 1), "   <e a=\"x\"y\" b=\"\"/>\n");
    EXPECT_EQ(fmt(elem("a", {text("")})), "<a></a>\n");

    struct Case {
        std::int64_t level;
        std::string name;
        std::size_t textLength;
        bool oneLine;
    };
    for (const Case& c : std::vector<Case>{{0, "a", 73, true},   // estimate 80
                                           {0, "a", 74, false},  // estimate 81
                                           {2, "abcd", 60, true},
                                           {25, "a", 0, false}}) {  // 75 + 2 + 0 + 5
        const std::string t(c.textLength, 'x');
        const std::string ind(3 * c.level, ' ');
        const std::string got = fmt(el(c.name, {{"long", std::string(200, 'v')}}, {text(t)}), c.level);
        const std::string tag = "<" + c.name + " long=\"" + std::string(200, 'v') + "\">";
        const std::string want = c.oneLine ? ind + tag + t + "</" + c.name + ">\n"
                                           : ind + tag + "\n" + ind + "   " + t + "\n" + ind + "</" + c.name + ">\n";
        EXPECT_EQ(got, want) << c.level << " " << c.name << " " << c.textLength;
    }
}

TEST(IndentedPrinter, GeneralLayoutAndOtherNodeKinds) {
    EXPECT_EQ(
        fmt(elem("a", {elem("b", {text("t")}), text("u"), leafNode(axf::xml::CXNode{" c "}), leafNode(axf::xml::ENNode{"amp"})})),
        "<a>\n   <b>t</b>\n   u\n    c \n   amp\n</a>\n");
    EXPECT_EQ(fmt(elem("a", {text("t"), text("u")}), 1), "   <a>\n      t\n      u\n   </a>\n");

    // A root node prints as "Result" at level 0, wherever it stands.
    EXPECT_EQ(fmt(leafNode(axf::xml::RTNode{}), 4), "<Result/>\n");
    EXPECT_EQ(fmt(elem("x", {makeTree(axf::xml::RTNode{}, {elem("y")})}), 2),
              "      <x>\n<Result>\n   <y/>\n</Result>\n      </x>\n");

    EXPECT_THROW(fmt(leafNode(axf::xml::PINode{"p", "q"})), axf::InternalError);
    EXPECT_THROW(fmt(elem("a", {makeTree(axf::xml::TXNode{"t"}, {text("u")})})), axf::InternalError);
}

TEST(IndentedPrinter, OutputNamesAndFlagZero) {
    // Renamed under flag 1, measured by the stored name: 8 + 67 + 5 = 80.
    const std::string t(67, 'x');
    EXPECT_EQ(fmt(elem("0000", {text(t)})), "<Results>" + t + "</Results>\n");
    EXPECT_EQ(fmt(elem("and", {elem("or^1^0")})), "<ResultQuery>\n   <or^1^0/>\n</ResultQuery>\n");

    // Flag 0: no indentation, no newlines, names as stored, one line whatever
    // the estimate.
    EXPECT_EQ(fmt(elem("and", {elem("b", {text(std::string(90, 'y'))}), text("z")}), 3, 0),
              "<and><b>" + std::string(90, 'y') + "</b>z</and>");
}

TEST(IndentedPrinter, DeepTreeOnTheLargeStack) {
    constexpr int kDepth = 100000;
    const Tree* t = text("x");
    for (int i = 0; i < kDepth; ++i) t = elem("e", {t});
    std::string out;
    axf::runWithLargeStack([&] { out = fmt(t, 0, 0); });
    EXPECT_EQ(out.size(), std::size_t(kDepth) * 7 + 1);
    EXPECT_EQ(out.substr(kDepth * 3 - 3, 8), "<e>x</e>");
}

TEST(OutputPieces, NewLineIndentation) {
    EXPECT_EQ(newLine(0), "");
    EXPECT_EQ(newLine(1), "\n");
    EXPECT_EQ(indentation(0, 1), "");
    EXPECT_EQ(indentation(0, 7), "");
    EXPECT_EQ(indentation(3, 0), "");
    EXPECT_EQ(indentation(3, 1), "   ");
    EXPECT_EQ(indentation(-3, 1), "");
}

// ---------------------------------------------------------------------------
// Deep documents on an ordinary stack, and the indented printer against the
// same printer written as recursive functions (kept below as the reference).

namespace reference {

using namespace axf::index;
namespace xml = axf::xml;
using xml::indentWidth;
using xml::maxLengthElement;
using xml::printedName;
using xml::writeAttribute;

std::string outputName(std::string_view name, int flag) { return std::string(printedName(name, flag == 1)); }

std::string attributeText(const xml::Attribute& attribute) {
    axf::StringSink out;
    writeAttribute(attribute, false, out);
    return out.take();
}

void appendBlanks(std::int64_t count, int flag, std::string& out) {
    if (count > 0 && flag == 1) out.append(static_cast<std::size_t>(count), ' ');
}

void appendNewLine(int flag, std::string& out) {
    if (flag == 1) out += '\n';
}

void format(std::int64_t level, int flag, const xml::Tree* tree, std::string& out);

void formatElement(std::int64_t level, int flag, std::string_view name, const xml::AttList& attributes,
                   std::span<const xml::Tree* const> children, std::string& out) {
    const std::string outName = outputName(name, flag);
    auto startTag = [&] {
        appendBlanks(level * indentWidth, flag, out);
        out += '<';
        out += outName;
        for (const xml::Attribute& a : attributes) out += attributeText(a);
    };
    auto endTag = [&] {
        out += "</";
        out += outName;
        out += '>';
        appendNewLine(flag, out);
    };
    if (children.empty()) {
        startTag();
        out += "/>";
        appendNewLine(flag, out);
        return;
    }
    if (children.size() == 1 && children[0]->isLeaf()) {
        if (const auto* text = std::get_if<xml::TXNode>(&children[0]->value)) {
            const std::int64_t estimate = level * indentWidth + 2 * static_cast<std::int64_t>(name.size()) +
                                          static_cast<std::int64_t>(text->text.size()) + 5;
            startTag();
            out += '>';
            if (estimate <= maxLengthElement) {
                out += text->text;
            } else {
                appendNewLine(flag, out);
                appendBlanks((level + 1) * indentWidth, flag, out);
                out += text->text;
                appendNewLine(flag, out);
                appendBlanks(level * indentWidth, flag, out);
            }
            endTag();
            return;
        }
    }
    startTag();
    out += '>';
    appendNewLine(flag, out);
    for (const xml::Tree* child : children) format(level + 1, flag, child, out);
    appendBlanks(level * indentWidth, flag, out);
    endTag();
}

void formatLeaf(std::int64_t level, int flag, const xml::Tree* tree, std::string_view text, std::string& out) {
    if (!tree->isLeaf()) throw axf::InternalError("showFormattedXML: a text, comment or entity node with children");
    appendBlanks(level * indentWidth, flag, out);
    out += text;
    appendNewLine(flag, out);
}

void format(std::int64_t level, int flag, const xml::Tree* tree, std::string& out) {
    static const xml::AttList kNoAttributes;
    const xml::XMLNode& node = tree->value;
    if (std::holds_alternative<xml::RTNode>(node))
        formatElement(0, flag, "Result", kNoAttributes, tree->children(), out);
    else if (const auto* el = std::get_if<xml::ELNode>(&node))
        formatElement(level, flag, el->name, el->attributes, tree->children(), out);
    else if (const auto* tx = std::get_if<xml::TXNode>(&node))
        formatLeaf(level, flag, tree, tx->text, out);
    else if (const auto* cx = std::get_if<xml::CXNode>(&node))
        formatLeaf(level, flag, tree, cx->text, out);
    else if (const auto* en = std::get_if<xml::ENNode>(&node))
        formatLeaf(level, flag, tree, en->name, out);
    else
        throw axf::InternalError("showFormattedXML: a processing instruction in the tree");
}

std::string showFormattedXML(std::int64_t level, int flag, const xml::Tree* tree) {
    std::string out;
    format(level, flag, tree, out);
    return out;
}

}  // namespace reference

TEST(IndentedPrinter, SameTextAsTheRecursivePrinter) {
    std::mt19937 rng(7);
    auto pick = [&](std::size_t n) { return std::size_t(rng() % n); };
    const std::vector<std::string> names = {"a", "0000", "and", "or", "xor", "item^3", "long-name-of-an-element"};
    auto someText = [&] { return std::string(pick(4) ? pick(12) : 60 + pick(40), char('a' + pick(26))); };
    // A random tree of at most `budget` nodes, mostly elements and texts.
    std::function<const Tree*(int&, int)> grow = [&](int& budget, int depth) -> const Tree* {
        --budget;
        switch (depth > 6 || budget <= 0 ? 4 + pick(4) : pick(8)) {
            case 0:
            case 1:
            case 2:
            case 3: {
                AttList atts;
                for (std::size_t i = pick(3); i-- > 0;) atts.emplace_back(names[pick(names.size())], someText());
                std::vector<const Tree*> kids;
                for (std::size_t i = pick(4); i-- > 0 && budget > 0;) kids.push_back(grow(budget, depth + 1));
                const axf::xml::XMLNode v =
                    pick(12) ? axf::xml::XMLNode(ELNode{names[pick(names.size())], atts}) : axf::xml::XMLNode(axf::xml::RTNode{});
                return makeTree(v, kids);
            }
            case 4:
            case 5: return text(someText());
            case 6: return leafNode(axf::xml::CXNode{someText()});
            default: return pick(20) ? leafNode(axf::xml::ENNode{"amp"}) : leafNode(axf::xml::PINode{"p", "q"});
        }
    };
    auto outcome = [](const std::function<std::string()>& f) {
        try {
            return f();
        } catch (const axf::InternalError& e) {
            return std::string("InternalError: ") + e.what();
        }
    };
    for (int round = 0; round < 3000; ++round) {
        int budget = 1 + int(pick(40));
        const Tree* t = grow(budget, 0);
        const std::int64_t level = std::int64_t(pick(30));
        const int flag = int(pick(3));
        ASSERT_EQ(outcome([&] { return showFormattedXML(level, flag, t); }),
                  outcome([&] { return reference::showFormattedXML(level, flag, t); }))
            << axf::xml::showText(t) << " at level " << level << " flag " << flag;
    }
}

TEST(IndentedPrinter, HundredThousandLevelsOnAnOrdinaryStack) {
    constexpr int kDepth = 100000;
    const Tree* t = text("x");
    for (int i = 0; i < kDepth; ++i) t = elem("e", {t});
    std::string out;
    axf::testsupport::runOnStack([&] { out = fmt(t, 0, 0); });
    std::string want;
    for (int i = 0; i < kDepth; ++i) want += "<e>";
    want += 'x';
    for (int i = 0; i < kDepth; ++i) want += "</e>";
    EXPECT_EQ(out, want);
}

// Indented, a document's text grows with the square of its depth; 2,000
// levels on a 128 KiB stack show that nothing recurses per level.
TEST(IndexDump, DeepDocumentsOnASmallStack) {
    constexpr int kDepth = 2000;
    std::string doc;
    for (int i = 0; i < kDepth; ++i) doc += "<item>";
    doc += 'x';
    for (int i = 0; i < kDepth; ++i) doc += "</item>";
    std::string out;
    axf::testsupport::runOnStack(
        [&] {
            StringSink s;
            dumpParsedText(doc, s);
            out = s.take();
        },
        std::size_t(128) << 10);
    std::string tree;
    auto blanks = [](int level) { return std::string(std::size_t(3 * level), ' '); };
    for (int i = 0; i < kDepth; ++i) tree += blanks(i) + "<item^" + std::to_string(i + 1) + ">\n";
    tree += blanks(kDepth) + "x^" + std::to_string(kDepth + 1) + "\n";
    for (int i = kDepth; i-- > 0;) tree += blanks(i) + "</item^" + std::to_string(i + 1) + ">\n";
    const std::string tail = "Data Tree: \n" + tree + "\n";
    ASSERT_GT(out.size(), tail.size());
    EXPECT_EQ(out.substr(out.size() - tail.size()), tail);
    EXPECT_EQ(out.rfind("IndexEL: item:\nExact:\n(1, 0, 2001, 0, 0)Embedd:Tree (ELNode \"item\" []) []\n", 0), 0u);
}

TEST(IndexDump, WalkedTextOfHundredThousandLevelsOnAnOrdinaryStack) {
    constexpr int kDepth = 100000;
    std::string doc;
    for (int i = 0; i < kDepth; ++i) doc += "<item>";
    for (int i = 0; i < kDepth; ++i) doc += "</item>";
    std::string out;
    axf::testsupport::runOnStack([&] {
        StringSink s;
        dumpWalkedText(doc, s);
        out = s.take();
    });
    std::string tree;
    for (int i = 1; i <= kDepth; ++i) tree += "Tree (ELNode \"item^" + std::to_string(i) + "\" []) [";
    tree += std::string(kDepth, ']');
    ASSERT_GT(out.size(), tree.size());
    EXPECT_EQ(out.substr(out.size() - tree.size() - 1), "\n" + tree);
}

}  // namespace
