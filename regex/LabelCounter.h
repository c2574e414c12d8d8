// Internal: for this folder, its tests and benchmarks (the interface is
// Regexp.h).
//
// The label counter threaded through a walk of a pattern tree, and the two
// walks that carry it: a bottom-up rebuild (rebuildWithLabels) and a
// post-order fold (foldPostWithLabels); beside them a pre-order fold
// (foldPreWithLabels), a fold over a sequence (foldListWithLabels) and a
// sequencing step (thenWithLabels). Each compile runs two counters, each
// started at 1: the leaf numbering and the automaton walk (one interval label
// per counted repetition). Walks recurse over the depth of the tree only.
#pragma once

#include <cstdint>
#include <limits>
#include <utility>

#include "common/Fatal.h"
#include "regex/PatternTree.h"

namespace axf::regex {

// Holds the next label to hand out.
class LabelCounter {
public:
    explicit LabelCounter(std::int32_t start) : next_(start) {}

    // The current value; the counter advances by one.
    std::int32_t nextLabel() {
        if (next_ == std::numeric_limits<std::int32_t>::max()) throw InternalError("nextLabel: label counter overflow");
        return next_++;
    }
    std::int32_t value() const { return next_; }

private:
    std::int32_t next_;
};

// Runs action(counter) with the counter started at `start`; returns the
// action's result and the counter's final value minus 1 (the last label handed
// out, or start - 1 when none was taken).
template <class Action>
auto runWithLabels(Action&& action, std::int32_t start) {
    LabelCounter counter(start);
    auto result = action(counter);
    return std::make_pair(std::move(result), counter.value() - 1);
}

// f applied bottom-up to every node, each node rebuilt with its rebuilt
// children before f sees it: left sub-tree, right sub-tree, then the node.
template <class E, class F>
AbsTree<E> rebuildWithLabels(F& f, const AbsTree<E>& t, LabelCounter& counter) {
    if (isLeaf(t)) return f(t, counter);
    if (isUnaryNode(t)) {
        AbsTree<E> c = rebuildWithLabels<E>(f, child(t), counter);
        return f(updateChild<E>(std::move(c), t), counter);
    }
    if (isBinaryNode(t)) {
        AbsTree<E> l = rebuildWithLabels<E>(f, left(t), counter);
        AbsTree<E> r = rebuildWithLabels<E>(f, right(t), counter);
        return f(updateLeft<E>(std::move(l), updateRight<E>(std::move(r), t)), counter);
    }
    throw InternalError("rebuildWithLabels: unknown node kind");
}

// The accumulator threaded through f(node, acc, counter) over every node of t
// in post-order; f sees the nodes of t itself.
template <class E, class A, class F>
A foldPostWithLabels(F& f, A acc, const AbsTree<E>& t, LabelCounter& counter) {
    if (isUnaryNode(t)) {
        acc = foldPostWithLabels<E>(f, std::move(acc), child(t), counter);
    } else if (isBinaryNode(t)) {
        acc = foldPostWithLabels<E>(f, std::move(acc), left(t), counter);
        acc = foldPostWithLabels<E>(f, std::move(acc), right(t), counter);
    } else if (!isLeaf(t)) {
        throw InternalError("foldPostWithLabels: unknown node kind");
    }
    return f(t, std::move(acc), counter);
}

// Runs m, drops its result, then runs k with the counter m left.
template <class M, class K>
auto thenWithLabels(M&& m, K&& k, LabelCounter& counter) {
    static_cast<void>(m(counter));
    return k(counter);
}

// As foldPostWithLabels, but each node comes before its children: the node, then the
// left sub-tree, then the right sub-tree.
template <class E, class A, class F>
A foldPreWithLabels(F& f, A acc, const AbsTree<E>& t, LabelCounter& counter) {
    if (!isUnaryNode(t) && !isBinaryNode(t) && !isLeaf(t)) throw InternalError("foldPreWithLabels: unknown node kind");
    acc = f(t, std::move(acc), counter);
    if (isUnaryNode(t)) return foldPreWithLabels<E>(f, std::move(acc), child(t), counter);
    if (isBinaryNode(t)) {
        acc = foldPreWithLabels<E>(f, std::move(acc), left(t), counter);
        return foldPreWithLabels<E>(f, std::move(acc), right(t), counter);
    }
    return acc;
}

// f(element, acc, counter) applied to the elements from first to last; an
// empty sequence gives the seed and leaves the counter as it was.
template <class A, class F, class Range>
A foldListWithLabels(F& f, A acc, const Range& xs, LabelCounter& counter) {
    for (const auto& x : xs) acc = f(x, std::move(acc), counter);
    return acc;
}

}  // namespace axf::regex
