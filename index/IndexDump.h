// Diagnostic dumps of the indexer. Nothing in a run calls them; they write
// the indexer's records and indexes as plain text for inspection. Each
// writes to a sink, standard output unless another is given. Numbers are
// written in decimal, trees in their printed form (xml/Show.h), keys, labels,
// names and texts raw.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "common/Output.h"
#include "index/DocumentIndexer.h"
#include "index/DumpSink.h"
#include "xml/IndentedXML.h"
#include "xml/XML.h"

namespace axf::index {

// Performs the action on each element in order, then writes one newline.
template <class Action, class List>
void dumpEach(Action&& action, const List& list, Sink& out = stdoutSink()) {
    for (const auto& element : list) action(element);
    out.write("\n");
}

// "(position, depth, last, renaming cost, cost)Embedd:" the tree, a newline.
void dumpEntry(const EmbeddingEntry& entry, Sink& out = stdoutSink());
// "(label, position, depth, last, renaming cost, cost)Embedd:" the tree, a newline.
void dumpRecord(const SynonymRecord& record, Sink& out = stdoutSink());
// "(position, label) ", no newline.
void dumpMappingPair(const std::pair<std::int64_t, std::string_view>& pair, Sink& out = stdoutSink());

// The key and ":", then the exact and the inexact entries, one per line,
// under "Exact:" and "Inexact:".
void dumpIndexEntry(const IndexEntry& entry, Sink& out = stdoutSink());
// One class of the synonym index: its class text, ": ", its records newest
// first, one per line.
void dumpSynonymGroup(const SynonymIndex::value_type& group, Sink& out = stdoutSink());
// The five parts of the walk: the first 20 keys of the element index, the
// whole mapping (newest first), the first 20 classes of the synonym index and
// the printed form of the tree, which ends the dump without a newline. The
// text index is not written.
void dumpWalkParts(const Index& elementIndex, const Index& textIndex,
                   const std::vector<std::pair<std::int64_t, std::string_view>>& mapping, const SynonymIndex& synonym,
                   const xml::Tree* tree, Sink& out = stdoutSink());
// An indexed document: "IndexEL: ", "IndexTX: " and "Mapping: " with their
// entries, then "Data Tree: " and the tree indented by showFormattedXML.
// Reading the element index merges it (a name outside the tag vocabulary
// throws Fatal).
void dumpIndexedDocument(const IndexedDocument& document, Sink& out = stdoutSink());
// Indexes a document text as parseText does and writes it with dumpIndexedDocument.
void dumpParsedText(std::string_view text, Sink& out = stdoutSink());
// Walks a document text and writes the walk's parts, synonym index
// included, with dumpWalkParts.
void dumpWalkedText(std::string_view text, Sink& out = stdoutSink());

// The dumps' form of the indented printer (xml/IndentedXML.h): flag 1 laid out,
// with the output names of the result labels; any other flag neither. Names,
// attribute values and texts are written unescaped. A PINode, or a text,
// comment or entity node with children, throws InternalError.
std::string showFormattedXML(std::int64_t level, int flag, const xml::Tree* tree);

// A newline under flag 1, else nothing.
std::string newLine(int flag);
// count blanks under flag 1; nothing under any other flag, for count 0 or a
// negative count.
std::string indentation(std::int64_t count, int flag);

}  // namespace axf::index
