#include <cstddef>
#include <memory>
#include <optional>
#include <string>
#include <unordered_set>
#include <variant>
#include <vector>

#include "app/RuleEvaluationInternal.h"
#include "app/VariablesStep.h"
#include "query/Combination.h"
#include "query/Embedding.h"

namespace axf::app {

using xml::ELNode;
using xml::Tree;

// Whether every leaf tree of the product joins as itself, so that no entry's
// tree is a failure.
bool joinsWhole(const query::ResultSet& product) {
    for (const query::ResultSet* l : product.leaves())
        for (const EmbeddingEntry& e : l->entries())
            if (!query::joinsAsItself(e.tree)) return false;
    return true;
}

namespace {

// Whether a variable name stands at two query nodes: the binding of one
// entry then depends on every part of it.
bool repeatsAName(const query::VariableList& variables) {
    std::unordered_set<std::string> seen;
    for (const auto& [number, name] : variables)
        if (!seen.insert(name).second) return true;
    return false;
}

}  // namespace

std::optional<PrintedParts> printedParts(const ProductListing& p) {
    if (!p.conditions.empty()) return std::nullopt;
    std::vector<std::size_t> order = p.product->joinedOrder();
    // The binding walks an entry's tree and its variables, both by query
    // node number, side by side: it binds each part as it binds the part
    // alone only when the parts stand in the order of their numbers (the
    // order of the leaves) and no name stands at two nodes.
    if (!p.variables.empty()) {
        for (std::size_t i = 0; i < order.size(); ++i)
            if (order[i] != i) return std::nullopt;
        if (repeatsAName(p.variables)) return std::nullopt;
    }
    if (!joinsWhole(*p.product)) return std::nullopt;
    const std::vector<const query::ResultSet*> leaves = p.product->leaves();
    std::unique_ptr<filter::ResultBinder> binder = resultBinder(p.variables, p.source, p.conditions, p.trees);
    PrintedParts out;
    out.order = std::move(order);
    bool haveRoot = false;
    for (const query::ResultSet* l : leaves) {
        std::vector<PrintedPart>& parts = out.leaves.emplace_back();
        parts.reserve(l->entries().size());
        for (const EmbeddingEntry& e : l->entries()) {
            EmbeddingEntry one = e;
            one.position = 1;
            one.depth = 0;
            one.last = 0;
            one.renamingCost = 0;
            // Cost 0: a leaf entry's tree is read whatever the cost of the
            // entries that hold it.
            one.cost = 0;
            one.tree = xml::makeTree(ELNode{std::string(query::ResultSet::rootName(p.product->root())), {}}, {e.tree});
            std::optional<EmbeddingEntry> bound = binder->examine(labelCombinedRoot(one));
            if (!bound || !bound->tree) return std::nullopt;
            const Tree* t = query::restoreAttributes(bound->tree);
            const auto* el = std::get_if<ELNode>(&t->value);
            const auto* bare = std::get_if<ELNode>(&bound->tree->value);
            if (!el || !bare) return std::nullopt;
            if (!haveRoot) {
                out.root = *bare;
                haveRoot = true;
            } else if (bare->name != out.root.name || bare->attributes != out.root.attributes) {
                return std::nullopt;
            }
            PrintedPart part;
            part.attributes =
                xml::AttList(el->attributes.begin() + std::ptrdiff_t(bare->attributes.size()), el->attributes.end());
            part.kids.assign(t->children().begin(), t->children().end());
            parts.push_back(std::move(part));
        }
    }
    return out;
}

ResultDocument plainDocument(const ResultDocument& doc) {
    if (!doc.product) return doc;
    const ProductListing& p = *doc.product;
    EntryList adjusted;
    for (const EmbeddingEntry& e : p.product->materialize()) adjusted.push_back(labelCombinedRoot(e));
    SearchResult accepted{acceptedMatches(adjusted, p.variables, p.source, p.conditions, p.trees), nullptr};
    return matchListDocument(accepted, p.listing);
}

}  // namespace axf::app
