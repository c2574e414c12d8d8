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

std::string_view control(std::string_view label, int flag) {
    if (flag != 1) return label;
    if (label == "0000") return "Results";
    if (label == "xor" || label == "or" || label == "and") return "ResultQuery";
    return label;
}

namespace {

template <class Escape>
void writeEscaped(std::string_view text, Sink& sink, Escape escapeOf) {
    std::size_t start = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char* rep = escapeOf(text[i]);
        if (!rep) continue;
        if (i > start) sink.write(text.substr(start, i - start));
        sink.write(rep);
        start = i + 1;
    }
    if (start < text.size()) sink.write(text.substr(start));
}

void indent(std::int64_t level, Sink& sink) { sink.spaces(static_cast<std::size_t>(level * sepBln)); }

void writeAttributes(const ELNode& el, Sink& sink) {
    for (const auto& [name, value] : el.attributes) {
        sink.write(" ");
        sink.write(name);
        sink.write("=\"");
        writeEscapedAttValue(value, sink);
        sink.write("\"");
    }
}

}  // namespace

void writeEscapedText(std::string_view text, Sink& sink) {
    writeEscaped(text, sink, [](char c) -> const char* {
        switch (c) {
            case '&': return "&amp;";
            case '<': return "&lt;";
            case '>': return "&gt;";
            default: return nullptr;
        }
    });
}

void writeEscapedAttValue(std::string_view value, Sink& sink) {
    writeEscaped(value, sink, [](char c) -> const char* {
        switch (c) {
            case '&': return "&amp;";
            case '<': return "&lt;";
            case '"': return "&quot;";
            default: return nullptr;
        }
    });
}

std::string attrFormat(const xml::Attribute& attribute) {
    StringSink s;
    s.write(" ");
    s.write(attribute.first);
    s.write("=\"");
    writeEscapedAttValue(attribute.second, s);
    s.write("\"");
    return s.take();
}

void writeStartTag(std::int64_t level, int flag, const ELNode& el, bool empty, Sink& sink) {
    indent(level, sink);
    sink.write("<");
    sink.write(control(el.name, flag));
    writeAttributes(el, sink);
    sink.write(empty ? "/>\n" : ">\n");
}

void writeEndTag(std::int64_t level, int flag, const ELNode& el, Sink& sink) {
    indent(level, sink);
    sink.write("</");
    sink.write(control(el.name, flag));
    sink.write(">\n");
}

void writeTextElement(std::int64_t level, int flag, const ELNode& el, std::string_view text, Sink& sink) {
    std::int64_t estimate = level * sepBln + 2 * static_cast<std::int64_t>(el.name.size()) +
                            static_cast<std::int64_t>(text.size()) + 5;
    if (estimate <= maxLengthElement) {
        indent(level, sink);
        sink.write("<");
        sink.write(control(el.name, flag));
        writeAttributes(el, sink);
        sink.write(">");
        writeEscapedText(text, sink);
        sink.write("</");
        sink.write(control(el.name, flag));
        sink.write(">\n");
    } else {
        writeStartTag(level, flag, el, false, sink);
        indent(level + 1, sink);
        writeEscapedText(text, sink);
        sink.write("\n");
        writeEndTag(level, flag, el, sink);
    }
}

void writeFormattedXML(std::int64_t level, int flag, const Tree* tree, Sink& sink) {
    query::throwIfDeferredFailure(tree);
    if (const auto* tx = std::get_if<TXNode>(&tree->value)) {
        indent(level, sink);
        writeEscapedText(tx->text, sink);
        sink.write("\n");
        return;
    }
    const auto* el = std::get_if<ELNode>(&tree->value);
    if (!el) throw InternalError("showFormattedXML: a result document holds a node that is neither element nor text");
    auto kids = tree->children();
    if (kids.empty()) {
        writeStartTag(level, flag, *el, true, sink);
        return;
    }
    if (kids.size() == 1 && kids[0]->isLeaf() && !query::isDeferredFailure(kids[0])) {
        if (const auto* only = std::get_if<TXNode>(&kids[0]->value)) {
            writeTextElement(level, flag, *el, only->text, sink);
            return;
        }
    }
    writeStartTag(level, flag, *el, false, sink);
    for (const Tree* kid : kids) writeFormattedXML(level + 1, flag, kid, sink);
    writeEndTag(level, flag, *el, sink);
}

void writeElementOverCut(std::int64_t level, int flag, const ELNode& el, std::span<const Tree* const> labelledKids,
                         Sink& sink) {
    // A cut element is a failure tree exactly when its name starts with byte 0.
    if (!el.name.empty() && el.name[0] == '\0') throw InternalError(el.name.substr(1));
    if (labelledKids.empty()) {
        writeStartTag(level, flag, el, true, sink);
        return;
    }
    if (labelledKids.size() == 1 && labelledKids[0]->isLeaf()) {
        if (const auto* only = std::get_if<TXNode>(&labelledKids[0]->value)) {
            writeTextElement(level, flag, el, query::getLabelComponent(only->text, 1), sink);
            return;
        }
    }
    writeStartTag(level, flag, el, false, sink);
    for (const Tree* kid : labelledKids) writeCutFormattedXML(level + 1, flag, kid, sink);
    writeEndTag(level, flag, el, sink);
}

void writeCutFormattedXML(std::int64_t level, int flag, const Tree* labelled, Sink& sink) {
    filter::CutNode n = filter::cutNode(labelled);
    if (n.text) {
        indent(level, sink);
        writeEscapedText(n.label, sink);
        sink.write("\n");
        return;
    }
    const ELNode el{std::move(n.label), std::move(n.attributes)};
    writeElementOverCut(level, flag, el, n.kids, sink);
}

namespace {

// The remaining document read by position.
class ReducedWalk {
public:
    explicit ReducedWalk(const query::RemovalOverlay& r) : r_(r), d_(r.document()) {}

    std::int64_t last(std::int64_t p) const { return d_.last(p); }
    bool isText(std::int64_t p) const { return d_.isText(p); }
    std::string_view label(std::int64_t p) const { return d_.label(p); }
    // The first remaining child of p, or a position past its subtree.
    std::int64_t firstChild(std::int64_t p) const { return p == d_.last(p) ? p + 1 : r_.skipRemoved(p + 1); }
    // The remaining sibling after c (below the same node), or a position past.
    std::int64_t nextSibling(std::int64_t c) const { return r_.skipRemoved(d_.last(c) + 1); }

    // The attribute that the remaining child c becomes: an '@' element over
    // nothing or over one text.
    std::optional<xml::Attribute> attributeAt(std::int64_t c) const {
        if (isText(c)) return std::nullopt;
        std::string_view name = label(c);
        if (name.empty() || name[0] != '@') return std::nullopt;
        std::int64_t v = firstChild(c);
        if (v > last(c)) return xml::Attribute{std::string(name.substr(1)), std::string()};
        if (nextSibling(v) <= last(c) || !isText(v)) return std::nullopt;
        return xml::Attribute{std::string(name.substr(1)), std::string(label(v))};
    }

private:
    const query::RemovalOverlay& r_;
    const index::DocumentTree& d_;
};

}  // namespace

void writeReducedDocument(std::int64_t level, int flag, const ELNode& root, const query::RemovalOverlay& reduced,
                          Sink& sink) {
    const ReducedWalk w(reduced);
    if (reduced.rootRemoved()) {
        writeTextElement(level, flag, root, "empty text", sink);
        return;
    }
    if (w.isText(1)) {
        writeTextElement(level, flag, root, w.label(1), sink);
        return;
    }
    writeStartTag(level, flag, root, false, sink);
    struct Frame {
        std::int64_t position;
        std::int64_t next;  // the next remaining child to look at
        std::int64_t level;
    };
    std::vector<Frame> open;
    // Writes the node at p; an element with children to write is opened.
    auto enter = [&](std::int64_t p, std::int64_t lvl) {
        if (w.isText(p)) {
            indent(lvl, sink);
            writeEscapedText(w.label(p), sink);
            sink.write("\n");
            return;
        }
        ELNode el{std::string(w.label(p)), {}};
        if (!el.name.empty() && el.name[0] == '\0') throw InternalError(el.name.substr(1));
        std::int64_t kids = 0, onlyKid = 0;
        for (std::int64_t c = w.firstChild(p); c <= w.last(p); c = w.nextSibling(c)) {
            if (auto a = w.attributeAt(c)) {
                el.attributes.push_back(std::move(*a));
            } else {
                ++kids;
                onlyKid = c;
            }
        }
        if (kids == 0) {
            writeStartTag(lvl, flag, el, true, sink);
        } else if (kids == 1 && w.isText(onlyKid)) {
            writeTextElement(lvl, flag, el, w.label(onlyKid), sink);
        } else {
            writeStartTag(lvl, flag, el, false, sink);
            open.push_back(Frame{p, w.firstChild(p), lvl});
        }
    };
    enter(1, level + 1);
    while (!open.empty()) {
        Frame& f = open.back();
        std::int64_t c = f.next;
        while (c <= w.last(f.position) && w.attributeAt(c)) c = w.nextSibling(c);
        if (c > w.last(f.position)) {
            writeEndTag(f.level, flag, ELNode{std::string(w.label(f.position)), {}}, sink);
            open.pop_back();
            continue;
        }
        f.next = w.nextSibling(c);
        const std::int64_t lvl = f.level + 1;
        enter(c, lvl);  // may open a frame: f is not used after this
    }
    writeEndTag(level, flag, root, sink);
}

std::string showFormattedXML(std::int64_t level, int flag, const Tree* tree) {
    StringSink s;
    writeFormattedXML(level, flag, tree, s);
    return s.take();
}

}  // namespace axf::app
