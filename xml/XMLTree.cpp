#include "xml/XMLTree.h"

#include <deque>
#include <exception>

namespace axf::xml {

EventPull eventsOf(std::vector<XMLEvent> events) {
    struct State {
        std::vector<XMLEvent> events;
        std::size_t next = 0;
    };
    auto st = std::make_shared<State>(State{std::move(events), 0});
    return [st]() -> std::optional<XMLEvent> {
        if (st->next == st->events.size()) return std::nullopt;
        return st->events[st->next++];
    };
}

EventPull eventsOf(DocumentEvents events) {
    auto st = std::make_shared<DocumentEvents>(std::move(events));
    return [st]() { return st->next(); };
}

std::vector<XMLEvent> takeEvents(const EventPull& events) {
    std::vector<XMLEvent> out;
    while (std::optional<XMLEvent> e = events()) out.push_back(std::move(*e));
    return out;
}

AttList forceAttributes(const LazyAttList& atts) {
    AttList out;
    out.reserve(atts.size());
    for (const auto& [name, value] : atts) out.emplace_back(name, value.get());
    return out;
}

LazyAttList readyAttributes(const AttList& atts) {
    LazyAttList out;
    out.reserve(atts.size());
    for (const auto& [name, value] : atts) out.emplace_back(name, axf::Lazy<std::string>::ready(value));
    return out;
}

namespace detail {

// Reads the events one at a time into the nodes of the tree. Nodes are made
// in document order; the open nodes (root first) receive the next event, so
// reading on until a node has a further child, or is closed, reads exactly
// the events of its earlier children's subtrees.
class TreeReader {
public:
    struct Node {
        XMLNode value;  // an element's attributes filled in from `pending` when first read
        std::vector<std::size_t> kids;
        bool closed = false;
        const Tree* forced = nullptr;
        LazyAttList pending;  // an element's attribute values, not yet read
    };

    explicit TreeReader(EventPull events, std::string text = {}) : text_(std::move(text)), events_(std::move(events)) {
        nodes_.push_back(Node{RTNode{}, {}, false, nullptr, {}});
        open_.push_back(0);
    }

    static LazyTree handle(const std::shared_ptr<TreeReader>& r, std::size_t node) { return LazyTree(r, node); }

    Node& node(std::size_t i) { return nodes_[i]; }

    // The value of node i, its attribute values read (the first time: a bad
    // reference in one fails here, and again at every later reading).
    const XMLNode& value(std::size_t i) {
        Node& n = nodes_[i];
        if (!n.pending.empty()) {
            AttList atts = forceAttributes(n.pending);
            std::get<ELNode>(n.value).attributes = std::move(atts);
            n.pending = LazyAttList();
        }
        return n.value;
    }

    // Reads events until node i has more than k children or is closed.
    void readUntil(std::size_t i, std::size_t k) {
        while (nodes_[i].kids.size() <= k && !nodes_[i].closed) step();
    }

    // The text that a parsed document's events point into.
    std::string& text() { return text_; }
    void setEvents(EventPull events) { events_ = std::move(events); }

private:
    void step() {
        if (failure_) std::rethrow_exception(failure_);
        try {
            std::optional<XMLEvent> ev = events_();
            if (!ev) {
                for (std::size_t i : open_) nodes_[i].closed = true;
                open_.clear();
                events_ = nullptr;
                return;
            }
            std::visit([this](auto& e) { take(e); }, *ev);
        } catch (...) {
            failure_ = std::current_exception();
            events_ = nullptr;
            throw;
        }
    }

    std::size_t add(XMLNode value, bool closed, LazyAttList atts = {}) {
        nodes_.push_back(Node{std::move(value), {}, closed, nullptr, std::move(atts)});
        const std::size_t id = nodes_.size() - 1;
        nodes_[open_.back()].kids.push_back(id);
        return id;
    }

    // Attribute values are read with the node's value, not here.
    void take(StartEvent& e) { open_.push_back(add(ELNode{std::move(e.name), {}}, false, std::move(e.attributes))); }
    void take(EmptyEvent& e) { add(ELNode{std::move(e.name), {}}, true, std::move(e.attributes)); }
    void take(EndEvent&) {
        nodes_[open_.back()].closed = true;
        open_.pop_back();
        if (open_.empty()) events_ = nullptr;  // the root's children ended: read nothing more
    }
    void take(TextEvent& e) { add(TXNode{std::move(e.text)}, true); }
    void take(PIEvent& e) { add(PINode{std::move(e.target), std::move(e.text)}, true); }
    void take(GERefEvent& e) { add(ENNode{std::move(e.name)}, true); }
    void take(CommentEvent& e) { add(CXNode{std::move(e.text)}, true); }
    [[noreturn]] void take(ErrorEvent& e) { throw axf::Fatal(e.message); }

    std::string text_;
    EventPull events_;
    std::deque<Node> nodes_;
    std::vector<std::size_t> open_;
    std::exception_ptr failure_;
};

}  // namespace detail

const XMLNode& LazyTree::value() const { return reader_->value(node_); }

std::optional<LazyTree> LazyTree::child(std::size_t i) const {
    reader_->readUntil(node_, i);
    const auto& kids = reader_->node(node_).kids;
    if (i >= kids.size()) return std::nullopt;
    return LazyTree(reader_, kids[i]);
}

std::vector<LazyTree> LazyTree::children() const {
    std::vector<LazyTree> out;
    for (std::size_t i = 0;; ++i) {
        std::optional<LazyTree> c = child(i);
        if (!c) break;
        out.push_back(std::move(*c));
    }
    return out;
}

const Tree* LazyTree::force() const {
    detail::TreeReader& r = *reader_;
    if (r.node(node_).forced) return r.node(node_).forced;
    // Post-order over an explicit stack: a node is made once all its
    // children are; its children are read in order as the walk reaches them.
    struct Frame {
        std::size_t node;
        std::size_t next;
        TreeList kids;
    };
    std::vector<Frame> stack;
    // A node's value is read when the walk enters it, before its children.
    r.value(node_);
    stack.push_back(Frame{node_, 0, {}});
    const Tree* result = nullptr;
    while (!stack.empty()) {
        Frame& f = stack.back();
        r.readUntil(f.node, f.next);
        auto& n = r.node(f.node);
        if (f.next < n.kids.size()) {
            const std::size_t c = n.kids[f.next++];
            if (const Tree* done = r.node(c).forced) {
                f.kids.push_back(done);
            } else {
                r.value(c);
                stack.push_back(Frame{c, 0, {}});
            }
            continue;
        }
        n.forced = makeTree(n.value, f.kids);
        result = n.forced;
        stack.pop_back();
        if (!stack.empty()) stack.back().kids.push_back(result);
    }
    return result;
}

LazyTree buildTree(EventPull events) {
    auto reader = std::make_shared<detail::TreeReader>(std::move(events));
    return detail::TreeReader::handle(reader, 0);
}

LazyTree parseXML(std::string text) {
    auto reader = std::make_shared<detail::TreeReader>(EventPull{}, std::move(text));
    // The events point into the text the reader keeps; it never moves again.
    auto doc = std::make_shared<std::optional<DocumentEvents>>();
    std::string_view view = reader->text();
    reader->setEvents([doc, view]() -> std::optional<XMLEvent> {
        if (!*doc) doc->emplace(parseDocument(view));
        return (*doc)->next();
    });
    return detail::TreeReader::handle(reader, 0);
}

// ---- serialisation --------------------------------------------------------------

namespace {

template <class Node>
class TreeEvents {
public:
    explicit TreeEvents(Node root) : pending_(std::move(root)) {}

    std::optional<XMLEvent> next() {
        for (;;) {
            if (pending_) {
                Node n = std::move(*pending_);
                pending_.reset();
                const XMLNode& v = nodeValue(n);
                if (std::holds_alternative<RTNode>(v)) {
                    stack_.push_back(Frame{std::move(n), 0, false});
                    continue;
                }
                if (const auto* e = std::get_if<ELNode>(&v)) {
                    XMLEvent ev = StartEvent{e->name, readyAttributes(e->attributes)};
                    stack_.push_back(Frame{std::move(n), 0, true});
                    return ev;
                }
                if (const auto* t = std::get_if<TXNode>(&v)) return TextEvent{t->text};
                if (const auto* p = std::get_if<PINode>(&v)) return PIEvent{p->target, p->text};
                if (const auto* c = std::get_if<CXNode>(&v)) return CommentEvent{c->text};
                raiseIfFailure(v);
                return GERefEvent{std::get<ENNode>(v).name};
            }
            if (stack_.empty()) return std::nullopt;
            Frame& f = stack_.back();
            if (std::optional<Node> c = nodeChild(f.node, f.next)) {
                ++f.next;
                pending_ = std::move(*c);
                continue;
            }
            Frame done = std::move(f);
            stack_.pop_back();
            if (done.element) return EndEvent{std::get<ELNode>(nodeValue(done.node)).name};
        }
    }

private:
    struct Frame {
        Node node;
        std::size_t next;
        bool element;
    };
    std::optional<Node> pending_;
    std::vector<Frame> stack_;
};

template <class Node>
EventPull serializeWith(Node root) {
    auto st = std::make_shared<TreeEvents<Node>>(std::move(root));
    return [st]() { return st->next(); };
}

}  // namespace

EventPull serializeTree(const Tree* tree) { return serializeWith<const Tree*>(tree); }
EventPull serializeTree(LazyTree tree) { return serializeWith<LazyTree>(std::move(tree)); }

}  // namespace axf::xml
