#include "query/MatchRemoval.h"

#include <algorithm>
#include <limits>
#include <utility>
#include <variant>

#include "common/Fatal.h"
#include "query/AsciiSpace.h"
#include "query/MatchRemovalInternal.h"
#include "query/NodeLabel.h"

namespace axf::query {

using xml::ELNode;
using xml::Tree;
using xml::TreeList;
using xml::TXNode;

namespace {

const char* const kBooleanRoots[] = {"and^1^0", "or^1^0", "xor^1^0"};

bool isBooleanRoot(const std::string& label) {
    for (const char* b : kBooleanRoots)
        if (label == b) return true;
    return false;
}

// Component k of a node's label read as a number. A component without a
// backslash is read where it stands; any other (and any label rootLabelComponent
// refuses) goes through rootLabelComponent.
std::int64_t labelNumber(const Tree* t, std::int64_t k) {
    std::string_view label;
    if (const auto* el = std::get_if<ELNode>(&t->value))
        label = el->name;
    else if (const auto* tx = std::get_if<TXNode>(&t->value); tx && t->isLeaf())
        label = tx->text;
    else
        return readLabelNumber(rootLabelComponent(t, k));
    std::size_t start = 0;
    for (std::int64_t c = 1; c < k; ++c) {
        const std::size_t caret = findLabelCaret(label, start);
        if (caret == std::string_view::npos) return readLabelNumber(rootLabelComponent(t, k));
        start = caret + 1;
    }
    std::size_t end = findLabelCaret(label, start);
    if (end == std::string_view::npos) end = label.size();
    const std::string_view component = label.substr(start, end - start);
    if (component.find('\\') != std::string_view::npos) return readLabelNumber(rootLabelComponent(t, k));
    return readLabelNumber(component);
}

// Position of a document node: component 2 of its label.
std::int64_t documentPosition(const Tree* t) { return labelNumber(t, 2); }
// Position of an embedding node: component 3 of its label.
std::int64_t embeddingPosition(const Tree* t) { return labelNumber(t, 3); }

enum class Shape { Element, Text };

// The shape of a tree the removal covers: an element without attributes or a
// childless text. Anything else is a state no caller builds.
Shape shapeOf(const Tree* t, const char* role) {
    if (const auto* el = std::get_if<ELNode>(&t->value)) {
        if (!el->attributes.empty())
            throw InternalError(std::string("shapeOf: ") + role + " element \"" + el->name + "\" has attributes");
        return Shape::Element;
    }
    if (const auto* tx = std::get_if<TXNode>(&t->value)) {
        if (!t->isLeaf()) throw InternalError(std::string("shapeOf: ") + role + " text \"" + tx->text + "\" has children");
        return Shape::Text;
    }
    xml::raiseIfFailure(t->value);
    throw InternalError(std::string("shapeOf: ") + role + " node is neither an element nor a text");
}

const std::string& elementName(const Tree* t) { return std::get<ELNode>(t->value).name; }

// Among siblings in position order, the index of the one whose subtree can
// hold the position: the last sibling from the second on whose position is
// at most p, else the first. pos(i) reads the position of sibling i.
template <class PosFn>
std::size_t chooseSibling(std::size_t n, std::int64_t p, PosFn&& pos) {
    std::size_t lo = 1, hi = n;  // first index in [1, n) whose position exceeds p
    while (lo < hi) {
        std::size_t mid = lo + (hi - lo) / 2;
        if (pos(mid) <= p)
            lo = mid + 1;
        else
            hi = mid;
    }
    return lo - 1;
}

const Tree* emptyText() {
    static const Tree* t = xml::text("empty text");
    return t;
}

// The binding of the embedding node e among bindings[next...]: bindings of
// query nodes numbered below e's are passed over, and the one of e's number,
// if next, is taken (next moves past it). Null when there is none.
const NodeBinding* takeBinding(std::span<const NodeBinding> bindings, std::size_t& next, const Tree* e) {
    while (next < bindings.size()) {
        const std::int64_t n = bindings[next].number;
        std::int64_t q = labelNumber(e, 2);
        if (n < q) {
            ++next;
            continue;
        }
        if (n == q) return &bindings[next++];
        break;
    }
    return nullptr;
}

}  // namespace

std::int64_t readLabelNumber(std::string_view text) {
    std::size_t i = 0, n = text.size();
    while (i < n && isAsciiSpace(text[i])) ++i;
    bool negative = false;
    if (i < n && text[i] == '-') {
        negative = true;
        ++i;
    }
    std::size_t digits = i;
    // Accumulate negatively so that the minimum value reads too.
    std::int64_t v = 0;
    constexpr std::int64_t kMin = std::numeric_limits<std::int64_t>::min();
    while (i < n && text[i] >= '0' && text[i] <= '9') {
        int d = text[i] - '0';
        if (v < (kMin + d) / 10) throw Fatal("Prelude.read: no parse");
        v = v * 10 - d;
        ++i;
    }
    if (i == digits) throw Fatal("Prelude.read: no parse");
    while (i < n && isAsciiSpace(text[i])) ++i;
    if (i != n) throw Fatal("Prelude.read: no parse");
    if (!negative) {
        if (v == kMin) throw Fatal("Prelude.read: no parse");
        v = -v;
    }
    return v;
}

TreeList findSons(const Tree* document, std::int64_t position) {
    const Tree* t = document;
    while (true) {
        if (shapeOf(t, "document") == Shape::Text) return {};
        if (documentPosition(t) == position) return TreeList(t->children().begin(), t->children().end());
        auto kids = t->children();
        if (kids.empty()) return {};
        t = kids[chooseSibling(kids.size(), position, [&](std::size_t i) { return documentPosition(kids[i]); })];
    }
}

DocumentSource::DocumentSource(const Tree* built)
    : tree([built] { return built; }), sons([built](std::int64_t p) { return findSons(built, p); }) {}

// ---------------------------------------------------------------------------
// The editable overlay. A Node stands for a document element whose children
// the removals have looked into; its children are the original trees, some of
// them with a Node of their own, and some removed. Removed children are
// skipped through a union-find of "nearest live child at or before".

struct DocumentEditor::Node {
    const Tree* orig;
    Node* parent;
    std::vector<const Tree*> kids;
    std::vector<std::unique_ptr<Node>> edited;
    std::vector<std::int64_t> pos;   // kNoPos until read
    std::vector<std::int64_t> left;  // left[i] == i: live
    std::size_t firstLive = 0;
    std::size_t alive;
    const Tree* frozen;  // the current tree; null when a removal below changed it

    static constexpr std::int64_t kNoPos = std::numeric_limits<std::int64_t>::min();

    Node(const Tree* t, Node* p)
        : orig(t),
          parent(p),
          kids(t->children().begin(), t->children().end()),
          edited(kids.size()),
          pos(kids.size(), kNoPos),
          left(kids.size()),
          alive(kids.size()),
          frozen(t) {
        for (std::size_t i = 0; i < kids.size(); ++i) left[i] = std::int64_t(i);
    }

    bool live(std::size_t i) const { return left[i] == std::int64_t(i); }

    std::int64_t position(std::size_t i) {
        if (pos[i] == kNoPos) pos[i] = documentPosition(kids[i]);
        return pos[i];
    }

    // Nearest live child at or before i, or -1.
    std::int64_t liveAtOrBefore(std::int64_t i) {
        std::int64_t r = i;
        while (r >= 0 && left[std::size_t(r)] != r) r = left[std::size_t(r)];
        while (i >= 0 && left[std::size_t(i)] != i) {
            std::int64_t next = left[std::size_t(i)];
            left[std::size_t(i)] = r;
            i = next;
        }
        return r;
    }

    // The live child whose subtree can hold position p (alive > 0).
    std::size_t choose(std::int64_t p) {
        if (alive == 1) return firstLive;
        std::size_t j = chooseSibling(kids.size(), p, [&](std::size_t i) { return position(i); });
        if (j == 0) return firstLive;
        std::int64_t k = liveAtOrBefore(std::int64_t(j));
        return k >= 0 ? std::size_t(k) : firstLive;
    }

    void invalidate() {
        for (Node* n = this; n && n->frozen; n = n->parent) n->frozen = nullptr;
    }

    void kill(std::size_t i) {
        left[i] = std::int64_t(i) - 1;
        edited[i].reset();
        --alive;
        if (i == firstLive)
            while (firstLive < kids.size() && !live(firstLive)) ++firstLive;
        invalidate();
    }

    Node* child(std::size_t i) {
        if (!edited[i]) edited[i] = std::make_unique<Node>(kids[i], this);
        return edited[i].get();
    }

    const Tree* current(std::size_t i) { return edited[i] ? edited[i]->freeze() : kids[i]; }

    const Tree* freeze() {
        if (frozen) return frozen;
        TreeList out;
        out.reserve(alive);
        for (std::size_t i = firstLive; i < kids.size(); ++i)
            if (live(i)) out.push_back(current(i));
        frozen = xml::makeTree(ELNode{elementName(orig), {}}, out);
        return frozen;
    }

    TreeList liveChildren() {
        TreeList out;
        out.reserve(alive);
        for (std::size_t i = firstLive; i < kids.size(); ++i)
            if (live(i)) out.push_back(current(i));
        return out;
    }
};

namespace {

using Node = DocumentEditor::Node;

// One removal: the embedding, the bindings and the index of the next binding.
class Removal {
public:
    Removal(std::span<const NodeBinding> bindings) : bindings_(bindings) {}

    // Removes the embedding from child i of `parent`; true when that whole
    // child must go. The caller removes it.
    bool removeFromChild(Node* parent, std::size_t i, const Tree* e) {
        return removeFrom(
            parent->kids[i], [&] { return parent->child(i); }, e);
    }

    template <class Materialize>
    bool removeFrom(const Tree* d, Materialize&& materialize, const Tree* e) {
        Shape ds = shapeOf(d, "document");
        Shape es = shapeOf(e, "embedding");
        if (ds == Shape::Text) {
            if (es == Shape::Element) return false;
            return documentPosition(d) == embeddingPosition(e);
        }
        std::int64_t dpos = documentPosition(d);
        std::int64_t epos = embeddingPosition(e);
        if (dpos == epos) {
            if (const NodeBinding* head = takeBinding(bindings_, next_, e)) {
                // The embedding's children, then the bound subtrees (which
                // consume no binding).
                Node* node = materialize();
                if (es == Shape::Element) reduce(node, e->children());
                removeBound(node, head->subtrees);
                return node->alive == 0;
            }
        }
        if (es == Shape::Element) {
            if (dpos == epos && e->isLeaf()) return true;
            if (dpos == epos || isBooleanRoot(elementName(e))) {
                Node* node = materialize();
                reduce(node, e->children());
                return node->alive == 0;
            }
        } else if (dpos == epos) {
            return true;
        }
        Node* node = materialize();
        search(node, e);
        return false;
    }

    // Removes the embedding children one after the other from the node's
    // children.
    void reduce(Node* node, std::span<const Tree* const> es) {
        for (const Tree* c : es) {
            if (node->alive == 0) return;
            search(node, c);
        }
    }

    // Removes the embedding from the one child that can hold its position.
    void search(Node* node, const Tree* e) {
        if (node->alive == 0) return;
        std::size_t i = node->alive == 1 ? node->firstLive : node->choose(embeddingPosition(e));
        if (removeFromChild(node, i, e)) node->kill(i);
    }

    // Removes, for each bound subtree, the node's child at its position.
    void removeBound(Node* node, const TreeList& subtrees) {
        for (const Tree* s : subtrees) {
            if (node->alive == 0) return;
            shapeOf(s, "bound");
            std::int64_t p = documentPosition(s);
            std::size_t i = node->choose(p);
            if (node->position(i) == p) node->kill(i);
        }
    }

private:
    std::span<const NodeBinding> bindings_;
    std::size_t next_ = 0;
};

}  // namespace

DocumentEditor::DocumentEditor(const Tree* document) {
    // The root is materialized from the start; a text root has no children.
    root_ = std::make_unique<Node>(document, nullptr);
}

DocumentEditor::~DocumentEditor() = default;

void DocumentEditor::remove(const Tree* embedding, std::span<const NodeBinding> bindings) {
    if (rootRemoved_) return;
    Removal r(bindings);
    Node* root = root_.get();
    if (r.removeFrom(
            root->orig, [&] { return root; }, embedding))
        rootRemoved_ = true;
}

TreeList DocumentEditor::findSons(std::int64_t position) {
    if (rootRemoved_) return {};
    Node* node = root_.get();
    while (true) {
        if (shapeOf(node->orig, "document") == Shape::Text) return {};
        if (documentPosition(node->orig) == position) return node->liveChildren();
        if (node->alive == 0) return {};
        std::size_t i = node->choose(position);
        if (!node->edited[i]) return query::findSons(node->kids[i], position);
        node = node->edited[i].get();
    }
}

const Tree* DocumentEditor::current() {
    if (rootRemoved_) return emptyText();
    if (shapeOf(root_->orig, "document") == Shape::Text) return root_->orig;
    return root_->freeze();
}

const Tree* removeEmbeddingFromDocument(const Tree* document, const Tree* embedding, std::span<const NodeBinding> bindings) {
    DocumentEditor editor(document);
    editor.remove(embedding, bindings);
    return editor.current();
}

}  // namespace axf::query

// ---------------------------------------------------------------------------
// Removals over positions.

namespace axf::query {

// One removal over positions. It follows Removal step for step; where
// Removal descends from a node to the one child whose subtree can hold an
// embedding node's position, it goes straight to that position: the descent
// reaches it exactly when the node there remains and lies below, and the
// nodes passed on the way always stay.
class RemovalOverlay::Pass {
public:
    Pass(RemovalOverlay& overlay, std::span<const NodeBinding> bindings) : o_(overlay), bindings_(bindings) {}

    // The whole removal from the document root.
    void fromRoot(const Tree* e) {
        const index::DocumentTree& d = o_.document_;
        Shape es = shapeOf(e, "embedding");
        if (d.isText(1)) {
            if (es == Shape::Text && embeddingPosition(e) == 1) o_.rootRemoved_ = true;
            return;
        }
        std::int64_t epos = embeddingPosition(e);
        if (epos == 1) {
            if (atNode(1, e, es)) o_.rootRemoved_ = true;
            return;
        }
        if (es == Shape::Element && isBooleanRoot(elementName(e))) {
            reduce(1, e->children());
            if (o_.noChildLeft(1)) o_.rootRemoved_ = true;
            return;
        }
        search(1, e);
    }

private:
    // The embedding node e met at the remaining node at its position; true
    // when that node must go.
    bool atNode(std::int64_t p, const Tree* e, Shape es) {
        if (o_.document_.isText(p)) return es == Shape::Text;
        if (const NodeBinding* head = takeBinding(bindings_, next_, e)) {
            if (es == Shape::Element) reduce(p, e->children());
            removeBound(p, head->subtrees);
            return o_.noChildLeft(p);
        }
        if (es == Shape::Text || e->isLeaf()) return true;
        reduce(p, e->children());
        return o_.noChildLeft(p);
    }

    void reduce(std::int64_t p, std::span<const Tree* const> es) {
        for (const Tree* c : es) {
            if (o_.noChildLeft(p)) return;
            search(p, c);
        }
    }

    // The embedding node e below the remaining element p.
    void search(std::int64_t p, const Tree* e) {
        if (o_.noChildLeft(p)) return;
        Shape es = shapeOf(e, "embedding");
        std::int64_t epos = embeddingPosition(e);
        if (epos <= p || epos > o_.document_.last(p) || !o_.kept(epos)) return;
        if (atNode(epos, e, es)) o_.removeNode(epos);
    }

    void removeBound(std::int64_t p, const TreeList& subtrees) {
        for (const Tree* s : subtrees) {
            if (o_.noChildLeft(p)) return;
            shapeOf(s, "bound");
            std::int64_t c = documentPosition(s);
            if (o_.isChildLeft(p, c)) o_.removeNode(c);
        }
    }

    RemovalOverlay& o_;
    std::span<const NodeBinding> bindings_;
    std::size_t next_ = 0;
};

RemovalOverlay::RemovalOverlay(index::DocumentTree document) : document_(std::move(document)) {
    if (!document_.byPosition()) throw InternalError("RemovalOverlay: a document without nodes by position");
    end_ = document_.last(1);
}

void RemovalOverlay::remove(const Tree* embedding, std::span<const NodeBinding> bindings) {
    if (rootRemoved_) return;
    Pass(*this, bindings).fromRoot(embedding);
}

std::int64_t RemovalOverlay::skipRemoved(std::int64_t position) const {
    // Matches come mostly in document order: a position at or after the
    // last removed range is settled there, without a search.
    if (removed_.empty()) return position;
    if (const auto& [first, last] = *removed_.rbegin(); position >= first) return position <= last ? last + 1 : position;
    auto it = removed_.upper_bound(position);
    if (it == removed_.begin()) return position;
    --it;
    return it->second >= position ? it->second + 1 : position;
}

bool RemovalOverlay::noChildLeft(std::int64_t position) const {
    const std::int64_t last = document_.last(position);
    return last == position || skipRemoved(position + 1) > last;
}

bool RemovalOverlay::isChildLeft(std::int64_t node, std::int64_t position) {
    if (position <= node || position > document_.last(node) || !kept(position)) return false;
    auto [it, fresh] = children_.try_emplace(node);
    std::vector<std::int64_t>& kids = it->second;
    if (fresh)
        for (std::int64_t c = node + 1; c <= document_.last(node); c = document_.last(c) + 1) kids.push_back(c);
    return std::binary_search(kids.begin(), kids.end(), position);
}

bool RemovalOverlay::touchedBelow(std::int64_t position) const {
    auto it = removed_.upper_bound(position);
    return it != removed_.end() && it->first <= document_.last(position);
}

void RemovalOverlay::removeNode(std::int64_t position) {
    if (removedNodes_.empty()) removedNodes_.resize(static_cast<std::size_t>(end_ >> 6) + 1);
    removedNodes_[static_cast<std::size_t>(position >> 6)] |= std::uint64_t(1) << (position & 63);
    std::int64_t first = position, last = document_.last(position);
    // Ranges inside the subtree are absorbed; touching ones are joined.
    auto it = removed_.empty() || removed_.rbegin()->first < first ? removed_.end() : removed_.lower_bound(first);
    while (it != removed_.end() && it->first <= last + 1) {
        last = std::max(last, it->second);
        it = removed_.erase(it);
    }
    if (it != removed_.begin()) {
        auto before = std::prev(it);
        if (before->second + 1 >= first) {
            first = before->first;
            removed_.erase(before);
        }
    }
    removed_.emplace_hint(it, first, last);  // it: the first range after
}

TreeList RemovalOverlay::findSons(std::int64_t position) {
    if (rootRemoved_ || position < 1 || position > end_ || !kept(position) || document_.isText(position)) return {};
    const std::int64_t last = document_.last(position);
    if (last == position) return {};
    TreeList original = document_.sons(position);
    TreeList out;
    std::size_t k = 0;
    for (std::int64_t c = position + 1; c <= last; c = document_.last(c) + 1, ++k) {
        if (!kept(c)) continue;
        out.push_back(touchedBelow(c) ? build(c) : original[k]);
    }
    return out;
}

const Tree* RemovalOverlay::build(std::int64_t position) {
    auto leaf = [&](std::int64_t p) -> const Tree* {
        std::string label = makeLabel(document_.label(p), p);
        if (document_.isText(p)) return xml::text(std::move(label));
        return xml::leafNode(ELNode{std::move(label), {}});
    };
    if (document_.last(position) == position) return leaf(position);
    struct Frame {
        std::int64_t position;
        std::int64_t next;  // the next child to look at
        std::size_t firstKid;
    };
    std::vector<Frame> open{Frame{position, position + 1, 0}};
    std::vector<const Tree*> kids;
    for (;;) {
        Frame& f = open.back();
        const std::int64_t last = document_.last(f.position);
        std::int64_t c = f.next <= last ? skipRemoved(f.next) : f.next;
        if (c <= last) {
            f.next = document_.last(c) + 1;
            if (document_.last(c) == c)
                kids.push_back(leaf(c));
            else
                open.push_back(Frame{c, c + 1, kids.size()});
            continue;
        }
        const Frame done = f;
        open.pop_back();
        std::span<const Tree* const> children(kids.data() + done.firstKid, kids.size() - done.firstKid);
        const Tree* t = xml::makeTree(ELNode{makeLabel(document_.label(done.position), done.position), {}}, children);
        kids.resize(done.firstKid);
        if (open.empty()) return t;
        kids.push_back(t);
    }
}

const Tree* RemovalOverlay::current() {
    if (rootRemoved_) return emptyText();
    if (!touchedBelow(1)) return document_.root();
    return build(1);
}

}  // namespace axf::query
