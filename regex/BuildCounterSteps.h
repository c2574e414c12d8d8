// Internal: for this folder, its tests and benchmarks (the interface is
// Regexp.h).
//
// Counter steps of one counted repetition (x{m,}, x{m,n} and their non-greedy
// forms): IntStart on the body's first positions, a continue step and the
// end-of-pass step on its last positions. The repetition's interval label is
// drawn from the automaton walk's counter.
#pragma once

#include <utility>
#include <vector>

#include "regex/Automaton.h"
#include "regex/LabelCounter.h"
#include "regex/PositionSets.h"

namespace axf::regex {

// The positions that can follow one of `last`, the last positions of a node at
// depth d, through the constructs around that node (the count-free edges that
// its own sub-tree does not add).
inline PosSet intervalExitSet(const PosSet& last, std::int32_t d, const FollowIndex& index) {
    std::vector<SetRef> sets;
    for (Pos p : last) index.plainAbove(p, d, sets);
    return index.store().unionOf(std::move(sets));
}

// Adds the steps of the counted repetition t, at depth d with last positions p,
// labelled l, with exit set x.
template <class E>
NFABuild<E> addCounterSteps(const AbsTree<E>& t, const FollowIndex& index, std::int32_t d, const PosSet& p, const PosSet& x,
                            std::int32_t l, NFABuild<E> b) {
    const bool ng = isNonGreedy(t);
    const bool hasMax = isMinmax(t);
    // With a body that can match the empty text the passes still missing
    // before the minimum can all be empty, so every pass end may leave.
    std::int32_t m = isNullable(child(t)) ? 0 : getMin(t);
    std::int32_t n = hasMax ? getMinMax(t).second : 0;
    const PosSet f = firstPos(t);

    for (Pos q : f) prependCounterStep<E>(b, q, IntStart{l});
    // Where the body goes on inside itself: the edges its own sub-tree adds.
    std::vector<SetRef> sets;
    for (Pos q : p) {
        sets.clear();
        index.plainBelow(q, d, sets);
        if (sets.empty()) continue;
        PosSet cont = index.store().unionOf(sets);
        appendCounterStep<E>(b, q, ng ? CounterStep(NGIntContinue{std::move(cont)}) : CounterStep(IntContinue{std::move(cont)}));
    }
    CounterStep end = hasMax ? (ng ? CounterStep(NGIntEnd{l, m, n, f, x}) : CounterStep(IntEnd{l, m, n, f, x}))
                             : (ng ? CounterStep(NGMinEnd{l, m, f, x}) : CounterStep(MinEnd{l, m, f, x}));
    for (Pos q : p) appendCounterStep<E>(b, q, end);
    return b;
}

// Draws one interval label and attaches t's counter steps.
template <class E>
NFABuild<E> buildCounterSteps(const AbsTree<E>& t, const FollowIndex& index, NFABuild<E> b, LabelCounter& counter) {
    if (!isInterval(t)) throw InternalError("buildCounterSteps: not a counted repetition");
    std::int32_t l = counter.nextLabel();
    const std::int32_t d = index.depthOf(t.get());
    const PosSet p = lastPos(t);
    PosSet x = intervalExitSet(p, d, index);
    return addCounterSteps<E>(t, index, d, p, x, l, std::move(b));
}

}  // namespace axf::regex
