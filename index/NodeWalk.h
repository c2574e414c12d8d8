// The steps shared by the event walk and the direct walk: a NodeWalk
// numbers, labels and files nodes as the steps of a document arrive, either
// from parse events (feed) or straight from the text (open, attribute,
// closeInnermost, addText). Used inside the indexer only.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <variant>
#include <vector>

#include "common/Fatal.h"
#include "common/MessageText.h"
#include "common/PageMemory.h"
#include "index/DocumentTree.h"
#include "index/ElementIndex.h"
#include "index/EventWalk.h"
#include "index/SourcePosition.h"
#include "index/SynonymClasses.h"
#include "index/TextIndex.h"
#include "index/TextPreparation.h"
#include "xml/Arena.h"
#include "xml/XML.h"
#include "xml/XMLScanner.h"

namespace axf::index {

// True when every byte is white space to the scanner (blanks, line ends,
// tabs, form feeds, vertical tabs, carriage returns, no-break spaces).
inline bool allSeparators(std::string_view text) {
    for (char c : text)
        if (!xml::isSEPCHAR(static_cast<unsigned char>(c))) return false;
    return true;
}

inline constexpr std::uint32_t kNoSlot = ~std::uint32_t(0);

// One distinct label of elements or attribute elements: its text for the
// mapping, the node alone that every entry of it carries, and its
// element-index slot once it has been filed.
struct LabelInfo {
    std::string_view text;
    const xml::Tree* leaf = nullptr;
    std::uint32_t slot = kNoSlot;
    bool attribute = false;      // "@" and an attribute's name, filed under the name
    std::uint32_t name = 0;      // its number in the mapping
    std::size_t at = kNoOffset;  // where its first node's name stands in the text, when known
    std::size_t count = 0;       // its nodes so far
};

inline char predefinedEntity(std::string_view name) {
    if (name == "amp") return '&';
    if (name == "lt") return '<';
    if (name == "gt") return '>';
    if (name == "quot") return '"';
    if (name == "apos") return '\'';
    throw Fatal("entity " + cutForMessage(name) + " not defined");
}

// Where the parts of the events being walked stand in the text, for the
// places of names and messages: these events come with none.
struct NoEventPlaces {
    std::size_t tagName() const { return kNoOffset; }
    std::size_t attributeName(std::size_t) const { return kNoOffset; }
    // The head of a message about the event.
    std::string eventPrefix() const { return {}; }
    // The head of a message about byte `offset` of attribute i's value.
    std::string attributeValuePrefix(std::size_t, std::size_t) const { return {}; }
};

// The walk: numbers, labels and files nodes as the steps of the document
// arrive, either from parse events or straight from the text.
class NodeWalk {
public:
    explicit NodeWalk(std::size_t textBytes) {
        // Address space alone: what is never written is never touched, and
        // the rest is given back when the walk is done.
        result_.mapping.reserve(textBytes / kTextBytesPerNode + 1, textBytes);
        words_.reserve(textBytes / kTextBytesPerNode + 1);
        words_.push_back(0);
    }

    // Walks parse events until they run out (true) or an end event closes
    // no open element (false). `places` tells where the parts of the event
    // last pulled stand (see NoEventPlaces).
    template <class Source, class Places = NoEventPlaces>
    bool feed(Source&& source, const Places& places = Places{}) {
        for (;;) {
            std::optional<xml::XMLEvent> event = source();
            if (!event) return true;
            if (auto* start = std::get_if<xml::StartEvent>(&*event)) {
                open(start->name, false, places.tagName());
                attributes(start->attributes, places);
            } else if (auto* empty = std::get_if<xml::EmptyEvent>(&*event)) {
                open(empty->name, false, places.tagName());
                attributes(empty->attributes, places);
                closeInnermost();
            } else if (std::holds_alternative<xml::EndEvent>(*event)) {
                if (atTop()) return false;  // closes no open element: the top level ends
                closeInnermost();
            } else if (auto* text = std::get_if<xml::TextEvent>(&*event)) {
                addText(text->text);
            } else if (auto* ref = std::get_if<xml::GERefEvent>(&*event)) {
                char c;
                try {
                    c = predefinedEntity(ref->name);
                } catch (const Fatal& e) {
                    throw Fatal(places.eventPrefix() + e.what());
                }
                addText(std::string_view(&c, 1));
            } else if (auto* error = std::get_if<xml::ErrorEvent>(&*event)) {
                throw Fatal(places.eventPrefix() + error->message);
            }
            // Comments and processing instructions carry no data.
        }
    }

    BuildResult finish(bool reachedEnd) {
        while (!atTop()) closeInnermost();
        result_.reachedEnd = reachedEnd;
        result_.lastPosition = last_;
        result_.mapping.finishBuilding();
        words_.shrinkToFit();
        result_.tree = DocumentTree(result_.mapping, std::move(words_), std::move(large_));
        result_.elementIndex = elementIndex();
        result_.textIndex = TextIndex(result_.tree);
        return std::move(result_);
    }

    bool atTop() const { return open_.empty(); }

    // After finish: the first element-index key outside the tag vocabulary,
    // the one the first lookup fails on, and where its first node's name
    // stands in the text (kNoOffset: not known).
    std::optional<std::pair<std::string_view, std::size_t>> firstUnknownName() const {
        std::uint32_t bestSlot = kNoSlot;
        std::optional<std::pair<std::string_view, std::size_t>> best;
        for (const auto& [text, info] : elementLabels_) {
            const std::string_view key = info.attribute ? text.substr(1) : text;
            if (info.slot == kNoSlot || info.slot > bestSlot || className(key)) continue;
            if (info.slot == bestSlot && best->second <= info.at) continue;
            bestSlot = info.slot;
            best.emplace(key, info.at);
        }
        return best;
    }

    // An element, or (attribute set) the attribute element "@" + name;
    // `at`: where the name stands in the text, when known.
    void open(std::string_view name, bool attribute = false, std::size_t at = kNoOffset) {
        LabelInfo& info = labelInfo(elementLabels_, name, attribute);
        if (info.at == kNoOffset) info.at = at;
        ++info.count;
        std::int64_t position = ++last_;
        result_.mapping.pushName(info.name);
        words_.push_back(0);  // set when it closes
        open_.push_back(Frame{position, &info});
    }

    // An attribute: its attribute element with the value text inside
    // (`inPlace`: as addText's).
    void attribute(std::string_view name, std::string_view value, std::size_t at = kNoOffset, bool inPlace = false) {
        atName_.assign(1, '@');
        atName_.append(name);
        open(atName_, true, at);
        addText(value, inPlace);
        closeInnermost();
    }

    // The attributes of an element event, each value read in its turn.
    template <class Places = NoEventPlaces>
    void attributes(const xml::LazyAttList& list, const Places& places = Places{}) {
        for (std::size_t i = 0; i < list.size(); ++i) {
            const std::string* value;
            try {
                value = &list[i].second.get();
            } catch (const xml::ReferenceError& e) {
                throw Fatal(places.attributeValuePrefix(i, e.offset) + e.what());
            }
            attribute(list[i].first, *value, places.attributeName(i));
        }
    }

    void closeInnermost() {
        Frame f = open_.back();
        open_.pop_back();
        words_[static_cast<std::size_t>(f.position)] = DocumentTree::elementWord(f.position, last_ - f.position, large_);
        assignSlot(*f.label);
    }

    // A text, whatever its first byte. White space before the first node
    // (a carriage return between prolog items) is not the document.
    // `inPlace`: the text's bytes stay where they are until flushTexts().
    void addText(std::string_view text, bool inPlace = false) {
        if (isBlankText(text)) return;
        if (last_ == 0 && allSeparators(text)) return;
        ++last_;
        words_.push_back(DocumentTree::kTextWord);
        // The text index is made from the mapping when first read.
        if (inPlace)
            result_.mapping.pushTextInPlace(text);
        else
            result_.mapping.pushText(text);
    }

    // The texts added in place are kept: their bytes may go.
    void flushTexts() { result_.mapping.flushTexts(); }

private:
    struct Frame {
        std::int64_t position;
        LabelInfo* label;
    };

    // Fewer text bytes per node than most documents have (auction
    // documents have 14): the node arrays are reserved for that many nodes,
    // and grow without copying past it.
    static constexpr std::size_t kTextBytesPerNode = 12;

    LabelInfo& labelInfo(std::unordered_map<std::string_view, LabelInfo>& labels, std::string_view label, bool attribute) {
        // A document uses a few dozen names: most are found in the small
        // table of the labels met lately, before the hash map is asked.
        std::size_t h = label.size();
        if (!label.empty())
            h = h * 131 + static_cast<unsigned char>(label[0]) * 31 + static_cast<unsigned char>(label[label.size() / 2]) * 7 +
                static_cast<unsigned char>(label.back());
        LabelInfo*& recent = recentLabels_[h % kRecentLabels];
        if (recent && recent->text == label) return *recent;
        auto it = labels.find(label);
        if (it != labels.end()) return *(recent = &it->second);
        std::string_view kept = keepForRun(label);
        LabelInfo& info = labels[kept];
        info.text = kept;
        info.leaf = xml::leafNode(xml::ELNode{std::string(label), {}});
        info.attribute = attribute;
        info.name = result_.mapping.nameNumber(kept);
        return *(recent = &info);
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
                key.attributeCount = info.count;
            } else {
                key.elementName = info.name;
                key.elementLeaf = info.leaf;
                key.elementCount = info.count;
            }
        }
        return ElementIndex(std::move(slots_), std::move(keys), result_.mapping, result_.tree);
    }

    BuildResult result_;
    Index slots_;  // the element-index keys in the order of their first complete node
    std::unordered_map<std::string_view, LabelInfo> elementLabels_;  // elements and attribute elements
    // Labels met lately, by a hash of a few of their bytes (entries of
    // elementLabels_, whose places never change).
    static constexpr std::size_t kRecentLabels = 512;
    std::array<LabelInfo*, kRecentLabels> recentLabels_{};
    std::vector<Frame> open_;
    PageArray<std::uint32_t> words_;  // by position: the document tree's word of each node
    DocumentTree::LargeCounts large_;
    std::int64_t last_ = 0;
    std::string atName_;  // "@" and the name of the attribute being walked
};

}  // namespace axf::index
