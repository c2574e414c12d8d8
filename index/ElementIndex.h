// The document indexer: turns the text of one XML document into the numbered
// document tree, the element index, the text index and the position-to-label
// mapping, and answers the lookups of the embedding search.
//
// Numbering: nodes are numbered in preorder from 1. An element is followed by
// one attribute element per attribute ("@" and the attribute name), each
// directly followed by its value text (none when the value is blank), then by
// its content. Blank texts (only blanks, newlines and tabs) get no node, nor
// does white space before the first node (a carriage return between prolog
// items, say). A text is a text whatever its first byte: only the attribute
// elements the walk makes carry a leading '@'.
// Depth is 0 at the top level and 2 more per element level.
//
// Keys and labels are string_views into storage that lives for the whole run
// (the tree arena, the mapping's pool), so indexes and documents copy
// cheaply. Per node the indexed document keeps 8 bytes: its label (Mapping.h)
// and its word in the document tree; element-index entries are read off
// those two when a key is looked up.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "common/Fatal.h"
#include "common/Lazy.h"
#include "common/Output.h"
#include "index/DocumentTree.h"
#include "index/EmbeddingEntry.h"
#include "index/Mapping.h"
#include "index/TranslationTable.h"
#include "xml/XML.h"
#include "xml/XMLParse.h"

namespace axf::index {

// ---------------------------------------------------------------------------
// Element and text index

// One key of an index: the nodes filed under the key itself (exact, ascending
// by position) and, in the merged element index, the nodes of the key's
// translation (inexact, ascending by position, renaming cost 2). The inexact
// lists of the text index are always empty.
struct IndexEntry {
    std::string_view key;
    EntryList exact;
    EntryList inexact;
};

// An index: one entry per key, keys in the order in which they were first
// filed, found through a hash map.
class Index {
public:
    const std::vector<IndexEntry>& entries() const { return entries_; }
    std::size_t size() const { return entries_.size(); }
    bool empty() const { return entries_.empty(); }

    // The entry of a key (whole-text comparison), or nullptr.
    const IndexEntry* find(std::string_view key) const;

    // Files one entry under a key. Kind "E": into the exact list, after every
    // entry of smaller or equal position. Kind "N": in front of the inexact
    // list. A new key is appended as the last entry. Any other kind throws
    // InternalError.
    void addRef(std::string_view key, const EmbeddingEntry& entry, std::string_view kind);

    // Bulk filing, for walks that file in position order: slotFor finds or
    // appends a key and gives its place in entries(); appendExact adds to an
    // exact list, setExact puts a whole list in place.
    std::uint32_t slotFor(std::string_view key);
    static std::size_t hashKey(std::string_view key) { return std::hash<std::string_view>{}(key); }
    void appendExact(std::uint32_t slot, const EmbeddingEntry& entry) { entries_[slot].exact.push_back(entry); }
    void setExact(std::uint32_t slot, EntryList list) { entries_[slot].exact = std::move(list); }
    IndexEntry& entryAt(std::uint32_t slot) { return entries_[slot]; }
    // Room for about this many keys without growing.
    void reserve(std::size_t keys);

private:
    static constexpr std::uint32_t kNoSlot = ~std::uint32_t(0);
    std::uint32_t findSlot(std::string_view key, std::size_t hash) const;
    void rebuildTable(std::size_t size);  // size: a power of two

    // Open addressing: table_ holds slot + 1 (0 for a free cell) with the
    // high half of the key's hash above it, hashes_ the hash of each slot's
    // key.
    std::vector<IndexEntry> entries_;
    std::vector<std::size_t> hashes_;
    std::vector<std::uint64_t> table_;
};

// The element index as the walk leaves it: for each key, the name numbers
// (in the mapping) of its element and of its attribute element, and the node
// alone of each. No list is kept: the entries of a key (position, depth, the
// last position from the document tree, costs 0) are read off the mapping
// and the document tree in one pass over the nodes when the key is read. A
// run reads the few keys its query names.
class ElementIndex {
public:
    static constexpr std::uint32_t kNoName = ~std::uint32_t(0);
    struct Key {
        std::uint32_t elementName = kNoName;
        std::uint32_t attributeName = kNoName;
        const xml::Tree* elementLeaf = nullptr;
        const xml::Tree* attributeLeaf = nullptr;
    };

    ElementIndex();
    // `slots` holds the keys (lists empty), keys[slot] their names; `labels`
    // and `tree` are the walk's mapping and document tree.
    ElementIndex(Index slots, std::vector<Key> keys, Mapping labels, DocumentTree tree);
    // An index made elsewhere, handed out as it is.
    ElementIndex(Index built);  // NOLINT: an index made elsewhere stands for itself

    // The keys, their lists empty (slot lookup).
    const Index& keys() const;
    // The exact entries of the key at a slot, made now.
    EntryList exact(std::uint32_t slot) const;
    // The exact entries of several keys, made together.
    std::vector<EntryList> exact(std::span<const std::uint32_t> slots) const;
    // Whether exact() makes the entries (false: keys() holds them already).
    bool compact() const;

    // The whole index, made on the first call (dumps and tests).
    const Index& get() const;
    operator const Index&() const { return get(); }  // NOLINT
    const std::vector<IndexEntry>& entries() const { return get().entries(); }
    std::size_t size() const { return keys().size(); }
    bool empty() const { return keys().empty(); }
    const IndexEntry* find(std::string_view key) const { return get().find(key); }

private:
    struct State;
    std::shared_ptr<State> state_;
};

// The two lists merged by position; on equal positions the second list's
// entry comes first. Nothing is dropped.
EntryList sortPos(const EntryList& first, const EntryList& second);

// The entries filed under a key: kind "E" the exact list, kind "N" the exact
// and inexact lists merged by position (inexact first on equal positions).
// An absent key or any other kind gives the empty list.
EntryList getRef(const Index& index, std::string_view key, std::string_view kind);

bool lt(const EmbeddingEntry& a, const EmbeddingEntry& b);
bool equ(const EmbeddingEntry& a, const EmbeddingEntry& b);

// ---------------------------------------------------------------------------
// Mapping (index/Mapping.h): the label of every numbered node, indexed by
// position (slot 0 is unused).

// The label of the node at a position. A position that numbers no node
// throws InternalError.
std::string_view getMapName(std::int64_t position, const Mapping& mapping);

// The value of the first pair whose key equals the given key. An absent key
// throws InternalError.
template <class K, class V>
const V& getMapName(const K& key, const std::vector<std::pair<K, V>>& pairs) {
    for (const auto& p : pairs)
        if (p.first == key) return p.second;
    throw InternalError("getMapName: key not in the mapping");
}

// ---------------------------------------------------------------------------
// Synonym index and merge

// A node filed under the class of its name: the label (element or
// attribute name) and the node's entry.
struct SynonymRecord {
    std::string_view label;
    EmbeddingEntry entry;
};

// Groups of records by class text, classes in the order of their first
// record, records of a group newest first.
using Synonym = std::vector<std::pair<std::string_view, std::vector<SynonymRecord>>>;

// Files a record under the class of a name (a name outside the vocabulary
// throws Fatal naming it).
void addSyn(Synonym& index, std::string_view name, SynonymRecord record);

// The records of the class of a name, newest first; empty when the class has
// no group. The empty index answers without classifying the name.
std::vector<SynonymRecord> getSyn(const Synonym& index, std::string_view name);

// The synonym index of a walked element index: its records in filing order
// (each node after its subtree), filed one by one through addSyn.
Synonym synonymIndex(const Index& elementIndex);

// The weight of the first pair of the list that holds the name.
std::optional<std::int64_t> findCost(std::string_view name, const RenamingList& weights);

// Ascending by position; of entries sharing a position the first in the
// input stays, the others are dropped.
EntryList quickSort(EntryList entries);

// One entry merged with the records of its class: every record not labelled
// with the key becomes an inexact entry whose renaming cost grows by the
// record label's weight; the inexact list is then put in position order.
IndexEntry mergeAux(IndexEntry entry, const std::vector<SynonymRecord>& records, const RenamingList& weights);

// The merged element index: the same keys in the same order, each entry
// given the nodes of its key's translation as inexact entries. Every key is
// classified first; a key outside the tag vocabulary throws Fatal naming it.
Index mergeIndex(Index elementIndex);

// The message for a name outside the tag vocabulary.
std::string unknownTagMessage(std::string_view name);

// The element index of a document: merged, and every key classified, on the
// first lookup (an unknown name fails there and at every later lookup).
// Each key's inexact entries are made on the key's first lookup, so that a
// run pays only for the keys its query names. Copies share one index.
class IndexEL {
public:
    IndexEL();
    explicit IndexEL(Index walked);
    explicit IndexEL(ElementIndex walked);
    // The whole merged index.
    const Index& merged() const;
    // True once a lookup has classified the keys.
    bool isMerged() const;
    // The merged entry of a key, or nullptr.
    const IndexEntry* find(std::string_view key) const;

private:
    struct State;
    std::shared_ptr<State> state_;
};

EntryList getRef(const IndexEL& index, std::string_view key, std::string_view kind);

// ---------------------------------------------------------------------------
// Text index

// The text index of a document, made when first read from the nodes of its
// walk: every text is filed under itself, in position order, keys in the
// order of their first text. Queries that name
// no text never make it. Copies share one index.
class TextIndex {
public:
    TextIndex();
    TextIndex(Index built);  // NOLINT: an index made elsewhere stands for itself
    explicit TextIndex(const DocumentTree& nodes);

    const Index& get() const { return index_.get(); }
    operator const Index&() const { return get(); }  // NOLINT
    const std::vector<IndexEntry>& entries() const { return get().entries(); }
    std::size_t size() const { return get().size(); }
    bool empty() const { return get().empty(); }
    const IndexEntry* find(std::string_view key) const { return get().find(key); }
    bool isMade() const { return index_.isComputed(); }

private:
    axf::Lazy<Index> index_;
};

// ---------------------------------------------------------------------------
// Text preparation and attribute events

// The document text with its newlines and tabs removed from character data,
// CDATA sections and comments, and turned into one blank each inside markup
// (tags, the document-type line and processing instructions, from '<' to the
// '>' that closes them, quoted literals respected).
std::string deleteBlanc(std::string_view text);

// The offset in the text of the byte that stands at the given offset of
// deleteBlanc(text); the text's length when that is past its end.
std::size_t originalOffset(std::string_view text, std::size_t preparedOffset);

// True when the text holds only blanks, newlines and tabs (the empty text too).
bool allBlancs(std::string_view text);

// For each attribute, in order, a start event "@" + name (no attributes), a
// text event with the value and an end event with the name; then the given
// events. Reads every value.
std::vector<xml::XMLEvent> attrs(const xml::LazyAttList& attributes, std::vector<xml::XMLEvent> events);

// ---------------------------------------------------------------------------
// The walk and the indexed document

// The document label of a node: its name or text, with every '^' and '\'
// preceded by a backslash, then '^' and the position.
std::string documentLabel(std::string_view value, std::int64_t position);

// A pull source of parse events: nullopt once they have run out.
using EventSource = std::function<std::optional<xml::XMLEvent>()>;

struct BuildResult {
    ElementIndex elementIndex;  // before the synonym merge
    TextIndex textIndex;  // made from the mapping when first read
    Mapping mapping;
    // The first top-level tree, or the tree "empty", built on request from
    // the mapping's storage (which moving the result keeps in place).
    DocumentTree tree;
    std::int64_t lastPosition = 0;
    bool reachedEnd = false;  // the events ran out (not an end event at the top level)

    // Moved, never copied: the tree and the text index read the mapping's
    // storage, which a move keeps in place and a copy would not.
    BuildResult() = default;
    BuildResult(BuildResult&&) = default;
    BuildResult& operator=(BuildResult&&) = default;
    BuildResult(const BuildResult&) = delete;
    BuildResult& operator=(const BuildResult&) = delete;
};

// Walks the events: numbers, labels and files every node. The walk ends at
// the end of the events or at an end event that closes no open element (the
// events after it are not pulled). Comments and processing instructions are
// skipped; a predefined entity reference becomes the text of its character;
// any other entity reference, and an error event, throw Fatal.
// textBytes, when known, is the size of the document text: room for its
// nodes is set aside once instead of growing step by step.
BuildResult buildIndexes(const EventSource& next, std::size_t textBytes = 0);
BuildResult buildIndexes(std::vector<xml::XMLEvent> events);

// The mapping as (position, label) pairs, newest first: the reverse of the
// order in which the walk filed the nodes (each node after its subtree).
std::vector<std::pair<std::int64_t, std::string_view>> mappingPairs(const BuildResult& walked);
// The positions of the nodes of two indexes in that order.
std::vector<std::int64_t> newestFirstPositions(const Index& elementIndex, const Index& textIndex);

// The indexed document: the element index (merged on first lookup), the text
// index, the mapping and the document tree.
struct IndexedDocument {
    IndexEL indexEL;
    TextIndex indexTX;
    Mapping mapping;
    DocumentTree tree;  // reads the mapping's storage

    // Moved, never copied (see BuildResult).
    IndexedDocument() = default;
    IndexedDocument(IndexedDocument&&) = default;
    IndexedDocument& operator=(IndexedDocument&&) = default;
    IndexedDocument(const IndexedDocument&) = delete;
    IndexedDocument& operator=(const IndexedDocument&) = delete;
};

IndexedDocument indexedDocument(BuildResult walked);

// The walk of a whole document: `prepared` is deleteBlanc(original). The
// common constructs are read straight from the text; from the first
// construct out of the ordinary on (or from the start, for an unusual
// prolog) the event parser's events are walked. The result, and every
// failure, is that of walking the events of parseDocument(prepared): events
// that stop before the end of the text throw Fatal with the byte offset in
// `original` and what stands there.
BuildResult buildIndexesDirect(std::string_view prepared, std::string_view original);

// Indexes one document text. A document whose events stop before the end of
// the text throws Fatal with the byte offset and what stands there.
IndexedDocument parseText(std::string_view text);
// The same, over a text whose storage the indexer takes: the text is
// prepared in place and its storage given back once the walk is done.
IndexedDocument parseTextInPlace(std::string&& text);

// ---------------------------------------------------------------------------
// Diagnostic dumps (IndexDump.cpp). Nothing in a run calls them; they
// write the indexer's records and indexes as plain text for inspection. Each
// writes to a sink, standard output unless another is given. Numbers are
// written in decimal, trees in their printed form (xml/Show.h), keys, labels,
// names and texts raw.

// The sink of standard output (the program's one buffered writer).
Sink& stdoutSink();

// Performs the action on each element in order, then writes one newline.
template <class Action, class List>
void mymap(Action&& action, const List& list, Sink& out = stdoutSink()) {
    for (const auto& element : list) action(element);
    out.write("\n");
}

// "(position, depth, last, renaming cost, cost)Embedd:" the tree, a newline.
void viewPos(const EmbeddingEntry& entry, Sink& out = stdoutSink());
// "(label, position, depth, last, renaming cost, cost)Embedd:" the tree, a newline.
void viewNPos(const SynonymRecord& record, Sink& out = stdoutSink());
// "(position, label) ", no newline.
void viewM(const std::pair<std::int64_t, std::string_view>& pair, Sink& out = stdoutSink());

// The key and ":", then the exact and the inexact entries, one per line,
// under "Exact:" and "Inexact:".
void viewI(const IndexEntry& entry, Sink& out = stdoutSink());
// One class of the synonym index: its class text, ": ", its records newest
// first, one per line.
void viewS(const Synonym::value_type& group, Sink& out = stdoutSink());
// The five parts of the walk: the first 20 keys of the element index, the
// whole mapping (newest first), the first 20 classes of the synonym index and
// the printed form of the tree, which ends the dump without a newline. The
// text index is not written.
void viewProva(const Index& elementIndex, const Index& textIndex,
               const std::vector<std::pair<std::int64_t, std::string_view>>& mapping, const Synonym& synonym,
               const xml::Tree* tree, Sink& out = stdoutSink());
// An indexed document: "IndexEL: ", "IndexTX: " and "Mapping: " with their
// entries, then "Data Tree: " and the tree indented by showFormattedXML.
// Reading the element index merges it (a name outside the tag vocabulary
// throws Fatal).
void viewIndex(const IndexedDocument& document, Sink& out = stdoutSink());
// Indexes a document text as parseText does and writes it with viewIndex.
void prova(std::string_view text, Sink& out = stdoutSink());
// Walks a document text and writes the walk's parts, synonym index
// included, with viewProva.
void prova2(std::string_view text, Sink& out = stdoutSink());

// The indexer's own indented printer of a tree as XML text. Flag 1: 3 blanks
// per level, a newline after every line, the output names of the result
// labels; flag 0: none of these. Names, attribute values and texts are written
// unescaped. An element whose only child is a text leaf stands on one line
// when 3 * level + 2 * (length of its name) + (length of the text) + 5 is at
// most maxLengthElement. An RTNode prints as the element "Result" at level 0.
// A PINode, or a text, comment or entity node with children, throws
// InternalError. Recursion goes as deep as the tree.
inline constexpr std::int64_t sepBln = 3;
inline constexpr std::int64_t maxLengthElement = 80;
std::string showFormattedXML(std::int64_t level, int flag, const xml::Tree* tree);

// A newline under flag 1, else nothing.
std::string newLine(int flag);
// count blanks under flag 1; nothing under any other flag, for count 0 or a
// negative count.
std::string blancos(std::int64_t count, int flag);
// Under flag 1 "0000" is written "Results" and "and", "or", "xor"
// "ResultQuery" (whole labels only); everything else unchanged.
std::string control(std::string_view label, int flag);
// ' ', the name, '=', the value in double quotes, nothing escaped.
std::string attrFormat(const xml::Attribute& attribute);

}  // namespace axf::index
