// Counter steps of one counted repetition (x{m,}, x{m,n} and their non-greedy
// forms): IntStart on the body's first positions, a continue step and the
// end-of-pass step on its last positions. The repetition's interval label is
// drawn from the automaton walk's counter.
#pragma once

#include <utility>
#include <vector>

#include "regex/AugTreeDefs.h"
#include "regex/ConstructorMonad.h"
#include "regex/NFADefs.h"

namespace axf::regex {

// The positions that can follow a last position of t through the constructs
// around t: the root's count-free follow bags minus t's own.
template <class E>
PosSet intervalExitSet(const AbsTree<E>& t, const FollowBagList& root) {
    const PosSet& last = lastPos(t);
    const FollowBagList& own = followInfoNoInt(t);
    PosSet exit;
    for (const auto& [p, bag] : root) {
        if (!posMember(p, last)) continue;
        PosBag mine;
        for (const auto& entry : own) {
            if (entry.first == p) {
                mine = entry.second;
                break;
            }
        }
        exit = posUnion(exit, bagToSet(bagMinus(bag, mine)));
    }
    return exit;
}

// Adds the steps of the counted repetition t, labelled l, with exit set x.
template <class E>
NFA<E> dealInterval(const AbsTree<E>& t, const PosSet& x, std::int32_t l, NFA<E> a) {
    const bool ng = isNg(t);
    const bool hasMax = isMinmax(t);
    // With a body that can match the empty text the passes still missing
    // before the minimum can all be empty, so every pass end may leave.
    std::int32_t m = isNullable(child(t)) ? 0 : getMin(t);
    std::int32_t n = hasMax ? getMinMax(t).second : 0;
    const PosSet& f = firstPos(t);
    const PosSet& p = lastPos(t);

    for (Pos q : f) {
        a = updateNode<E>(
            [&](Node<E> node) {
                std::vector<CounterStep> steps;
                steps.reserve(node.ints.size() + 1);
                steps.push_back(IntStart{l});
                steps.insert(steps.end(), node.ints.begin(), node.ints.end());
                return changeInts<E>(std::move(steps), std::move(node));
            },
            q, std::move(a));
    }
    for (auto& [q, cont] : followsWithoutInt(p, t)) {
        CounterStep step = ng ? CounterStep(NGIntContinue{cont}) : CounterStep(IntContinue{cont});
        a = updateNode<E>(
            [&](Node<E> node) {
                node.ints.push_back(step);
                return node;
            },
            q, std::move(a));
    }
    CounterStep end = hasMax ? (ng ? CounterStep(NGIntEnd{l, m, n, f, x}) : CounterStep(IntEnd{l, m, n, f, x}))
                             : (ng ? CounterStep(NGMinEnd{l, m, f, x}) : CounterStep(MinEnd{l, m, f, x}));
    for (Pos q : p) {
        a = updateNode<E>(
            [&](Node<E> node) {
                node.ints.push_back(end);
                return node;
            },
            q, std::move(a));
    }
    return a;
}

// Draws one interval label and attaches t's counter steps.
template <class E>
NFA<E> handleInterval(const AbsTree<E>& t, const FollowBagList& root, NFA<E> a, LabelCounter& counter) {
    if (!isInterval(t)) throw InternalError("handleInterval: not a counted repetition");
    std::int32_t l = counter.getNewLbl();
    PosSet x = intervalExitSet<E>(t, root);
    return dealInterval<E>(t, x, l, std::move(a));
}

}  // namespace axf::regex
