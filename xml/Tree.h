// The rose tree: a node value and the ordered list of its child trees.
// Trees are immutable: a node is built once, in the arena, never changed,
// and handled as a pointer to const; subtrees are shared between trees, never
// copied.
#pragma once

#include <cstddef>
#include <initializer_list>
#include <span>
#include <vector>

#include "xml/Arena.h"

namespace axf::xml {

template <class V>
struct RoseTree {
    V value;
    const RoseTree* const* kids = nullptr;
    std::size_t nkids = 0;

    std::span<const RoseTree* const> children() const { return {kids, nkids}; }
    bool isLeaf() const { return nkids == 0; }
};

// Builds a tree from its root value and children (the constructor `Tree`).
template <class V>
const RoseTree<V>* makeTreeT(V value, std::span<const RoseTree<V>* const> children) {
    const RoseTree<V>** arr = nullptr;
    if (!children.empty()) {
        arr = static_cast<const RoseTree<V>**>(
            Arena::allocate(sizeof(const RoseTree<V>*) * children.size(), alignof(const RoseTree<V>*)));
        for (std::size_t i = 0; i < children.size(); ++i) arr[i] = children[i];
    }
    RoseTree<V>* t = Arena::make<RoseTree<V>>();
    t->value = std::move(value);
    t->kids = arr;
    t->nkids = children.size();
    return t;
}

template <class V>
const RoseTree<V>* leafNodeT(V value) {
    return makeTreeT<V>(std::move(value), {});
}

template <class V>
const V& treeRoot(const RoseTree<V>* t) {
    return t->value;
}

template <class V>
std::span<const RoseTree<V>* const> treeChildren(const RoseTree<V>* t) {
    return t->children();
}

}  // namespace axf::xml
