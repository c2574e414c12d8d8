#include "query/DescendantWalk.h"

#include <algorithm>
#include <cstddef>
#include <limits>
#include <memory>
#include <vector>

#include "common/Fatal.h"
#include "query/EmbeddingInternal.h"
#include "query/FailureTree.h"
#include "query/MatchStamp.h"
#include "query/RangeMinimum.h"
#include "query/TreeJoin.h"

namespace axf::query {

using xml::ELNode;
using xml::Tree;

namespace {

// Index of the first entry at or after `from` whose position is greater than
// `position`. The search gallops forward from `from` before it bisects, so
// finding an entry d places ahead reads O(log d) entries near `from`: the
// walk's successive searches stay local in the list instead of bisecting its
// whole rest each time.
std::size_t firstAfter(EntrySpan list, std::size_t from, std::int64_t position) {
    const std::size_t n = list.size();
    if (from >= n || list[from].position > position) return from;
    std::size_t below = from;  // list[below].position <= position
    std::size_t step = 1;
    while (step < n - below && list[below + step].position <= position) {
        below += step;
        step *= 2;
    }
    const std::size_t end = std::min(n, below + step);
    auto it = std::upper_bound(list.begin() + std::ptrdiff_t(below) + 1, list.begin() + std::ptrdiff_t(end), position,
                               [](std::int64_t p, const EmbeddingEntry& e) { return p < e.position; });
    return std::size_t(it - list.begin());
}

// The candidates inside one parent's subtree: [lo, hi) of the list; nested
// when the parent lies inside an earlier parent's subtree.
struct CandidateRange {
    std::size_t lo = 0, hi = 0;
    bool nested = false;
};

// The walk over the parents, ascending by position, with a cursor over the
// candidate list that moves forward with them.
class DescendantWalk {
public:
    DescendantWalk(const CandidateView& cands, const WalkSettings& settings)
        : cands_(cands), s_(settings), list_(cands.list), n_(cands.list.size()) {}

    SearchResult run(EntrySpan parents) {
        SearchResult out;
        out.entries.reserve(parents.size());  // one entry per parent, except for ties in mode all
        try {
            for (const EmbeddingEntry& x : parents) step(x, out.entries);
        } catch (const Fatal&) {
            out.failure = std::current_exception();
        } catch (const InternalError&) {
            out.failure = std::current_exception();
        }
        return out;
    }

private:
    std::int64_t cost(const EmbeddingEntry& e) const {
        return e.cost + cands_.addCost + (cands_.addRenaming ? e.renamingCost : 0);
    }
    const Tree* tree(const EmbeddingEntry& e) const {
        return cands_.stamp ? stampLeaf(e.tree, *cands_.stamp, e.position, "descendantWalk") : e.tree;
    }

    // The candidates inside x's subtree. A parent nested in an earlier one
    // searches from the first candidate of the parent before it; any other
    // from the cursor, which it moves past its own subtree.
    CandidateRange rangeOf(const EmbeddingEntry& x) {
        CandidateRange r;
        r.nested = x.position <= outerLast_;
        r.lo = firstAfter(list_, r.nested ? lastLo_ : cursor_, x.position);
        r.hi = firstAfter(list_, r.lo, x.last);
        lastLo_ = r.lo;
        if (!r.nested) {
            outerLast_ = x.last;
            cursor_ = r.hi;
        }
        return r;
    }

    // The walk's step for one parent: its entries, appended to out.
    void step(const EmbeddingEntry& x, EntryList& out) {
        const CandidateRange r = rangeOf(x);
        // The search of this parent reads up to the first candidate past
        // its subtree; the end of the list is where a pending failure sits.
        if (r.hi == n_ && cands_.failure) std::rethrow_exception(cands_.failure);
        chosen_.clear();
        std::int64_t best = 0;
        if (r.lo < r.hi) {
            if (r.nested && r.hi - r.lo > 256) {
                if (!chooseByRangeMinimum(r, x, best)) return;
            } else {
                chooseByScan(r, best);
            }
        }
        emit(x, best, out);
    }

    // The cheapest candidates of a large nested range, read from the range
    // minimum built for the first of them; false when exactOnly drops the
    // parent before its ties are gathered.
    bool chooseByRangeMinimum(const CandidateRange& r, const EmbeddingEntry& x, std::int64_t& best) {
        if (!rmq_) {
            std::vector<std::int64_t> values(n_);
            for (std::size_t i = 0; i < n_; ++i) values[i] = cost(list_[i]) + list_[i].depth;
            rmq_ = std::make_unique<RangeMinimum>(std::move(values));
        }
        std::uint32_t i = rmq_->leftmostMin(r.lo, r.hi);
        best = rmq_->value(i);
        if (s_.exactOnly && best - x.depth - s_.insCost > 0 && s_.altCost > 0) return false;
        chosen_.push_back(i);
        while (s_.allMode && i + 1 < r.hi) {
            i = rmq_->leftmostMin(i + 1, r.hi);
            if (rmq_->value(i) != best) break;
            chosen_.push_back(i);
        }
        return true;
    }

    // The cheapest candidates of a range read one by one.
    void chooseByScan(const CandidateRange& r, std::int64_t& best) {
        best = cost(list_[r.lo]) + list_[r.lo].depth;
        chosen_.push_back(r.lo);
        for (std::size_t i = r.lo + 1; i < r.hi; ++i) {
            std::int64_t d = cost(list_[i]) + list_[i].depth;
            if (d < best) {
                best = d;
                chosen_.clear();
                chosen_.push_back(i);
            } else if (d == best && s_.allMode) {
                chosen_.push_back(i);
            }
        }
    }

    // The entries of parent x: the child left out, or the chosen candidates
    // the branch number picks, each under a new root of x's label.
    void emit(const EmbeddingEntry& x, std::int64_t best, EntryList& out) const {
        const bool canLeaveOut = s_.altCost != kNoEmbeddingCost;
        if (chosen_.empty() && !canLeaveOut) return;
        const std::int64_t via = chosen_.empty() ? s_.altCost : best - x.depth - s_.insCost;
        const bool leaveOut = chosen_.empty() || (canLeaveOut && via > s_.altCost);
        if (s_.exactOnly && (leaveOut ? s_.altCost : via) > 0) return;
        const std::string& q = *s_.parentNumber;
        if (leaveOut) {
            EmbeddingEntry e = x;
            e.cost = s_.altCost;
            e.tree = stampLeaf(x.tree, q, x.position, "descendantWalk");
            out.push_back(e);
            return;
        }
        const std::int64_t branch = s_.branch;
        if (branch > 0 && std::int64_t(chosen_.size()) < branch)
            throw Fatal("Attention: the " + std::to_string(branch) + "th son of the tag specified couldn't be found");
        const std::string label = resultLabel(index::getMapName(x.position, *s_.mapping), q, x.position);
        auto emitOne = [&](std::size_t i) {
            const Tree* kid = tree(list_[i]);
            const Tree* wrapped = kid;
            if (!isDeferredFailure(kid)) {
                wrapped = xml::makeTree(ELNode{label, {}}, {kid});
                JoinScope::noteParent(wrapped, kid);
            }
            out.push_back(EmbeddingEntry{x.position, x.depth, x.last, x.renamingCost, via, wrapped});
        };
        if (branch == 0) {
            for (std::size_t i : chosen_) emitOne(i);
        } else if (branch > 0) {
            emitOne(chosen_[std::size_t(branch - 1)]);
        } else {
            emitOne(chosen_.back());
        }
    }

    const CandidateView& cands_;
    const WalkSettings& s_;
    EntrySpan list_;
    std::size_t n_;
    std::unique_ptr<RangeMinimum> rmq_;  // built for the first large nested range
    std::int64_t outerLast_ = std::numeric_limits<std::int64_t>::min();
    std::size_t cursor_ = 0;  // candidates before it lie at or before every later parent
    std::size_t lastLo_ = 0;  // parents ascend, so each one's first candidate does too
    std::vector<std::size_t> chosen_;
};

}  // namespace

SearchResult descendantWalk(EntrySpan parents, const CandidateView& candidates, const WalkSettings& settings) {
    return DescendantWalk(candidates, settings).run(parents);
}

SearchResult descendantJoin(EntrySpan parents, const SearchResult& candidates, const std::string& parentNumber,
                            std::int64_t insCost, std::int64_t altCost, const index::Mapping& mapping, std::int64_t branch,
                            SearchMode mode) {
    CandidateView view;
    view.list = candidates.entries;
    view.failure = candidates.failure;
    WalkSettings settings;
    settings.insCost = insCost;
    settings.altCost = altCost;
    settings.branch = branch;
    settings.allMode = mode == SearchMode::All;
    settings.parentNumber = &parentNumber;
    settings.mapping = &mapping;
    return descendantWalk(parents, view, settings);
}

}  // namespace axf::query
