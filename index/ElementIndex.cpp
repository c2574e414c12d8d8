#include "index/ElementIndexInternal.h"

#include <algorithm>
#include <cstring>
#include <exception>
#include <memory>
#include <span>
#include <unordered_map>

#include "common/MessageText.h"
#include "common/PageMemory.h"
#include "index/SynonymClasses.h"
#include "xml/Arena.h"

namespace axf::index {

std::string_view keepForRun(std::string_view text) {
    if (text.empty()) return {};
    char* p = static_cast<char*>(xml::Arena::allocate(text.size(), 1));
    std::memcpy(p, text.data(), text.size());
    return {p, text.size()};
}

namespace {

bool byPosition(const EmbeddingEntry& a, const EmbeddingEntry& b) { return a.position < b.position; }

}  // namespace

// ---------------------------------------------------------------------------
// The hash index of keys

namespace {
// A table cell: the slot + 1 in the low half (0 for a free cell), the high
// half of the key's hash above, so that most probes settle without reading
// the key.
constexpr std::uint64_t cellOf(std::uint32_t slot, std::size_t hash) {
    return (static_cast<std::uint64_t>(hash) & 0xFFFFFFFF00000000ULL) | (std::uint64_t(slot) + 1);
}
constexpr std::uint64_t tagOf(std::size_t hash) { return static_cast<std::uint64_t>(hash) & 0xFFFFFFFF00000000ULL; }
}  // namespace

std::uint32_t Index::findSlot(std::string_view key, std::size_t hash) const {
    if (table_.empty()) return kNoSlot;
    const std::size_t mask = table_.size() - 1;
    const std::uint64_t tag = tagOf(hash);
    for (std::size_t i = hash & mask;; i = (i + 1) & mask) {
        const std::uint64_t cell = table_[i];
        if (cell == 0) return kNoSlot;
        if ((cell & 0xFFFFFFFF00000000ULL) == tag) {
            const std::uint32_t slot = static_cast<std::uint32_t>(cell) - 1;
            if (entries_[slot].key == key) return slot;
        }
    }
}

void Index::rebuildTable(std::size_t size) {
    table_.clear();
    table_.shrink_to_fit();
    table_.reserve(size);
    adviseHugePages(table_.data(), size * sizeof(std::uint64_t));
    table_.assign(size, 0);
    const std::size_t mask = size - 1;
    for (std::size_t slot = 0; slot < entries_.size(); ++slot) {
        std::size_t i = hashes_[slot] & mask;
        while (table_[i] != 0) i = (i + 1) & mask;
        table_[i] = cellOf(static_cast<std::uint32_t>(slot), hashes_[slot]);
    }
}

void Index::reserve(std::size_t keys) {
    entries_.reserve(keys);
    hashes_.reserve(keys);
    adviseHugePages(entries_.data(), entries_.capacity() * sizeof(IndexEntry));
    adviseHugePages(hashes_.data(), hashes_.capacity() * sizeof(std::size_t));
    std::size_t size = 16;
    while (size < 2 * keys) size *= 2;
    if (size > table_.size()) rebuildTable(size);
}

const IndexEntry* Index::find(std::string_view key) const {
    std::uint32_t slot = findSlot(key, std::hash<std::string_view>{}(key));
    return slot == kNoSlot ? nullptr : &entries_[slot];
}

std::uint32_t Index::slotFor(std::string_view key) {
    const std::size_t hash = hashKey(key);
    std::uint32_t slot = findSlot(key, hash);
    if (slot != kNoSlot) return slot;
    if (2 * (entries_.size() + 1) > table_.size()) rebuildTable(table_.empty() ? 16 : 2 * table_.size());
    slot = static_cast<std::uint32_t>(entries_.size());
    entries_.push_back(IndexEntry{keepForRun(key), {}, {}});
    hashes_.push_back(hash);
    const std::size_t mask = table_.size() - 1;
    std::size_t i = hash & mask;
    while (table_[i] != 0) i = (i + 1) & mask;
    table_[i] = cellOf(slot, hash);
    return slot;
}

void Index::addRef(std::string_view key, const EmbeddingEntry& entry, LookupKind kind) {
    IndexEntry& e = entries_[slotFor(key)];
    if (kind == LookupKind::Exact) {
        auto at =
            std::find_if(e.exact.begin(), e.exact.end(), [&](const EmbeddingEntry& x) { return x.position > entry.position; });
        e.exact.insert(at, entry);
    } else {
        e.inexact.insert(e.inexact.begin(), entry);
    }
}

EntryList sortPos(const EntryList& first, const EntryList& second) {
    EntryList out;
    out.reserve(first.size() + second.size());
    std::size_t i = 0, j = 0;
    while (i < first.size() && j < second.size()) {
        if (first[i].position < second[j].position)
            out.push_back(first[i++]);
        else
            out.push_back(second[j++]);
    }
    out.insert(out.end(), first.begin() + i, first.end());
    out.insert(out.end(), second.begin() + j, second.end());
    return out;
}

EntryList entriesOf(const IndexEntry* e, LookupKind kind) {
    if (!e) return {};
    if (kind == LookupKind::Exact) return e->exact;
    return e->inexact.empty() ? e->exact : sortPos(e->exact, e->inexact);
}

EntryList getRef(const Index& index, std::string_view key, LookupKind kind) { return entriesOf(index.find(key), kind); }

bool lt(const EmbeddingEntry& a, const EmbeddingEntry& b) { return a.position < b.position; }
bool equ(const EmbeddingEntry& a, const EmbeddingEntry& b) { return a.position == b.position; }

// ---------------------------------------------------------------------------
// Synonym index and translation merge

namespace {

// The message for a name outside the tag vocabulary.
std::string unknownTagMessage(std::string_view name) {
    return "Attention: the tag \"" + cutForMessage(name) + "\" is not in the tag vocabulary";
}

std::string_view classOrFail(std::string_view name) {
    auto cls = className(name);
    if (!cls) throw Fatal(unknownTagMessage(name));
    return *cls;
}
}  // namespace

void addSyn(SynonymIndex& index, std::string_view name, SynonymRecord record) {
    std::string_view cls = classOrFail(name);
    for (auto& group : index) {
        if (group.first == cls) {
            group.second.push_back(std::move(record));  // kept oldest first; read newest first
            return;
        }
    }
    index.emplace_back(cls, std::vector<SynonymRecord>{std::move(record)});
}

std::vector<SynonymRecord> getSyn(const SynonymIndex& index, std::string_view name) {
    if (index.empty()) return {};
    std::string_view cls = classOrFail(name);
    for (const auto& group : index)
        if (group.first == cls) return {group.second.rbegin(), group.second.rend()};
    return {};
}

SynonymIndex synonymIndex(const Index& elementIndex) {
    // Filing order is postorder: ascending last position, and inside one
    // subtree's last position the deeper (later numbered) node first.
    std::vector<SynonymRecord> records;
    for (const IndexEntry& e : elementIndex.entries())
        for (const EmbeddingEntry& x : e.exact) records.push_back({e.key, x});
    std::sort(records.begin(), records.end(), [](const SynonymRecord& a, const SynonymRecord& b) {
        if (a.entry.last != b.entry.last) return a.entry.last < b.entry.last;
        return a.entry.position > b.entry.position;
    });
    SynonymIndex index;
    for (SynonymRecord& r : records) addSyn(index, r.label, std::move(r));
    return index;
}

std::optional<std::int64_t> findCost(std::string_view name, const RenamingList& weights) {
    for (const auto& [n, w] : weights)
        if (n == name) return w;
    return std::nullopt;
}

EntryList sortByPositionDroppingRepeats(EntryList entries) {
    std::stable_sort(entries.begin(), entries.end(), byPosition);
    entries.erase(std::unique(entries.begin(), entries.end(), equ), entries.end());
    return entries;
}

IndexEntry mergeClassRecords(IndexEntry entry, const std::vector<SynonymRecord>& records, const RenamingList& weights) {
    // Converted records stand in front of the former inexact entries, the
    // record given last foremost; sortByPositionDroppingRepeats keeps the foremost of a position.
    EntryList inexact;
    inexact.reserve(records.size() + entry.inexact.size());
    for (auto it = records.rbegin(); it != records.rend(); ++it) {
        if (it->label == entry.key) continue;
        auto weight = findCost(it->label, weights);
        if (!weight)
            throw InternalError("mergeClassRecords: " + std::string(it->label) + " is not in the renaming list of " +
                                std::string(entry.key));
        EmbeddingEntry converted = it->entry;
        converted.renamingCost += *weight;
        inexact.push_back(converted);
    }
    inexact.insert(inexact.end(), entry.inexact.begin(), entry.inexact.end());
    entry.inexact = sortByPositionDroppingRepeats(std::move(inexact));
    return entry;
}

namespace {
bool strictlyAscending(const EntryList& list) {
    for (std::size_t i = 1; i < list.size(); ++i)
        if (list[i - 1].position >= list[i].position) return false;
    return true;
}
}  // namespace

namespace {

void classifyKeys(const Index& elementIndex) {
    for (const IndexEntry& e : elementIndex.entries()) classOrFail(e.key);
}

// Gives one key of a walked element index its inexact entries. It reads the
// exact lists alone, which no merge changes, so keys merge in any order.
void mergeEntry(Index& elementIndex, std::uint32_t slot) {
    {
        IndexEntry& e = elementIndex.entryAt(slot);
        // The records of the key's class that are not the key's own nodes
        // are the nodes of its translation, which are that key's exact list.
        std::vector<SynonymRecord> records;
        auto vocab = lookupVocabulary(e.key);
        if (!vocab->translation.empty()) {
            if (const IndexEntry* t = elementIndex.find(vocab->translation)) {
                if (e.inexact.empty() && strictlyAscending(t->exact)) {
                    // Already in position order without repeats: the merge
                    // comes down to the translation's nodes at its weight.
                    auto weight = findCost(t->key, classOfSyn(e.key));
                    if (!weight) throw InternalError("mergeIndex: no weight for " + std::string(t->key));
                    EntryList inexact;
                    inexact.reserve(t->exact.size());
                    for (EmbeddingEntry x : t->exact) {
                        x.renamingCost += *weight;
                        inexact.push_back(x);
                    }
                    e.inexact = std::move(inexact);
                    return;
                }
                records.reserve(t->exact.size());
                for (const EmbeddingEntry& x : t->exact) records.push_back({t->key, x});
            }
        }
        if (records.empty() && e.inexact.empty()) return;
        e = mergeClassRecords(std::move(e), records, classOfSyn(e.key));
    }
}

}  // namespace

Index mergeIndex(Index elementIndex) {
    classifyKeys(elementIndex);
    for (std::size_t i = 0; i < elementIndex.size(); ++i) mergeEntry(elementIndex, static_cast<std::uint32_t>(i));
    return elementIndex;
}

// ---------------------------------------------------------------------------
// The walked element index

struct ElementIndex::State {
    Index slots;
    std::vector<Key> keys;
    Mapping labels;
    DocumentTree tree;
    bool compact = false;
    std::optional<Index> whole;

    // f(position, depth, last, name number) for every element and attribute
    // element, in position order.
    template <class F>
    void eachElement(F&& f) const {
        const std::span<const std::uint32_t> words = tree.words();
        const std::uint32_t* raw = labels.raw();
        std::vector<std::int64_t> ends;  // last positions of the elements around
        const std::int64_t n = std::int64_t(words.size());
        for (std::int64_t p = 1; p < n; ++p) {
            const std::uint32_t w = words[std::size_t(p)];
            if (w & 1) continue;  // a text
            while (!ends.empty() && ends.back() < p) ends.pop_back();
            const std::int64_t last = w == DocumentTree::kLargeWord ? tree.last(p) : p + std::int64_t(w >> 1);
            f(p, kDepthPerLevel * std::int64_t(ends.size()), last, Mapping::nameOf(raw[std::size_t(p)]));
            if (last > p) ends.push_back(last);
        }
    }
};

ElementIndex::ElementIndex() : ElementIndex(Index{}) {}

ElementIndex::ElementIndex(Index built) : state_(std::make_shared<State>()) { state_->slots = std::move(built); }

ElementIndex::ElementIndex(Index slots, std::vector<Key> keys, Mapping labels, DocumentTree tree)
    : state_(std::make_shared<State>()) {
    if (keys.size() != slots.size()) throw InternalError("ElementIndex: keys and slots differ in number");
    state_->slots = std::move(slots);
    state_->keys = std::move(keys);
    state_->labels = std::move(labels);
    state_->tree = std::move(tree);
    state_->compact = true;
}

const Index& ElementIndex::keys() const { return state_->slots; }

bool ElementIndex::compact() const { return state_->compact; }

EntryList ElementIndex::exact(std::uint32_t slot) const {
    const std::uint32_t slots[1] = {slot};
    return std::move(exact(slots).front());
}

std::vector<EntryList> ElementIndex::exact(std::span<const std::uint32_t> slots) const {
    const State& s = *state_;
    std::vector<EntryList> out(slots.size());
    if (!s.compact) {
        for (std::size_t i = 0; i < slots.size(); ++i) out[i] = s.slots.entries()[slots[i]].exact;
        return out;
    }
    // The names wanted, each with its list and node alone.
    struct Wanted {
        std::uint32_t name;
        std::size_t list;
        const xml::Tree* leaf;
    };
    std::vector<Wanted> wanted;
    for (std::size_t i = 0; i < slots.size(); ++i) {
        const Key& k = s.keys[slots[i]];
        if (k.elementName != kNoName) wanted.push_back({k.elementName, i, k.elementLeaf});
        if (k.attributeName != kNoName) wanted.push_back({k.attributeName, i, k.attributeLeaf});
    }
    auto find = [&wanted](std::uint32_t name) -> const Wanted* {
        if (name == kNoName) return nullptr;
        for (const Wanted& w : wanted)
            if (w.name == name) return &w;
        return nullptr;
    };
    // Each list is made at its size: the walk's counts, or a pass over the
    // labels; then one pass over the nodes for all the lists together.
    std::vector<std::size_t> counts(slots.size(), 0);
    bool counted = true;
    auto addCount = [&](std::size_t i, std::uint32_t name, const std::optional<std::size_t>& count) {
        if (name == kNoName) return;
        if (count)
            counts[i] += *count;
        else
            counted = false;
    };
    for (std::size_t i = 0; i < slots.size(); ++i) {
        const Key& k = s.keys[slots[i]];
        addCount(i, k.elementName, k.elementCount);
        addCount(i, k.attributeName, k.attributeCount);
    }
    if (!counted) {
        counts.assign(slots.size(), 0);
        const std::uint32_t* raw = s.labels.raw();
        const std::size_t n = s.tree.words().size();
        for (std::size_t p = 1; p < n; ++p)
            if (const Wanted* w = find(Mapping::nameOf(raw[p]))) ++counts[w->list];
    }
    for (std::size_t i = 0; i < slots.size(); ++i) {
        out[i].reserve(counts[i]);
        adviseHugePages(out[i].data(), counts[i] * sizeof(EmbeddingEntry));
    }
    s.eachElement([&](std::int64_t p, std::int64_t depth, std::int64_t last, std::uint32_t name) {
        if (const Wanted* w = find(name)) out[w->list].push_back(EmbeddingEntry{p, depth, last, 0, 0, w->leaf});
    });
    for (std::size_t i = 0; i < slots.size(); ++i)
        if (out[i].size() != counts[i]) throw InternalError("ElementIndex::exact: a list of another size than counted");
    return out;
}

const Index& ElementIndex::get() const {
    State& s = *state_;
    if (!s.compact) return s.slots;
    if (!s.whole) {
        // One pass files every node under its key.
        std::unordered_map<std::uint32_t, std::pair<std::uint32_t, const xml::Tree*>> byName;
        for (std::uint32_t slot = 0; slot < s.keys.size(); ++slot) {
            const Key& k = s.keys[slot];
            if (k.elementName != kNoName) byName[k.elementName] = {slot, k.elementLeaf};
            if (k.attributeName != kNoName) byName[k.attributeName] = {slot, k.attributeLeaf};
        }
        std::vector<EntryList> lists(s.keys.size());
        s.eachElement([&](std::int64_t p, std::int64_t depth, std::int64_t last, std::uint32_t name) {
            const auto it = byName.find(name);
            if (it == byName.end()) throw InternalError("ElementIndex: a node of no key");
            lists[it->second.first].push_back(EmbeddingEntry{p, depth, last, 0, 0, it->second.second});
        });
        Index whole = s.slots;
        for (std::uint32_t slot = 0; slot < whole.size(); ++slot) whole.setExact(slot, std::move(lists[slot]));
        s.whole = std::move(whole);
    }
    return *s.whole;
}

struct MergedElementIndex::State {
    Index index;
    ElementIndex source;       // the exact lists not taken yet, when compact
    std::vector<bool> filled;  // by slot: the key's exact list is in place
    std::vector<bool> done;    // by slot: the key's inexact entries are in place
    std::size_t left = 0;      // keys not merged yet
    bool classified = false;
    std::exception_ptr failure;    // of the classification, given to every lookup
    std::string unknownNamePlace;  // heads the message of a name outside the vocabulary

    void classify() {
        if (failure) std::rethrow_exception(failure);
        if (classified) return;
        try {
            classifyKeys(index);
        } catch (const Fatal& e) {
            failure = std::make_exception_ptr(Fatal(unknownNamePlace + e.what()));
            std::rethrow_exception(failure);
        } catch (...) {
            failure = std::current_exception();
            throw;
        }
        classified = true;
    }
    const IndexEntry& entry(std::uint32_t slot) {
        if (!done[slot]) {
            // The merge reads the key's exact list and its translation's; a
            // translation's list made for the merge alone is dropped after it.
            constexpr std::uint32_t kNone = ~std::uint32_t(0);
            std::uint32_t madeForMerge = kNone;
            std::vector<std::uint32_t> toFill;
            if (!filled[slot]) toFill.push_back(slot);
            const auto vocab = lookupVocabulary(index.entryAt(slot).key);
            if (vocab && !vocab->translation.empty())
                if (const IndexEntry* t = index.find(vocab->translation)) {
                    const auto tslot = static_cast<std::uint32_t>(t - index.entries().data());
                    if (!filled[tslot] && tslot != slot) {
                        madeForMerge = tslot;
                        toFill.push_back(tslot);
                    }
                }
            // The lists wanted are made in one pass over the nodes.
            std::vector<EntryList> lists = source.exact(toFill);
            for (std::size_t i = 0; i < toFill.size(); ++i) {
                index.setExact(toFill[i], std::move(lists[i]));
                filled[toFill[i]] = true;
            }
            mergeEntry(index, slot);
            if (madeForMerge != kNone) {
                index.setExact(madeForMerge, {});
                filled[madeForMerge] = false;
            }
            done[slot] = true;
            --left;
        }
        return index.entryAt(slot);
    }
    // The entry of a slot with its exact list in place; its inexact entries
    // wait for a lookup that reads them.
    const IndexEntry& exactEntry(std::uint32_t slot) {
        if (!filled[slot]) {
            const std::uint32_t one[1] = {slot};
            index.setExact(slot, std::move(source.exact(one).front()));
            filled[slot] = true;
        }
        return index.entryAt(slot);
    }
};

MergedElementIndex::MergedElementIndex() : MergedElementIndex(Index{}) {}

MergedElementIndex::MergedElementIndex(Index walked) : state_(std::make_shared<State>()) {
    state_->done.assign(walked.size(), false);
    state_->filled.assign(walked.size(), true);
    state_->left = walked.size();
    state_->index = std::move(walked);
}

MergedElementIndex::MergedElementIndex(ElementIndex walked, std::string unknownNamePlace) : state_(std::make_shared<State>()) {
    state_->unknownNamePlace = std::move(unknownNamePlace);
    const std::size_t n = walked.size();
    state_->done.assign(n, false);
    state_->filled.assign(n, !walked.compact());
    state_->left = n;
    state_->index = walked.keys();
    state_->source = std::move(walked);
}

const Index& MergedElementIndex::merged() const {
    State& s = *state_;
    s.classify();
    for (std::uint32_t slot = 0; s.left > 0 && slot < s.done.size(); ++slot) s.entry(slot);
    return s.index;
}

bool MergedElementIndex::isMerged() const { return state_->classified || state_->failure; }

namespace {

// The key's place among the index's entries, or none for a key it lacks.
std::optional<std::uint32_t> placeOf(const Index& index, std::string_view key) {
    const IndexEntry* e = index.find(key);
    if (!e) return std::nullopt;
    return static_cast<std::uint32_t>(e - index.entries().data());
}

}  // namespace

const IndexEntry* MergedElementIndex::find(std::string_view key) const {
    State& s = *state_;
    s.classify();
    std::optional<std::uint32_t> place = placeOf(s.index, key);
    return place ? &s.entry(*place) : nullptr;
}

const IndexEntry* MergedElementIndex::findExact(std::string_view key) const {
    State& s = *state_;
    s.classify();
    std::optional<std::uint32_t> place = placeOf(s.index, key);
    return place ? &s.exactEntry(*place) : nullptr;
}

void MergedElementIndex::prepareExact(std::span<const std::string> keys) const {
    State& s = *state_;
    s.classify();
    std::vector<std::uint32_t> toFill;
    for (const std::string& key : keys) {
        std::optional<std::uint32_t> place = placeOf(s.index, key);
        if (!place) return;
        if (!s.filled[*place] && std::find(toFill.begin(), toFill.end(), *place) == toFill.end()) toFill.push_back(*place);
    }
    if (toFill.size() < 2) return;
    std::vector<EntryList> lists = s.source.exact(toFill);
    for (std::size_t i = 0; i < toFill.size(); ++i) {
        s.index.setExact(toFill[i], std::move(lists[i]));
        s.filled[toFill[i]] = true;
    }
}

EntryList getRef(const MergedElementIndex& index, std::string_view key, LookupKind kind) {
    if (kind == LookupKind::Exact) return entriesOf(index.findExact(key), kind);
    return entriesOf(index.find(key), kind);
}

}  // namespace axf::index
