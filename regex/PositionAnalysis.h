// Internal: for this folder, its tests and benchmarks (the interface is
// Regexp.h).
//
// Position analysis: numbers the leaves of a pattern tree from left to right
// and stores in every node its position record (nullable, first, last and
// inner positions). The number of positions is returned with the tree; END,
// the last leaf, has the highest position. The sets of one tree share one
// PositionStore, so each node costs constant time and space.
//
// An interval whose maximum is below its minimum is reported here, when the
// walk reaches it, with the fatal "Invalid interval in Regular Expression".
#pragma once

#include <memory>
#include <optional>
#include <utility>

#include "regex/LabelCounter.h"
#include "regex/PositionSets.h"

namespace axf::regex {

// The record of node t, whose children already carry theirs; the sets it
// makes go to the store.
template <class E>
AbsTree<E> recordPositions(std::optional<Pos> label, const AbsTree<E>& t, const std::shared_ptr<PositionStore>& store) {
    if (isLeaf(t)) {
        if (!label) throw InternalError("recordPositions: leaf without a label");
        SetRef one = store->single(*label);
        return withPositionRecord<E>(label, PositionSets{store, one, one, *label, *label}, false, t);
    }
    if (isUnaryNode(t)) {
        const AbsTree<E>& c = child(t);
        const NodePositions& ci = getNodePositions(c);
        bool nullable;
        if (isInterval(t))
            nullable = ci.nullable || getMin(t) == 0;
        else if (isStar(t) || isOpt(t))
            nullable = true;
        else
            nullable = ci.nullable;
        // The loop of a repeatable node (its child's last positions to its
        // first ones) is read from the records when follow lists are asked.
        return withPositionRecord<E>(std::nullopt, ci.sets, nullable, t);
    }
    if (isBinaryNode(t)) {
        const NodePositions& li = getNodePositions(left(t));
        const NodePositions& ri = getNodePositions(right(t));
        PositionSets sets{store, kEmptySet, kEmptySet, li.sets.childrenLo, ri.sets.childrenHi};
        bool nullable;
        if (isConcat(t)) {
            nullable = li.nullable && ri.nullable;
            sets.firstPos = li.nullable ? store->concat(li.sets.firstPos, ri.sets.firstPos) : li.sets.firstPos;
            sets.lastPos = ri.nullable ? store->concat(li.sets.lastPos, ri.sets.lastPos) : ri.sets.lastPos;
        } else {
            nullable = li.nullable || ri.nullable;
            sets.firstPos = store->concat(li.sets.firstPos, ri.sets.firstPos);
            sets.lastPos = store->concat(li.sets.lastPos, ri.sets.lastPos);
        }
        return withPositionRecord<E>(std::nullopt, std::move(sets), nullable, t);
    }
    throw InternalError("recordPositions: unknown node kind");
}

// The step of the numbering walk: a leaf draws the next position.
template <class E>
AbsTree<E> numberAndRecordPositions(const AbsTree<E>& t, LabelCounter& counter, const std::shared_ptr<PositionStore>& store) {
    checkInterval<E>(t);
    if (isLeaf(t)) return recordPositions<E>(counter.nextLabel(), t, store);
    return recordPositions<E>(std::nullopt, t, store);
}

// The tree with every node's position record (the augmented tree) and the
// number of positions.
template <class E>
std::pair<AbsTree<E>, std::int32_t> numberPositions(const AbsTree<E>& t) {
    auto store = std::make_shared<PositionStore>();
    auto step = [&store](const AbsTree<E>& node, LabelCounter& counter) {
        return numberAndRecordPositions<E>(node, counter, store);
    };
    return runWithLabels([&](LabelCounter& counter) { return rebuildWithLabels<E>(step, t, counter); }, 1);
}

}  // namespace axf::regex
