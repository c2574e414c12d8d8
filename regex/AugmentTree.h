// Position analysis: numbers the leaves of a pattern tree from left to right
// and stores in every node its augmentation record (nullable, first, last and
// inner positions, both follow lists). The number of positions is returned
// with the tree; END, the last leaf, has the highest position.
//
// An interval whose maximum is below its minimum is reported here, when the
// walk reaches it, with the fatal "Invalid interval in Regular Expression".
#pragma once

#include <optional>
#include <utility>

#include "regex/AugTreeDefs.h"
#include "regex/ConstructorMonad.h"

namespace axf::regex {

// The record of node t, whose children already carry theirs.
template <class E>
AbsTree<E> doAug(std::optional<Pos> label, const AbsTree<E>& t) {
    if (isLeaf(t)) {
        if (!label) throw InternalError("doAug: leaf without a label");
        PosSet one{*label};
        return updateAugTree<E>(label, PositionSets{one, one, one, FollowLists{}}, false, t);
    }
    if (isUn(t)) {
        const AbsTree<E>& c = child(t);
        const AUGINFO& ci = getAugInfo(c);
        PositionSets sets = ci.sets;
        bool nullable;
        if (isInterval(t)) nullable = ci.nullable || getMin(t) == 0;
        else if (isStar(t) || isOpt(t)) nullable = true;
        else nullable = ci.nullable;
        if (isRepeatable(t)) {
            // The loop of the child: every last position to every first one.
            sets.follow.followInfo = insertFollows(sets.follow.followInfo, ci.sets.lastPos, ci.sets.firstPos);
            if (!isInterval(t))
                sets.follow.followInfoNoInt =
                    insertFollowsNoInt(sets.follow.followInfoNoInt, ci.sets.lastPos, ci.sets.firstPos);
        }
        return updateAugTree<E>(std::nullopt, std::move(sets), nullable, t);
    }
    if (isBin(t)) {
        const AUGINFO& li = getAugInfo(left(t));
        const AUGINFO& ri = getAugInfo(right(t));
        PositionSets sets;
        sets.children = posUnion(li.sets.children, ri.sets.children);
        FollowList fi = li.sets.follow.followInfo;
        fi.insert(fi.end(), ri.sets.follow.followInfo.begin(), ri.sets.follow.followInfo.end());
        FollowBagList fn = li.sets.follow.followInfoNoInt;
        fn.insert(fn.end(), ri.sets.follow.followInfoNoInt.begin(), ri.sets.follow.followInfoNoInt.end());
        bool nullable;
        if (isCon(t)) {
            nullable = li.nullable && ri.nullable;
            sets.firstPos = li.nullable ? posUnion(li.sets.firstPos, ri.sets.firstPos) : li.sets.firstPos;
            sets.lastPos = ri.nullable ? posUnion(li.sets.lastPos, ri.sets.lastPos) : ri.sets.lastPos;
            fi = insertFollows(fi, li.sets.lastPos, ri.sets.firstPos);
            fn = insertFollowsNoInt(fn, li.sets.lastPos, ri.sets.firstPos);
        } else {
            nullable = li.nullable || ri.nullable;
            sets.firstPos = posUnion(li.sets.firstPos, ri.sets.firstPos);
            sets.lastPos = posUnion(li.sets.lastPos, ri.sets.lastPos);
        }
        sets.follow = FollowLists{std::move(fn), std::move(fi)};
        return updateAugTree<E>(std::nullopt, std::move(sets), nullable, t);
    }
    throw InternalError("doAug: unknown node kind");
}

// The step of the numbering walk: a leaf draws the next position.
template <class E>
AbsTree<E> augmentNode(const AbsTree<E>& t, LabelCounter& counter) {
    checkInterval<E>(t);
    if (isLeaf(t)) return doAug<E>(counter.getNewLbl(), t);
    return doAug<E>(std::nullopt, t);
}

// The augmented tree and the number of positions.
template <class E>
std::pair<AbsTree<E>, std::int32_t> augmentT(const AbsTree<E>& t) {
    auto step = [](const AbsTree<E>& node, LabelCounter& counter) { return augmentNode<E>(node, counter); };
    return initLbl([&](LabelCounter& counter) { return mapCM<E>(step, t, counter); }, 1);
}

}  // namespace axf::regex
