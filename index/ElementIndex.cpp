#include "index/ElementIndex.h"

#include <sys/mman.h>

#include <algorithm>
#include <array>
#include <charconv>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <functional>
#include <memory>
#include <span>
#include <unordered_map>

#include "common/MessageText.h"
#include "index/SynonymClasses.h"
#include "xml/Arena.h"
#include "xml/DTD.h"
#include "xml/XMLScanner.h"

namespace axf::index {
namespace {

// A copy of the text that lives for the whole run.
std::string_view keepForRun(std::string_view text) {
    if (text.empty()) return {};
    char* p = static_cast<char*>(xml::Arena::allocate(text.size(), 1));
    std::memcpy(p, text.data(), text.size());
    return {p, text.size()};
}

bool byPosition(const EmbeddingEntry& a, const EmbeddingEntry& b) { return a.position < b.position; }

}  // namespace

// ---------------------------------------------------------------------------
// Element and text index

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
    xml::Arena::adviseHugePages(table_.data(), size * sizeof(std::uint64_t));
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
    xml::Arena::adviseHugePages(entries_.data(), entries_.capacity() * sizeof(IndexEntry));
    xml::Arena::adviseHugePages(hashes_.data(), hashes_.capacity() * sizeof(std::size_t));
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

void Index::addRef(std::string_view key, const EmbeddingEntry& entry, std::string_view kind) {
    if (kind != "E" && kind != "N") throw InternalError("addRef: kind must be \"E\" or \"N\"");
    IndexEntry& e = entries_[slotFor(key)];
    if (kind == "E") {
        auto at = std::find_if(e.exact.begin(), e.exact.end(),
                               [&](const EmbeddingEntry& x) { return x.position > entry.position; });
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

namespace {
EntryList entriesOf(const IndexEntry* e, std::string_view kind) {
    if (!e) return {};
    if (kind == "E") return e->exact;
    if (kind == "N") return e->inexact.empty() ? e->exact : sortPos(e->exact, e->inexact);
    return {};
}
}  // namespace

EntryList getRef(const Index& index, std::string_view key, std::string_view kind) {
    return entriesOf(index.find(key), kind);
}

bool lt(const EmbeddingEntry& a, const EmbeddingEntry& b) { return a.position < b.position; }
bool equ(const EmbeddingEntry& a, const EmbeddingEntry& b) { return a.position == b.position; }

std::string_view getMapName(std::int64_t position, const Mapping& mapping) {
    if (position < 1 || static_cast<std::uint64_t>(position) >= mapping.size())
        throw InternalError("getMapName: position " + std::to_string(position) + " numbers no node");
    return mapping[static_cast<std::size_t>(position)];
}

// ---------------------------------------------------------------------------
// Synonym index and merge

std::string unknownTagMessage(std::string_view name) {
    return "Attention: the tag \"" + cutForMessage(name) + "\" is not in the tag vocabulary";
}

namespace {
std::string_view classOrFail(std::string_view name) {
    auto cls = className(name);
    if (!cls) throw Fatal(unknownTagMessage(name));
    return *cls;
}
}  // namespace

void addSyn(Synonym& index, std::string_view name, SynonymRecord record) {
    std::string_view cls = classOrFail(name);
    for (auto& group : index) {
        if (group.first == cls) {
            group.second.push_back(std::move(record));  // kept oldest first; read newest first
            return;
        }
    }
    index.emplace_back(cls, std::vector<SynonymRecord>{std::move(record)});
}

std::vector<SynonymRecord> getSyn(const Synonym& index, std::string_view name) {
    if (index.empty()) return {};
    std::string_view cls = classOrFail(name);
    for (const auto& group : index)
        if (group.first == cls) return {group.second.rbegin(), group.second.rend()};
    return {};
}

Synonym synonymIndex(const Index& elementIndex) {
    // Filing order is postorder: ascending last position, and inside one
    // subtree's last position the deeper (later numbered) node first.
    std::vector<SynonymRecord> records;
    for (const IndexEntry& e : elementIndex.entries())
        for (const EmbeddingEntry& x : e.exact) records.push_back({e.key, x});
    std::sort(records.begin(), records.end(), [](const SynonymRecord& a, const SynonymRecord& b) {
        if (a.entry.last != b.entry.last) return a.entry.last < b.entry.last;
        return a.entry.position > b.entry.position;
    });
    Synonym index;
    for (SynonymRecord& r : records) addSyn(index, r.label, std::move(r));
    return index;
}

std::optional<std::int64_t> findCost(std::string_view name, const RenamingList& weights) {
    for (const auto& [n, w] : weights)
        if (n == name) return w;
    return std::nullopt;
}

EntryList quickSort(EntryList entries) {
    std::stable_sort(entries.begin(), entries.end(), byPosition);
    entries.erase(std::unique(entries.begin(), entries.end(), equ), entries.end());
    return entries;
}

IndexEntry mergeAux(IndexEntry entry, const std::vector<SynonymRecord>& records, const RenamingList& weights) {
    // Converted records stand in front of the former inexact entries, the
    // record given last foremost; quickSort keeps the foremost of a position.
    EntryList inexact;
    inexact.reserve(records.size() + entry.inexact.size());
    for (auto it = records.rbegin(); it != records.rend(); ++it) {
        if (it->label == entry.key) continue;
        auto weight = findCost(it->label, weights);
        if (!weight)
            throw InternalError("mergeAux: " + std::string(it->label) + " is not in the renaming list of " +
                                std::string(entry.key));
        EmbeddingEntry converted = it->entry;
        converted.renamingCost += *weight;
        inexact.push_back(converted);
    }
    inexact.insert(inexact.end(), entry.inexact.begin(), entry.inexact.end());
    entry.inexact = quickSort(std::move(inexact));
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
        e = mergeAux(std::move(e), records, classOfSyn(e.key));
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
        const std::vector<std::uint32_t>& words = tree.words();
        const std::uint32_t* raw = labels.raw();
        std::vector<std::int64_t> ends;  // last positions of the elements around
        const std::int64_t n = std::int64_t(words.size());
        for (std::int64_t p = 1; p < n; ++p) {
            const std::uint32_t w = words[std::size_t(p)];
            if (w & 1) continue;  // a text
            while (!ends.empty() && ends.back() < p) ends.pop_back();
            const std::int64_t last = w == DocumentTree::kLargeWord ? tree.last(p) : p + std::int64_t(w >> 1);
            f(p, 2 * std::int64_t(ends.size()), last, Mapping::nameOf(raw[std::size_t(p)]));
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
    // Counted first, so that each list is made at its size: one pass over
    // the labels, then one over the nodes for all the lists together.
    const std::uint32_t* raw = s.labels.raw();
    const std::size_t n = s.tree.words().size();
    std::vector<std::size_t> counts(slots.size(), 0);
    for (std::size_t p = 1; p < n; ++p)
        if (const Wanted* w = find(Mapping::nameOf(raw[p]))) ++counts[w->list];
    for (std::size_t i = 0; i < slots.size(); ++i) out[i].reserve(counts[i]);
    s.eachElement([&](std::int64_t p, std::int64_t depth, std::int64_t last, std::uint32_t name) {
        if (const Wanted* w = find(name)) out[w->list].push_back(EmbeddingEntry{p, depth, last, 0, 0, w->leaf});
    });
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

struct IndexEL::State {
    Index index;
    ElementIndex source;       // the exact lists not taken yet, when compact
    std::vector<bool> filled;  // by slot: the key's exact list is in place
    std::vector<bool> done;  // by slot: the key's inexact entries are in place
    std::size_t left = 0;    // keys not merged yet
    bool classified = false;
    std::exception_ptr failure;  // of the classification, given to every lookup

    void classify() {
        if (failure) std::rethrow_exception(failure);
        if (classified) return;
        try {
            classifyKeys(index);
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
};

IndexEL::IndexEL() : IndexEL(Index{}) {}

IndexEL::IndexEL(Index walked) : state_(std::make_shared<State>()) {
    state_->done.assign(walked.size(), false);
    state_->filled.assign(walked.size(), true);
    state_->left = walked.size();
    state_->index = std::move(walked);
}

IndexEL::IndexEL(ElementIndex walked) : state_(std::make_shared<State>()) {
    const std::size_t n = walked.size();
    state_->done.assign(n, false);
    state_->filled.assign(n, !walked.compact());
    state_->left = n;
    state_->index = walked.keys();
    state_->source = std::move(walked);
}

const Index& IndexEL::merged() const {
    State& s = *state_;
    s.classify();
    for (std::uint32_t slot = 0; s.left > 0 && slot < s.done.size(); ++slot) s.entry(slot);
    return s.index;
}

bool IndexEL::isMerged() const { return state_->classified || state_->failure; }

const IndexEntry* IndexEL::find(std::string_view key) const {
    State& s = *state_;
    s.classify();
    const IndexEntry* e = s.index.find(key);
    if (!e) return nullptr;
    return &s.entry(static_cast<std::uint32_t>(e - s.index.entries().data()));
}

EntryList getRef(const IndexEL& index, std::string_view key, std::string_view kind) {
    return entriesOf(index.find(key), kind);
}

// ---------------------------------------------------------------------------
// Text index

namespace {

// The text index of a walk's nodes: every text filed under itself, in position order, keys in the order of their first
// text, one leaf per key; a text's depth is 2 per element around it.
Index textIndexOf(const DocumentTree& nodes) {
    Index tx;
    std::vector<const xml::Tree*> leaves;  // by slot
    std::vector<std::int64_t> ends;        // last positions of the elements around
    for (std::int64_t p = 1; p < nodes.size(); ++p) {
        while (!ends.empty() && ends.back() < p) ends.pop_back();
        if (!nodes.isText(p)) {
            if (nodes.last(p) > p) ends.push_back(nodes.last(p));
            continue;
        }
        const std::string_view text = nodes.label(p);
        const std::uint32_t slot = tx.slotFor(text);
        if (slot == leaves.size()) leaves.push_back(xml::leafNode(xml::TXNode{std::string(text)}));
        tx.appendExact(slot, EmbeddingEntry{p, 2 * std::int64_t(ends.size()), p, 0, 0, leaves[slot]});
    }
    return tx;
}

}  // namespace

TextIndex::TextIndex() : index_(Lazy<Index>::ready(Index{})) {}

TextIndex::TextIndex(Index built) : index_(Lazy<Index>::ready(std::move(built))) {}

TextIndex::TextIndex(const DocumentTree& nodes)
    : index_(makeLazy([nodes] { return textIndexOf(nodes); })) {}

// ---------------------------------------------------------------------------
// Text preparation and attribute events

namespace {

// The scan behind deleteBlanc: the text is cut into runs, each handed to
// run(from, to, asBlank): within text[from, to) newlines and tabs are dropped
// (asBlank false) or turned into blanks (asBlank true), every other byte kept.
// run returns false to stop the scan.
template <class Run>
void prepareText(std::string_view text, Run&& run) {
    const std::size_t n = text.size();
    std::size_t i = 0;
    // End (one past) of a construct closed by `close`, or the end of the text.
    auto through = [&](std::size_t from, std::string_view close) {
        std::size_t at = text.find(close, from);
        return at == std::string_view::npos ? n : at + close.size();
    };
    // End (one past) of a tag or a declaration whose '<' stands before
    // `from`: the first '>' outside a literal, or the end of the text.
    auto tagEnd = [&](std::size_t from) {
        std::size_t k = from;
        char quote = 0;
        for (; k < n; ++k) {
            char c = text[k];
            if (quote) {
                if (c == quote) quote = 0;
            } else if (c == '"' || c == '\'') {
                quote = c;
            } else if (c == '>') {
                break;
            }
        }
        return k < n ? k + 1 : n;
    };
    while (i < n) {
        if (text[i] != '<') {
            std::size_t next = text.find('<', i);
            if (next == std::string_view::npos) next = n;
            if (!run(i, next, false)) return;
            i = next;
            continue;
        }
        std::string_view rest = text.substr(i);
        std::size_t end;
        bool markup = true;
        const char second = i + 1 < n ? text[i + 1] : '\0';
        if (second != '!' && second != '?') {
            end = tagEnd(i + 1);
        } else if (rest.starts_with("<!--")) {
            end = through(i + 4, "-->");
            markup = false;
        } else if (rest.starts_with("<![CDATA[")) {
            end = through(i + 9, "]]>");
            markup = false;
        } else if (rest.starts_with("<?")) {
            end = through(i + 2, "?>");
        } else {
            end = tagEnd(i + 1);
        }
        if (!run(i, end, markup)) return;
        i = end;
    }
}

}  // namespace

namespace {

// Writes deleteBlanc(text) to out (room for text.size() bytes; out may be
// text.data() itself, as no byte is written ahead of what is read), calling
// dropped(offset) with the output offset of each line feed or tab removed.
// Gives the prepared length.
template <class Dropped>
std::size_t prepareBytes(std::string_view text, char* out, Dropped dropped) {
    char* o = out;
    const char* d = text.data();
    prepareText(text, [&](std::size_t from, std::size_t to, bool asBlank) {
        if (asBlank) {
            for (std::size_t k = from; k < to; ++k) {
                const char c = d[k];
                *o++ = (c == '\n' || c == '\t') ? ' ' : c;
            }
        } else {
            for (std::size_t k = from; k < to; ++k) {
                const char c = d[k];
                *o = c;
                if (c == '\n' || c == '\t')
                    dropped(static_cast<std::size_t>(o - out));
                else
                    ++o;
            }
        }
        return true;
    });
    return static_cast<std::size_t>(o - out);
}

std::size_t prepareInto(std::string_view text, char* out) {
    return prepareBytes(text, out, [](std::size_t) {});
}

// The prepared text of a document, in storage of its own that is neither
// cleared first nor kept past the walk.
class PreparedText {
public:
    explicit PreparedText(std::string_view text) {
        std::size_t room = text.size();
        data_.reset(xml::Arena::allocateHugePaged(room));
        size_ = prepareInto(text, data_.get());
    }
    std::string_view view() const { return {data_.get(), size_}; }

    // The storage of the bytes before `read` (whole huge pages of it) goes
    // back to the system; they must not be read again.
    void giveBack(std::size_t read) {
        constexpr std::size_t kPage = std::size_t(2) << 20;
        const std::size_t upTo = std::min(read, size_) & ~(kPage - 1);
        if (upTo <= given_) return;
        madvise(data_.get() + given_, upTo - given_, MADV_DONTNEED);
        given_ = upTo;
    }

private:
    struct Free {
        void operator()(char* p) const { std::free(p); }
    };
    std::unique_ptr<char, Free> data_;
    std::size_t size_ = 0;
    std::size_t given_ = 0;  // bytes before this are given back
};

// The places where the preparation of a text dropped bytes: for each
// dropped byte, the prepared offset at which it was dropped (low 32 bits,
// with the steps of the high bits aside), in ascending order.
class RemovedBytes {
public:
    explicit RemovedBytes(std::size_t originalSize) : originalSize_(originalSize) {}
    void add(std::size_t preparedOffset) {
        while ((preparedOffset >> 32) > high_) {
            highSteps_.push_back(low_.size());
            ++high_;
        }
        low_.push_back(static_cast<std::uint32_t>(preparedOffset));
    }
    // The offset in the original text of the prepared byte k (the
    // original's length from the prepared text's end on).
    std::size_t originalOffset(std::size_t k, std::size_t preparedSize) const {
        if (k >= preparedSize) return originalSize_;
        // The bytes dropped before k's byte was written: those recorded at
        // prepared offsets up to k.
        std::size_t lo = 0, hi = low_.size();
        while (lo < hi) {
            const std::size_t mid = lo + (hi - lo) / 2;
            if (full(mid) <= k)
                lo = mid + 1;
            else
                hi = mid;
        }
        return k + lo;
    }

private:
    std::size_t full(std::size_t i) const {
        const std::size_t high = std::upper_bound(highSteps_.begin(), highSteps_.end(), i) - highSteps_.begin();
        return (high << 32) | low_[i];
    }
    std::size_t originalSize_;
    std::vector<std::uint32_t> low_;
    std::vector<std::size_t> highSteps_;
    std::size_t high_ = 0;
};

// deleteBlanc in place: the text's first `size` bytes are rewritten to their
// prepared form (never ahead of what is read), each dropped byte recorded.
// Gives the prepared length.
std::size_t prepareInPlace(char* data, std::size_t size, RemovedBytes& removed) {
    return prepareBytes(std::string_view(data, size), data, [&](std::size_t at) { removed.add(at); });
}

// The whole pages of [data + given, data + read) go back to the system;
// those bytes must not be read again. Gives how far the pages are given back.
std::size_t giveBackBefore(char* data, std::size_t given, std::size_t read) {
    constexpr std::uintptr_t kPage = 4096;
    const std::uintptr_t base = reinterpret_cast<std::uintptr_t>(data);
    const std::uintptr_t from = (base + given + kPage - 1) & ~(kPage - 1);
    const std::uintptr_t to = (base + read) & ~(kPage - 1);
    if (to <= from) return given;
    madvise(reinterpret_cast<void*>(from), to - from, MADV_DONTNEED);
    return to - base;
}

}  // namespace

std::string deleteBlanc(std::string_view text) {
    std::string out(text.size(), '\0');
    out.resize(prepareInto(text, out.data()));
    return out;
}

std::size_t originalOffset(std::string_view text, std::size_t preparedOffset) {
    std::size_t count = 0, found = text.size();
    prepareText(text, [&](std::size_t from, std::size_t to, bool asBlank) {
        for (std::size_t k = from; k < to; ++k) {
            const char c = text[k];
            if ((c == '\n' || c == '\t') && !asBlank) continue;
            if (count++ < preparedOffset) continue;
            found = k;
            return false;
        }
        return true;
    });
    return found;
}

bool allBlancs(std::string_view text) {
    for (char c : text)
        if (c != ' ' && c != '\n' && c != '\t') return false;
    return true;
}

namespace {
// True when every byte is white space to the scanner (blanks, line ends,
// tabs, form feeds, vertical tabs, carriage returns, no-break spaces).
bool allSeparators(std::string_view text) {
    for (char c : text)
        if (!xml::isSEPCHAR(static_cast<unsigned char>(c))) return false;
    return true;
}
}  // namespace

std::vector<xml::XMLEvent> attrs(const xml::LazyAttList& attributes, std::vector<xml::XMLEvent> events) {
    if (attributes.empty()) return events;
    std::vector<xml::XMLEvent> out;
    out.reserve(3 * attributes.size() + events.size());
    for (const auto& [name, value] : attributes) {
        out.emplace_back(xml::StartEvent{"@" + name, {}});
        out.emplace_back(xml::TextEvent{value.get()});
        out.emplace_back(xml::EndEvent{name});
    }
    for (auto& e : events) out.push_back(std::move(e));
    return out;
}

// ---------------------------------------------------------------------------
// The walk

std::string documentLabel(std::string_view value, std::int64_t position) {
    char digits[24];
    const auto [end, ec] = std::to_chars(digits, digits + sizeof digits, position);
    const std::size_t ndigits = static_cast<std::size_t>(end - digits);
    std::string label;
    std::size_t special = value.find_first_of("^\\");
    if (special == std::string_view::npos) {
        label.reserve(value.size() + 1 + ndigits);
        label.append(value);
    } else {
        label.reserve(value.size() + 2 + ndigits);
        label.append(value.substr(0, special));
        for (char c : value.substr(special)) {
            if (c == '^' || c == '\\') label.push_back('\\');
            label.push_back(c);
        }
    }
    label.push_back('^');
    label.append(digits, ndigits);
    return label;
}

namespace {

constexpr std::uint32_t kNoSlot = ~std::uint32_t(0);

// One distinct label of elements or attribute elements: its text for the
// mapping, the node alone that every entry of it carries, and its
// element-index slot once it has been filed.
struct LabelInfo {
    std::string_view text;
    const xml::Tree* leaf = nullptr;
    std::uint32_t slot = kNoSlot;
    bool attribute = false;  // "@" and an attribute's name, filed under the name
    std::uint32_t name = 0;  // its number in the mapping
};

char predefinedEntity(std::string_view name) {
    if (name == "amp") return '&';
    if (name == "lt") return '<';
    if (name == "gt") return '>';
    if (name == "quot") return '"';
    if (name == "apos") return '\'';
    throw Fatal("entity " + cutForMessage(name) + " not defined");
}

// The walk: numbers, labels and files nodes as the steps of the document
// arrive, either from parse events or straight from the text.
class Walk {
public:
    explicit Walk(std::size_t textBytes) {
        // A node takes some 20 bytes of text; reserved room that is never
        // used is never touched.
        result_.mapping.reserve(textBytes / 8 + 1);
        words_.reserve(textBytes / 8 + 1);
        adviseHugePages(words_);
        words_.push_back(0);
    }

    // Walks parse events until they run out (true) or an end event closes
    // no open element (false).
    template <class Source>
    bool feed(Source&& source) {
        for (;;) {
            std::optional<xml::XMLEvent> event = source();
            if (!event) return true;
            if (auto* start = std::get_if<xml::StartEvent>(&*event)) {
                open(start->name);
                attributes(start->attributes);
            } else if (auto* empty = std::get_if<xml::EmptyEvent>(&*event)) {
                open(empty->name);
                attributes(empty->attributes);
                closeInnermost();
            } else if (std::holds_alternative<xml::EndEvent>(*event)) {
                if (atTop()) return false;  // closes no open element: the top level ends
                closeInnermost();
            } else if (auto* text = std::get_if<xml::TextEvent>(&*event)) {
                addText(text->text);
            } else if (auto* ref = std::get_if<xml::GERefEvent>(&*event)) {
                const char c = predefinedEntity(ref->name);
                addText(std::string_view(&c, 1));
            } else if (auto* error = std::get_if<xml::ErrorEvent>(&*event)) {
                throw Fatal(error->message);
            }
            // Comments and processing instructions carry no data.
        }
    }

    BuildResult finish(bool reachedEnd) {
        while (!atTop()) closeInnermost();
        result_.reachedEnd = reachedEnd;
        result_.lastPosition = last_;
        result_.mapping.finishBuilding();
        result_.tree = DocumentTree(result_.mapping, std::move(words_), std::move(large_));
        result_.elementIndex = elementIndex();
        result_.textIndex = TextIndex(result_.tree);
        return std::move(result_);
    }

    bool atTop() const { return open_.empty(); }

    // An element, or (attribute set) the attribute element "@" + name.
    void open(std::string_view name, bool attribute = false) {
        LabelInfo& info = labelInfo(elementLabels_, name, attribute);
        std::int64_t position = ++last_;
        result_.mapping.pushName(info.name);
        words_.push_back(0);  // set when it closes
        open_.push_back(Frame{position, &info});
    }

    // An attribute: its attribute element with the value text inside.
    void attribute(std::string_view name, std::string_view value) {
        atName_.assign(1, '@');
        atName_.append(name);
        open(atName_, true);
        addText(value);
        closeInnermost();
    }

    // The attributes of an element event, each value read in its turn.
    void attributes(const xml::LazyAttList& list) {
        for (const auto& [name, value] : list) attribute(name, value.get());
    }

    void closeInnermost() {
        Frame f = open_.back();
        open_.pop_back();
        words_[static_cast<std::size_t>(f.position)] = DocumentTree::elementWord(f.position, last_ - f.position, large_);
        assignSlot(*f.label);
    }

    // A text, whatever its first byte. White space before the first node
    // (a carriage return between prolog items) is not the document.
    void addText(std::string_view text) {
        if (allBlancs(text)) return;
        if (last_ == 0 && allSeparators(text)) return;
        ++last_;
        words_.push_back(DocumentTree::kTextWord);
        // The text index is made from the mapping when first read.
        result_.mapping.pushText(text);
    }

private:
    struct Frame {
        std::int64_t position;
        LabelInfo* label;
    };

    template <class T>
    static void adviseHugePages(const std::vector<T>& v) {
        xml::Arena::adviseHugePages(v.data(), v.capacity() * sizeof(T));
    }

    LabelInfo& labelInfo(std::unordered_map<std::string_view, LabelInfo>& labels, std::string_view label,
                         bool attribute) {
        auto it = labels.find(label);
        if (it != labels.end()) return it->second;
        std::string_view kept = keepForRun(label);
        LabelInfo& info = labels[kept];
        info.text = kept;
        info.leaf = xml::leafNode(xml::ELNode{std::string(label), {}});
        info.attribute = attribute;
        info.name = result_.mapping.nameNumber(kept);
        return info;
    }

    // The element-index key of a label (a name, or '@' and a name) gets its
    // place when the first node of the label is complete: keys stand in the
    // order in which the walk completes their first nodes.
    void assignSlot(LabelInfo& info) {
        if (info.slot != kNoSlot) return;
        std::string_view key = info.text;
        if (info.attribute) key.remove_prefix(1);
        info.slot = slots_.slotFor(key);
    }

    // The element index of the labels: one or two labels share a key (the
    // element "x" and the attribute element "@x").
    ElementIndex elementIndex() {
        std::vector<ElementIndex::Key> keys(slots_.size());
        for (auto& [text, info] : elementLabels_) {
            if (info.slot == kNoSlot) continue;
            ElementIndex::Key& key = keys[info.slot];
            if (info.attribute) {
                key.attributeName = info.name;
                key.attributeLeaf = info.leaf;
            } else {
                key.elementName = info.name;
                key.elementLeaf = info.leaf;
            }
        }
        return ElementIndex(std::move(slots_), std::move(keys), result_.mapping, result_.tree);
    }

    BuildResult result_;
    Index slots_;  // the element-index keys in the order of their first complete node
    std::unordered_map<std::string_view, LabelInfo> elementLabels_;  // elements and attribute elements
    std::vector<Frame> open_;
    std::vector<std::uint32_t> words_;  // by position: the document tree's word of each node
    DocumentTree::LargeCounts large_;
    std::int64_t last_ = 0;
    std::string atName_;  // "@" and the name of the attribute being walked
};

// ---------------------------------------------------------------------------
// The direct walk over a prepared text. It reads the text as the scanner and
// the event parser would and drives the walk itself, without tokens or
// events, for the constructs of ordinary documents: start, end and
// empty-element tags with their attributes, character data, white space,
// character and predefined entity references, comments and processing
// instructions. At anything else it hands over, at the start of the event
// it could not take, to the event parser, which goes on from there; or, when
// the prolog is out of the ordinary, it leaves the whole text to the event
// parser before any step.

using namespace xml::scanclass;

struct DirectOutcome {
    enum Kind {
        Ended,      // the text ended
        Stopped,    // an end tag closed no open element
        HandedOver, // the event parser goes on from `at`
        NotTaken,   // nothing walked: the event parser takes the whole text
    } kind;
    std::size_t at = 0;
};

class DirectWalk {
public:
    // done(k), when given, is told from time to time that the bytes before
    // k will not be read again.
    DirectWalk(std::string_view text, Walk& walk, std::function<void(std::size_t)> done = {})
        : s_(text), d_(reinterpret_cast<const unsigned char*>(text.data())), n_(text.size()), walk_(walk),
          done_(std::move(done)) {}

    DirectOutcome run() {
        // The prolog: white space, at most one processing instruction, white
        // space. A document type line is left to the event parser, and so is
        // a marked section here (its opener and closer give no token, so
        // the prolog reads on through it).
        std::size_t p = skipSep(0);
        if (startsWith(p, "<![")) return {DirectOutcome::NotTaken};
        if (startsWith(p, "<?")) {
            const std::size_t close = s_.find("?>", p + 2);
            if (close == std::string_view::npos) return {DirectOutcome::NotTaken};
            p = skipSep(close + 2);
        }
        if (startsWith(p, "<!") && !startsWith(p, "<!--")) return {DirectOutcome::NotTaken};

        for (;;) {
            if (p >= n_) return {DirectOutcome::Ended, n_};
            if (p >= nextDone_) tellDone(p);
            const unsigned char c = d_[p];
            if (c == '<') {
                const std::size_t next = markup(p);
                if (next == kStop) return {DirectOutcome::Stopped, p};
                if (next == kHandOver) return {DirectOutcome::HandedOver, p};
                p = next;
            } else if (c == '&') {
                const std::size_t next = reference(p);
                if (next == kHandOver) return {DirectOutcome::HandedOver, p};
                p = next;
            } else if (cls_[c] & kSep) {
                const std::size_t end = skipSep(p + 1);
                walk_.addText(s_.substr(p, end - p));
                p = end;
            } else {
                std::size_t end = p + 1;
                while (end < n_ && !(cls_[d_[end]] & kContentStop)) ++end;
                walk_.addText(s_.substr(p, end - p));
                p = end;
            }
        }
    }

private:
    static constexpr std::size_t kHandOver = ~std::size_t(0);
    static constexpr std::size_t kStop = kHandOver - 1;
    static constexpr std::size_t kDoneStep = std::size_t(8) << 20;

    // Everything before p is read (the walk keeps copies of what it keeps).
    void tellDone(std::size_t p) {
        nextDone_ = p + kDoneStep;
        if (done_) done_(p);
    }

    struct Att {
        std::string_view name;
        std::string_view value;
        bool literal;
    };

    bool startsWith(std::size_t p, std::string_view w) const { return n_ - p >= w.size() && s_.compare(p, w.size(), w) == 0; }
    std::size_t skipSep(std::size_t p) const {
        while (p < n_ && (cls_[d_[p]] & kSep)) ++p;
        return p;
    }
    std::size_t skipName(std::size_t p) const {
        while (p < n_ && (cls_[d_[p]] & kNmChar)) ++p;
        return p;
    }
    bool nameStartAt(std::size_t p) const { return p < n_ && (cls_[d_[p]] & kNmStart); }

    // The markup at p (a '<'): where the text goes on after it.
    std::size_t markup(std::size_t p) {
        if (p + 1 >= n_) return kHandOver;
        const char e = s_[p + 1];
        if (e == '/') {
            std::size_t q = skipSep(p + 2);
            if (!nameStartAt(q)) return kHandOver;
            q = skipSep(skipName(q + 1));
            if (q >= n_ || s_[q] != '>') return kHandOver;
            if (walk_.atTop()) return kStop;
            walk_.closeInnermost();
            return q + 1;
        }
        if (e == '?') {
            const std::size_t close = s_.find("?>", p + 2);
            return close == std::string_view::npos ? kHandOver : close + 2;
        }
        if (e == '!') {
            if (!startsWith(p, "<!--")) return kHandOver;
            const std::size_t com = s_.find("--", p + 4);
            if (com == std::string_view::npos) return kHandOver;
            const std::size_t q = skipSep(com + 2);
            if (q >= n_ || s_[q] != '>') return kHandOver;
            return q + 1;
        }
        if (e == ']') return kHandOver;
        return tag(p);
    }

    // A start or empty-element tag at p.
    std::size_t tag(std::size_t p) {
        std::size_t q = skipSep(p + 1);
        if (!nameStartAt(q)) return kHandOver;
        const std::size_t nameEnd = skipName(q + 1);
        const std::string_view name = s_.substr(q, nameEnd - q);
        atts_.clear();
        q = nameEnd;
        bool empty;
        for (;;) {
            q = skipSep(q);
            if (q >= n_) return kHandOver;
            if (s_[q] == '>') {
                empty = false;
                ++q;
                break;
            }
            if (s_[q] == '/' && q + 1 < n_ && s_[q + 1] == '>') {
                empty = true;
                q += 2;
                break;
            }
            if (!nameStartAt(q)) return kHandOver;
            const std::size_t attEnd = skipName(q + 1);
            const std::string_view att = s_.substr(q, attEnd - q);
            q = skipSep(attEnd);
            if (q >= n_ || s_[q] != '=') return kHandOver;
            q = skipSep(q + 1);
            if (q >= n_) return kHandOver;
            const char quote = s_[q];
            if (quote == '"' || quote == '\'') {
                const std::size_t close = s_.find(quote, q + 1);
                if (close == std::string_view::npos) return kHandOver;
                atts_.push_back({att, s_.substr(q + 1, close - (q + 1)), true});
                q = close + 1;
            } else if (nameStartAt(q)) {
                const std::size_t valueEnd = skipName(q + 1);
                atts_.push_back({att, s_.substr(q, valueEnd - q), false});
                q = valueEnd;
            } else {
                return kHandOver;
            }
        }
        walk_.open(name);
        for (const Att& a : atts_) {
            if (a.literal && a.value.find('&') != std::string_view::npos) {
                const std::string value = xml::expandReferences(xml::predefinedEntities(), a.value);
                walk_.attribute(a.name, value);
            } else {
                walk_.attribute(a.name, a.value);
            }
        }
        if (empty) walk_.closeInnermost();
        return q;
    }

    // A reference at p (a '&').
    std::size_t reference(std::size_t p) {
        if (p + 1 < n_ && s_[p + 1] == '#') {
            const std::size_t semi = s_.find(';', p + 2);
            const bool closed = semi != std::string_view::npos;
            const std::size_t end = closed ? semi : n_;
            charBuf_.clear();
            xml::appendCharCode(xml::charRefValue(s_.substr(p + 2, end - (p + 2)), closed), charBuf_);
            walk_.addText(charBuf_);
            return closed ? semi + 1 : n_;
        }
        const std::size_t end = skipName(p + 1);
        if (end >= n_ || s_[end] != ';') return kHandOver;
        const char c = predefinedEntity(s_.substr(p + 1, end - (p + 1)));
        walk_.addText(std::string_view(&c, 1));
        return end + 1;
    }

    std::string_view s_;
    const unsigned char* d_;
    std::size_t n_;
    Walk& walk_;
    const std::uint8_t* cls_ = xml::byteClasses();
    std::function<void(std::size_t)> done_;
    std::size_t nextDone_ = kDoneStep;
    std::vector<Att> atts_;
    std::string charBuf_;
};

}  // namespace

BuildResult buildIndexes(const EventSource& next, std::size_t textBytes) {
    Walk walk(textBytes);
    bool reachedEnd = walk.feed(next);
    return walk.finish(reachedEnd);
}

BuildResult buildIndexes(std::vector<xml::XMLEvent> events) {
    std::size_t i = 0;
    return buildIndexes([&]() -> std::optional<xml::XMLEvent> {
        if (i == events.size()) return std::nullopt;
        return std::move(events[i++]);
    });
}

std::vector<std::int64_t> newestFirstPositions(const Index& elementIndex, const Index& textIndex) {
    // Filing order is postorder: ascending last position, the later numbered
    // node first where two subtrees end together.
    std::vector<std::pair<std::int64_t, std::int64_t>> nodes;  // (position, last)
    for (const Index* index : {&elementIndex, &textIndex})
        for (const IndexEntry& e : index->entries())
            for (const EmbeddingEntry& x : e.exact) nodes.emplace_back(x.position, x.last);
    std::sort(nodes.begin(), nodes.end(), [](const auto& a, const auto& b) {
        if (a.second != b.second) return a.second > b.second;
        return a.first < b.first;
    });
    std::vector<std::int64_t> positions;
    positions.reserve(nodes.size());
    for (const auto& node : nodes) positions.push_back(node.first);
    return positions;
}

std::vector<std::pair<std::int64_t, std::string_view>> mappingPairs(const BuildResult& walked) {
    std::vector<std::pair<std::int64_t, std::string_view>> pairs;
    for (std::int64_t p : newestFirstPositions(walked.elementIndex, walked.textIndex))
        pairs.emplace_back(p, walked.mapping[static_cast<std::size_t>(p)]);
    return pairs;
}

IndexedDocument indexedDocument(BuildResult walked) {
    IndexedDocument doc;
    doc.indexEL = IndexEL(std::move(walked.elementIndex));
    doc.indexTX = std::move(walked.textIndex);
    doc.mapping = std::move(walked.mapping);
    doc.tree = std::move(walked.tree);
    return doc;
}

namespace {

// Walks the event parser's events of text[from, end), or of the whole
// document (with its prolog) when from is 0 and withProlog is set; a stop
// before the end of the text fails with the position in the original text.
void walkEvents(Walk& walk, const std::function<std::size_t(std::size_t)>& toOriginal, std::string_view prepared,
                std::size_t from, bool withProlog, bool& reachedEnd) {
    xml::DocumentEvents events = withProlog ? xml::parseDocument(prepared) : xml::parseInstance(prepared.substr(from));
    reachedEnd = walk.feed([&events] { return events.next(); });
    if (reachedEnd && events.stop().early) {
        const auto& stop = events.stop();
        throw Fatal("Attention: malformed document at byte " + std::to_string(toOriginal(from + stop.offset)) +
                    ": " + stop.token);
    }
}

}  // namespace

namespace {

// toOriginal(k): the offset in the original text of the prepared text's
// byte k (the original's length past the end).
BuildResult walkDirect(std::string_view prepared, const std::function<std::size_t(std::size_t)>& toOriginal,
                       std::function<void(std::size_t)> done) {
    Walk walk(prepared.size());
    DirectOutcome outcome = DirectWalk(prepared, walk, std::move(done)).run();
    bool reachedEnd = outcome.kind == DirectOutcome::Ended;
    if (outcome.kind == DirectOutcome::HandedOver)
        walkEvents(walk, toOriginal, prepared, outcome.at, false, reachedEnd);
    else if (outcome.kind == DirectOutcome::NotTaken)
        walkEvents(walk, toOriginal, prepared, 0, true, reachedEnd);
    return walk.finish(reachedEnd);
}

std::function<std::size_t(std::size_t)> offsetsIn(std::string_view original) {
    return [original](std::size_t k) { return originalOffset(original, k); };
}

}  // namespace

BuildResult buildIndexesDirect(std::string_view prepared, std::string_view original) {
    return walkDirect(prepared, offsetsIn(original), {});
}

IndexedDocument parseText(std::string_view text) {
    PreparedText prepared(text);
    return indexedDocument(
        walkDirect(prepared.view(), offsetsIn(text), [&prepared](std::size_t read) { prepared.giveBack(read); }));
}

IndexedDocument parseTextInPlace(std::string&& text) {
    std::string buffer = std::move(text);
    RemovedBytes removed(buffer.size());
    buffer.resize(prepareInPlace(buffer.data(), buffer.size(), removed));
    BuildResult walked = walkDirect(
        buffer, [&removed, &buffer](std::size_t k) { return removed.originalOffset(k, buffer.size()); },
        [&buffer, given = std::size_t(0)](std::size_t read) mutable {
            given = giveBackBefore(buffer.data(), given, std::min(read, buffer.size()));
        });
    std::string().swap(buffer);  // nothing reads the text any more
    return indexedDocument(std::move(walked));
}

}  // namespace axf::index
