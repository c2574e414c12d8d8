// Removal of accepted matches from a document tree (negated filters).
//
// A match (an embedding tree, labels value^queryNumber^position) is found in
// the document (labels value^position) by position alone: names and texts are
// never compared.
//  - A matched leaf of the embedding takes the matched document node away with
//    its whole subtree.
//  - A matched inner node takes away what its children matched and disappears
//    itself only when nothing is left below it; a boolean root ("and^1^0",
//    "or^1^0", "xor^1^0") reduces the children of the node it meets the same
//    way.
//  - Elsewhere the removal descends into the one child whose subtree can hold
//    the embedding's position (the first child whose next sibling begins after
//    it, or the last child); the nodes on the way down always stay.
//  - A document text is removed only by an embedding text at its position.
//
// Bound subtrees. Each NodeBinding names a query node and the document
// subtrees bound to the variable it carries (document labels, as the
// association search found them in the current document). The bindings are
// taken in list order: at the first document node, in the order the removal
// visits them, that an embedding node of the binding's query number matches,
// the embedding's children and then the bound subtrees are removed from that
// node's children, and the removal goes on with the bindings after it; a
// binding whose number is smaller than that of the embedding node met there
// is passed over. A bound subtree removes the child of that node at its
// position, whole.
//
// When nothing of the document remains, the result is the childless text
// "empty text"; removing anything from it leaves it as it is.
//
// Trees are never changed: the result shares every subtree the removals left
// untouched. DocumentEditor applies any number of removals one after the other
// in time proportional to what they touch (a node's children are searched by
// position, never scanned), and builds the remaining tree on demand.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <vector>

#include "common/PageMemory.h"
#include "index/DocumentTree.h"
#include "xml/XML.h"

namespace axf::query {

// One variable's bound subtrees, tagged with the number of the query node
// that carries the variable.
struct NodeBinding {
    std::int64_t number = 0;
    xml::TreeList subtrees;
};

// A label component read as a decimal integer (optional blanks around an
// optional '-' and digits, range-checked). Throws axf::Fatal
// "Prelude.read: no parse" for any other text.
std::int64_t readLabelNumber(std::string_view text);

// The children of the document node at the position: the search compares
// each element's own position and descends into the child whose subtree can
// hold the position (see above). Empty at a text, at an element without
// children, and when no node has the position.
xml::TreeList findSons(const xml::Tree* document, std::int64_t position);

// A document searched by position: its tree, and the sons of the node at a
// position (as findSons gives them in that tree). A built tree is searched by
// findSons; a document built on request can answer sons without building its
// whole tree.
struct DocumentSource {
    std::function<const xml::Tree*()> tree;
    std::function<xml::TreeList(std::int64_t)> sons;
    // The document's nodes by position, when it has them: removals then work
    // on positions (RemovalOverlay) and never build the whole tree.
    std::optional<index::DocumentTree> byPosition;

    DocumentSource(const xml::Tree* built);  // NOLINT: a built tree stands for itself
    DocumentSource(std::function<const xml::Tree*()> tree, std::function<xml::TreeList(std::int64_t)> sons)
        : tree(std::move(tree)), sons(std::move(sons)) {}
};

// The document as successive removals leave it.
class DocumentEditor {
public:
    explicit DocumentEditor(const xml::Tree* document);
    ~DocumentEditor();
    DocumentEditor(const DocumentEditor&) = delete;
    DocumentEditor& operator=(const DocumentEditor&) = delete;

    // Removes one embedding, with its bindings, from the current document.
    void remove(const xml::Tree* embedding, std::span<const NodeBinding> bindings);

    // The children of the current document node at the position (as findSons
    // gives them for the current document tree).
    xml::TreeList findSons(std::int64_t position);

    // The current document tree ("empty text" when nothing remains).
    const xml::Tree* current();

    struct Node;

private:
    std::unique_ptr<Node> root_;
    bool rootRemoved_ = false;
};

// The document as successive removals leave it, kept as the positions that
// the removals took over an indexed document's nodes (index::DocumentTree,
// which must have its nodes by position): removing a match touches only the
// positions it names, and nothing of the document is built but the subtrees
// that findSons hands out. The removals are those of DocumentEditor, with the
// same outcome on the same document, embeddings and bindings.
//
// A removed node takes its whole subtree; the removed positions are kept as
// disjoint ranges, so that a walk of the remaining document in document
// order skips each removed range in one step (skipRemoved).
class RemovalOverlay {
public:
    explicit RemovalOverlay(index::DocumentTree document);

    // Removes one embedding, with its bindings, from the current document.
    void remove(const xml::Tree* embedding, std::span<const NodeBinding> bindings);

    // The children of the current document node at the position, as trees
    // (as DocumentEditor::findSons gives them).
    xml::TreeList findSons(std::int64_t position);

    // The current document as a tree ("empty text" when nothing remains).
    const xml::Tree* current();

    // The document's nodes; the document is the subtree at position 1.
    const index::DocumentTree& document() const { return document_; }
    // True when the removals took the whole document.
    bool rootRemoved() const { return rootRemoved_; }
    // The position itself when no removal took it; otherwise the first
    // position after the removed range that holds it. Walking the children
    // of a remaining node: c = skipRemoved(node + 1), then
    // c = skipRemoved(last(c) + 1), while c <= last(node).
    std::int64_t skipRemoved(std::int64_t position) const;
    // skipRemoved for a walk of the remaining document, in constant time for
    // each removed node passed over: only for a position whose enclosing
    // nodes all remain (the first child of a remaining element, the position
    // after a remaining node's subtree). There the removed ranges that hold
    // it are made of removed nodes beginning one after the other, from it on.
    std::int64_t nextRemaining(std::int64_t position) const {
        while (position <= end_ && removedAt(position)) position = document_.last(position) + 1;
        return position;
    }

private:
    class Pass;  // one removal
    bool kept(std::int64_t position) const { return skipRemoved(position) == position; }
    // True when the element at the position has no remaining child.
    bool noChildLeft(std::int64_t position) const;
    // True when the position is a remaining child of the node.
    bool isChildLeft(std::int64_t node, std::int64_t position);
    // Something below the remaining node at the position was removed.
    bool touchedBelow(std::int64_t position) const;
    void removeNode(std::int64_t position);
    // True when a removal took the node at the position (with its subtree).
    bool removedAt(std::int64_t position) const {
        const auto p = static_cast<std::uint64_t>(position);
        return (p >> 6) < removedNodes_.size() && (removedNodes_[p >> 6] >> (p & 63) & 1);
    }
    // The current subtree at a remaining position.
    const xml::Tree* build(std::int64_t position);

    index::DocumentTree document_;
    std::int64_t end_;  // last position of the document
    // first -> last position of each removed range (as many as the matches)
    std::map<std::int64_t, std::int64_t, std::less<>, PageSlotAllocator<std::pair<const std::int64_t, std::int64_t>>> removed_;
    std::vector<std::uint64_t> removedNodes_;                               // a bit by position: the nodes removeNode took
    std::unordered_map<std::int64_t, std::vector<std::int64_t>> children_;  // children asked for, by node
    bool rootRemoved_ = false;
};

}  // namespace axf::query
