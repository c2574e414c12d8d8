#include "query/ExtendQuery.h"

#include <algorithm>
#include <string>
#include <utility>
#include <variant>
#include <vector>

#include "common/Fatal.h"
#include "query/Costs.h"
#include "query/QueryAnnotationInternal.h"

namespace axf::query {
namespace {

// The label of an alternative node.
const std::string kOr = "or";

// Number of nodes of the extended subtree, saturating at kNoSize.
constexpr std::int64_t kNoSize = std::int64_t(1) << 40;

// The largest extended query built. Every element with a child doubles the
// size of what lies below it, so a chain of k nested elements takes
// 3*2^k - 2 nodes; past this bound (a chain of 23 elements) the extended
// query would exhaust memory, and the run stops with a message instead.
constexpr std::int64_t kMaxExtendedNodes = std::int64_t(1) << 24;

std::int64_t extendedSize(const xml::Tree* node) {
    const auto* el = std::get_if<xml::ELNode>(&node->value);
    if (!el || node->isLeaf()) return 1;
    if (detail::isGroupName(el->name)) {
        std::int64_t s = 1;
        for (const xml::Tree* c : node->children()) s = std::min(kNoSize, s + extendedSize(c));
        return s;
    }
    return std::min(kNoSize, 2 + 2 * extendedSize(node->children()[0]));
}

// One extension walk. The threaded lists (mapping, costs) are built back to
// front: a node puts its own pairs after its subtrees' into the reversed
// list. The mapping, which has one pair per node, is filled from its end
// when the size is known; the costs are reversed at the end. The collected
// lists (variables, types) are appended in preorder. `marked` is set inside
// a copy: markCopyVariables is idempotent, so marking each name once where it is
// collected equals marking the copy's list at every enclosing copy.
struct ExtendWalk {
    std::vector<QueryMapping::Pair> mappingRev;
    std::vector<QueryMapping::Pair> mapping;  // when presized: filled from the end
    std::size_t mappingLeft = 0;
    std::vector<DeletionCostList::Pair> costsRev;
    std::vector<VariableList::Pair> variables;
    std::vector<SearchTypeList::Pair> searchTypes;

    struct Result {
        const xml::Tree* tree;
        std::int64_t last;
    };

    explicit ExtendWalk(std::int64_t size) {
        if (size > kMaxExtendedNodes)
            throw Fatal(
                "Attention: the query is too deep for an approximate search: its extended form would have "
                "more than " +
                std::to_string(kMaxExtendedNodes) + " nodes");
        if (size < kNoSize) {
            mapping.resize(std::size_t(size));
            mappingLeft = std::size_t(size);
        }
    }

    void map(std::string key, const std::string& label) {
        if (mappingLeft > 0) {
            QueryMapping::Pair& p = mapping[--mappingLeft];
            p.first = std::move(key);
            p.second = label;
        } else {
            mappingRev.emplace_back(std::move(key), label);
        }
    }

    void withDeletionCost(const std::string& key, std::int64_t cost) {
        if (cost != 0) costsRev.emplace_back(key, cost);
    }

    Result extendSubtree(const xml::Tree* node, std::int64_t n, std::int64_t d, bool marked) {
        std::string key = std::to_string(n);
        if (const auto* tx = std::get_if<xml::TXNode>(&node->value)) {
            if (!node->isLeaf()) throw InternalError("extendSubtree: text node \"" + tx->text + "\" has children");
            map(key, tx->text);
            withDeletionCost(key, d);
            return {xml::leafNode(xml::TXNode{std::move(key)}), n};
        }
        const auto* el = std::get_if<xml::ELNode>(&node->value);
        if (!el) throw InternalError("extendSubtree: node is neither an element nor a text");

        if (detail::isGroupName(el->name)) {
            auto [kids, next] = extendMap(node->children(), n + 1, d, marked);
            map(key, el->name);
            withDeletionCost(key, d);
            return {xml::makeTree(xml::ELNode{std::move(key), {}}, kids), next - 1};
        }
        if (node->isLeaf()) {
            detail::appendVariablesAndTypes(key, el->attributes, variables, searchTypes, marked, 0);
            map(key, el->name);
            withDeletionCost(key, d);
            return {xml::leafNode(xml::ELNode{std::move(key), {}}), n};
        }

        // Element with a child: node n ("or") over [element n+1 over the
        // child, the copy of the child charged at kDeletionCost].
        std::string own = std::to_string(n + 1);
        detail::appendVariablesAndTypes(own, el->attributes, variables, searchTypes, marked, 0);
        const xml::Tree* c = node->children()[0];
        Result kept = verifyDepth(c, n + 2, marked);
        Result copy = extendSubtree(c, kept.last + 1, kDeletionCost, true);
        map(own, el->name);
        map(key, kOr);
        withDeletionCost(key, d);
        const xml::Tree* element = xml::makeTree(xml::ELNode{std::move(own), {}}, {kept.tree});
        return {xml::makeTree(xml::ELNode{std::move(key), {}}, {element, copy.tree}), copy.last};
    }

    // The operands of a group, each from the number after the previous
    // one's last; returns the trees and the number after the last used.
    std::pair<xml::TreeList, std::int64_t> extendMap(std::span<const xml::Tree* const> children, std::int64_t f, std::int64_t d,
                                                     bool marked) {
        xml::TreeList trees;
        trees.reserve(children.size());
        for (const xml::Tree* x : children) {
            Result r = extendSubtree(x, f, d, marked);
            trees.push_back(r.tree);
            f = r.last + 1;
        }
        return {std::move(trees), f};
    }

    // The single child of an element that keeps its place: an element goes
    // to extendSubtree with cost 0, a text is numbered here without cost.
    Result verifyDepth(const xml::Tree* c, std::int64_t k, bool marked) {
        if (std::holds_alternative<xml::ELNode>(c->value)) return extendSubtree(c, k, 0, marked);
        const auto* tx = std::get_if<xml::TXNode>(&c->value);
        if (!tx) throw InternalError("verifyDepth: child is neither an element nor a text");
        if (!c->isLeaf()) throw InternalError("verifyDepth: text node \"" + tx->text + "\" has children");
        std::string key = std::to_string(k);
        map(key, tx->text);
        return {xml::leafNode(xml::TXNode{std::move(key)}), k};
    }

    QueryAnnotation finish(const xml::Tree* tree, std::int64_t last) {
        if (mappingLeft > 0 || (!mapping.empty() && !mappingRev.empty()))
            throw InternalError("extendQuery: extended size mismatch");
        if (mapping.empty()) {
            std::reverse(mappingRev.begin(), mappingRev.end());
            mapping = std::move(mappingRev);
        }
        std::reverse(costsRev.begin(), costsRev.end());
        QueryAnnotation out;
        out.tree = tree;
        out.mapping = QueryMapping(std::move(mapping));
        out.deletionCosts = DeletionCostList(std::move(costsRev));
        out.variables = VariableList(std::move(variables));
        out.searchTypes = SearchTypeList(std::move(searchTypes));
        out.lastNumber = last;
        return out;
    }
};

}  // namespace

QueryAnnotation extendQuery(const xml::Tree* query, std::int64_t first) {
    // The root is never wrapped: its size is 1 plus its first child's.
    std::int64_t size = 1;
    if (std::holds_alternative<xml::ELNode>(query->value) && !query->isLeaf())
        size = std::min(kNoSize, 1 + extendedSize(query->children()[0]));
    ExtendWalk w(size);
    std::string key = std::to_string(first);
    if (const auto* tx = std::get_if<xml::TXNode>(&query->value)) {
        if (!query->isLeaf()) throw InternalError("extendQuery: text node \"" + tx->text + "\" has children");
        w.map(key, tx->text);
        return w.finish(xml::leafNode(xml::TXNode{std::move(key)}), first);
    }
    const auto* el = std::get_if<xml::ELNode>(&query->value);
    if (!el) throw InternalError("extendQuery: root is neither an element nor a text");
    // The root's own variable and type stand before everything below it.
    detail::appendVariablesAndTypes(key, el->attributes, w.variables, w.searchTypes, false, 0);
    if (query->isLeaf()) {
        w.map(key, el->name);
        return w.finish(xml::leafNode(xml::ELNode{std::move(key), {}}), first);
    }
    ExtendWalk::Result r = w.verifyDepth(query->children()[0], first + 1, false);
    w.map(key, el->name);
    return w.finish(xml::makeTree(xml::ELNode{std::move(key), {}}, {r.tree}), r.last);
}

QueryAnnotation extendSubtree(const xml::Tree* node, std::int64_t number, std::int64_t cost) {
    ExtendWalk w(extendedSize(node));
    ExtendWalk::Result r = w.extendSubtree(node, number, cost, false);
    return w.finish(r.tree, r.last);
}

VariableList markCopyVariables(const VariableList& variables) {
    std::vector<VariableList::Pair> out;
    out.reserve(variables.size());
    for (const auto& [key, name] : variables) {
        if (name.empty()) throw InternalError("markCopyVariables: empty variable name at node \"" + key + "\"");
        out.emplace_back(key, name.size() == 1 ? std::string(1, kCopyMark) + name : name);
    }
    return VariableList(std::move(out));
}

}  // namespace axf::query
