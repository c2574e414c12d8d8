// Capture steps of one named sub-expression: NFASubAdd in front on every
// position inside it; on every last position, at the end, NFASubContinue with
// the positions inside it that can follow, then NFASubEnd.
#pragma once

#include <utility>
#include <vector>

#include "regex/AugTreeDefs.h"
#include "regex/NFADefs.h"

namespace axf::regex {

template <class E>
NFA<E> handleSubexp(const AbsTree<E>& sub, NFA<E> a) {
    const std::string& name = getSEName(sub);
    const PosSet& c = children(sub);
    const PosSet& l = lastPos(sub);
    for (Pos p : c) {
        a = updateNode<E>(
            [&](Node<E> node) {
                std::vector<CaptureStep> steps;
                steps.reserve(node.ses.size() + 1);
                steps.push_back(NFASubAdd{name});
                steps.insert(steps.end(), node.ses.begin(), node.ses.end());
                return changeSES<E>(std::move(steps), std::move(node));
            },
            p, std::move(a));
    }
    for (auto& [p, s] : follows(l, sub)) {
        a = updateNode<E>(
            [&](Node<E> node) {
                node.ses.push_back(NFASubContinue{s});
                return node;
            },
            p, std::move(a));
    }
    for (Pos p : l) {
        a = updateNode<E>(
            [&](Node<E> node) {
                node.ses.push_back(NFASubEnd{name});
                return node;
            },
            p, std::move(a));
    }
    return a;
}

}  // namespace axf::regex
