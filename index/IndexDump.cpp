#include "index/IndexDump.h"

#include <algorithm>
#include <ranges>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "common/Fatal.h"
#include "common/Output.h"
#include "xml/Show.h"
#include "xml/XML.h"
#include "xml/XMLParse.h"

namespace axf::index {

namespace {

void writeNumber(std::int64_t n, Sink& out) { out.write(std::to_string(n)); }

void writeTree(const xml::Tree* tree, Sink& out) {
    if (tree == nullptr) throw InternalError("writeTree: an entry without a tree");
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

// A text, comment or entity node has no children in a dumped tree.
void rejectTextWithChildren(const xml::Tree* tree) {
    const xml::XMLNode& node = tree->value;
    const bool textLike = std::holds_alternative<xml::TXNode>(node) || std::holds_alternative<xml::CXNode>(node) ||
                          std::holds_alternative<xml::ENNode>(node);
    if (textLike && !tree->isLeaf()) throw InternalError("showFormattedXML: a text, comment or entity node with children");
}

}  // namespace

// ---------------------------------------------------------------------------
// Records

void dumpEntry(const EmbeddingEntry& entry, Sink& out) {
    out.write("(");
    writeEntryFields(entry, out);
}

void dumpRecord(const SynonymRecord& record, Sink& out) {
    out.write("(");
    out.write(record.label);
    out.write(", ");
    writeEntryFields(record.entry, out);
}

void dumpMappingPair(const std::pair<std::int64_t, std::string_view>& pair, Sink& out) {
    out.write("(");
    writeNumber(pair.first, out);
    out.write(", ");
    out.write(pair.second);
    out.write(") ");
}

// ---------------------------------------------------------------------------
// Indexes

void dumpIndexEntry(const IndexEntry& entry, Sink& out) {
    auto pos = [&out](const EmbeddingEntry& e) { dumpEntry(e, out); };
    out.write(entry.key);
    out.write(":\nExact:\n");
    dumpEach(pos, entry.exact, out);
    out.write("Inexact:\n");
    dumpEach(pos, entry.inexact, out);
    out.write("\n");
}

void dumpSynonymGroup(const SynonymIndex::value_type& group, Sink& out) {
    out.write(group.first);
    out.write(": ");
    // A group keeps its records oldest first; they are shown newest first.
    dumpEach([&out](const SynonymRecord& r) { dumpRecord(r, out); }, group.second | std::views::reverse, out);
}

void dumpWalkParts(const Index& elementIndex, const Index&, const std::vector<std::pair<std::int64_t, std::string_view>>& mapping,
                   const SynonymIndex& synonym, const xml::Tree* tree, Sink& out) {
    const auto& keys = elementIndex.entries();
    dumpEach([&out](const IndexEntry& e) { dumpIndexEntry(e, out); },
             std::span<const IndexEntry>(keys.data(), std::min<std::size_t>(keys.size(), 20)), out);
    out.write("Mapping: ");
    dumpEach([&out](const auto& p) { dumpMappingPair(p, out); }, mapping, out);
    out.write("Synonym: ");
    dumpEach([&out](const auto& g) { dumpSynonymGroup(g, out); },
             std::span<const SynonymIndex::value_type>(synonym.data(), std::min<std::size_t>(synonym.size(), 20)), out);
    out.write("\n");
    writeTree(tree, out);
}

void dumpIndexedDocument(const IndexedDocument& document, Sink& out) {
    auto entry = [&out](const IndexEntry& e) { dumpIndexEntry(e, out); };
    const Index& merged = document.elementIndex.merged();
    out.write("IndexEL: ");
    dumpEach(entry, merged.entries(), out);
    out.write("IndexTX: ");
    dumpEach(entry, document.textIndex.entries(), out);
    out.write("Mapping: ");
    dumpEach([&out](const auto& p) { dumpMappingPair(p, out); }, newestFirst(merged, document.textIndex, document.mapping), out);
    out.write("Data Tree: ");
    out.write("\n");
    if (document.tree == nullptr) throw InternalError("dumpIndexedDocument: a document without a tree");
    out.write(showFormattedXML(0, 1, document.tree));
    out.write("\n");
}

void dumpParsedText(std::string_view text, Sink& out) { dumpIndexedDocument(parseText(text), out); }

void dumpWalkedText(std::string_view text, Sink& out) {
    const std::string prepared = removeLineBreaksAndTabs(text);
    xml::DocumentEvents events = xml::parseDocument(prepared);
    BuildResult walked = buildIndexes([&events] { return events.next(); }, prepared.size());
    dumpWalkParts(walked.elementIndex, walked.textIndex, mappingPairs(walked), synonymIndex(walked.elementIndex), walked.tree,
                  out);
}

// ---------------------------------------------------------------------------
// The dumps' form of the indented printer and its pieces

std::string showFormattedXML(std::int64_t level, int flag, const xml::Tree* tree) {
    xml::XMLPrintOptions options;
    options.layout = flag == 1;
    options.resultNames = flag == 1;
    options.escaped = false;
    options.checkNode = rejectTextWithChildren;
    StringSink out;
    xml::writeIndentedXML(level, options, tree, out);
    return out.take();
}

std::string newLine(int flag) { return flag == 1 ? "\n" : ""; }

std::string indentation(std::int64_t count, int flag) {
    if (count <= 0 || flag != 1) return {};
    return std::string(static_cast<std::size_t>(count), ' ');
}

}  // namespace axf::index
