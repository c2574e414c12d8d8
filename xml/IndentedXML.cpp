#include "xml/IndentedXML.h"

#include <span>
#include <variant>
#include <vector>

#include "common/Fatal.h"

namespace axf::xml {

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

// Escaping of data: '&', '<', '>' in texts; '&', '<', '"' in attribute values.
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

void indent(std::int64_t level, const XMLPrintOptions& o, Sink& sink) {
    if (o.layout && level > 0) sink.spaces(static_cast<std::size_t>(level * indentWidth));
}

void newLine(const XMLPrintOptions& o, Sink& sink) {
    if (o.layout) sink.write("\n");
}

void writeText(std::string_view text, const XMLPrintOptions& o, Sink& sink) {
    if (o.escaped)
        writeEscapedText(text, sink);
    else
        sink.write(text);
}

// The indentation, '<', the printed name and the attributes.
void openTag(std::int64_t level, const XMLPrintOptions& o, std::string_view name, const AttList& attributes, Sink& sink) {
    indent(level, o, sink);
    sink.write("<");
    sink.write(printedName(name, o.resultNames));
    for (const Attribute& a : attributes) writeAttribute(a, o.escaped, sink);
}

void startTag(std::int64_t level, const XMLPrintOptions& o, std::string_view name, const AttList& attributes, bool empty,
              Sink& sink) {
    openTag(level, o, name, attributes, sink);
    sink.write(empty ? "/>" : ">");
    newLine(o, sink);
}

void textElement(std::int64_t level, const XMLPrintOptions& o, std::string_view name, const AttList& attributes,
                 std::string_view text, Sink& sink) {
    const std::int64_t estimate =
        level * indentWidth + 2 * static_cast<std::int64_t>(name.size()) + static_cast<std::int64_t>(text.size()) + 5;
    if (estimate <= maxLengthElement) {
        openTag(level, o, name, attributes, sink);
        sink.write(">");
        writeText(text, o, sink);
        sink.write("</");
        sink.write(printedName(name, o.resultNames));
        sink.write(">");
        newLine(o, sink);
    } else {
        startTag(level, o, name, attributes, false, sink);
        writeTextLine(level + 1, o, text, sink);
        writeEndTag(level, o, name, sink);
    }
}

}  // namespace

std::string_view printedName(std::string_view label, bool resultNames) {
    if (!resultNames) return label;
    if (label == "0000") return "Results";
    if (label == "and" || label == "or" || label == "xor") return "ResultQuery";
    return label;
}

void writeAttribute(const Attribute& attribute, bool escaped, Sink& sink) {
    sink.write(" ");
    sink.write(attribute.first);
    sink.write("=\"");
    if (escaped)
        writeEscapedAttValue(attribute.second, sink);
    else
        sink.write(attribute.second);
    sink.write("\"");
}

void writeStartTag(std::int64_t level, const XMLPrintOptions& options, const ELNode& el, bool empty, Sink& sink) {
    startTag(level, options, el.name, el.attributes, empty, sink);
}

void writeEndTag(std::int64_t level, const XMLPrintOptions& options, std::string_view name, Sink& sink) {
    indent(level, options, sink);
    sink.write("</");
    sink.write(printedName(name, options.resultNames));
    sink.write(">");
    newLine(options, sink);
}

void writeTextElement(std::int64_t level, const XMLPrintOptions& options, const ELNode& el, std::string_view text, Sink& sink) {
    textElement(level, options, el.name, el.attributes, text, sink);
}

void writeTextLine(std::int64_t level, const XMLPrintOptions& options, std::string_view text, Sink& sink) {
    indent(level, options, sink);
    writeText(text, options, sink);
    newLine(options, sink);
}

void writeIndentedXML(std::int64_t level, const XMLPrintOptions& o, const Tree* tree, Sink& sink) {
    static const AttList kNoAttributes;
    struct Open {
        std::int64_t level;
        std::string_view name;
        std::span<const Tree* const> children;
        std::size_t next;
    };
    std::vector<Open> open;
    // Writes the node at this level; an element with children to write is opened.
    auto visit = [&](std::int64_t at, const Tree* t) {
        if (o.checkNode) o.checkNode(t);
        const XMLNode& node = t->value;
        std::string_view name;
        const AttList* attributes = &kNoAttributes;
        if (std::holds_alternative<RTNode>(node)) {
            at = 0;
            name = "Result";
        } else if (const auto* el = std::get_if<ELNode>(&node)) {
            name = el->name;
            attributes = &el->attributes;
        } else if (const auto* tx = std::get_if<TXNode>(&node)) {
            return writeTextLine(at, o, tx->text, sink);
        } else if (const auto* cx = std::get_if<CXNode>(&node)) {
            return writeTextLine(at, o, cx->text, sink);
        } else if (const auto* en = std::get_if<ENNode>(&node)) {
            return writeTextLine(at, o, en->name, sink);
        } else {
            raiseIfFailure(node);
            throw InternalError("showFormattedXML: a processing instruction in the tree");
        }
        const auto children = t->children();
        if (children.empty()) return startTag(at, o, name, *attributes, true, sink);
        if (children.size() == 1 && children[0]->isLeaf()) {
            if (const auto* text = std::get_if<TXNode>(&children[0]->value))
                return textElement(at, o, name, *attributes, text->text, sink);
        }
        startTag(at, o, name, *attributes, false, sink);
        open.push_back(Open{at, name, children, 0});
    };
    visit(level, tree);
    while (!open.empty()) {
        Open& top = open.back();
        if (top.next < top.children.size()) {
            const std::int64_t at = top.level + 1;
            visit(at, top.children[top.next++]);  // may open a frame: top is not used after this
            continue;
        }
        writeEndTag(top.level, o, top.name, sink);
        open.pop_back();
    }
}

}  // namespace axf::xml
