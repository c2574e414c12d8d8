#include "regex/PositionSets.h"

#include <algorithm>
#include <limits>

namespace axf::regex {

bool posMember(Pos x, const PosSet& s) { return std::binary_search(s.begin(), s.end(), x); }

PosSet posUnion(const PosSet& a, const PosSet& b) {
    PosSet out;
    out.reserve(a.size() + b.size());
    std::set_union(a.begin(), a.end(), b.begin(), b.end(), std::back_inserter(out));
    return out;
}

PosSet posMinus(const PosSet& a, const PosSet& b) {
    PosSet out;
    std::set_difference(a.begin(), a.end(), b.begin(), b.end(), std::back_inserter(out));
    return out;
}

PosSet posIntersect(const PosSet& a, const PosSet& b) {
    PosSet out;
    std::set_intersection(a.begin(), a.end(), b.begin(), b.end(), std::back_inserter(out));
    return out;
}

PosSet bagToSet(const PosBag& a) {
    PosSet out;
    out.reserve(a.size());
    for (const auto& entry : a) out.push_back(entry.first);
    return out;
}

// ---------------------------------------------------------------------------
// PositionStore

SetRef PositionStore::single(Pos p) {
    if (cells_.size() >= std::size_t(std::numeric_limits<SetRef>::max())) throw InternalError("PositionStore: too many sets");
    cells_.push_back(Cell{1, p, p, kEmptySet, kEmptySet});
    return SetRef(cells_.size() - 1);
}

SetRef PositionStore::concat(SetRef a, SetRef b) {
    if (a == kEmptySet) return b;
    if (b == kEmptySet) return a;
    const Cell& l = cell(a);
    const Cell& r = cell(b);
    if (l.hi >= r.lo) throw InternalError("PositionStore::concat: sets not in order");
    if (cells_.size() >= std::size_t(std::numeric_limits<SetRef>::max())) throw InternalError("PositionStore: too many sets");
    Cell c{l.size + r.size, l.lo, r.hi, a, b};
    cells_.push_back(c);
    return SetRef(cells_.size() - 1);
}

void PositionStore::appendTo(SetRef s, PosSet& out) const {
    if (s == kEmptySet) return;
    // Left to right through the cells, on a stack of its own.
    std::vector<SetRef> stack{s};
    while (!stack.empty()) {
        const Cell& c = cell(stack.back());
        stack.pop_back();
        if (c.size == 1) {
            out.push_back(c.lo);
        } else {
            stack.push_back(c.right);
            stack.push_back(c.left);
        }
    }
}

PosSet PositionStore::toSet(SetRef s) const {
    PosSet out;
    out.reserve(std::size_t(size(s)));
    appendTo(s, out);
    return out;
}

PosSet PositionStore::unionOf(std::vector<SetRef> sets) const {
    std::sort(sets.begin(), sets.end());
    sets.erase(std::unique(sets.begin(), sets.end()), sets.end());
    if (sets.empty()) return {};
    if (sets.size() == 1) return toSet(sets.front());
    // Sets made from one another share cells, and every position has one
    // single cell: a walk that enters each cell once reads each member once,
    // however much the sets overlap.
    if (seen_.size() < cells_.size()) seen_.resize(cells_.size(), 0);
    if (++visit_ == 0) {
        std::fill(seen_.begin(), seen_.end(), 0);
        visit_ = 1;
    }
    PosSet out;
    std::vector<SetRef> stack;
    for (SetRef s : sets) {
        stack.push_back(s);
        while (!stack.empty()) {
            SetRef r = stack.back();
            stack.pop_back();
            const Cell& c = cell(r);
            if (seen_[std::size_t(r)] == visit_) continue;
            seen_[std::size_t(r)] = visit_;
            if (c.size == 1) {
                out.push_back(c.lo);
            } else {
                stack.push_back(c.right);
                stack.push_back(c.left);
            }
        }
    }
    std::sort(out.begin(), out.end());
    return out;
}

// ---------------------------------------------------------------------------
// FollowIndex

void FollowIndex::add(SetRef from, SetRef to, std::int32_t d, bool counted) {
    if (to == kEmptySet) return;
    std::vector<std::vector<FollowRun>>& table = counted ? counted_ : plain_;
    for (Pos p : store_->toSet(from)) {
        if (p < 1 || std::size_t(p) >= table.size()) throw InternalError("FollowIndex::add: position outside the tree");
        std::vector<FollowRun>& runs = table[std::size_t(p)];
        if (!runs.empty() && runs.back().targets == to) {
            if (runs.back().maxDepth >= d) throw InternalError("FollowIndex::add: constructs out of order");
            runs.back().maxDepth = d;
        } else {
            if (!runs.empty() && runs.back().maxDepth >= d) throw InternalError("FollowIndex::add: constructs out of order");
            runs.push_back(FollowRun{d, d, to});
        }
    }
}

void FollowIndex::sortDepths() { std::sort(depth_.begin(), depth_.end()); }

std::int32_t FollowIndex::depthOf(const void* node) const {
    auto it = std::lower_bound(depth_.begin(), depth_.end(), std::make_pair(node, std::numeric_limits<std::int32_t>::min()));
    if (it == depth_.end() || it->first != node) throw InternalError("FollowIndex::depthOf: node not indexed");
    return it->second;
}

const std::vector<FollowRun>& FollowIndex::runs(const std::vector<std::vector<FollowRun>>& table, Pos p) const {
    if (p < 1 || std::size_t(p) >= table.size()) throw InternalError("FollowIndex: position outside the tree");
    return table[std::size_t(p)];
}

void FollowIndex::below(const std::vector<FollowRun>& runs, std::int32_t d, std::vector<SetRef>& out) const {
    auto from = std::partition_point(runs.begin(), runs.end(), [d](const FollowRun& r) { return r.maxDepth <= d; });
    for (auto it = from; it != runs.end(); ++it) out.push_back(it->targets);
}

void FollowIndex::allFrom(Pos p, std::vector<SetRef>& out) const {
    for (const FollowRun& r : runs(plain_, p)) out.push_back(r.targets);
    for (const FollowRun& r : runs(counted_, p)) out.push_back(r.targets);
}

void FollowIndex::plainBelow(Pos p, std::int32_t d, std::vector<SetRef>& out) const { below(runs(plain_, p), d, out); }

void FollowIndex::plainAbove(Pos p, std::int32_t d, std::vector<SetRef>& out) const {
    const std::vector<FollowRun>& rs = runs(plain_, p);
    for (auto it = rs.begin(); it != rs.end() && it->minDepth < d; ++it) out.push_back(it->targets);
}

void FollowIndex::allBelow(Pos p, std::int32_t d, std::vector<SetRef>& out) const {
    below(runs(plain_, p), d, out);
    below(runs(counted_, p), d, out);
}

}  // namespace axf::regex
