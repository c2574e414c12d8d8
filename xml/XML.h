// XMLNode: the node value of every tree of the system (documents, queries,
// rule trees, result documents), and Tree, the rose tree over it.
#pragma once

#include <initializer_list>
#include <span>
#include <string>
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

}  // namespace axf::xml
