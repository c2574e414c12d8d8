#include "query/ManyListAnd.h"

#include <algorithm>
#include <cstddef>
#include <vector>

#include "query/CombinationSteps.h"
#include "query/TreeJoin.h"

namespace axf::query {

namespace {

// Whether every run of the position is of one cost.
bool singleCostRuns(std::span<const EntrySpan> lists, std::span<const std::size_t> starts, std::span<const std::size_t> ends) {
    for (std::size_t i = 0; i < lists.size(); ++i)
        for (std::size_t j = starts[i] + 1; j < ends[i]; ++j)
            if (lists[i][j].cost != lists[i][starts[i]].cost) return false;
    return true;
}

// The covering joins of one position (see CoverScope) when every run is of
// one cost: the entries of the full product, in its order, whose operands are
// the first of their runs but one; only the first when the bound leaves out
// every entry. False, with nothing emitted, when some run mixes costs.
bool coverJoin(std::span<const EntrySpan> lists, std::span<const std::size_t> starts, std::span<const std::size_t> ends,
               std::int64_t n, const std::int64_t* bound, std::vector<const EmbeddingEntry*>& picked, EntryList& out) {
    if (!singleCostRuns(lists, starts, ends)) return false;
    const std::size_t k = lists.size();
    for (std::size_t i = 0; i < k; ++i) picked[i] = &lists[i][starts[i]];
    EmbeddingEntry first = joinEntryList(picked, n, "combineAndAll");
    const bool within = !bound || first.cost <= *bound;
    out.push_back(std::move(first));
    if (!within) return true;
    // The full product varies the last list fastest.
    for (std::size_t i = k; i-- > 0;) {
        for (std::size_t j = starts[i] + 1; j < ends[i]; ++j) {
            picked[i] = &lists[i][j];
            out.push_back(joinEntryList(picked, n, "combineAndAll"));
        }
        picked[i] = &lists[i][starts[i]];
    }
    return true;
}

// Steps through the positions that every list holds, in ascending order, and
// calls f(p, starts, ends) with each list's run of that position. Every list
// ascends by position and none is empty.
template <class F>
void forCommonPositions(std::span<const EntrySpan> lists, F f) {
    const std::size_t k = lists.size();
    std::vector<std::size_t> at(k, 0), ends(k, 0);
    for (;;) {
        std::int64_t p = lists[0][at[0]].position;
        bool aligned = false;
        while (!aligned) {
            aligned = true;
            for (std::size_t i = 0; i < k; ++i) {
                const EntrySpan l = lists[i];
                while (at[i] < l.size() && l[at[i]].position < p) ++at[i];
                if (at[i] == l.size()) return;
                if (l[at[i]].position > p) {
                    p = l[at[i]].position;
                    aligned = false;
                }
            }
        }
        bool exhausted = false;
        for (std::size_t i = 0; i < k; ++i) {
            ends[i] = skipPosition(lists[i], at[i], p);
            exhausted |= ends[i] == lists[i].size();
        }
        f(p, std::span<const std::size_t>(at), std::span<const std::size_t>(ends));
        if (exhausted) return;
        at = ends;
    }
}

// The joins of combineAndAll over lists that each ascend by position, one
// position at a time; the buffers are kept from position to position.
class ManyListJoin {
public:
    ManyListJoin(std::span<const EntrySpan> lists, std::int64_t n, EntryList& out)
        : lists_(lists),
          k_(lists.size()),
          n_(n),
          added_(n * static_cast<std::int64_t>(lists.size() - 1)),
          out_(out),
          picked_(k_),
          cur_(k_),
          pos_(k_),
          minRest_(k_ + 1),
          partial_(k_ + 1),
          byCost_(k_),
          allowed_(k_) {}

    // The joined entries of one position whose runs are [starts, ends), the
    // bound of the position (or nullptr) applied.
    void position(std::span<const std::size_t> starts, std::span<const std::size_t> ends, const std::int64_t* bound) {
        if (coveringJoinsActive() && coverJoin(lists_, starts, ends, n_, bound, picked_, out_)) return;
        if (!bound) {
            joinEvery(starts, ends);
            return;
        }
        const std::size_t before = out_.size();
        joinWithin(starts, ends, *bound);
        if (out_.size() == before) {
            for (std::size_t j = 0; j < k_; ++j) picked_[j] = &lists_[j][starts[j]];
            out_.push_back(joinEntryList(picked_, n_, "combineAndAll"));
        }
    }

private:
    // Every combination, the first list's entry outermost.
    void joinEvery(std::span<const std::size_t> starts, std::span<const std::size_t> ends) {
        std::copy(starts.begin(), starts.end(), cur_.begin());
        for (;;) {
            for (std::size_t i = 0; i < k_; ++i) picked_[i] = &lists_[i][cur_[i]];
            out_.push_back(joinEntryList(picked_, n_, "combineAndAll"));
            std::size_t i = k_;
            while (i > 0 && ++cur_[i - 1] == ends[i - 1]) {
                cur_[i - 1] = starts[i - 1];
                --i;
            }
            if (i == 0) break;
        }
    }

    // Only the combinations within the bound, in the same order: at each
    // list, the entries that still leave a total within the bound with the
    // cheapest entries of the lists after it.
    void joinWithin(std::span<const std::size_t> starts, std::span<const std::size_t> ends, std::int64_t bound) {
        sortRunsByCost(starts, ends);
        partial_[0] = 0;
        allow(0, bound);
        if (allowed_[0].empty()) return;
        std::size_t i = 0;
        for (;;) {
            partial_[i + 1] = partial_[i] + lists_[i][allowed_[i][pos_[i]]].cost;
            if (i + 1 < k_) {
                allow(++i, bound);  // never empty: the cheapest entry fits
                continue;
            }
            for (std::size_t j = 0; j < k_; ++j) picked_[j] = &lists_[j][allowed_[j][pos_[j]]];
            out_.push_back(joinEntryList(picked_, n_, "combineAndAll"));
            std::size_t up = k_;
            while (up > 0 && ++pos_[up - 1] == allowed_[up - 1].size()) --up;
            if (up == 0) break;
            i = up - 1;
        }
    }

    // Each run's indices ascending by cost, and the least cost the runs from
    // each list on can add.
    void sortRunsByCost(std::span<const std::size_t> starts, std::span<const std::size_t> ends) {
        minRest_[k_] = 0;
        for (std::size_t i = k_; i-- > 0;) {
            std::int64_t m = lists_[i][starts[i]].cost;
            for (std::size_t j = starts[i] + 1; j < ends[i]; ++j) m = std::min(m, lists_[i][j].cost);
            minRest_[i] = minRest_[i + 1] + m;
            byCost_[i].clear();
            for (std::size_t j = starts[i]; j < ends[i]; ++j) byCost_[i].push_back(j);
            const EntrySpan l = lists_[i];
            std::stable_sort(byCost_[i].begin(), byCost_[i].end(),
                             [&](std::size_t x, std::size_t y) { return l[x].cost < l[y].cost; });
        }
    }

    // The entries of list i, in list order, that keep the total within the
    // bound after the entries chosen in the lists before it.
    void allow(std::size_t i, std::int64_t bound) {
        const std::int64_t limit = bound - added_ - partial_[i] - minRest_[i + 1];
        const EntrySpan l = lists_[i];
        auto end = std::upper_bound(byCost_[i].begin(), byCost_[i].end(), limit,
                                    [&](std::int64_t c, std::size_t x) { return c < l[x].cost; });
        allowed_[i].assign(byCost_[i].begin(), end);
        std::sort(allowed_[i].begin(), allowed_[i].end());
        pos_[i] = 0;
    }

    std::span<const EntrySpan> lists_;
    std::size_t k_;
    std::int64_t n_;
    std::int64_t added_;
    EntryList& out_;
    std::vector<const EmbeddingEntry*> picked_;
    std::vector<std::size_t> cur_, pos_;
    std::vector<std::int64_t> minRest_, partial_;
    std::vector<std::vector<std::size_t>> byCost_, allowed_;
};

}  // namespace

EntryList combineAndAll(std::span<const EntrySpan> lists, std::int64_t n, const LowestCosts* bound) {
    if (lists.empty()) return {};
    for (EntrySpan l : lists)
        if (l.empty()) return {};
    if (lists.size() == 1) return EntryList(lists[0].begin(), lists[0].end());
    EntryList out;
    ManyListJoin join(lists, n, out);
    forCommonPositions(lists, [&](std::int64_t p, std::span<const std::size_t> starts, std::span<const std::size_t> ends) {
        join.position(starts, ends, bound ? bound->find(p) : nullptr);
    });
    return out;
}

EntryList combineAndBest(std::span<const EntrySpan> lists, std::int64_t n) {
    if (lists.empty()) return {};
    for (EntrySpan l : lists)
        if (l.empty()) return {};
    if (lists.size() == 1) return EntryList(lists[0].begin(), lists[0].end());
    const std::size_t k = lists.size();
    EntryList out;
    std::vector<const EmbeddingEntry*> picked(k);
    forCommonPositions(lists, [&](std::int64_t, std::span<const std::size_t> starts, std::span<const std::size_t> ends) {
        // Each list's first entry of the lowest cost of the position.
        for (std::size_t i = 0; i < k; ++i) {
            const EmbeddingEntry* best = &lists[i][starts[i]];
            for (std::size_t j = starts[i] + 1; j < ends[i]; ++j)
                if (lists[i][j].cost < best->cost) best = &lists[i][j];
            picked[i] = best;
        }
        out.push_back(joinEntryList(picked, n, "combineAndBest"));
    });
    return out;
}

LowestCosts lowestOfAndAll(std::span<const EntrySpan> lists, std::int64_t n) {
    LowestCosts out;
    if (lists.empty()) return out;
    if (lists.size() == 1) return LowestCosts(lists[0]);
    for (EntrySpan l : lists)
        if (l.empty()) return out;
    const std::int64_t added = n * static_cast<std::int64_t>(lists.size() - 1);
    forCommonPositions(lists, [&](std::int64_t p, std::span<const std::size_t> starts, std::span<const std::size_t> ends) {
        std::int64_t total = added;
        for (std::size_t i = 0; i < lists.size(); ++i) {
            std::int64_t m = lists[i][starts[i]].cost;
            for (std::size_t j = starts[i] + 1; j < ends[i]; ++j) m = std::min(m, lists[i][j].cost);
            total += m;
        }
        out.add(p, total);
    });
    return out;
}

}  // namespace axf::query
