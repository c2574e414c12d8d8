// Internal: for this folder, its tests and benchmarks (the interface is
// Regexp.h).
//
// Capture steps of one named sub-expression: NFASubAdd in front on every
// position inside it; on every last position, at the end, NFASubContinue with
// the positions inside it that can follow, then NFASubEnd.
#pragma once

#include <utility>
#include <vector>

#include "regex/Automaton.h"
#include "regex/PositionSets.h"

namespace axf::regex {

template <class E>
NFABuild<E> buildCaptureSteps(const AbsTree<E>& sub, const FollowIndex& index, NFABuild<E> b) {
    const std::string& name = getSubexpName(sub);
    const PositionSets& s = positionSets(sub);
    const std::int32_t d = index.depthOf(sub.get());
    const PosSet l = lastPos(sub);
    for (Pos p = s.childrenLo; p <= s.childrenHi; ++p) prependCaptureStep<E>(b, p, NFASubAdd{name});
    // Where the sub-expression goes on inside itself: the edges its own
    // sub-tree adds, counted loops included.
    std::vector<SetRef> sets;
    for (Pos p : l) {
        sets.clear();
        index.allBelow(p, d, sets);
        if (!sets.empty()) appendCaptureStep<E>(b, p, NFASubContinue{index.store().unionOf(sets)});
    }
    for (Pos p : l) appendCaptureStep<E>(b, p, NFASubEnd{name});
    return b;
}

}  // namespace axf::regex
