#include "query/WholeQueryCombination.h"

#include <cstddef>
#include <string>
#include <utility>
#include <variant>
#include <vector>

#include "common/CheckedSize.h"
#include "query/FailureTree.h"
#include "query/TreeJoin.h"
#include "query/WholeQueryCombinationInternal.h"

namespace axf::query {

using xml::ELNode;
using xml::Tree;

EmbeddingEntry wholeQueryEntry(std::int64_t cost, const Tree* tree) {
    EmbeddingEntry r;
    r.position = 1;
    r.depth = 0;
    r.last = 0;
    r.renamingCost = 0;
    r.cost = cost;
    r.tree = tree;
    return r;
}

namespace {

// Index of the cheapest entry: the first of the lowest cost. s is not empty.
std::size_t cheapest(EntrySpan s) {
    std::size_t best = 0;
    for (std::size_t i = 1; i < s.size(); ++i)
        if (s[i].cost < s[best].cost) best = i;
    return best;
}

// The entries of the lowest cost, in list order. s is not empty.
std::vector<const EmbeddingEntry*> lowestCostRun(EntrySpan s) {
    const std::int64_t c = s[cheapest(s)].cost;
    std::vector<const EmbeddingEntry*> run;
    for (const EmbeddingEntry& e : s)
        if (e.cost == c) run.push_back(&e);
    return run;
}

EntryList copies(const std::vector<const EmbeddingEntry*>& run) {
    EntryList out;
    out.reserve(run.size());
    for (const EmbeddingEntry* e : run) out.push_back(wholeQueryEntry(e->cost, e->tree));
    return out;
}

EmbeddingEntry combined(std::string_view op, const EmbeddingEntry& a, const EmbeddingEntry& b) {
    return wholeQueryEntry(a.cost + b.cost, buildExternalTree(op, a.tree, b.tree));
}

enum class Operand { Boolean, Plain, Invalid, Failure };

Operand classify(const Tree* t) {
    if (!t) return Operand::Invalid;
    if (isDeferredFailure(t)) return Operand::Failure;
    if (const ELNode* e = std::get_if<ELNode>(&t->value)) {
        if (!e->attributes.empty()) return Operand::Invalid;
        return e->name == "and" || e->name == "or" || e->name == "xor" ? Operand::Boolean : Operand::Plain;
    }
    if (std::holds_alternative<xml::TXNode>(t->value)) return t->isLeaf() ? Operand::Plain : Operand::Invalid;
    return Operand::Invalid;
}

const Tree* invalidOperand(const char* side, const Tree* t) {
    std::string what = rootKindText(t);
    if (t && std::holds_alternative<ELNode>(t->value)) what = "an element with attributes";
    if (t && std::holds_alternative<xml::TXNode>(t->value)) what = "a text node with children";
    return makeDeferredFailure(std::string("buildExternalTree: ") + side + " operand root is " + what);
}

}  // namespace

bool joinsAsItself(const Tree* t) { return classify(t) == Operand::Plain; }

const Tree* buildExternalTree(std::string_view op, const Tree* left, const Tree* right) {
    const Operand l = classify(left);
    if (l == Operand::Failure) return left;
    if (l == Operand::Invalid) return invalidOperand("left", left);
    const Operand r = classify(right);
    if (r == Operand::Failure) return right;
    if (r == Operand::Invalid) return invalidOperand("right", right);

    ELNode root{std::string(op), {}};
    const Tree* const one[1] = {l == Operand::Boolean ? right : left};
    if (l == Operand::Boolean && r == Operand::Boolean) return concatUnder(std::move(root), left->children(), right->children());
    if (l == Operand::Boolean) return concatUnder(std::move(root), one, left->children());
    if (r == Operand::Boolean) return concatUnder(std::move(root), one, right->children());
    const Tree* const both[2] = {left, right};
    return concatUnder(std::move(root), both, {});
}

// ---------------------------------------------------------------------------
// Combination of whole-query results.

EntryList combineQueriesAndBest(EntrySpan first, EntrySpan second) {
    if (first.empty() || second.empty()) return {};
    return {combined("and", first[cheapest(first)], second[cheapest(second)])};
}

EntryList combineQueriesAndAll(EntrySpan first, EntrySpan second) {
    EntryList out;
    if (first.empty() || second.empty()) return out;
    out.reserve(checkedProduct(first.size(), second.size()));
    for (const EmbeddingEntry& a : first)
        for (const EmbeddingEntry& b : second) out.push_back(combined("and", a, b));
    return out;
}

namespace {

// With one side empty, "or" and "xor" of whole queries keep the other side's
// first cheapest result.
EntryList cheapestOfOneSide(EntrySpan s) {
    const EmbeddingEntry& e = s[cheapest(s)];
    return {wholeQueryEntry(e.cost, e.tree)};
}

}  // namespace

EntryList combineQueriesOrBest(EntrySpan first, EntrySpan second) {
    if (first.empty() && second.empty()) return {};
    if (first.empty() || second.empty()) return cheapestOfOneSide(first.empty() ? second : first);
    const EmbeddingEntry& x = first[cheapest(first)];
    const EmbeddingEntry& y = second[cheapest(second)];
    if (x.cost < y.cost) return {wholeQueryEntry(x.cost, x.tree)};
    if (x.cost > y.cost) return {wholeQueryEntry(y.cost, y.tree)};
    return {combined("or", x, y)};
}

EntryList combineQueriesOrAll(EntrySpan first, EntrySpan second) {
    if (first.empty() && second.empty()) return {};
    if (first.empty()) return copies(lowestCostRun(second));
    if (second.empty()) return copies(lowestCostRun(first));
    const std::int64_t cx = first[cheapest(first)].cost;
    const std::int64_t cy = second[cheapest(second)].cost;
    if (cx < cy) return copies(lowestCostRun(first));
    if (cx > cy) return copies(lowestCostRun(second));
    const auto runA = lowestCostRun(first);
    const auto runB = lowestCostRun(second);
    EntryList out;
    out.reserve(checkedProduct(runA.size(), runB.size()));
    for (const EmbeddingEntry* a : runA)
        for (const EmbeddingEntry* b : runB) out.push_back(combined("or", *a, *b));
    return out;
}

EntryList combineQueriesOrAll(std::span<const EntrySpan> operands) {
    // What the fold has so far: the product of these runs, each of one cost,
    // whose entries all cost `total`.
    std::vector<std::vector<const EmbeddingEntry*>> runs;
    std::int64_t total = 0;
    for (EntrySpan s : operands) {
        if (s.empty()) continue;
        std::vector<const EmbeddingEntry*> run = lowestCostRun(s);
        const std::int64_t c = run.front()->cost;
        if (runs.empty() || c < total) {
            runs.clear();
            runs.push_back(std::move(run));
            total = c;
        } else if (c == total) {
            runs.push_back(std::move(run));
            total += c;
        }
    }
    if (runs.empty()) return {};
    if (runs.size() == 1) return copies(runs.front());
    // The product, the first run outermost; a tree is shared by every entry
    // that extends it, as the pairwise fold shares it.
    const std::size_t k = runs.size();
    std::size_t count = 1;
    for (const auto& r : runs) count = checkedProduct(count, r.size());
    EntryList out;
    out.reserve(count);
    std::vector<std::size_t> cur(k, 0);
    std::vector<const Tree*> prefix(k);
    std::size_t from = 0;
    for (;;) {
        for (std::size_t i = from; i < k; ++i)
            prefix[i] = i == 0 ? runs[0][cur[0]]->tree : buildExternalTree("or", prefix[i - 1], runs[i][cur[i]]->tree);
        out.push_back(wholeQueryEntry(total, prefix[k - 1]));
        std::size_t i = k;
        while (i > 0 && ++cur[i - 1] == runs[i - 1].size()) {
            cur[i - 1] = 0;
            --i;
        }
        if (i == 0) break;
        from = i - 1;
    }
    return out;
}

EntryList combineQueriesXorBest(EntrySpan first, EntrySpan second) {
    if (first.empty() && second.empty()) return {};
    if (first.empty() || second.empty()) return cheapestOfOneSide(first.empty() ? second : first);
    const EmbeddingEntry& x = first[cheapest(first)];
    const EmbeddingEntry& y = second[cheapest(second)];
    const EmbeddingEntry& e = x.cost <= y.cost ? x : y;
    return {wholeQueryEntry(e.cost, e.tree)};
}

EntryList combineQueriesXorAll(EntrySpan first, EntrySpan second) {
    if (first.empty() && second.empty()) return {};
    if (first.empty()) return copies(lowestCostRun(second));
    if (second.empty()) return copies(lowestCostRun(first));
    const std::int64_t cx = first[cheapest(first)].cost;
    const std::int64_t cy = second[cheapest(second)].cost;
    return copies(lowestCostRun(cx <= cy ? first : second));
}

}  // namespace axf::query
