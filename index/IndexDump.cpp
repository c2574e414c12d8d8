// Diagnostic dumps of the indexer: its records, its indexes, the result of
// the walk and an indented printer of document trees.
#include <algorithm>
#include <ranges>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "common/Fatal.h"
#include "common/Output.h"
#include "index/ElementIndex.h"
#include "xml/Show.h"
#include "xml/XML.h"
#include "xml/XMLParse.h"

namespace axf::index {

Sink& stdoutSink() {
    static StdoutSink sink;
    return sink;
}

namespace {

void writeNumber(std::int64_t n, Sink& out) { out.write(std::to_string(n)); }

void writeTree(const xml::Tree* tree, Sink& out) {
    if (tree == nullptr) throw InternalError("dump: an entry without a tree");
    out.write(xml::showText(tree));
}

// The five numbers of an entry, each after ", ", then ")Embedd:", the tree
// and a newline.
void writeEntryFields(const EmbeddingEntry& e, Sink& out) {
    writeNumber(e.position, out);
    for (std::int64_t n : {e.depth, e.last, e.renamingCost, e.cost}) {
        out.write(", ");
        writeNumber(n, out);
    }
    out.write(")Embedd:");
    writeTree(e.tree, out);
    out.write("\n");
}

// The walk files every node after the nodes of its subtree; the mapping
// lists them newest first: by descending last position, and where subtrees
// end together, the outer (smaller) position first.
std::vector<std::pair<std::int64_t, std::string_view>> newestFirst(const Index& elementIndex, const Index& textIndex,
                                                                   const Mapping& mapping) {
    std::vector<std::pair<std::int64_t, std::string_view>> pairs;
    for (std::int64_t p : newestFirstPositions(elementIndex, textIndex)) pairs.emplace_back(p, getMapName(p, mapping));
    return pairs;
}

// ---------------------------------------------------------------------------
// The indented printer

void appendBlancos(std::int64_t count, int flag, std::string& out) {
    if (count > 0 && flag == 1) out.append(static_cast<std::size_t>(count), ' ');
}

void appendNewLine(int flag, std::string& out) {
    if (flag == 1) out += '\n';
}

// The parts of an element's text around its children.
struct ElementText {
    std::int64_t level;
    int flag;
    std::string outName;

    void startTag(const xml::AttList& attributes, std::string& out) const {
        appendBlancos(level * sepBln, flag, out);
        out += '<';
        out += outName;
        for (const xml::Attribute& a : attributes) out += attrFormat(a);
    }
    void endTag(std::string& out) const {
        out += "</";
        out += outName;
        out += '>';
        appendNewLine(flag, out);
    }
};

// Writes an element, or the start of one whose children are written one per
// line after it: then true.
bool openElement(const ElementText& e, std::string_view name, const xml::AttList& attributes,
                 std::span<const xml::Tree* const> children, std::string& out) {
    if (children.empty()) {
        e.startTag(attributes, out);
        out += "/>";
        appendNewLine(e.flag, out);
        return false;
    }
    if (children.size() == 1 && children[0]->isLeaf()) {
        if (const auto* text = std::get_if<xml::TXNode>(&children[0]->value)) {
            const std::int64_t estimate = e.level * sepBln + 2 * static_cast<std::int64_t>(name.size()) +
                                          static_cast<std::int64_t>(text->text.size()) + 5;
            e.startTag(attributes, out);
            out += '>';
            if (estimate <= maxLengthElement) {
                out += text->text;
            } else {
                appendNewLine(e.flag, out);
                appendBlancos((e.level + 1) * sepBln, e.flag, out);
                out += text->text;
                appendNewLine(e.flag, out);
                appendBlancos(e.level * sepBln, e.flag, out);
            }
            e.endTag(out);
            return false;
        }
    }
    e.startTag(attributes, out);
    out += '>';
    appendNewLine(e.flag, out);
    return true;
}

void formatLeaf(std::int64_t level, int flag, const xml::Tree* tree, std::string_view text, std::string& out) {
    if (!tree->isLeaf()) throw InternalError("showFormattedXML: a text, comment or entity node with children");
    appendBlancos(level * sepBln, flag, out);
    out += text;
    appendNewLine(flag, out);
}

// The walk keeps the open elements on its own stack: any depth prints.
void format(std::int64_t level, int flag, const xml::Tree* tree, std::string& out) {
    static const xml::AttList kNoAttributes;
    struct Open {
        ElementText text;
        std::span<const xml::Tree* const> children;
        std::size_t next;
    };
    std::vector<Open> open;
    // Writes the node at this level; an element with children to write is opened.
    auto visit = [&](std::int64_t at, const xml::Tree* t) {
        const xml::XMLNode& node = t->value;
        std::string_view name;
        const xml::AttList* attributes = &kNoAttributes;
        if (std::holds_alternative<xml::RTNode>(node)) {
            at = 0;
            name = "Result";
        } else if (const auto* el = std::get_if<xml::ELNode>(&node)) {
            name = el->name;
            attributes = &el->attributes;
        } else if (const auto* tx = std::get_if<xml::TXNode>(&node)) {
            return formatLeaf(at, flag, t, tx->text, out);
        } else if (const auto* cx = std::get_if<xml::CXNode>(&node)) {
            return formatLeaf(at, flag, t, cx->text, out);
        } else if (const auto* en = std::get_if<xml::ENNode>(&node)) {
            return formatLeaf(at, flag, t, en->name, out);
        } else {
            throw InternalError("showFormattedXML: a processing instruction in the tree");
        }
        ElementText e{at, flag, control(name, flag)};
        if (openElement(e, name, *attributes, t->children(), out)) open.push_back(Open{std::move(e), t->children(), 0});
    };
    visit(level, tree);
    while (!open.empty()) {
        Open& o = open.back();
        if (o.next < o.children.size()) {
            visit(o.text.level + 1, o.children[o.next++]);
            continue;
        }
        appendBlancos(o.text.level * sepBln, flag, out);
        o.text.endTag(out);
        open.pop_back();
    }
}

}  // namespace

// ---------------------------------------------------------------------------
// Records

void viewPos(const EmbeddingEntry& entry, Sink& out) {
    out.write("(");
    writeEntryFields(entry, out);
}

void viewNPos(const SynonymRecord& record, Sink& out) {
    out.write("(");
    out.write(record.label);
    out.write(", ");
    writeEntryFields(record.entry, out);
}

void viewM(const std::pair<std::int64_t, std::string_view>& pair, Sink& out) {
    out.write("(");
    writeNumber(pair.first, out);
    out.write(", ");
    out.write(pair.second);
    out.write(") ");
}

// ---------------------------------------------------------------------------
// Indexes

void viewI(const IndexEntry& entry, Sink& out) {
    auto pos = [&out](const EmbeddingEntry& e) { viewPos(e, out); };
    out.write(entry.key);
    out.write(":\nExact:\n");
    mymap(pos, entry.exact, out);
    out.write("Inexact:\n");
    mymap(pos, entry.inexact, out);
    out.write("\n");
}

void viewS(const Synonym::value_type& group, Sink& out) {
    out.write(group.first);
    out.write(": ");
    // A group keeps its records oldest first; they are shown newest first.
    mymap([&out](const SynonymRecord& r) { viewNPos(r, out); }, group.second | std::views::reverse, out);
}

void viewProva(const Index& elementIndex, const Index&,
               const std::vector<std::pair<std::int64_t, std::string_view>>& mapping, const Synonym& synonym,
               const xml::Tree* tree, Sink& out) {
    const auto& keys = elementIndex.entries();
    mymap([&out](const IndexEntry& e) { viewI(e, out); },
          std::span<const IndexEntry>(keys.data(), std::min<std::size_t>(keys.size(), 20)), out);
    out.write("Mapping: ");
    mymap([&out](const auto& p) { viewM(p, out); }, mapping, out);
    out.write("Synonym: ");
    mymap([&out](const auto& g) { viewS(g, out); },
          std::span<const Synonym::value_type>(synonym.data(), std::min<std::size_t>(synonym.size(), 20)), out);
    out.write("\n");
    writeTree(tree, out);
}

void viewIndex(const IndexedDocument& document, Sink& out) {
    auto entry = [&out](const IndexEntry& e) { viewI(e, out); };
    const Index& merged = document.indexEL.merged();
    out.write("IndexEL: ");
    mymap(entry, merged.entries(), out);
    out.write("IndexTX: ");
    mymap(entry, document.indexTX.entries(), out);
    out.write("Mapping: ");
    mymap([&out](const auto& p) { viewM(p, out); }, newestFirst(merged, document.indexTX, document.mapping), out);
    out.write("Data Tree: ");
    out.write("\n");
    if (document.tree == nullptr) throw InternalError("viewIndex: a document without a tree");
    out.write(showFormattedXML(0, 1, document.tree));
    out.write("\n");
}

void prova(std::string_view text, Sink& out) { viewIndex(parseText(text), out); }

void prova2(std::string_view text, Sink& out) {
    const std::string prepared = deleteBlanc(text);
    xml::DocumentEvents events = xml::parseDocument(prepared);
    BuildResult walked = buildIndexes([&events] { return events.next(); }, prepared.size());
    viewProva(walked.elementIndex, walked.textIndex, mappingPairs(walked), synonymIndex(walked.elementIndex),
              walked.tree, out);
}

// ---------------------------------------------------------------------------
// The indented printer and its pieces

std::string showFormattedXML(std::int64_t level, int flag, const xml::Tree* tree) {
    std::string out;
    format(level, flag, tree, out);
    return out;
}

std::string newLine(int flag) { return flag == 1 ? "\n" : ""; }

std::string blancos(std::int64_t count, int flag) {
    std::string out;
    appendBlancos(count, flag, out);
    return out;
}

std::string control(std::string_view label, int flag) {
    if (flag == 1) {
        if (label == "0000") return "Results";
        if (label == "and" || label == "or" || label == "xor") return "ResultQuery";
    }
    return std::string(label);
}

std::string attrFormat(const xml::Attribute& attribute) {
    std::string out;
    out.reserve(attribute.first.size() + attribute.second.size() + 4);
    out += ' ';
    out += attribute.first;
    out += "=\"";
    out += attribute.second;
    out += '"';
    return out;
}

}  // namespace axf::index
