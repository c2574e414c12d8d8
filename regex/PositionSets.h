// Internal: for this folder, its tests and benchmarks (the interface is
// Regexp.h).
//
// The position record (PositionRecord) that position analysis stores in every
// node of a pattern tree: the node's own position (leaves only), the positions
// that can begin and end a match of the sub-tree, every position inside it,
// and whether it can be passed without matching any of its leaves. The follow lists of a
// sub-tree (which positions may come directly after which) are read from the
// records of its nodes on demand.
//
// Positions are Int labels 1..n of the leaves, numbered left to right (END is
// n). Position sets are ascending vectors without repeats; a bag is a sorted
// vector of (member, count) pairs with positive counts.
//
// Sharing. Every first or last set of a node is either its leaf's own position,
// its child's set, or the union of its two operands' sets, and all positions of
// a left operand lie below those of the right one. So the sets of one tree are
// kept in one PositionStore as cells: a single position or the concatenation
// of two earlier cells. A union costs one cell, a node's record a few words,
// and a set is read out in time proportional to its size. The positions inside
// a sub-tree are always one range.
#pragma once

#include <algorithm>
#include <cstdint>
#include <memory>
#include <optional>
#include <utility>
#include <vector>

#include "common/Fatal.h"
#include "regex/PatternTree.h"

namespace axf::regex {

using Pos = std::int32_t;
using PosSet = std::vector<Pos>;
using PosBag = std::vector<std::pair<Pos, std::int32_t>>;

// Follow information: entries ascending by position, one per position that has
// at least one follower inside the sub-tree. followInfoNoInt leaves out the
// loop edges of counted repetition and counts how many constructs add each
// edge; followInfo holds every edge.
using FollowList = std::vector<std::pair<Pos, PosSet>>;
using FollowBagList = std::vector<std::pair<Pos, PosBag>>;

// ---------------------------------------------------------------------------
// Set and bag helpers

bool posMember(Pos x, const PosSet& s);
PosSet posUnion(const PosSet& a, const PosSet& b);
PosSet posMinus(const PosSet& a, const PosSet& b);
PosSet posIntersect(const PosSet& a, const PosSet& b);
// The distinct members, ascending.
PosSet bagToSet(const PosBag& a);

// ---------------------------------------------------------------------------
// Shared position sets

// A set held in a PositionStore; kEmptySet is the empty set.
using SetRef = std::int32_t;
inline constexpr SetRef kEmptySet = -1;

class PositionStore {
public:
    // The set {p}.
    SetRef single(Pos p);
    // The union of a and b, every member of a below every member of b.
    SetRef concat(SetRef a, SetRef b);

    std::int32_t size(SetRef s) const { return s == kEmptySet ? 0 : cell(s).size; }
    PosSet toSet(SetRef s) const;
    // Appends the members of s, ascending.
    void appendTo(SetRef s, PosSet& out) const;
    // The union of several sets, ascending and without repeats; each set is
    // read once however often it is named.
    PosSet unionOf(std::vector<SetRef> sets) const;

private:
    struct Cell {
        std::int32_t size;
        Pos lo;  // smallest member
        Pos hi;  // largest member
        SetRef left;
        SetRef right;  // kEmptySet with left for the single position lo
    };
    const Cell& cell(SetRef s) const {
        if (s < 0 || std::size_t(s) >= cells_.size()) throw InternalError("PositionStore: no such set");
        return cells_[std::size_t(s)];
    }
    std::vector<Cell> cells_;
    // Cells entered by the current unionOf walk (marked with visit_).
    mutable std::vector<std::uint32_t> seen_;
    mutable std::uint32_t visit_ = 0;
};

// ---------------------------------------------------------------------------
// The record

struct PositionSets {
    std::shared_ptr<const PositionStore> store;
    SetRef firstPos = kEmptySet;
    SetRef lastPos = kEmptySet;
    Pos childrenLo = 1;  // the positions inside: childrenLo..childrenHi
    Pos childrenHi = 0;
};

// What position analysis knows of a node's sub-tree: its position sets and
// whether it can be passed without matching any of its leaves.
struct NodePositions {
    PositionSets sets;
    bool nullable = false;
};

// The record stored in a node's extra field: its position (leaves only) and
// its NodePositions.
struct PositionRecord {
    std::optional<Pos> label;
    NodePositions info;
};

// ---------------------------------------------------------------------------
// Readers (the root node's record only, except the follow lists)

template <class E>
const PositionRecord& getPositionRecord(const AbsTree<E>& t) {
    return getExtraRE<PositionRecord>(t);
}
template <class E>
std::optional<Pos> getPositionLabel(const AbsTree<E>& t) {
    return getPositionRecord(t).label;
}
template <class E>
const NodePositions& getNodePositions(const AbsTree<E>& t) {
    return getPositionRecord(t).info;
}
template <class E>
const PositionSets& positionSets(const AbsTree<E>& t) {
    return getPositionRecord(t).info.sets;
}
template <class E>
PosSet firstPos(const AbsTree<E>& t) {
    const PositionSets& s = positionSets(t);
    return s.store->toSet(s.firstPos);
}
template <class E>
PosSet lastPos(const AbsTree<E>& t) {
    const PositionSets& s = positionSets(t);
    return s.store->toSet(s.lastPos);
}
template <class E>
PosSet children(const AbsTree<E>& t) {
    const PositionSets& s = positionSets(t);
    PosSet out;
    for (Pos p = s.childrenLo; p <= s.childrenHi; ++p) out.push_back(p);
    return out;
}
template <class E>
bool isNullable(const AbsTree<E>& t) {
    return getPositionRecord(t).info.nullable;
}

// The only writer of the record.
template <class E>
AbsTree<E> withPositionRecord(std::optional<Pos> label, PositionSets sets, bool nullable, const AbsTree<E>& t) {
    return updateExtraRE<PositionRecord, E>(PositionRecord{label, NodePositions{std::move(sets), nullable}}, t);
}

// ---------------------------------------------------------------------------
// Follow lists of a sub-tree, gathered from the records of its nodes: every
// concatenation adds the edges from its left operand's last positions to its
// right operand's first ones; every repeatable node the loop from its child's
// last positions to its first ones. Counted repetitions add their loop to the
// full list only. The count of an edge is the number of constructs adding it.

namespace detail {

// The one walk over the constructs of t, whose root is at depth d: calls
// node(n, dn) for every node n at depth dn, and edge(from, to, dn, counted)
// for every construct at depth dn adding the edges from the last positions of
// the sets `from` to the first positions of the sets `to` (counted for the
// loop of a counted repetition). Parents come before their children, left
// operands before right ones.
template <class E, class Node, class Edge>
void forEachFollowEdgeSet(const AbsTree<E>& t, std::int32_t d, Node& node, Edge& edge) {
    node(t, d);
    if (isUnaryNode(t)) {
        const AbsTree<E>& c = child(t);
        if (isRepeatable(t)) {
            const PositionSets& cs = positionSets(c);
            edge(cs, cs, d, isInterval(t));
        }
        forEachFollowEdgeSet<E>(c, d + 1, node, edge);
    } else if (isBinaryNode(t)) {
        if (isConcat(t)) edge(positionSets(left(t)), positionSets(right(t)), d, false);
        forEachFollowEdgeSet<E>(left(t), d + 1, node, edge);
        forEachFollowEdgeSet<E>(right(t), d + 1, node, edge);
    }
}

// Every edge (from, to) of t, sorted, once per construct adding it.
template <class E>
std::vector<std::pair<Pos, Pos>> followEdges(const AbsTree<E>& t, bool withCounted) {
    std::vector<std::pair<Pos, Pos>> edges;
    auto node = [](const AbsTree<E>&, std::int32_t) {};
    auto edge = [&](const PositionSets& from, const PositionSets& to, std::int32_t, bool counted) {
        if (counted && !withCounted) return;
        PosSet sources = from.store->toSet(from.lastPos);
        PosSet targets = from.store->toSet(to.firstPos);
        for (Pos p : sources)
            for (Pos q : targets) edges.emplace_back(p, q);
    };
    forEachFollowEdgeSet<E>(t, 0, node, edge);
    std::sort(edges.begin(), edges.end());
    return edges;
}

}  // namespace detail

template <class E>
FollowList followInfo(const AbsTree<E>& t) {
    std::vector<std::pair<Pos, Pos>> edges = detail::followEdges<E>(t, true);
    FollowList out;
    for (std::size_t i = 0; i < edges.size(); ++i) {
        if (i > 0 && edges[i] == edges[i - 1]) continue;
        if (out.empty() || out.back().first != edges[i].first) out.emplace_back(edges[i].first, PosSet{});
        out.back().second.push_back(edges[i].second);
    }
    return out;
}

template <class E>
FollowBagList followInfoNoInt(const AbsTree<E>& t) {
    std::vector<std::pair<Pos, Pos>> edges = detail::followEdges<E>(t, false);
    FollowBagList out;
    for (std::size_t i = 0; i < edges.size(); ++i) {
        if (out.empty() || out.back().first != edges[i].first) out.emplace_back(edges[i].first, PosBag{});
        PosBag& bag = out.back().second;
        if (!bag.empty() && bag.back().first == edges[i].second)
            ++bag.back().second;
        else
            bag.emplace_back(edges[i].second, 1);
    }
    return out;
}

// The entries of followInfo whose position is in ps (in any order), in stored
// order.
template <class E>
FollowList follows(PosSet ps, const AbsTree<E>& t) {
    std::sort(ps.begin(), ps.end());
    FollowList out;
    for (auto& entry : followInfo(t))
        if (posMember(entry.first, ps)) out.push_back(std::move(entry));
    return out;
}

// The entries of followInfoNoInt whose position is in ps, bags made sets.
template <class E>
FollowList followsWithoutInt(PosSet ps, const AbsTree<E>& t) {
    std::sort(ps.begin(), ps.end());
    FollowList out;
    for (const auto& entry : followInfoNoInt(t))
        if (posMember(entry.first, ps)) out.emplace_back(entry.first, bagToSet(entry.second));
    return out;
}

// The follow set of p; empty for a position without followers.
template <class E>
PosSet followPos(Pos p, const AbsTree<E>& t) {
    for (auto& entry : followInfo(t))
        if (entry.first == p) return std::move(entry.second);
    return {};
}

// ---------------------------------------------------------------------------
// The follow edges of a whole augmented tree, indexed for the automaton
// builders. Every edge source p has its constructs in the order of the path
// from the root down to p (every construct adding an edge from p lies on that
// path). Consecutive constructs of the path with the same targets (nested
// repetitions of one body) make one run, with the depths of its first and last
// construct. Depths count from the root (0).
//
// For a node t at depth d on the path to p, the runs that reach below d hold
// the edges that t's own sub-tree adds; those that start above d the edges
// that the constructs around t add.

struct FollowRun {
    std::int32_t minDepth;
    std::int32_t maxDepth;
    SetRef targets;
};

class FollowIndex {
public:
    FollowIndex(std::shared_ptr<const PositionStore> store, Pos positions)
        : store_(std::move(store)), plain_(std::size_t(positions) + 1), counted_(std::size_t(positions) + 1) {}

    const PositionStore& store() const { return *store_; }

    // Adds the edges from every member of `from` to the set `to`, contributed
    // by a construct at depth d; `counted` for the loop of a counted
    // repetition. Constructs of one path come in from the root down.
    void add(SetRef from, SetRef to, std::int32_t d, bool counted);
    // Records the depth of a counted repetition or named sub-expression node.
    void setDepth(const void* node, std::int32_t d) { depth_.push_back({node, d}); }
    // The depth of such a node.
    std::int32_t depthOf(const void* node) const;
    void sortDepths();

    // The queries add the target sets of the edges from p that they select to
    // `out`; PositionStore::unionOf makes one set of them.
    // Every edge from p: its automaton node's next set.
    void allFrom(Pos p, std::vector<SetRef>& out) const;
    // The count-free edges from p that constructs below depth d add.
    void plainBelow(Pos p, std::int32_t d, std::vector<SetRef>& out) const;
    // The count-free edges from p that constructs above depth d add.
    void plainAbove(Pos p, std::int32_t d, std::vector<SetRef>& out) const;
    // Every edge from p that constructs below depth d add.
    void allBelow(Pos p, std::int32_t d, std::vector<SetRef>& out) const;

private:
    const std::vector<FollowRun>& runs(const std::vector<std::vector<FollowRun>>& table, Pos p) const;
    void below(const std::vector<FollowRun>& runs, std::int32_t d, std::vector<SetRef>& out) const;

    std::shared_ptr<const PositionStore> store_;
    std::vector<std::vector<FollowRun>> plain_;    // by position: concatenations, loops of * and +
    std::vector<std::vector<FollowRun>> counted_;  // by position: loops of counted repetitions
    std::vector<std::pair<const void*, std::int32_t>> depth_;
};

// The index of an augmented tree with n positions.
template <class E>
FollowIndex indexFollows(const AbsTree<E>& root, Pos n) {
    FollowIndex index(positionSets(root).store, n);
    auto node = [&index](const AbsTree<E>& t, std::int32_t d) {
        if (isInterval(t) || isSub(t)) index.setDepth(t.get(), d);
    };
    auto edge = [&index](const PositionSets& from, const PositionSets& to, std::int32_t d, bool counted) {
        index.add(from.lastPos, to.firstPos, d, counted);
    };
    detail::forEachFollowEdgeSet<E>(root, 0, node, edge);
    index.sortDepths();
    return index;
}

}  // namespace axf::regex
