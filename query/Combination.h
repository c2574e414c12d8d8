// Result combination and ranking: the merging of result lists under `and`,
// `or` and `xor` in the modes best and all, and the orderings of result
// lists by position and by cost.
//
// Two levels of combination live here:
//  - at the boolean nodes of a query, during the embedding search: lists of
//    child embeddings rooted at matches of the same parent element are merged
//    position by position (combineAnd*, combineOr*, combineXor*; their
//    steps are in CombinationSteps.h);
//  - between whole queries below a boolean top, in the driver: results are
//    chosen and paired by cost alone and every result becomes a whole-query
//    entry (combineQueries*).
//
// Lists are taken as spans and returned as new vectors; inputs are never
// changed. Every combination walks its inputs once; the orderings return at
// once when the list is already in order and otherwise make one stable sort.
// Trees built here share every subtree with their operands.
//
// Joined trees whose operand roots are not both elements have no result. Such
// a join does not fail when it is made: it yields a failure tree (see
// isDeferredFailure below) that fails only when something reads it, so that a
// run which never prints the tree (a count) does not fail.
#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <unordered_map>

#include "common/Lazy.h"
#include "index/EmbeddingEntry.h"
#include "xml/XML.h"

namespace axf::query {

using index::EmbeddingEntry;
using index::EntryList;
using EntrySpan = std::span<const EmbeddingEntry>;

// ---------------------------------------------------------------------------
// Failure trees.
//
// A failure tree is one xml::FailureNode holding the text of an internal
// error ("combineAndBest: second tree root is a text node"). A failure
// absorbs whatever is built over it: a join, a wrapping parent or a stamp of
// a failure is the failure itself, so a failure is only ever the whole tree of
// an entry, never a part of one. Whoever reads a result tree for its content
// (the result printer, the variable binding, the match removal, setLabel)
// checks its root with throwIfDeferredFailure first, so the error fires
// exactly when such a tree is used and never in a run that reads no tree (a
// count); every reader of node labels and every printer raises the same
// message if it meets one anyway.

const xml::Tree* makeDeferredFailure(std::string_view message);
bool isDeferredFailure(const xml::Tree* t);
// The error text of a failure tree; empty for any other tree.
std::string deferredFailureText(const xml::Tree* t);
// Throws axf::InternalError with the tree's error text if t is a failure tree.
void throwIfDeferredFailure(const xml::Tree* t);

// ---------------------------------------------------------------------------
// Deferred joins.
//
// While a JoinScope lives on a thread, the joins of this file build each
// joined tree in constant time: a node with the joined root's name and
// attributes that stands for the concatenation of its operands' children
// (which may be deferred joins themselves). Folding many operands or many
// nested groups then costs what the result holds, not the square of it.
// Nothing outside the scope ever sees such a node: the scope's owner turns
// every tree it hands out into a plain one with resolve. Whoever builds a
// tree over one that may hold deferred joins (the descendant walk) tells the
// scope with noteParent, so that resolve visits only the trees that hold
// some and leaves every other tree as it is.
class JoinScope {
public:
    JoinScope();
    ~JoinScope();
    JoinScope(const JoinScope&) = delete;
    JoinScope& operator=(const JoinScope&) = delete;

    // The tree with every deferred join below it made plain; a tree without
    // any is returned itself, and a shared part is made plain once.
    const xml::Tree* resolve(const xml::Tree* t);
    // Records that `parent` was built over `child` in the active scope.
    static void noteParent(const xml::Tree* parent, const xml::Tree* child);

    struct State;

private:
    std::unique_ptr<State> state_;
    State* previous_;
};

// ---------------------------------------------------------------------------
// Covering joins.
//
// Some readers of a search's matches use only the document nodes they cover
// together (the removal of matches from a document, with no variable, no
// condition and no selector that counts matches): for them the product of two
// tied runs of one position holds nothing that a few of its entries do not
// already cover. While a CoverScope lives on a thread, the joins of mode all
// emit, at a position where every run joined is of one cost, only the
// entries of the full product in which at most one operand's entry is not
// the first of its run: the first entry of the product, every entry of every
// run, in the order of the full list and at the same cost, so that each
// reader of the list above (a walk to parents, another join, the removal)
// meets the same positions, costs and covered nodes in the same order.
class CoverScope {
public:
    CoverScope();
    ~CoverScope();
    CoverScope(const CoverScope&) = delete;
    CoverScope& operator=(const CoverScope&) = delete;

private:
    bool previous_;
};

// ---------------------------------------------------------------------------
// Ordering of result lists.

bool embCostLeq(const EmbeddingEntry& a, const EmbeddingEntry& b);
bool embCostLt(const EmbeddingEntry& a, const EmbeddingEntry& b);
// Ascending by position, then by cost; stable.
EntryList embSort(EntrySpan entries);
// Ascending by cost; stable; positions are not looked at.
EntryList sortbyEmbcost(EntrySpan entries);

// ---------------------------------------------------------------------------
// Combination of child results at `and`, `or` and `xor` query nodes: the list
// so far first, the next child's list second, the boolean node's deletion cost
// as n, added once to every entry emitted.
//
// The and-combinations do not examine the second list when the first is
// empty; their overloads taking a Lazy second list then leave it
// unevaluated. The other four always read it; their Lazy overloads exist so
// that a fold can call all six the same way (CombineStep).

EntryList combineAndAll(EntrySpan first, EntrySpan second, std::int64_t n);
EntryList combineAndAll(EntrySpan first, const Lazy<EntryList>& second, std::int64_t n);
EntryList combineAndBest(EntrySpan first, EntrySpan second, std::int64_t n);
EntryList combineAndBest(EntrySpan first, const Lazy<EntryList>& second, std::int64_t n);
EntryList combineOrAll(EntrySpan first, EntrySpan second, std::int64_t n);
EntryList combineOrBest(EntrySpan first, EntrySpan second, std::int64_t n);
EntryList combineXorAll(EntrySpan first, EntrySpan second, std::int64_t n);
EntryList combineXorBest(EntrySpan first, EntrySpan second, std::int64_t n);

// The lowest cost of every position of a result list.
class LowestCosts {
public:
    LowestCosts() = default;
    explicit LowestCosts(EntrySpan entries);
    // Sets the lowest cost of a position not yet held.
    void add(std::int64_t position, std::int64_t cost) { lowest_.emplace(position, cost); }
    // Lowers the cost of a position to `cost`, or sets it when not yet held.
    void lower(std::int64_t position, std::int64_t cost) {
        auto [it, fresh] = lowest_.emplace(position, cost);
        if (!fresh && cost < it->second) it->second = cost;
    }
    // f(position, cost) for every position held, in no particular order.
    template <class F>
    void forEach(F f) const {
        for (const auto& [position, cost] : lowest_) f(position, cost);
    }
    // The lowest cost of the position, or nullptr when the list has none.
    const std::int64_t* find(std::int64_t position) const;
    bool empty() const { return lowest_.empty(); }

private:
    std::unordered_map<std::int64_t, std::int64_t> lowest_;
};

// combineAndAll for a result that becomes the second list of combineOrAll
// against a first list F whose lowest costs are `bound`. At a position that F
// holds, that combination keeps no second-list entry dearer than F's cheapest
// entry there, but it reads whether the position holds any such entry. So at
// every position the bound holds, the joined entries dearer than the bound are
// left out (never built), except the first joined entry of the position when
// every joined entry of it is dearer. Other positions keep every joined entry.
// combineOrAll(F, this result, m) equals combineOrAll(F,
// combineAndAll(first, second, n), m) for every m, while the result stays
// proportional to what the or-combination keeps.
EntryList combineAndAll(EntrySpan first, EntrySpan second, std::int64_t n, const LowestCosts& bound);
// True when the list's positions do not descend.
bool ascendingByPosition(EntrySpan list);

// The `and` of several lists at once: the same list as folding them from left
// to right with combineAndAll (or combineAndBest), n added at every step,
// for lists that each ascend by position (the caller checks). Each joined
// tree is built once, over the children of every operand's tree, so a query
// node of many operands costs what its results hold, not the square of it.
// With a bound (the lowest costs of the list an `or` or `xor` in mode all
// meets this result with), a position the bound holds keeps only its joined
// entries not dearer than the bound there, or its first joined entry when
// every one is dearer: the combination with that list is unchanged, and the
// dearer products are never built.
EntryList combineAndAll(std::span<const EntrySpan> lists, std::int64_t n, const LowestCosts* bound = nullptr);
EntryList combineAndBest(std::span<const EntrySpan> lists, std::int64_t n);
// The lowest cost at every position of combineAndAll(lists, n) without
// building it (lists ascending by position).
LowestCosts lowestOfAndAll(std::span<const EntrySpan> lists, std::int64_t n);

using CombineStep = EntryList (*)(EntrySpan first, const Lazy<EntryList>& second, std::int64_t n);
EntryList combineOrAll(EntrySpan first, const Lazy<EntryList>& second, std::int64_t n);
EntryList combineOrBest(EntrySpan first, const Lazy<EntryList>& second, std::int64_t n);
EntryList combineXorAll(EntrySpan first, const Lazy<EntryList>& second, std::int64_t n);
EntryList combineXorBest(EntrySpan first, const Lazy<EntryList>& second, std::int64_t n);

// ---------------------------------------------------------------------------
// Boolean result root: a new element named `op` (no attributes) over the two
// operand trees; an operand whose root is an element without attributes named
// exactly "and", "or" or "xor" contributes its children instead of itself.
// An operand of another shape (an element with attributes, a text with
// children, any other node kind) gives a failure tree.
const xml::Tree* buildExternalTree(std::string_view op, const xml::Tree* left, const xml::Tree* right);
// True when buildExternalTree takes the tree as one operand, itself: an
// element without attributes not named "and", "or" or "xor", or a text leaf.
bool joinsAsItself(const xml::Tree* t);

// ---------------------------------------------------------------------------
// Combination of whole-query results: the results combined so far first, the
// next operand's results second. Every entry returned has position 1, depth 0,
// last 0 and renaming cost 0.

// An entry of whole-query results: the cost and tree at position 1, depth 0.
EmbeddingEntry wholeQueryEntry(std::int64_t cost, const xml::Tree* tree);

EntryList combineQueriesAndBest(EntrySpan first, EntrySpan second);
EntryList combineQueriesAndAll(EntrySpan first, EntrySpan second);
EntryList combineQueriesOrBest(EntrySpan first, EntrySpan second);
EntryList combineQueriesOrAll(EntrySpan first, EntrySpan second);
EntryList combineQueriesXorBest(EntrySpan first, EntrySpan second);
EntryList combineQueriesXorAll(EntrySpan first, EntrySpan second);

// combineQueriesOrAll folded over several operands from left to right, for
// operand lists as they are (one list each, the first one first). Only the
// lowest-cost runs of the operands take part, and a product of tied runs is
// built only when no later operand is cheaper than it: what is built is what
// the result lists.
EntryList combineQueriesOrAll(std::span<const EntrySpan> operands);

}  // namespace axf::query
