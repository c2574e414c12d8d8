#include "xml/XMLPrint.h"

#include <exception>
#include <optional>
#include <utility>

#include "common/Fatal.h"

namespace axf::xml {

namespace {

// Output is gathered in a buffer and handed on in chunks of about this size.
constexpr std::size_t kChunk = std::size_t(1) << 16;

void showPI(std::string_view target, std::string_view text, std::string& out) {
    out += "<?";
    out += target;
    if (!text.empty()) {
        out += ' ';
        out += text;
    }
    out += "?>";
}

void endTag(std::string_view name, std::string& out) {
    out += "</";
    out += name;
    out += "\n>";
}

// Copies text to out with the markup characters replaced by references; in
// an attribute value the quotes as well.
template <bool Attribute>
void escapeInto(std::string_view text, std::string& out) {
    std::size_t from = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char* rep;
        switch (text[i]) {
            case '&': rep = "&amp;"; break;
            case '<': rep = "&lt;"; break;
            case '>': rep = "&gt;"; break;
            case '"':
                if (!Attribute) continue;
                rep = "&quot;";
                break;
            case '\'':
                if (!Attribute) continue;
                rep = "&apos;";
                break;
            default: continue;
        }
        out.append(text, from, i - from);
        out += rep;
        from = i + 1;
    }
    out.append(text, from, std::string_view::npos);
}

void escapeText(std::string_view text, std::string& out) { escapeInto<false>(text, out); }

void escapeAttValue(std::string_view value, std::string& out) { escapeInto<true>(value, out); }

// The attribute text (" name=\"value\"" per pair), appended to out.
void showAttributes(const AttList& atts, std::string& out) {
    for (const auto& [name, value] : atts) {
        out += ' ';
        out += name;
        out += "=\"";
        escapeAttValue(value, out);
        out += '"';
    }
}

void showAttributes(const LazyAttList& atts, std::string& out) {
    for (const auto& [name, value] : atts) {
        out += ' ';
        out += name;
        out += "=\"";
        escapeAttValue(value.get(), out);
        out += '"';
    }
}

template <class Atts>
void startTag(std::string_view name, const Atts& atts, bool empty, std::string& out) {
    out += '<';
    out += name;
    showAttributes(atts, out);
    out += empty ? "/>" : ">";
}

// The text of one event, appended to out (throws axf::Fatal for an ErrorEvent).
void showEventTo(const XMLEvent& event, std::string& out) {
    struct V {
        std::string& out;
        void operator()(const StartEvent& e) const { startTag(e.name, e.attributes, false, out); }
        void operator()(const EmptyEvent& e) const { startTag(e.name, e.attributes, true, out); }
        void operator()(const EndEvent& e) const { endTag(e.name, out); }
        void operator()(const TextEvent& e) const { escapeText(e.text, out); }
        void operator()(const PIEvent& e) const { showPI(e.target, e.text, out); }
        void operator()(const GERefEvent& e) const {
            out += '&';
            out += e.name;
            out += ';';
        }
        void operator()(const CommentEvent& e) const {
            out += "<!--";
            out += e.text;
            out += "-->";
        }
        [[noreturn]] void operator()(const ErrorEvent& e) const { throw axf::Fatal(e.message); }
    };
    std::visit(V{out}, event);
}

// The texts of the events into a sink, each event's text passed on before the
// next event is taken.
void writeEvents(axf::Sink& sink, const EventPull& events) {
    std::string buf;
    while (std::optional<XMLEvent> e = events()) {
        buf.clear();
        showEventTo(*e, buf);
        sink.write(buf);
    }
}

}  // namespace

std::string showEvent(const XMLEvent& event) {
    std::string out;
    showEventTo(event, out);
    return out;
}

std::string showEvents(const std::vector<XMLEvent>& events) {
    std::string out;
    for (const XMLEvent& e : events) showEventTo(e, out);
    return out;
}

std::string showEvents(const EventPull& events) {
    std::string out;
    while (std::optional<XMLEvent> e = events()) showEventTo(*e, out);
    return out;
}

void printEvent(const XMLEvent& event) {
    std::string buf;
    showEventTo(event, buf);
    axf::out().write(buf);
}

void printEvents(const std::vector<XMLEvent>& events) {
    std::string buf;
    for (const XMLEvent& e : events) {
        buf.clear();
        showEventTo(e, buf);
        axf::out().write(buf);
    }
}

void printEvents(const EventPull& events) {
    axf::StdoutSink sink;
    writeEvents(sink, events);
}

// ---- tree printer ----------------------------------------------------------------

namespace {

// Writes the text of a tree front to back: a node's opening text when the
// walk enters it, its end tag when it leaves it.
template <class Node>
void writeTree(axf::Sink& sink, const Node& root) {
    struct Frame {
        Node node;
        std::size_t next;  // the child to visit next
        bool entered;      // the node's opening text has been written
    };
    std::string buf;
    std::vector<Frame> stack;
    stack.push_back(Frame{root, 0, false});
    try {
        while (!stack.empty()) {
            if (buf.size() >= kChunk) {
                sink.write(buf);
                buf.clear();
            }
            Frame& f = stack.back();
            const XMLNode& v = nodeValue(f.node);
            const auto* e = std::get_if<ELNode>(&v);
            if (!f.entered) {
                f.entered = true;
                if (e) {
                    std::optional<Node> first = nodeChild(f.node, 0);
                    startTag(e->name, e->attributes, !first.has_value(), buf);
                    if (!first) {
                        stack.pop_back();
                    } else {
                        f.next = 1;
                        Node c = std::move(*first);
                        stack.push_back(Frame{std::move(c), 0, false});
                    }
                    continue;
                }
                if (std::holds_alternative<RTNode>(v)) continue;
                if (const auto* t = std::get_if<TXNode>(&v)) {
                    escapeText(t->text, buf);
                } else if (const auto* p = std::get_if<PINode>(&v)) {
                    showPI(p->target, p->text, buf);
                } else if (const auto* c = std::get_if<CXNode>(&v)) {
                    buf += "<!--";
                    buf += c->text;
                    buf += "-->";
                } else if (const auto* r = std::get_if<ENNode>(&v)) {
                    buf += '&';
                    buf += r->name;
                    buf += ';';
                } else {
                    raiseIfFailure(v);
                }
                stack.pop_back();
                continue;
            }
            std::optional<Node> c = nodeChild(f.node, f.next);
            if (c) {
                ++f.next;
                Node n = std::move(*c);
                stack.push_back(Frame{std::move(n), 0, false});
                continue;
            }
            if (e) endTag(e->name, buf);
            stack.pop_back();
        }
    } catch (...) {
        sink.write(buf);
        throw;
    }
    sink.write(buf);
}

}  // namespace

void writeXML(axf::Sink& sink, const Tree* tree) { writeTree<const Tree*>(sink, tree); }
void writeXML(axf::Sink& sink, const LazyTree& tree) { writeTree<LazyTree>(sink, tree); }

std::string showXML(const Tree* tree) {
    axf::StringSink sink;
    writeXML(sink, tree);
    return sink.take();
}

std::string showXML(const LazyTree& tree) {
    axf::StringSink sink;
    writeXML(sink, tree);
    return sink.take();
}

void printXML(const Tree* tree) { printEvents(serializeTree(tree)); }
void printXML(const LazyTree& tree) { printEvents(serializeTree(tree)); }

}  // namespace axf::xml
