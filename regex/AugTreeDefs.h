// The augmentation record that position analysis stores in every node of a
// pattern tree: the node's own position (leaves only), the positions that can
// begin and end a match of the sub-tree, every position inside it, its follow
// lists and whether it can be passed without matching any of its leaves.
//
// Positions are Int labels 1..n of the leaves, numbered left to right (END is
// n). Position sets are ascending vectors without repeats; a bag is a sorted
// vector of (member, count) pairs with positive counts.
#pragma once

#include <cstdint>
#include <optional>
#include <utility>
#include <vector>

#include "regex/AbsTreeDefs.h"

namespace axf::regex {

using Pos = std::int32_t;
using PosSet = std::vector<Pos>;
using PosBag = std::vector<std::pair<Pos, std::int32_t>>;

// Follow information: entries ascending by position, one per position that has
// at least one follower inside the sub-tree.
using FollowList = std::vector<std::pair<Pos, PosSet>>;
using FollowBagList = std::vector<std::pair<Pos, PosBag>>;

struct FollowLists {
    FollowBagList followInfoNoInt;  // without the loop edges of counted repetition, counted
    FollowList followInfo;          // every edge
};

struct PositionSets {
    PosSet firstPos;
    PosSet lastPos;
    PosSet children;
    FollowLists follow;
};

struct AUGINFO {
    PositionSets sets;
    bool nullable = false;
};

struct AUG {
    std::optional<Pos> label;
    AUGINFO info;
};

// ---------------------------------------------------------------------------
// Set and bag helpers

bool posMember(Pos x, const PosSet& s);
PosSet posUnion(const PosSet& a, const PosSet& b);
PosSet posMinus(const PosSet& a, const PosSet& b);
PosSet posIntersect(const PosSet& a, const PosSet& b);
// The bag sum of a and the set b taken as a bag (every member of b adds 1).
PosBag bagAddSet(const PosBag& a, const PosSet& b);
PosBag bagFromSet(const PosSet& b);
// a with the counts of b subtracted; members whose count falls to 0 dropped.
PosBag bagMinus(const PosBag& a, const PosBag& b);
// The distinct members, ascending.
PosSet bagToSet(const PosBag& a);

// Adds the edges p -> targets for every p of sources to a follow list,
// merging with the entries already there.
FollowList insertFollows(const FollowList& list, const PosSet& sources, const PosSet& targets);
FollowBagList insertFollowsNoInt(const FollowBagList& list, const PosSet& sources, const PosSet& targets);

// ---------------------------------------------------------------------------
// Readers (the root node's record only)

template <class E>
const AUG& getAug(const AbsTree<E>& t) {
    return getExtraRE<AUG>(t);
}
template <class E>
std::optional<Pos> getLbl(const AbsTree<E>& t) {
    return getAug(t).label;
}
template <class E>
const AUGINFO& getAugInfo(const AbsTree<E>& t) {
    return getAug(t).info;
}
template <class E>
const PosSet& firstPos(const AbsTree<E>& t) {
    return getAug(t).info.sets.firstPos;
}
template <class E>
const PosSet& lastPos(const AbsTree<E>& t) {
    return getAug(t).info.sets.lastPos;
}
template <class E>
const PosSet& children(const AbsTree<E>& t) {
    return getAug(t).info.sets.children;
}
template <class E>
const FollowBagList& followInfoNoInt(const AbsTree<E>& t) {
    return getAug(t).info.sets.follow.followInfoNoInt;
}
template <class E>
const FollowList& followInfo(const AbsTree<E>& t) {
    return getAug(t).info.sets.follow.followInfo;
}
template <class E>
bool isNullable(const AbsTree<E>& t) {
    return getAug(t).info.nullable;
}

// The only writer of the record.
template <class E>
AbsTree<E> updateAugTree(std::optional<Pos> label, PositionSets sets, bool nullable, const AbsTree<E>& t) {
    return updateExtraRE<AUG, E>(AUG{label, AUGINFO{std::move(sets), nullable}}, t);
}

// The entries of followInfo whose position is in ps, in stored order.
template <class E>
FollowList follows(const PosSet& ps, const AbsTree<E>& t) {
    FollowList out;
    for (const auto& entry : followInfo(t))
        if (posMember(entry.first, ps)) out.push_back(entry);
    return out;
}

// The entries of followInfoNoInt whose position is in ps, bags made sets.
template <class E>
FollowList followsWithoutInt(const PosSet& ps, const AbsTree<E>& t) {
    FollowList out;
    for (const auto& entry : followInfoNoInt(t))
        if (posMember(entry.first, ps)) out.emplace_back(entry.first, bagToSet(entry.second));
    return out;
}

// The follow set of p; empty for a position without followers.
template <class E>
PosSet followPos(Pos p, const AbsTree<E>& t) {
    for (const auto& entry : followInfo(t))
        if (entry.first == p) return entry.second;
    return {};
}

}  // namespace axf::regex
