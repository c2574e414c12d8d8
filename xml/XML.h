// XMLNode: the node value of every tree of the system (documents, queries,
// rule trees, result documents), and Tree, the rose tree over it.
#pragma once

#include <initializer_list>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <type_traits>
#include <utility>
#include <variant>
#include <vector>

#include "xml/Tree.h"

namespace axf::xml {

using Attribute = std::pair<std::string, std::string>;  // (name, value)
using AttList = std::vector<Attribute>;

struct RTNode {};
struct ELNode {
    std::string name;
    AttList attributes;
};
struct TXNode {
    std::string text;
};
struct PINode {
    std::string target;
    std::string text;
};
struct CXNode {
    std::string text;
};
struct ENNode {
    std::string name;
};

using XMLNode = std::variant<RTNode, ELNode, TXNode, PINode, CXNode, ENNode>;

using Tree = RoseTree<XMLNode>;
using TreeList = std::vector<const Tree*>;

inline const Tree* makeTree(XMLNode value, std::span<const Tree* const> children) {
    return makeTreeT<XMLNode>(std::move(value), children);
}
inline const Tree* makeTree(XMLNode value, std::initializer_list<const Tree*> children) {
    return makeTreeT<XMLNode>(std::move(value), std::span<const Tree* const>(children.begin(), children.size()));
}
inline const Tree* makeTree(XMLNode value, const TreeList& children) {
    return makeTreeT<XMLNode>(std::move(value), std::span<const Tree* const>(children.data(), children.size()));
}
inline const Tree* leafNode(XMLNode value) { return makeTreeT<XMLNode>(std::move(value), {}); }

// Shorthands for the two kinds built outside the XML library.
inline const Tree* elem(std::string name, std::initializer_list<const Tree*> children = {}) {
    return makeTree(ELNode{std::move(name), {}}, children);
}
inline const Tree* text(std::string t) { return leafNode(TXNode{std::move(t)}); }


// ---------------------------------------------------------------------------
// Accessors. None fails on a node of another kind: it gives an absent
// result, the empty list or the empty text.

// f(name, attributes) for an ELNode, absent otherwise; f runs at most once.
template <class F>
auto xELNode(F&& f, const XMLNode& n) -> std::optional<std::invoke_result_t<F&, const std::string&, const AttList&>> {
    if (const auto* e = std::get_if<ELNode>(&n)) return f(e->name, e->attributes);
    return std::nullopt;
}
// f(text) for a TXNode, absent otherwise.
template <class F>
auto xTXNode(F&& f, const XMLNode& n) -> std::optional<std::invoke_result_t<F&, const std::string&>> {
    if (const auto* t = std::get_if<TXNode>(&n)) return f(t->text);
    return std::nullopt;
}
// f(target, text) for a PINode, absent otherwise.
template <class F>
auto xPINode(F&& f, const XMLNode& n) -> std::optional<std::invoke_result_t<F&, const std::string&, const std::string&>> {
    if (const auto* p = std::get_if<PINode>(&n)) return f(p->target, p->text);
    return std::nullopt;
}

// The name of an ELNode or ENNode, the target of a PINode; absent otherwise.
std::optional<std::string> nodeName(const XMLNode& n);
// The attributes of an ELNode; the empty list otherwise.
const AttList& xAttlist(const XMLNode& n);
// The value of the first attribute with exactly this name.
std::optional<std::string> xAttval(std::string_view name, const XMLNode& n);
const AttList& attributes(const Tree* t);
std::optional<std::string> attval(std::string_view name, const Tree* t);

// The text of a tree: for an RTNode or ELNode root, all TXNode texts in
// preorder; for a TXNode, PINode or CXNode root its own text (the PI's text
// without the target); for an ENNode the empty text.
std::string stringValue(const Tree* t);

// Printed form: "RTNode" bare; the other kinds as constructors with their
// fields ("ELNode \"a\" [(\"x\",\"1\")]"), parenthesised at precedence 11.
void showAt(int prec, const XMLNode& n, std::string& out);

}  // namespace axf::xml
