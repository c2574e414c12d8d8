// The element index: the hash index of keys (one entry per element name or
// text, its nodes in position order), the element index as the walk leaves
// it (its lists read off the mapping and the document tree on demand), and
// the translation merge that gives each key the nodes of its translation,
// made key by key on first lookup (MergedElementIndex).
//
// Keys are string_views into storage that lives for the whole run, so
// indexes copy cheaply.
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
#include "index/DocumentTree.h"
#include "index/EmbeddingEntry.h"
#include "index/LookupKind.h"
#include "index/Mapping.h"
#include "index/TranslationTable.h"
#include "xml/XML.h"

namespace axf::index {

// A copy of the text that lives for the whole run (the tree arena).
std::string_view keepForRun(std::string_view text);

// ---------------------------------------------------------------------------
// The hash index of keys

// One key of an index: the nodes filed under the key itself (exact, ascending
// by position) and, in the merged element index, the nodes of the key's
// translation (inexact, ascending by position, renaming cost
// kTranslationRenamingCost). The inexact
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

    // Files one entry under a key. Exact: into the exact list, after every
    // entry of smaller or equal position. WithTranslations: in front of the
    // inexact list. A new key is appended as the last entry.
    void addRef(std::string_view key, const EmbeddingEntry& entry, LookupKind kind);

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
        // How many nodes bear each name, when the walk counted them (the
        // lists are then made at their size without counting again).
        std::optional<std::size_t> elementCount;
        std::optional<std::size_t> attributeCount;
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

// The entries filed under a key: Exact the exact list, WithTranslations the
// exact and inexact lists merged by position (inexact first on equal
// positions). An absent key gives the empty list.
EntryList getRef(const Index& index, std::string_view key, LookupKind kind);
// The same for an entry already found (nullptr: the empty list).
EntryList entriesOf(const IndexEntry* entry, LookupKind kind);

// ---------------------------------------------------------------------------
// Synonym index and translation merge

// A node filed under the class of its name: the label (element or
// attribute name) and the node's entry.
struct SynonymRecord {
    std::string_view label;
    EmbeddingEntry entry;
};

// Groups of records by class text, classes in the order of their first
// record, records of a group newest first.
using SynonymIndex = std::vector<std::pair<std::string_view, std::vector<SynonymRecord>>>;

// The synonym index of a walked element index: its records in filing order
// (each node after its subtree), filed one by one (ElementIndexInternal.h's
// addSyn).
SynonymIndex synonymIndex(const Index& elementIndex);

// The element index of a document: merged, and every key classified, on the
// first lookup (an unknown name fails there and at every later lookup).
// Each key's inexact entries are made on the key's first lookup, so that a
// run pays only for the keys its query names. Copies share one index.
class MergedElementIndex {
public:
    MergedElementIndex();
    explicit MergedElementIndex(Index walked);
    // unknownNamePlace heads the message of a name outside the vocabulary
    // (the document and the place of the name's first node).
    explicit MergedElementIndex(ElementIndex walked, std::string unknownNamePlace = {});
    // The whole merged index.
    const Index& merged() const;
    // True once a lookup has classified the keys.
    bool isMerged() const;
    // The merged entry of a key, or nullptr.
    const IndexEntry* find(std::string_view key) const;
    // The entry of a key for its exact list alone (its inexact list may not
    // be made yet), or nullptr: a key read only exactly is never merged.
    const IndexEntry* findExact(std::string_view key) const;
    // The exact lists of these keys made in one pass over the document's
    // nodes, for a search that will read them all; nothing when one of the
    // keys is not in the document (a search reads nothing below it). Fails
    // as a lookup fails.
    void prepareExact(std::span<const std::string> keys) const;

private:
    struct State;
    std::shared_ptr<State> state_;
};

EntryList getRef(const MergedElementIndex& index, std::string_view key, LookupKind kind);

}  // namespace axf::index
