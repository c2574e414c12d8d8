// Internal: for this folder, its tests and benchmarks (the interface is
// Regexp.h).
//
// Whether a pattern can match only at the start of the input. The answer is
// "anchored" only when every way through the pattern begins with a start-anchor
// leaf; a part that can be skipped (star, optional, a repetition with minimum
// 0), a back reference and END all answer "not anchored", which only lets the
// search try further start positions.
#pragma once

#include "regex/PatternTree.h"

namespace axf::regex {

template <class E>
bool isAnchoredAtStart(const AbsTree<E>& t) {
    if (isLeaf(t)) return isElem(t) && hasPrefixMark(t);
    if (isUnaryNode(t)) {
        if (isStar(t) || isOpt(t)) return false;
        if (isInterval(t) && getMin(t) == 0) return false;
        return isAnchoredAtStart<E>(child(t));  // SUB, PLUS, or a repetition with minimum >= 1
    }
    if (isConcat(t)) return isAnchoredAtStart<E>(left(t));
    if (isAlt(t)) return isAnchoredAtStart<E>(left(t)) && isAnchoredAtStart<E>(right(t));
    throw InternalError("isAnchoredAtStart: unknown node kind");
}

}  // namespace axf::regex
