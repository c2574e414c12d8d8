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
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "xml/XML.h"

namespace axf::query {

// One variable's bound subtrees, tagged with the number (decimal text) of the
// query node that carries the variable.
struct NodeBinding {
    std::string number;
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

    DocumentSource(const xml::Tree* built);  // NOLINT: a built tree stands for itself
    DocumentSource(std::function<const xml::Tree*()> tree, std::function<xml::TreeList(std::int64_t)> sons)
        : tree(std::move(tree)), sons(std::move(sons)) {}
};

// The document without the embedding (and the bound subtrees); the text node
// "empty text" when nothing remains.
const xml::Tree* deleteEmbeddingFromText(const xml::Tree* document, const xml::Tree* embedding,
                                         std::span<const NodeBinding> bindings);

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

}  // namespace axf::query
