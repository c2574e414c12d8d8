// The rose tree: a node value and the ordered list of its child trees.
// Trees are immutable: a node is built once, in the arena, never changed,
// and handled as a pointer to const; subtrees are shared between trees, never
// copied.
//
// Depth. A document, a bound subtree and a result with bound subtrees hung
// into it are as deep as the input, and the run's stack may be as small as
// 16 MiB (smaller than a chain of 100,000 frames of a few hundred bytes), so
// every walk over them keeps a stack of its own: the parsers, tree builders,
// indexers and printers of xml/ and index/ (forEachPreorder, preorderTree and
// showAt below), query::restoreAttributes, findSons and the join resolution
// of query/, the label cuts, cut copies and tested texts of filter/
// (cutLabels, checkCutLabels, cutLabelsWithAttributes, extractText,
// conditionValue), and the result printers of app/. Only walks over the
// query's own size may recurse, which the filter text bounds: the search over
// the query tree, its annotation and extension, the evaluation of condition
// expressions and of nested rules, and the walks of a result in the query's
// shape that never enter its bound subtrees (the variable binding and the
// rebuilding of results in filter/VariableBinding, the removal steps of
// query::RemovalOverlay, the joined trees of a product in query::ResultSet,
// one level per joined query). The generic operations mapTree, foldTree, cataTree,
// anaTree, accumTree and scanTree below recurse once per level: trees of a
// query's size and tests only. query::DocumentEditor descends once per
// document level too: it serves documents without nodes by position (the
// empty document) and tests.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <initializer_list>
#include <limits>
#include <span>
#include <stdexcept>
#include <string>
#include <type_traits>
#include <utility>
#include <vector>

#include "xml/Arena.h"
#include "xml/Show.h"

namespace axf::xml {

// The child count comes right after the value, so that it takes the
// value's tail padding where the value has some (a node of the document
// tree is 56 bytes in place of 64).
template <class V>
struct RoseTree {
    [[no_unique_address]] V value;
    std::uint32_t kidCount = 0;
    const RoseTree* const* kids = nullptr;

    std::span<const RoseTree* const> children() const { return {kids, kidCount}; }
    bool isLeaf() const { return kidCount == 0; }
};

// A child count as a node holds it; more than a node can hold throws
// std::length_error.
inline std::uint32_t childCount(std::size_t n) {
    if (n > std::numeric_limits<std::uint32_t>::max()) throw std::length_error("makeTree: more children than a node can hold");
    return static_cast<std::uint32_t>(n);
}

// Builds a tree from its root value and children (the constructor `Tree`).
template <class V>
const RoseTree<V>* makeTreeT(V value, std::span<const RoseTree<V>* const> children) {
    childCount(children.size());
    const RoseTree<V>** arr = nullptr;
    if (!children.empty()) {
        arr = static_cast<const RoseTree<V>**>(
            Arena::allocate(sizeof(const RoseTree<V>*) * children.size(), alignof(const RoseTree<V>*)));
        for (std::size_t i = 0; i < children.size(); ++i) arr[i] = children[i];
    }
    return Arena::make<RoseTree<V>>(RoseTree<V>{std::move(value), std::uint32_t(children.size()), arr});
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

// ---------------------------------------------------------------------------
// Generic operations. Each applies its function once per node; recursion goes
// only as deep as the tree, never along a list of siblings: trees of a
// query's size only (see above).

// The tree of the same shape with every value x replaced by f(x).
template <class V, class F>
auto mapTree(F&& f, const RoseTree<V>* t) -> const RoseTree<std::decay_t<std::invoke_result_t<F&, const V&>>>* {
    using W = std::decay_t<std::invoke_result_t<F&, const V&>>;
    W value = f(t->value);
    std::vector<const RoseTree<W>*> kids;
    kids.reserve(t->kidCount);
    for (const RoseTree<V>* c : t->children()) kids.push_back(mapTree(f, c));
    return makeTreeT<W>(std::move(value), kids);
}

// f(x, R) with R = g(R1, g(R2, ... g(Rk, z))), Ri the fold of child i.
template <class V, class F, class G, class B>
auto foldTree(F&& f, G&& g, const B& z, const RoseTree<V>* t) -> std::decay_t<std::invoke_result_t<F&, const V&, B>> {
    using A = std::decay_t<std::invoke_result_t<F&, const V&, B>>;
    std::vector<A> rs;
    rs.reserve(t->kidCount);
    for (const RoseTree<V>* c : t->children()) rs.push_back(foldTree(f, g, z, c));
    B r = z;
    for (std::size_t i = rs.size(); i-- > 0;) r = g(std::move(rs[i]), std::move(r));
    return f(t->value, std::move(r));
}

namespace detail {
// The result type of a cataTree function: A when given, otherwise the
// return type of f (which must then not be generic).
template <class A, class F>
struct CataResult {
    using type = A;
};
template <class F>
struct CataResult<void, F> {
    using type = typename decltype(std::function{std::declval<F&>()})::result_type;
};
}  // namespace detail

// Bottom-up: f receives the node value with the list of its children's
// results, in child order, either as one pair (x, [r1, ..., rk]) or as two
// arguments. The result type is that of f, or given: cataTree<int>(f, t).
template <class A = void, class V, class F>
auto cataTree(F&& f, const RoseTree<V>* t) -> typename detail::CataResult<A, std::decay_t<F>>::type {
    using R = typename detail::CataResult<A, std::decay_t<F>>::type;
    std::vector<R> rs;
    rs.reserve(t->kidCount);
    for (const RoseTree<V>* c : t->children()) rs.push_back(cataTree<R>(f, c));
    if constexpr (std::is_invocable_v<F&, const V&, std::vector<R>&&>)
        return f(t->value, std::move(rs));
    else
        return f(std::pair<const V&, std::vector<R>>(t->value, std::move(rs)));
}

// The tree unfolded from a seed: f(seed) gives (value, child seeds).
template <class S, class F>
auto anaTree(F&& f, const S& seed) -> const RoseTree<std::decay_t<decltype(std::invoke(f, seed).first)>>* {
    using V = std::decay_t<decltype(std::invoke(f, seed).first)>;
    auto [value, seeds] = f(seed);
    std::vector<const RoseTree<V>*> kids;
    kids.reserve(seeds.size());
    for (const auto& s : seeds) kids.push_back(anaTree<S>(f, s));
    return makeTreeT<V>(std::move(value), kids);
}

// Top-down: (y, b) = f(a, x); the node gets y and every child receives b.
template <class V, class A, class F>
auto accumTree(F&& f, const A& a, const RoseTree<V>* t)
    -> const RoseTree<std::decay_t<decltype(std::invoke(f, a, t->value).first)>>* {
    using W = std::decay_t<decltype(std::invoke(f, a, t->value).first)>;
    auto [value, b] = f(a, t->value);
    std::vector<const RoseTree<W>*> kids;
    kids.reserve(t->kidCount);
    for (const RoseTree<V>* c : t->children()) kids.push_back(accumTree<V, A>(f, b, c));
    return makeTreeT<W>(std::move(value), kids);
}

// Top-down: r = f(a, x) is the node's new value and its children's
// accumulator.
template <class V, class A, class F>
const RoseTree<A>* scanTree(F&& f, const A& a, const RoseTree<V>* t) {
    A r = f(a, t->value);
    std::vector<const RoseTree<A>*> kids;
    kids.reserve(t->kidCount);
    for (const RoseTree<V>* c : t->children()) kids.push_back(scanTree<V, A>(f, r, c));
    return makeTreeT<A>(std::move(r), kids);
}

// Calls fn(value) for every node in preorder, without recursion.
template <class V, class Fn>
void forEachPreorder(const RoseTree<V>* t, Fn&& fn) {
    std::vector<std::pair<const RoseTree<V>*, std::size_t>> stack;  // node, next child
    fn(t->value);
    if (t->kidCount) stack.emplace_back(t, 0);
    while (!stack.empty()) {
        auto& [node, i] = stack.back();
        if (i == node->kidCount) {
            stack.pop_back();
            continue;
        }
        const RoseTree<V>* c = node->kids[i++];
        fn(c->value);
        if (c->kidCount) stack.emplace_back(c, 0);
    }
}

// Every node value, root first, each child's subtree before the next child.
template <class V>
std::vector<V> preorderTree(const RoseTree<V>* t) {
    std::vector<V> out;
    forEachPreorder(t, [&](const V& v) { out.push_back(v); });
    return out;
}

// Printed form: "Tree ", the value at precedence 11, a blank, the children
// as a list; parenthesised at precedence 11 or more. Written without
// recursion, so any depth prints.
template <class V>
void showAt(int prec, const RoseTree<V>* t, std::string& out) {
    auto open = [&out](const RoseTree<V>* n) {
        out += "Tree ";
        showAt(11, n->value, out);
        out += " [";
    };
    openParen(prec, out);
    open(t);
    std::vector<std::pair<const RoseTree<V>*, std::size_t>> stack{{t, 0}};  // node, next child
    while (!stack.empty()) {
        auto& [node, next] = stack.back();
        if (next == node->kidCount) {
            out += ']';
            stack.pop_back();
            continue;
        }
        if (next > 0) out += ',';
        const RoseTree<V>* c = node->kids[next++];
        open(c);
        stack.emplace_back(c, 0);
    }
    closeParen(prec, out);
}

}  // namespace axf::xml
