// The document tree of an indexed document, built on request.
//
// The walk keeps, for every numbered node, its label (the mapping) and one
// 32-bit word: the number of nodes of its subtree after it, doubled, plus 1
// for a text. From these two any subtree can be built: a node's first child
// is the next position, each next sibling follows the end of the subtree
// before it. A node is built at most once; a subtree asked for again, alone
// or inside a larger one, is shared. Most runs read only the few subtrees
// that variables bind, so most documents are never built whole.
//
// Node values are those of the document tree: an element without attributes
// labelled documentLabel(name, position) (attributes are "@" elements over
// their value text), a childless text labelled documentLabel(text, position).
#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <string_view>
#include <vector>

#include "xml/XML.h"

namespace axf::index {

class DocumentTree {
public:
    // The word of a text, and of an element whose subtree holds `after`
    // nodes after it.
    static constexpr std::uint32_t kTextWord = 1;
    static std::uint32_t elementWord(std::int64_t after);

    // No document: the tree "empty".
    DocumentTree();
    // A tree built elsewhere, handed out as it is.
    explicit DocumentTree(const xml::Tree* built);
    // The nodes of a walk: labels[p] and words[p] for p in [1, size), slot 0
    // unused. `labels` is the walk's mapping: its storage must stay where it
    // is, unchanged, for as long as this tree or a copy of it is read
    // (moving the vector that owns it keeps it in place).
    DocumentTree(std::span<const std::string_view> labels, std::vector<std::uint32_t> words);

    // The first top-level tree (the subtree at position 1), or the tree
    // "empty" when the walk numbered no node.
    const xml::Tree* root() const;
    operator const xml::Tree*() const { return root(); }
    const xml::Tree* operator->() const { return root(); }

    // True when the nodes are kept by position (made by a walk that numbered
    // at least one node); sons() answers only then.
    bool byPosition() const;

    // The children of the node at the position inside root(): empty at a
    // text, at an element without children and at a position outside
    // root(). Needs byPosition().
    xml::TreeList sons(std::int64_t position) const;

    // The nodes by position (empty for a tree built elsewhere).
    std::span<const std::string_view> labels() const;
    std::span<const std::uint32_t> words() const;

private:
    struct Nodes;
    std::shared_ptr<Nodes> nodes_;
};

}  // namespace axf::index
