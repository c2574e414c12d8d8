#include "query/AttributeElements.h"

#include <optional>
#include <string>
#include <variant>
#include <vector>

#include "query/FailureTree.h"

namespace axf::query {

using xml::ELNode;
using xml::Tree;
using xml::TreeList;
using xml::TXNode;

namespace {

// The attribute an '@' child stands for, if it is one.
std::optional<xml::Attribute> attributeOf(const Tree* child) {
    const auto* e = std::get_if<ELNode>(&child->value);
    if (!e || !e->attributes.empty()) return std::nullopt;
    const TXNode* text = nullptr;
    const bool attribute = standsForAttribute(e->name, [&] {
        if (child->kidCount == 0) return AttributeValueShape::Nothing;
        if (child->kidCount != 1) return AttributeValueShape::Other;
        const Tree* value = child->kids[0];
        text = std::get_if<TXNode>(&value->value);
        return text && value->isLeaf() ? AttributeValueShape::OneText : AttributeValueShape::Other;
    });
    if (!attribute) return std::nullopt;
    return xml::Attribute{e->name.substr(1), text ? text->text : std::string()};
}

}  // namespace

const Tree* restoreAttributes(const Tree* tree) {
    if (!tree || isDeferredFailure(tree)) return tree;
    if (!std::holds_alternative<ELNode>(tree->value) || tree->isLeaf()) return tree;
    // Walked with a stack of open elements (a result is as deep as the
    // document below its bound subtrees). Each child leaves one entry on
    // `done`: the attribute it becomes (its own tree, marked), or its
    // adjusted tree. A node whose entries are all unmarked and unchanged is
    // kept itself, so a tree without attribute elements is returned as it is.
    struct Open {
        const Tree* node;
        std::uint32_t next;  // the next child to look at
    };
    struct Done {
        const Tree* tree;
        bool attribute;
    };
    std::vector<Open> open{{tree, 0}};
    std::vector<Done> done;
    for (;;) {
        Open& top = open.back();
        if (top.next < top.node->kidCount) {
            const Tree* c = top.node->kids[top.next++];
            if (attributeOf(c)) {
                done.push_back({c, true});
            } else if (isDeferredFailure(c) || !std::holds_alternative<ELNode>(c->value) || c->isLeaf()) {
                done.push_back({c, false});
            } else {
                open.push_back({c, 0});
            }
            continue;
        }
        const Tree* node = top.node;
        const std::size_t first = done.size() - node->kidCount;
        bool changed = false;
        for (std::size_t k = first; k < done.size() && !changed; ++k)
            changed = done[k].attribute || done[k].tree != node->kids[k - first];
        const Tree* result = node;
        if (changed) {
            const auto& e = std::get<ELNode>(node->value);
            xml::AttList attributes = e.attributes;
            TreeList kids;
            for (std::size_t k = first; k < done.size(); ++k) {
                if (done[k].attribute)
                    attributes.push_back(std::move(*attributeOf(done[k].tree)));
                else
                    kids.push_back(done[k].tree);
            }
            result = xml::makeTree(ELNode{e.name, std::move(attributes)}, kids);
        }
        done.resize(first);
        open.pop_back();
        if (open.empty()) return result;
        done.push_back({result, false});
    }
}

}  // namespace axf::query
