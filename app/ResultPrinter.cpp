#include "app/ResultPrinter.h"

#include <optional>
#include <variant>
#include <vector>

#include "common/Fatal.h"
#include "filter/VariableBinding.h"
#include "query/Combination.h"
#include "query/NodeLabel.h"

namespace axf::app {

using xml::ELNode;
using xml::Tree;
using xml::TXNode;

namespace {

// A result document holds elements and texts only; a deferred failure
// fails when it is printed.
void checkResultNode(const Tree* tree) {
    query::throwIfDeferredFailure(tree);
    if (!std::holds_alternative<TXNode>(tree->value) && !std::holds_alternative<ELNode>(tree->value))
        throw InternalError("showFormattedXML: a result document holds a node that is neither element nor text");
}

}  // namespace

xml::XMLPrintOptions resultPrintOptions(bool resultNames) {
    xml::XMLPrintOptions options;
    options.layout = true;
    options.resultNames = resultNames;
    options.escaped = true;
    options.checkNode = checkResultNode;
    return options;
}

void writeStartTag(std::int64_t level, bool resultNames, const ELNode& el, bool empty, Sink& sink) {
    xml::writeStartTag(level, resultPrintOptions(resultNames), el, empty, sink);
}

void writeEndTag(std::int64_t level, bool resultNames, const ELNode& el, Sink& sink) {
    xml::writeEndTag(level, resultPrintOptions(resultNames), el.name, sink);
}

void writeTextElement(std::int64_t level, bool resultNames, const ELNode& el, std::string_view text, Sink& sink) {
    xml::writeTextElement(level, resultPrintOptions(resultNames), el, text, sink);
}

void writeFormattedXML(std::int64_t level, bool resultNames, const Tree* tree, Sink& sink) {
    xml::writeIndentedXML(level, resultPrintOptions(resultNames), tree, sink);
}

namespace {

// Writes the opening of el over its cut children: true when it was left open
// for children to follow (and then its end tag).
bool openElementOverCut(std::int64_t level, bool resultNames, const ELNode& el, std::span<const Tree* const> labelledKids,
                        Sink& sink) {
    if (labelledKids.empty()) {
        writeStartTag(level, resultNames, el, true, sink);
        return false;
    }
    if (labelledKids.size() == 1 && labelledKids[0]->isLeaf()) {
        if (const auto* only = std::get_if<TXNode>(&labelledKids[0]->value)) {
            writeTextElement(level, resultNames, el, query::getLabelComponent(only->text, 1), sink);
            return false;
        }
    }
    writeStartTag(level, resultNames, el, false, sink);
    return true;
}

}  // namespace

void writeElementOverCut(std::int64_t level, bool resultNames, const ELNode& el, std::span<const Tree* const> labelledKids,
                         Sink& sink) {
    if (!openElementOverCut(level, resultNames, el, labelledKids, sink)) return;
    // The open elements, outermost first: the tree is as deep as the
    // document, so it is walked with a stack of its own.
    struct Open {
        std::string name;
        xml::TreeList kids;
        std::size_t next;
        std::int64_t level;
    };
    std::vector<Open> open;
    open.push_back(Open{el.name, xml::TreeList(labelledKids.begin(), labelledKids.end()), 0, level});
    while (!open.empty()) {
        Open& top = open.back();
        if (top.next == top.kids.size()) {
            xml::writeEndTag(top.level, resultPrintOptions(resultNames), top.name, sink);
            open.pop_back();
            continue;
        }
        const Tree* kid = top.kids[top.next++];
        const std::int64_t kidLevel = top.level + 1;
        filter::CutNode n = filter::cutNode(kid);
        if (n.text) {
            xml::writeTextLine(kidLevel, resultPrintOptions(resultNames), n.label, sink);
            continue;
        }
        ELNode child{std::move(n.label), std::move(n.attributes)};
        if (openElementOverCut(kidLevel, resultNames, child, n.kids, sink))  // top is not used after this
            open.push_back(Open{std::move(child.name), std::move(n.kids), 0, kidLevel});
    }
}

void writeCutFormattedXML(std::int64_t level, bool resultNames, const Tree* labelled, Sink& sink) {
    filter::CutNode n = filter::cutNode(labelled);
    if (n.text) {
        xml::writeTextLine(level, resultPrintOptions(resultNames), n.label, sink);
        return;
    }
    const ELNode el{std::move(n.label), std::move(n.attributes)};
    writeElementOverCut(level, resultNames, el, n.kids, sink);
}

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
        if (name.empty() || name[0] != '@') return false;
        std::int64_t v = firstChild(c);
        if (v > last(c)) {
            attributes.push_back(xml::Attribute{std::string(name.substr(1)), std::string()});
            return true;
        }
        if (nextSibling(v) <= last(c) || !isText(v)) return false;
        attributes.push_back(xml::Attribute{std::string(name.substr(1)), std::string(label(v))});
        return true;
    }

private:
    const query::RemovalOverlay& r_;
    const index::DocumentTree& d_;
    std::span<const std::uint32_t> words_;
};

}  // namespace

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
    // Each open element's remaining children other than its attributes,
    // found once when it is opened; an element's list follows its parent's.
    std::vector<std::int64_t> kids;
    struct Frame {
        std::int64_t position;
        std::size_t first;  // its children in kids: [first, end)
        std::size_t next;   // the next of them to write
        std::size_t end;
        std::int64_t level;
    };
    std::vector<Frame> open;
    ELNode el;
    // Writes the node at p; an element with children to write is opened.
    auto enter = [&](std::int64_t p, std::int64_t lvl) {
        if (w.isText(p)) {
            xml::writeTextLine(lvl, options, w.label(p), sink);
            return;
        }
        el.name.assign(w.label(p));
        el.attributes.clear();
        const std::size_t first = kids.size();
        const std::int64_t end = w.last(p);
        for (std::int64_t c = w.firstChild(p); c <= end; c = w.nextSibling(c))
            if (!w.addAttribute(c, el.attributes)) kids.push_back(c);
        if (kids.size() == first) {
            xml::writeStartTag(lvl, options, el, true, sink);
        } else if (kids.size() == first + 1 && w.isText(kids[first])) {
            xml::writeTextElement(lvl, options, el, w.label(kids[first]), sink);
            kids.pop_back();
        } else {
            xml::writeStartTag(lvl, options, el, false, sink);
            open.push_back(Frame{p, first, first, kids.size(), lvl});
        }
    };
    enter(1, level + 1);
    while (!open.empty()) {
        Frame& f = open.back();
        if (f.next == f.end) {
            xml::writeEndTag(f.level, options, w.label(f.position), sink);
            kids.resize(f.first);
            open.pop_back();
            continue;
        }
        const std::int64_t c = kids[f.next++];
        enter(c, f.level + 1);  // may open a frame: f is not used after this
    }
    writeEndTag(level, resultNames, root, sink);
}

std::string showFormattedXML(std::int64_t level, bool resultNames, const Tree* tree) {
    StringSink s;
    writeFormattedXML(level, resultNames, tree, s);
    return s.take();
}

}  // namespace axf::app
