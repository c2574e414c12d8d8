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
// around t (the count-free edges that t's own sub-tree does not add).
template <class E>
PosSet intervalExitSet(const AbsTree<E>& t, const FollowIndex& index) {
    const std::int32_t d = index.depthOf(t.get());
    std::vector<SetRef> sets;
    for (Pos p : lastPos(t)) index.plainAbove(p, d, sets);
    return index.store().unionOf(std::move(sets));
}

// Adds the steps of the counted repetition t, labelled l, with exit set x.
template <class E>
NFABuild<E> dealInterval(const AbsTree<E>& t, const FollowIndex& index, const PosSet& x, std::int32_t l,
                         NFABuild<E> b) {
    const bool ng = isNg(t);
    const bool hasMax = isMinmax(t);
    const std::int32_t d = index.depthOf(t.get());
    // With a body that can match the empty text the passes still missing
    // before the minimum can all be empty, so every pass end may leave.
    std::int32_t m = isNullable(child(t)) ? 0 : getMin(t);
    std::int32_t n = hasMax ? getMinMax(t).second : 0;
    const PosSet f = firstPos(t);
    const PosSet p = lastPos(t);

    for (Pos q : f) frontInt<E>(b, q, IntStart{l});
    // Where the body goes on inside itself: the edges its own sub-tree adds.
    std::vector<SetRef> sets;
    for (Pos q : p) {
        sets.clear();
        index.plainBelow(q, d, sets);
        if (sets.empty()) continue;
        PosSet cont = index.store().unionOf(sets);
        backInt<E>(b, q, ng ? CounterStep(NGIntContinue{std::move(cont)}) : CounterStep(IntContinue{std::move(cont)}));
    }
    CounterStep end = hasMax ? (ng ? CounterStep(NGIntEnd{l, m, n, f, x}) : CounterStep(IntEnd{l, m, n, f, x}))
                             : (ng ? CounterStep(NGMinEnd{l, m, f, x}) : CounterStep(MinEnd{l, m, f, x}));
    for (Pos q : p) backInt<E>(b, q, end);
    return b;
}

// Draws one interval label and attaches t's counter steps.
template <class E>
NFABuild<E> handleInterval(const AbsTree<E>& t, const FollowIndex& index, NFABuild<E> b, LabelCounter& counter) {
    if (!isInterval(t)) throw InternalError("handleInterval: not a counted repetition");
    std::int32_t l = counter.getNewLbl();
    PosSet x = intervalExitSet<E>(t, index);
    return dealInterval<E>(t, index, x, l, std::move(b));
}

}  // namespace axf::regex
