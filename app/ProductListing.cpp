#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <exception>
#include <memory>
#include <optional>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <variant>
#include <vector>

#include "app/RuleEvaluationInternal.h"
#include "app/VariablesStep.h"
#include "common/Fatal.h"
#include "filter/ConditionCheck.h"
#include "filter/Exp.h"
#include "filter/VariableBinding.h"
#include "query/Combination.h"
#include "query/Embedding.h"
#include "query/MatchRemoval.h"
#include "query/NodeLabel.h"

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

// A leaf entry alone under the product's root, as the binder examines it:
// its tree read whatever the cost of the entries that hold it.
EmbeddingEntry leafAlone(const ProductListing& p, const EmbeddingEntry& e) {
    EmbeddingEntry one = e;
    one.position = 1;
    one.depth = 0;
    one.last = 0;
    one.renamingCost = 0;
    one.cost = 0;
    one.tree = xml::makeTree(ELNode{std::string(query::ResultSet::rootName(p.product->root())), {}}, {e.tree});
    return labelCombinedRoot(one);
}

// The query node number at the root of every entry of a leaf (the first
// number of the whole query whose matches it holds), when they share one.
std::optional<std::int64_t> rootNumberOf(const query::ResultSet& leaf) {
    std::optional<std::int64_t> number;
    for (const EmbeddingEntry& e : leaf.entries()) {
        std::int64_t n = 0;
        try {
            n = query::readLabelNumber(query::rootLabelComponent(e.tree, 2));
        } catch (const std::exception&) {
            return std::nullopt;
        }
        if (number && *number != n) return std::nullopt;
        number = n;
    }
    return number;
}

// How each leaf of a product binds its variables in a joined entry. The
// binding walks the entry's tree and the variables, both by query node
// number, side by side, and the joined root holds the leaves' trees in
// joinedOrder(): a leaf whose numbers are below those of a leaf before it
// there binds nothing, and every other leaf binds as it binds alone under
// the root. The leaves stand in the order of their queries, leaf i holding
// the matches of a query numbered from firsts[i] up to firsts[i + 1].
struct LeafBinding {
    std::vector<std::size_t> order;
    std::vector<std::int64_t> firsts;  // empty without variables
    std::vector<bool> binds;
};

// Null when a leaf's binding depends on the other leaves' entries: a name
// stands at two nodes, a leaf tree does not join as itself, or the leaves'
// numbers cannot be told apart.
std::optional<LeafBinding> leafBinding(const ProductListing& p) {
    if (!joinsWhole(*p.product)) return std::nullopt;
    LeafBinding b;
    b.order = p.product->joinedOrder();
    b.binds.assign(b.order.size(), true);
    if (p.variables.empty()) return b;
    if (repeatsAName(p.variables)) return std::nullopt;
    for (const query::ResultSet* l : p.product->leaves()) {
        std::optional<std::int64_t> n = rootNumberOf(*l);
        if (!n || (!b.firsts.empty() && *n <= b.firsts.back())) return std::nullopt;
        b.firsts.push_back(*n);
    }
    std::int64_t highest = -1;
    for (std::size_t i : b.order) {
        b.binds[i] = b.firsts[i] > highest;
        highest = std::max(highest, b.firsts[i]);
    }
    return b;
}

// The variables a leaf's entries are bound with alone: all of them, or for
// a leaf that binds nothing in a joined entry, those of the leaves numbered
// above it (its own nodes come before them all, so none binds).
query::VariableList leafVariables(const ProductListing& p, const LeafBinding& b, std::size_t leaf) {
    if (b.binds[leaf]) return p.variables;
    std::vector<query::VariableList::Pair> above;
    for (const auto& pair : p.variables.pairs())
        if (leaf + 1 < b.firsts.size() && query::readLabelNumber(pair.first) >= b.firsts[leaf + 1]) above.push_back(pair);
    return query::VariableList(std::move(above));
}

}  // namespace

std::optional<std::vector<filter::RuleConditions>> conditionsByLeaf(const ProductListing& p) {
    if (p.variables.empty() || !filter::conditionsNeverFail(p.conditions)) return std::nullopt;
    std::optional<LeafBinding> binding = leafBinding(p);
    if (!binding) return std::nullopt;
    const std::vector<std::int64_t>& firsts = binding->firsts;
    // The leaf of each name; a name bound in two leaves reads both.
    constexpr std::size_t kTwoLeaves = std::size_t(-1);
    std::unordered_map<std::string, std::size_t> leafOf;
    for (const auto& [numberText, name] : p.variables) {
        const std::int64_t number = query::readLabelNumber(numberText);
        auto after = std::upper_bound(firsts.begin(), firsts.end(), number);
        if (after == firsts.begin()) return std::nullopt;
        const std::size_t leaf = std::size_t(after - firsts.begin()) - 1;
        auto [it, fresh] = leafOf.emplace(filter::associationName(name), leaf);
        if (!fresh && it->second != leaf) it->second = kTwoLeaves;
    }
    // The leaf a condition over these names reads, if one: a name the query
    // lacks ends the run as the joined entries are examined.
    auto leafOfNames = [&](const std::vector<std::string>& names) -> std::optional<std::size_t> {
        std::optional<std::size_t> leaf;
        for (const std::string& name : names) {
            auto it = leafOf.find(name);
            if (it == leafOf.end() || it->second == kTwoLeaves || (leaf && *leaf != it->second)) return std::nullopt;
            leaf = it->second;
        }
        return leaf;
    };
    std::vector<filter::RuleConditions> byLeaf(firsts.size());
    for (const filter::RegexCondition& c : p.conditions.regexConditions) {
        std::optional<std::size_t> leaf = leafOfNames({c.variable});
        if (!leaf) return std::nullopt;
        byLeaf[*leaf].regexConditions.push_back(c);
    }
    for (const filter::ExpressionCondition& c : p.conditions.expressionConditions) {
        const std::vector<std::string> names = filter::expressionVariables(c.text);
        // A condition over no variable holds whatever it is given.
        if (names.empty()) continue;
        std::optional<std::size_t> leaf = leafOfNames(names);
        if (!leaf) return std::nullopt;
        byLeaf[*leaf].expressionConditions.push_back(c);
    }
    return byLeaf;
}

query::ResultSetPtr acceptedLeaves(const ProductListing& p, const std::vector<filter::RuleConditions>& byLeaf) {
    const std::vector<const query::ResultSet*> leaves = p.product->leaves();
    const std::optional<LeafBinding> binding = leafBinding(p);
    if (!binding) throw InternalError("acceptedLeaves: the leaves do not bind one by one");
    std::vector<query::ResultSetPtr> kept;
    kept.reserve(leaves.size());
    for (std::size_t i = 0; i < leaves.size(); ++i) {
        if (byLeaf[i].empty()) {
            kept.push_back(query::ResultSet::plain(leaves[i]->entries()));
            continue;
        }
        // A condition needs its variables bound: one over a leaf that binds
        // nothing accepts no entry.
        if (!binding->binds[i]) return nullptr;
        std::unique_ptr<filter::ResultBinder> binder = resultBinder(p.variables, p.source, byLeaf[i], filter::ResultTrees::None);
        EntryList passed;
        for (const EmbeddingEntry& e : leaves[i]->entries())
            if (binder->examine(leafAlone(p, e))) passed.push_back(e);
        if (passed.empty()) return nullptr;
        kept.push_back(query::ResultSet::plain(std::move(passed)));
    }
    return p.product->withLeaves(kept);
}

std::optional<PrintedParts> printedParts(const ProductListing& p, const std::vector<filter::RuleConditions>* byLeaf) {
    if (!p.conditions.empty() && !byLeaf) return std::nullopt;
    std::optional<LeafBinding> binding = leafBinding(p);
    if (!binding) return std::nullopt;
    const std::vector<const query::ResultSet*> leaves = p.product->leaves();
    PrintedParts out;
    out.order = binding->order;
    bool haveRoot = false;
    for (std::size_t i = 0; i < leaves.size(); ++i) {
        const query::ResultSet* l = leaves[i];
        std::unique_ptr<filter::ResultBinder> binder =
            resultBinder(leafVariables(p, *binding, i), p.source, byLeaf ? (*byLeaf)[i] : p.conditions, p.trees);
        std::vector<PrintedPart>& parts = out.leaves.emplace_back();
        parts.reserve(l->entries().size());
        for (const EmbeddingEntry& e : l->entries()) {
            std::optional<EmbeddingEntry> bound = binder->examine(leafAlone(p, e));
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
    return matchListDocument(std::move(accepted), p.listing);
}

}  // namespace axf::app
