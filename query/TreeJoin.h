// Joined result trees: the root of one operand over the children of every
// operand, built plain, deferred while a JoinScope lives, or covering while a
// CoverScope lives.
//
// Joined trees whose operand roots are not both elements have no result. Such
// a join does not fail when it is made: it yields a failure tree
// (FailureTree.h) that fails only when something reads it, so that a run which
// never prints the tree (a count) does not fail.
#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <string_view>

#include "index/EmbeddingEntry.h"
#include "xml/XML.h"

namespace axf::query {

using index::EmbeddingEntry;
using index::EntryList;
using EntrySpan = std::span<const EmbeddingEntry>;

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

// Whether a CoverScope lives on this thread.
bool coveringJoinsActive();

// ---------------------------------------------------------------------------
// Joins.

// Joined entry of x (from the first list) and y (from the second list): the
// position, depth, last and renaming cost of x, the cost x + y + n, and a new
// root with the name and attributes of x's root over x's children followed by
// y's children. `combination` names the caller in the error text of a failure
// tree.
EmbeddingEntry joinEntries(const EmbeddingEntry& x, const EmbeddingEntry& y, std::int64_t n, std::string_view combination);

// The joined entry of several operand entries, as folding joinEntries over
// them from the left gives it: the position, depth, last and renaming cost of
// the first, the sum of the costs plus n per join, and as tree the first
// failure or misshapen root met from the left, otherwise one root with the
// name and attributes of the first tree over the children of every tree.
EmbeddingEntry joinEntryList(std::span<const EmbeddingEntry* const> picked, std::int64_t n, std::string_view combination);

// A new element root with the given name and attributes over the children
// `first` followed by the children `second`.
const xml::Tree* concatUnder(xml::ELNode root, std::span<const xml::Tree* const> first, std::span<const xml::Tree* const> second);

}  // namespace axf::query
