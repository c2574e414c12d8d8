// The document tree of an indexed document, built on request.
//
// The walk keeps, for every numbered node, its label (the mapping) and one
// 32-bit word: the number of nodes of its subtree after it, doubled, plus 1
// for a text (an element with more nodes than a word holds has kLargeWord,
// and its count is kept aside). From these two any subtree can be built: a node's first child
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
#include <initializer_list>
#include <memory>
#include <span>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "common/PageMemory.h"
#include "index/Mapping.h"
#include "xml/XML.h"

namespace axf::index {

class DocumentTree {
public:
    // The counts of the elements whose word is kLargeWord, by position.
    using LargeCounts = std::unordered_map<std::int64_t, std::int64_t>;
    static constexpr std::uint32_t kTextWord = 1;
    static constexpr std::uint32_t kLargeWord = 0xFFFFFFFE;
    // The word of the element at `position` whose subtree holds `after`
    // nodes after it (a count past what a word holds goes into `large`).
    static std::uint32_t elementWord(std::int64_t position, std::int64_t after, LargeCounts& large);

    // No document: the tree "empty".
    DocumentTree();
    // A tree built elsewhere, handed out as it is.
    explicit DocumentTree(const xml::Tree* built);
    // The nodes of a walk: labels[p] and words[p] for p in [1, size), slot 0
    // unused. `labels` is the walk's mapping (shared, not copied).
    DocumentTree(Mapping labels, PageArray<std::uint32_t> words, LargeCounts large = {});
    DocumentTree(Mapping labels, std::initializer_list<std::uint32_t> words, LargeCounts large = {});

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

    // The nodes by position, [1, size()) (none for a tree built elsewhere):
    // the label, whether the node is a text, the last position of its
    // subtree.
    std::int64_t size() const;
    std::string_view label(std::int64_t position) const;
    bool isText(std::int64_t position) const;
    std::int64_t last(std::int64_t position) const;
    // The nodes' words, by position.
    std::span<const std::uint32_t> words() const;

private:
    struct Nodes;
    std::shared_ptr<Nodes> nodes_;
};

}  // namespace axf::index
