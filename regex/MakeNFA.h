// Automaton assembly: one post-order walk over the augmented tree gives every
// leaf its element and attaches counter steps (counted repetitions, one
// interval label each, inner before outer, left before right) and capture steps
// (named sub-expressions); the next sets are filled after the walk.
#pragma once

#include <utility>

#include "regex/HandleInterval.h"
#include "regex/HandleSubexp.h"
#include "regex/MakeNFANode.h"

namespace axf::regex {

// One node's contribution.
template <class E>
NFA<E> nodeStep(const AbsTree<E>& t, NFA<E> a, const FollowBagList& rootNoInt, LabelCounter& counter) {
    a = makeNode<E>(t, std::move(a));
    if (isInterval(t)) a = handleInterval<E>(t, rootNoInt, std::move(a), counter);
    if (isSub(t)) a = handleSubexp<E>(t, std::move(a));
    return a;
}

// The finished automaton and the number of interval labels handed out.
template <class E>
std::pair<NFA<E>, std::int32_t> makeNFA(const AbsTree<E>& root, NFA<E> a0) {
    const FollowBagList& fn = followInfoNoInt(root);
    auto step = [&fn](const AbsTree<E>& t, NFA<E> a, LabelCounter& counter) {
        return nodeStep<E>(t, std::move(a), fn, counter);
    };
    auto [a1, k] = initLbl([&](LabelCounter& counter) { return foldPostM<E>(step, std::move(a0), root, counter); }, 1);
    return {addFollowInfo<E>(root, std::move(a1)), k};
}

}  // namespace axf::regex
