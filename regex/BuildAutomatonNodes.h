// Internal: for this folder, its tests and benchmarks (the interface is
// Regexp.h).
//
// The two node-filling steps of automaton assembly: a leaf's element, and the
// next sets of every position from the follow edges of the whole tree.
#pragma once

#include <variant>

#include "regex/Automaton.h"
#include "regex/PositionSets.h"

namespace axf::regex {

// Gives a leaf's position its element; other nodes leave a unchanged.
template <class E>
NFA<E> placeLeafElement(const AbsTree<E>& t, NFA<E> a) {
    std::optional<Pos> label = getPositionLabel(t);
    if (!label) return a;
    Pos p = *label;
    if (isElem(t)) {
        return updateNode<E>([&](Node<E> n) { return mkNfaEl<E>(getElem(t), std::move(n)); }, p, std::move(a));
    }
    if (isBackref(t)) {
        auto [name, builder] = getBackref(t);
        return updateNode<E>([&](Node<E> n) { return mkNfaBack<E>(name, builder, std::move(n)); }, p, std::move(a));
    }
    return updateNode<E>([&](Node<E> n) { return mkNfaFinal<E>(p, std::move(n)); }, p, std::move(a));
}

// Replaces the next set of every position that has a follower in the tree.
template <class E>
NFA<E> addFollowInfo(const FollowIndex& index, NFA<E> a) {
    std::vector<SetRef> sets;
    for (Pos p = 1; p <= a.size(); ++p) {
        sets.clear();
        index.allFrom(p, sets);
        if (sets.empty()) continue;
        a = updateNode<E>([&](Node<E> n) { return changeNexts<E>(index.store().unionOf(sets), std::move(n)); }, p, std::move(a));
    }
    return a;
}

}  // namespace axf::regex
