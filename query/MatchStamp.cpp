#include "query/MatchStamp.h"

#include <utility>
#include <variant>

#include "common/Fatal.h"
#include "query/EmbeddingInternal.h"
#include "query/FailureTree.h"
#include "query/NodeLabel.h"

namespace axf::query {

using xml::ELNode;
using xml::Tree;
using xml::TXNode;

namespace {

// The raw root label of an index entry's tree: an element's name or a text.
std::string_view rawRootLabel(const Tree* t, const char* who) {
    if (t) {
        if (const auto* e = std::get_if<ELNode>(&t->value)) return e->name;
        if (const auto* x = std::get_if<TXNode>(&t->value)) return x->text;
    }
    if (t) xml::raiseIfFailure(t->value);
    throw InternalError(std::string(who) + ": index entry tree is neither an element nor a text");
}

}  // namespace

std::string resultLabel(std::string_view value, std::string_view q, std::int64_t position) {
    std::string out = escapeLabelValue(value);
    out.push_back('^');
    out += q;
    out.push_back('^');
    out += std::to_string(position);
    return out;
}

const Tree* stampLeaf(const Tree* t, std::string_view q, std::int64_t position, const char* who) {
    if (isDeferredFailure(t)) return t;
    std::string_view raw = rawRootLabel(t, who);
    std::string label = resultLabel(raw, q, position);
    if (std::holds_alternative<TXNode>(t->value)) return xml::leafNode(TXNode{std::move(label)});
    return xml::leafNode(ELNode{std::move(label), {}});
}

EntryList entriesOverTrees(std::int64_t position, std::int64_t depth, std::int64_t last, std::int64_t renamingCost,
                           std::int64_t cost, std::string_view name, std::string_view q, std::int64_t branch,
                           std::span<const Tree* const> trees) {
    std::string label = resultLabel(name, q, position);
    auto entry = [&](const Tree* t) {
        const Tree* over = isDeferredFailure(t) ? t : xml::makeTree(ELNode{label, {}}, {t});
        return EmbeddingEntry{position, depth, last, renamingCost, cost, over};
    };
    EntryList out;
    if (branch == 0) {
        out.reserve(trees.size());
        for (const Tree* t : trees) out.push_back(entry(t));
    } else if (branch > 0) {
        if (std::uint64_t(branch) > trees.size())
            throw InternalError("entriesOverTrees: branch " + std::to_string(branch) + " of " + std::to_string(trees.size()) +
                                " trees");
        out.push_back(entry(trees[std::size_t(branch - 1)]));
    } else if (!trees.empty()) {
        out.push_back(entry(trees.back()));
    }
    return out;
}

const Tree* setLabel(const Tree* tree, std::string_view suffix) {
    throwIfDeferredFailure(tree);
    if (tree) {
        if (const auto* e = std::get_if<ELNode>(&tree->value); e && e->attributes.empty()) {
            std::string name = e->name;
            name.push_back('^');
            name += suffix;
            return xml::makeTree(ELNode{std::move(name), {}}, tree->children());
        }
        if (const auto* x = std::get_if<TXNode>(&tree->value); x && tree->isLeaf()) {
            std::string t = x->text;
            t.push_back('^');
            t += suffix;
            return xml::leafNode(TXNode{std::move(t)});
        }
    }
    throw InternalError("setLabel: root is neither an element without attributes nor a childless text");
}

EmbeddingEntry stampMatch(std::string_view prefix, const EmbeddingEntry& entry) {
    EmbeddingEntry out = entry;
    out.tree = stampLeaf(entry.tree, prefix, entry.position, "stampMatch");
    return out;
}

}  // namespace axf::query
