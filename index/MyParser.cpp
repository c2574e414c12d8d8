#include "index/MyParser.h"

#include <algorithm>
#include <charconv>
#include <cstring>
#include <memory>
#include <unordered_map>

#include "index/SynonymClasses.h"
#include "xml/Arena.h"

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

std::uint32_t Index::findSlot(std::string_view key, std::size_t hash) const {
    if (table_.empty()) return kNoSlot;
    const std::size_t mask = table_.size() - 1;
    for (std::size_t i = hash & mask;; i = (i + 1) & mask) {
        std::uint32_t cell = table_[i];
        if (cell == 0) return kNoSlot;
        if (hashes_[cell - 1] == hash && entries_[cell - 1].key == key) return cell - 1;
    }
}

void Index::rebuildTable(std::size_t size) {
    table_.assign(size, 0);
    const std::size_t mask = size - 1;
    for (std::size_t slot = 0; slot < entries_.size(); ++slot) {
        std::size_t i = hashes_[slot] & mask;
        while (table_[i] != 0) i = (i + 1) & mask;
        table_[i] = static_cast<std::uint32_t>(slot + 1);
    }
}

void Index::reserve(std::size_t keys) {
    entries_.reserve(keys);
    hashes_.reserve(keys);
    std::size_t size = 16;
    while (size < 2 * keys) size *= 2;
    if (size > table_.size()) rebuildTable(size);
}

const IndexEntry* Index::find(std::string_view key) const {
    std::uint32_t slot = findSlot(key, std::hash<std::string_view>{}(key));
    return slot == kNoSlot ? nullptr : &entries_[slot];
}

std::uint32_t Index::slotFor(std::string_view key) {
    std::size_t hash = std::hash<std::string_view>{}(key);
    std::uint32_t slot = findSlot(key, hash);
    if (slot != kNoSlot) return slot;
    if (2 * (entries_.size() + 1) > table_.size()) rebuildTable(table_.empty() ? 16 : 2 * table_.size());
    slot = static_cast<std::uint32_t>(entries_.size());
    entries_.push_back(IndexEntry{keepForRun(key), {}, {}});
    hashes_.push_back(hash);
    const std::size_t mask = table_.size() - 1;
    std::size_t i = hash & mask;
    while (table_[i] != 0) i = (i + 1) & mask;
    table_[i] = slot + 1;
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

void Index::sortExactLists() {
    for (IndexEntry& e : entries_) {
        if (!std::is_sorted(e.exact.begin(), e.exact.end(), byPosition))
            std::stable_sort(e.exact.begin(), e.exact.end(), byPosition);
        // Long lists give back what their growth left over.
        if (e.exact.size() > 64 && e.exact.capacity() > e.exact.size() + e.exact.size() / 8) e.exact.shrink_to_fit();
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

EntryList getRef(const Index& index, std::string_view key, std::string_view kind) {
    const IndexEntry* e = index.find(key);
    if (!e) return {};
    if (kind == "E") return e->exact;
    if (kind == "N") return e->inexact.empty() ? e->exact : sortPos(e->exact, e->inexact);
    return {};
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
    return "Attention: the tag \"" + std::string(name) + "\" is not in the tag vocabulary";
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

Index mergeIndex(Index elementIndex) {
    for (const IndexEntry& e : elementIndex.entries()) classOrFail(e.key);
    const std::size_t n = elementIndex.size();
    for (std::size_t i = 0; i < n; ++i) {
        IndexEntry& e = elementIndex.entryAt(static_cast<std::uint32_t>(i));
        // The records of the key's class that are not the key's own nodes
        // are the nodes of its translation, which are that key's exact list.
        std::vector<SynonymRecord> records;
        auto vocab = lookupVocabulary(e.key);
        if (!vocab->translation.empty()) {
            if (const IndexEntry* t = elementIndex.find(vocab->translation)) {
                records.reserve(t->exact.size());
                for (const EmbeddingEntry& x : t->exact) records.push_back({t->key, x});
            }
        }
        if (records.empty() && e.inexact.empty()) continue;
        e = mergeAux(std::move(e), records, classOfSyn(e.key));
    }
    return elementIndex;
}

IndexEL::IndexEL() : merged_(Lazy<Index>::ready(Index{})) {}

IndexEL::IndexEL(Index walked) {
    auto held = std::make_shared<Index>(std::move(walked));
    merged_ = Lazy<Index>(std::function<Index()>([held] { return mergeIndex(std::move(*held)); }));
}

EntryList getRef(const IndexEL& index, std::string_view key, std::string_view kind) {
    return getRef(index.merged(), key, kind);
}

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
        if (rest.starts_with("<!--")) {
            end = through(i + 4, "-->");
            markup = false;
        } else if (rest.starts_with("<![CDATA[")) {
            end = through(i + 9, "]]>");
            markup = false;
        } else if (rest.starts_with("<?")) {
            end = through(i + 2, "?>");
        } else {
            // A tag or a declaration: up to the first '>' outside a literal.
            std::size_t k = i + 1;
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
            end = k < n ? k + 1 : n;
        }
        if (!run(i, end, markup)) return;
        i = end;
    }
}

}  // namespace

std::string deleteBlanc(std::string_view text) {
    std::string out(text.size(), '\0');
    char* o = out.data();
    const char* d = text.data();
    prepareText(text, [&](std::size_t from, std::size_t to, bool asBlank) {
        for (std::size_t k = from; k < to; ++k) {
            const char c = d[k];
            if (c == '\n' || c == '\t') {
                if (asBlank) *o++ = ' ';
            } else {
                *o++ = c;
            }
        }
        return true;
    });
    out.resize(static_cast<std::size_t>(o - out.data()));
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

// One distinct label of elements, attribute elements or '@' texts: its text
// for the mapping, the node alone that every entry of it carries, and its
// element-index slot once it has been filed.
struct LabelInfo {
    std::string_view text;
    const xml::Tree* leaf = nullptr;
    std::uint32_t slot = kNoSlot;
};

class Walk {
public:
    BuildResult run(const EventSource& source, std::size_t textBytes) {
        // A node takes some 20 bytes of text; reserved room that is never
        // used is never touched.
        result_.mapping.reserve(textBytes / 8 + 1);
        result_.textIndex.reserve(textBytes / 32);
        result_.mapping.emplace_back();  // position 0 numbers no node
        std::vector<xml::XMLEvent> queued;
        std::size_t nextQueued = 0;
        for (;;) {
            std::optional<xml::XMLEvent> event;
            if (nextQueued < queued.size()) {
                event = std::move(queued[nextQueued++]);
            } else {
                queued.clear();
                nextQueued = 0;
                event = source();
                if (!event) {
                    result_.reachedEnd = true;
                    break;
                }
            }
            if (auto* start = std::get_if<xml::StartEvent>(&*event)) {
                open(start->name);
                if (!start->attributes.empty()) queued = attrs(start->attributes, {});
            } else if (auto* empty = std::get_if<xml::EmptyEvent>(&*event)) {
                open(empty->name);
                std::vector<xml::XMLEvent> close;
                close.emplace_back(xml::EndEvent{empty->name});
                queued = attrs(empty->attributes, std::move(close));
            } else if (std::holds_alternative<xml::EndEvent>(*event)) {
                if (open_.empty()) break;  // closes no open element: the top level ends
                closeInnermost();
            } else if (auto* text = std::get_if<xml::TextEvent>(&*event)) {
                addText(text->text);
            } else if (auto* ref = std::get_if<xml::GERefEvent>(&*event)) {
                addText(std::string(1, predefinedEntity(ref->name)));
            } else if (auto* error = std::get_if<xml::ErrorEvent>(&*event)) {
                throw Fatal(error->message);
            }
            // Comments and processing instructions carry no data.
        }
        while (!open_.empty()) closeInnermost();
        result_.elementIndex.sortExactLists();
        result_.textIndex.sortExactLists();
        result_.lastPosition = last_;
        result_.mapping.shrink_to_fit();
        result_.tree = kids_.empty() ? xml::elem("empty") : kids_.front();
        return std::move(result_);
    }

private:
    struct Frame {
        std::int64_t position;
        std::size_t firstKid;
        LabelInfo* label;
    };

    static char predefinedEntity(const std::string& name) {
        if (name == "amp") return '&';
        if (name == "lt") return '<';
        if (name == "gt") return '>';
        if (name == "quot") return '"';
        if (name == "apos") return '\'';
        throw Fatal("entity " + name + " not defined");
    }

    std::int64_t depth() const { return 2 * static_cast<std::int64_t>(open_.size()); }

    LabelInfo& labelInfo(std::unordered_map<std::string_view, LabelInfo>& labels, std::string_view label,
                         bool element) {
        auto it = labels.find(label);
        if (it != labels.end()) return it->second;
        std::string_view kept = keepForRun(label);
        LabelInfo& info = labels[kept];
        info.text = kept;
        info.leaf = element ? xml::leafNode(xml::ELNode{std::string(label), {}})
                            : xml::leafNode(xml::TXNode{std::string(label)});
        return info;
    }

    // Files a node labelled with a name (or '@' and a name) in the element index.
    void fileElement(LabelInfo& info, const EmbeddingEntry& entry) {
        if (info.slot == kNoSlot) {
            std::string_view key = info.text;
            if (!key.empty() && key.front() == '@') key.remove_prefix(1);
            info.slot = result_.elementIndex.slotFor(key);
        }
        result_.elementIndex.appendExact(info.slot, entry);
    }

    void open(std::string_view name) {
        LabelInfo& info = labelInfo(elementLabels_, name, true);
        std::int64_t position = ++last_;
        result_.mapping.push_back(info.text);
        open_.push_back(Frame{position, kids_.size(), &info});
    }

    void closeInnermost() {
        Frame f = open_.back();
        open_.pop_back();
        std::span<const xml::Tree* const> children(kids_.data() + f.firstKid, kids_.size() - f.firstKid);
        const xml::Tree* tree = xml::makeTree(xml::ELNode{documentLabel(f.label->text, f.position), {}}, children);
        kids_.resize(f.firstKid);
        kids_.push_back(tree);
        fileElement(*f.label, EmbeddingEntry{f.position, depth(), last_, 0, 0, f.label->leaf});
    }

    void addText(std::string_view text) {
        if (allBlancs(text)) return;
        std::int64_t position = ++last_;
        kids_.push_back(xml::leafNode(xml::TXNode{documentLabel(text, position)}));
        if (text.front() == '@') {
            LabelInfo& info = labelInfo(atTexts_, text, false);
            result_.mapping.push_back(info.text);
            fileElement(info, EmbeddingEntry{position, depth(), position, 0, 0, info.leaf});
            return;
        }
        Index& tx = result_.textIndex;
        std::uint32_t slot = tx.slotFor(text);
        if (slot == textLeaves_.size()) textLeaves_.push_back(xml::leafNode(xml::TXNode{std::string(text)}));
        result_.mapping.push_back(tx.entryAt(slot).key);
        tx.appendExact(slot, EmbeddingEntry{position, depth(), position, 0, 0, textLeaves_[slot]});
    }

    BuildResult result_;
    std::unordered_map<std::string_view, LabelInfo> elementLabels_;  // elements and attribute elements
    std::unordered_map<std::string_view, LabelInfo> atTexts_;        // texts that begin with '@'
    std::vector<const xml::Tree*> textLeaves_;                        // by text-index slot
    std::vector<Frame> open_;
    std::vector<const xml::Tree*> kids_;  // finished trees of the open elements' child lists, innermost last
    std::int64_t last_ = 0;
};

}  // namespace

BuildResult buildIndexes(const EventSource& next, std::size_t textBytes) { return Walk().run(next, textBytes); }

BuildResult buildIndexes(std::vector<xml::XMLEvent> events) {
    std::size_t i = 0;
    return buildIndexes([&]() -> std::optional<xml::XMLEvent> {
        if (i == events.size()) return std::nullopt;
        return std::move(events[i++]);
    });
}

std::vector<std::pair<std::int64_t, std::string_view>> mappingPairs(const BuildResult& walked) {
    // Filing order is postorder: ascending last position, the later numbered
    // node first where two subtrees end together.
    std::vector<std::pair<std::int64_t, std::int64_t>> nodes;  // (position, last)
    for (const Index* index : {&walked.elementIndex, &walked.textIndex})
        for (const IndexEntry& e : index->entries())
            for (const EmbeddingEntry& x : e.exact) nodes.emplace_back(x.position, x.last);
    std::sort(nodes.begin(), nodes.end(), [](const auto& a, const auto& b) {
        if (a.second != b.second) return a.second > b.second;
        return a.first < b.first;
    });
    std::vector<std::pair<std::int64_t, std::string_view>> pairs;
    pairs.reserve(nodes.size());
    for (const auto& node : nodes) pairs.emplace_back(node.first, walked.mapping[static_cast<std::size_t>(node.first)]);
    return pairs;
}

IndexedDocument indexedDocument(BuildResult walked) {
    IndexedDocument doc;
    doc.indexEL = IndexEL(std::move(walked.elementIndex));
    doc.indexTX = std::move(walked.textIndex);
    doc.mapping = std::move(walked.mapping);
    doc.tree = walked.tree;
    return doc;
}

IndexedDocument parseText(std::string_view text) {
    std::string prepared = deleteBlanc(text);
    xml::DocumentEvents events = xml::parseDocument(prepared);
    BuildResult walked = buildIndexes([&events] { return events.next(); }, prepared.size());
    if (walked.reachedEnd && events.stop().early) {
        const auto& stop = events.stop();
        throw Fatal("Attention: malformed document at byte " + std::to_string(originalOffset(text, stop.offset)) +
                    ": " + stop.token);
    }
    return indexedDocument(std::move(walked));
}

}  // namespace axf::index
