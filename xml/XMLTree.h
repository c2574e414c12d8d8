// Conversion between the two forms of a document: the flat sequence of parse
// events and the document tree under an RTNode root.
//
// Building reads the events front to back, one at a time, and needs no look
// ahead: a StartEvent opens an element, any EndEvent closes the innermost open
// element (its name is not read), an EndEvent where no element is open ends
// the root's children (nothing after it is read), and elements still open at
// the end of the events are closed there. An ErrorEvent ends the run with its
// message (axf::Fatal) when the reader reaches it.
//
// buildTree and parseXML give a LazyTree: the root is there at once, and a
// node's children are read from the events when they are first asked for,
// never further than that. So a failure beyond what the consumer walks never
// fires, and parseXML scans the text only as far as the walk goes. An
// element's attribute values are read with its value: a bad reference in a
// value fails only when that node's value is asked for.
// constructTree is the same builder over caller-given tree operations. Over
// deferred child lists (axf::Lazy) it reads as buildTree does: the root comes
// back before any event is read. Over lists that are values, every list has
// to be there to make the root, so it reads the events when called.
//
// Nothing here recurses: deep documents and long sibling runs cost only heap.
#pragma once

#include <cstddef>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <variant>
#include <vector>

#include "common/Fatal.h"
#include "common/Lazy.h"
#include "xml/XML.h"
#include "xml/XMLParse.h"

namespace axf::xml {

// ---- event sequences ----------------------------------------------------------

// A sequence of events read from the front on request: each call gives the
// next event, or nullopt once the sequence has ended.
using EventPull = std::function<std::optional<XMLEvent>()>;

EventPull eventsOf(std::vector<XMLEvent> events);
EventPull eventsOf(DocumentEvents events);
// Reads the rest of a sequence.
std::vector<XMLEvent> takeEvents(const EventPull& events);

// The attribute list of an event, every value read (a bad reference in a
// value fails here), and the other way round.
AttList forceAttributes(const LazyAttList& atts);
LazyAttList readyAttributes(const AttList& atts);

// ---- generic builder ----------------------------------------------------------

// The tree of the events under an RTNode root, made only through the given
// operations: mk(node value, child list) -> tree, prepend(tree, child list)
// -> child list, and the empty child list. Every child list is
// prepend(first, prepend(second, ... prepend(last, empty))). Lists that are
// values: the events are read when this is called, up to the end of the
// sequence or the top-level EndEvent that ends the root's children. For
// deferred lists, see the overload below.
template <class Mk, class Prepend, class List>
auto constructTree(Mk&& mk, Prepend&& prepend, const List& empty, const EventPull& events)
    -> std::decay_t<std::invoke_result_t<Mk&, XMLNode, List>> {
    using TreeT = std::decay_t<std::invoke_result_t<Mk&, XMLNode, List>>;
    struct Frame {
        XMLNode value;
        std::vector<TreeT> kids;
    };
    std::vector<Frame> open;
    open.push_back(Frame{RTNode{}, {}});
    auto close = [&]() -> TreeT {
        Frame f = std::move(open.back());
        open.pop_back();
        List list = empty;
        for (std::size_t i = f.kids.size(); i-- > 0;) list = prepend(std::move(f.kids[i]), std::move(list));
        return mk(std::move(f.value), std::move(list));
    };
    auto leaf = [&](XMLNode v) { open.back().kids.push_back(mk(std::move(v), List(empty))); };
    for (;;) {
        std::optional<XMLEvent> ev = events();
        if (!ev) break;
        if (auto* s = std::get_if<StartEvent>(&*ev)) {
            open.push_back(Frame{ELNode{std::move(s->name), forceAttributes(s->attributes)}, {}});
        } else if (std::holds_alternative<EndEvent>(*ev)) {
            if (open.size() == 1) break;
            TreeT t = close();
            open.back().kids.push_back(std::move(t));
        } else if (auto* e = std::get_if<EmptyEvent>(&*ev)) {
            leaf(ELNode{std::move(e->name), forceAttributes(e->attributes)});
        } else if (auto* x = std::get_if<TextEvent>(&*ev)) {
            leaf(TXNode{std::move(x->text)});
        } else if (auto* p = std::get_if<PIEvent>(&*ev)) {
            leaf(PINode{std::move(p->target), std::move(p->text)});
        } else if (auto* g = std::get_if<GERefEvent>(&*ev)) {
            leaf(ENNode{std::move(g->name)});
        } else if (auto* c = std::get_if<CommentEvent>(&*ev)) {
            leaf(CXNode{std::move(c->text)});
        } else {
            throw axf::Fatal(std::get<ErrorEvent>(*ev).message);
        }
    }
    while (open.size() > 1) {
        TreeT t = close();
        open.back().kids.push_back(std::move(t));
    }
    return close();
}

// ---- trees built on request ---------------------------------------------------

namespace detail {
class TreeReader;
}

// A node of a document tree whose child lists are read from the event
// sequence on first request. Handles are cheap to copy; all handles of one
// tree share its reader. A failure met while reading (an ErrorEvent, a
// fatal message of the event source) is thrown to the asker and again to
// every later request that needs to read past it.
class LazyTree {
public:
    // The node's value. An element's attribute values are read by the first
    // call (a bad reference in one fails there, and at every later call).
    const XMLNode& value() const;
    // The i-th child, reading the events up to it; nullopt when the node has
    // no more than i children.
    std::optional<LazyTree> child(std::size_t i) const;
    // All children (reads every event of the node's subtree).
    std::vector<LazyTree> children() const;
    // The whole subtree as an arena tree (reads every event it needs).
    const Tree* force() const;

private:
    friend class detail::TreeReader;
    LazyTree(std::shared_ptr<detail::TreeReader> reader, std::size_t node) : reader_(std::move(reader)), node_(node) {}
    std::shared_ptr<detail::TreeReader> reader_;
    std::size_t node_;
};

// The document tree of the events: an RTNode root whose children are the
// trees of the top-level events. No event is read before a child list is
// asked for.
LazyTree buildTree(EventPull events);
// buildTree over parseDocument of the text (which the tree keeps).
LazyTree parseXML(std::string text);

// ---- generic builder over deferred lists ------------------------------------------

namespace detail {

template <class TreeT, class L, class Ops>
axf::Lazy<L> deferredChildren(const std::shared_ptr<const Ops>& ops, const LazyTree& node, std::size_t k) {
    return axf::Lazy<L>(std::function<L()>([ops, node, k]() -> L {
        std::optional<LazyTree> c = node.child(k);
        if (!c) return ops->empty.get();
        TreeT t = ops->mk(XMLNode(c->value()), deferredChildren<TreeT, L>(ops, *c, 0));
        return ops->prepend(std::move(t), deferredChildren<TreeT, L>(ops, node, k + 1)).get();
    }));
}

}  // namespace detail

// constructTree over child lists deferred as axf::Lazy<L>: mk(node value,
// Lazy<L>) -> tree, prepend(tree, Lazy<L>) -> Lazy<L>, and the empty list.
// The root comes back before any event is read. Getting a list reads the
// events up to its first node (a StartEvent, or the event that ends it) and
// makes that node's tree with its own children still deferred; the rest of
// the list is deferred in turn. So events are read in order, each once, only
// as far as the consumer's walk goes, and a failure (an ErrorEvent, a bad
// attribute value of a node made, a fatal message of the event source) fires
// at the list whose getting reaches it, and again at every later get().
template <class Mk, class Prepend, class L>
auto constructTree(Mk&& mk, Prepend&& prepend, const axf::Lazy<L>& empty, const EventPull& events)
    -> std::decay_t<std::invoke_result_t<Mk&, XMLNode, axf::Lazy<L>>> {
    using TreeT = std::decay_t<std::invoke_result_t<Mk&, XMLNode, axf::Lazy<L>>>;
    struct Ops {
        std::decay_t<Mk> mk;
        std::decay_t<Prepend> prepend;
        axf::Lazy<L> empty;
    };
    auto ops = std::make_shared<const Ops>(Ops{std::forward<Mk>(mk), std::forward<Prepend>(prepend), empty});
    const LazyTree root = buildTree(events);
    return ops->mk(XMLNode(RTNode{}), detail::deferredChildren<TreeT, L>(ops, root, 0));
}

// ---- serialisation --------------------------------------------------------------

// The events of a tree in document order, produced as they are taken: an
// RTNode gives only its children's events (at any depth); an element gives
// StartEvent, its children's events and EndEvent with its name; text, PI,
// comment and entity nodes give their one event, their children unread.
EventPull serializeTree(const Tree* tree);
EventPull serializeTree(LazyTree tree);

// Uniform access to the two tree forms, for the walks of the printers.
inline const XMLNode& nodeValue(const Tree* t) { return t->value; }
inline std::optional<const Tree*> nodeChild(const Tree* t, std::size_t i) {
    if (i < t->kidCount) return t->kids[i];
    return std::nullopt;
}
inline const XMLNode& nodeValue(const LazyTree& t) { return t.value(); }
inline std::optional<LazyTree> nodeChild(const LazyTree& t, std::size_t i) { return t.child(i); }

}  // namespace axf::xml
