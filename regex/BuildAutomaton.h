// Internal: for this folder, its tests and benchmarks (the interface is
// Regexp.h).
//
// Automaton assembly: one post-order walk over the augmented tree gives every
// leaf its element and attaches counter steps (counted repetitions, one
// interval label each, inner before outer, left before right) and capture steps
// (named sub-expressions); the next sets are filled after the walk. The follow
// edges of the whole tree are indexed once, before the walk.
#pragma once

#include <utility>

#include "regex/BuildAutomatonNodes.h"
#include "regex/BuildCaptureSteps.h"
#include "regex/BuildCounterSteps.h"

namespace axf::regex {

// One node's contribution.
template <class E>
NFABuild<E> nodeStep(const AbsTree<E>& t, NFABuild<E> b, const FollowIndex& index, LabelCounter& counter) {
    b.a = placeLeafElement<E>(t, std::move(b.a));
    if (isInterval(t)) b = buildCounterSteps<E>(t, index, std::move(b), counter);
    if (isSub(t)) b = buildCaptureSteps<E>(t, index, std::move(b));
    return b;
}

// The finished automaton and the number of interval labels handed out.
template <class E>
std::pair<NFA<E>, std::int32_t> makeNFA(const AbsTree<E>& root, NFA<E> a0) {
    const FollowIndex index = indexFollows<E>(root, a0.size());
    auto step = [&index](const AbsTree<E>& t, NFABuild<E> b, LabelCounter& counter) {
        return nodeStep<E>(t, std::move(b), index, counter);
    };
    auto walk = [&](LabelCounter& counter) { return foldPostWithLabels<E>(step, startBuild<E>(std::move(a0)), root, counter); };
    auto [b1, k] = runWithLabels(walk, 1);
    return {addFollowInfo<E>(index, finishBuild<E>(std::move(b1))), k};
}

}  // namespace axf::regex
