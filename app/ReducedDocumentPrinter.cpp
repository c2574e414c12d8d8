#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "app/ResultPrinterInternal.h"
#include "index/DocumentTree.h"
#include "query/AttributeElements.h"
#include "query/MatchRemoval.h"
#include "xml/IndentedXML.h"

namespace axf::app {

using xml::ELNode;

namespace {

// The remaining document read by position.
class ReducedWalk {
public:
    explicit ReducedWalk(const query::RemovalOverlay& r) : r_(r), d_(r.document()), words_(d_.words()) {}

    // Read from the node's word, as the document tree reads it.
    std::int64_t last(std::int64_t p) const {
        const std::uint32_t word = words_[std::size_t(p)];
        return word == index::DocumentTree::kLargeWord ? d_.last(p) : p + std::int64_t(word >> 1);
    }
    bool isText(std::int64_t p) const { return words_[std::size_t(p)] & 1; }
    std::string_view label(std::int64_t p) const { return d_.label(p); }
    // The first remaining child of p, or a position past its subtree.
    std::int64_t firstChild(std::int64_t p) const { return p == last(p) ? p + 1 : r_.nextRemaining(p + 1); }
    // The remaining sibling after c (below the same node), or a position past.
    std::int64_t nextSibling(std::int64_t c) const { return r_.nextRemaining(last(c) + 1); }

    // When the remaining child c is an '@' element over nothing or over one
    // text, the attribute it becomes is added to `attributes`; false for any
    // other child.
    bool addAttribute(std::int64_t c, xml::AttList& attributes) const {
        if (isText(c)) return false;
        std::string_view name = label(c);
        std::int64_t v = 0;
        bool blank = false;
        const bool attribute = query::standsForAttribute(name, [&] {
            v = firstChild(c);
            blank = v > last(c);
            if (blank) return query::AttributeValueShape::Nothing;
            return nextSibling(v) <= last(c) || !isText(v) ? query::AttributeValueShape::Other
                                                           : query::AttributeValueShape::OneText;
        });
        if (!attribute) return false;
        attributes.push_back(xml::Attribute{std::string(name.substr(1)), blank ? std::string() : std::string(label(v))});
        return true;
    }

private:
    const query::RemovalOverlay& r_;
    const index::DocumentTree& d_;
    std::span<const std::uint32_t> words_;
};

// The remaining document below a result root written from the document's
// nodes, element by element, with its own stack of open elements.
class ReducedDocumentWriter {
public:
    ReducedDocumentWriter(const ReducedWalk& walk, const xml::XMLPrintOptions& options, Sink& sink)
        : w_(walk), options_(options), sink_(sink) {}

    // Writes the remaining node at p at the level, with all that remains below it.
    void write(std::int64_t p, std::int64_t level) {
        enter(p, level);
        while (!open_.empty()) {
            Frame& f = open_.back();
            if (f.next == f.end) {
                xml::writeEndTag(f.level, options_, w_.label(f.position), sink_);
                kids_.resize(f.first);
                open_.pop_back();
                continue;
            }
            const std::int64_t c = kids_[f.next++];
            enter(c, f.level + 1);  // may open a frame: f is not used after this
        }
    }

private:
    struct Frame {
        std::int64_t position;
        std::size_t first;  // its children in kids_: [first, end)
        std::size_t next;   // the next of them to write
        std::size_t end;
        std::int64_t level;
    };

    // Writes the node at p; an element with children to write is opened.
    void enter(std::int64_t p, std::int64_t level) {
        if (w_.isText(p)) {
            xml::writeTextLine(level, options_, w_.label(p), sink_);
            return;
        }
        el_.name.assign(w_.label(p));
        el_.attributes.clear();
        const std::size_t first = kids_.size();
        const std::int64_t end = w_.last(p);
        for (std::int64_t c = w_.firstChild(p); c <= end; c = w_.nextSibling(c))
            if (!w_.addAttribute(c, el_.attributes)) kids_.push_back(c);
        if (kids_.size() == first) {
            xml::writeStartTag(level, options_, el_, true, sink_);
        } else if (kids_.size() == first + 1 && w_.isText(kids_[first])) {
            xml::writeTextElement(level, options_, el_, w_.label(kids_[first]), sink_);
            kids_.pop_back();
        } else {
            xml::writeStartTag(level, options_, el_, false, sink_);
            open_.push_back(Frame{p, first, first, kids_.size(), level});
        }
    }

    const ReducedWalk& w_;
    const xml::XMLPrintOptions& options_;
    Sink& sink_;
    // Each open element's remaining children other than its attributes,
    // found once when it is opened; an element's list follows its parent's.
    std::vector<std::int64_t> kids_;
    std::vector<Frame> open_;
    ELNode el_;  // the element being opened, its storage kept between elements
};

}  // namespace

// The element el over what the removals left of a document (the document
// node at position 1, or the text "empty text" when nothing remains),
// written as writeElementOverCut writes el over the remaining document tree,
// straight from the document's nodes: nothing is built, and the walk keeps
// its own stack.
void writeReducedDocument(std::int64_t level, bool resultNames, const ELNode& root, const query::RemovalOverlay& reduced,
                          Sink& sink) {
    const ReducedWalk w(reduced);
    if (reduced.rootRemoved()) {
        writeTextElement(level, resultNames, root, "empty text", sink);
        return;
    }
    if (w.isText(1)) {
        writeTextElement(level, resultNames, root, w.label(1), sink);
        return;
    }
    const xml::XMLPrintOptions options = resultPrintOptions(resultNames);
    writeStartTag(level, resultNames, root, false, sink);
    ReducedDocumentWriter(w, options, sink).write(1, level + 1);
    writeEndTag(level, resultNames, root, sink);
}

}  // namespace axf::app
