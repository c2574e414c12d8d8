#include "query/CombinationSteps.h"

#include <algorithm>
#include <cstddef>
#include <unordered_map>
#include <vector>

namespace axf::query {

EntryList andBestOrdered(EntrySpan first, EntrySpan second, std::int64_t n) {
    EntryList out;
    out.reserve(std::min(first.size(), second.size()));
    std::size_t i = 0, j = 0;
    while (i < first.size() && j < second.size()) {
        const EmbeddingEntry& x = first[i];
        const EmbeddingEntry& y = second[j];
        if (x.position == y.position) {
            out.push_back(joinEntries(x, y, n, "combineAndBest"));
            i = skipPosition(first, i + 1, x.position);
            j = skipPosition(second, j + 1, x.position);
        } else if (x.position < y.position) {
            ++i;
        } else {
            ++j;
        }
    }
    return out;
}

EntryList andAllInListOrder(EntrySpan first, EntrySpan second, std::int64_t n) {
    EntryList out;
    // The list for the next entry of the first list: the kept entries (those
    // of the last entry's position) followed by second[ti...].
    std::vector<const EmbeddingEntry*> kept, nextKept;
    std::size_t ti = 0;
    for (const EmbeddingEntry& x : first) {
        if (kept.empty() && ti == second.size()) break;
        nextKept.clear();
        bool stopped = false;
        for (std::size_t k = 0; k < kept.size(); ++k) {
            const EmbeddingEntry* y = kept[k];
            if (y->position == x.position) {
                out.push_back(joinEntries(x, *y, n, "combineAndAll"));
                nextKept.push_back(y);
            } else if (y->position > x.position) {
                nextKept.insert(nextKept.end(), kept.begin() + static_cast<std::ptrdiff_t>(k), kept.end());
                stopped = true;
                break;
            }
        }
        while (!stopped && ti < second.size()) {
            const EmbeddingEntry& y = second[ti];
            if (y.position == x.position) {
                out.push_back(joinEntries(x, y, n, "combineAndAll"));
                nextKept.push_back(&y);
                ++ti;
            } else if (y.position < x.position) {
                ++ti;
            } else {
                stopped = true;
            }
        }
        std::swap(kept, nextKept);
    }
    return out;
}

AndAllStepResult andAllStep(const EmbeddingEntry& x, EntrySpan second, std::int64_t n) {
    AndAllStepResult r;
    std::size_t i = 0;
    for (; i < second.size(); ++i) {
        const EmbeddingEntry& y = second[i];
        if (y.position == x.position) {
            r.joined.push_back(joinEntries(x, y, n, "combineAndAll"));
            r.rest.push_back(y);
        } else if (y.position > x.position) {
            break;
        }
    }
    r.rest.insert(r.rest.end(), second.begin() + static_cast<std::ptrdiff_t>(i), second.end());
    return r;
}

namespace {

// The joined entries of a and every entry of the second list's run that
// starts at `from` whose cost is at most `limit`, in list order. byCost lists
// the run's indices ascending by cost.
void joinUpTo(const EmbeddingEntry& a, EntrySpan second, std::size_t from, const std::vector<std::size_t>& byCost,
              std::int64_t limit, std::int64_t n, std::vector<std::size_t>& picked, EntryList& out) {
    auto end =
        std::upper_bound(byCost.begin(), byCost.end(), limit, [&](std::int64_t c, std::size_t k) { return c < second[k].cost; });
    if (end == byCost.end()) {
        for (std::size_t k = from; k < from + byCost.size(); ++k) out.push_back(joinEntries(a, second[k], n, "combineAndAll"));
        return;
    }
    picked.assign(byCost.begin(), end);
    std::sort(picked.begin(), picked.end());
    for (std::size_t k : picked) out.push_back(joinEntries(a, second[k], n, "combineAndAll"));
}

// The rule of the bounded `and` applied to a finished list.
EntryList keepWithinBound(EntryList all, const LowestCosts& bound) {
    std::unordered_map<std::int64_t, bool> within;  // position -> holds an entry within the bound
    for (const EmbeddingEntry& e : all)
        if (const std::int64_t* b = bound.find(e.position)) within[e.position] |= e.cost <= *b;
    EntryList out;
    for (const EmbeddingEntry& e : all) {
        const std::int64_t* b = bound.find(e.position);
        if (!b || e.cost <= *b) {
            out.push_back(e);
            continue;
        }
        bool& has = within[e.position];
        if (!has) {
            out.push_back(e);  // the first entry of a position that has none within the bound
            has = true;
        }
    }
    return out;
}

}  // namespace

EntryList andAllWithinBound(EntrySpan first, EntrySpan second, std::int64_t n, const LowestCosts& bound) {
    if (!ascendingByPosition(first) || !ascendingByPosition(second))
        return keepWithinBound(andAllInListOrder(first, second, n), bound);
    // Both lists ascend by position: the joined entries of a position are
    // every pair of its runs, by the first list's entry, then the second's.
    EntryList out;
    std::vector<std::size_t> byCost, picked;
    std::size_t i = 0, j = 0;
    while (i < first.size() && j < second.size()) {
        const std::int64_t p = first[i].position;
        const std::int64_t q = second[j].position;
        if (p != q) {
            if (p < q)
                i = skipPosition(first, i, p);
            else
                j = skipPosition(second, j, q);
            continue;
        }
        const std::size_t iEnd = skipPosition(first, i, p);
        const std::size_t jEnd = skipPosition(second, j, p);
        const std::int64_t* b = bound.find(p);
        if (!b) {
            for (std::size_t a = i; a < iEnd; ++a)
                for (std::size_t k = j; k < jEnd; ++k) out.push_back(joinEntries(first[a], second[k], n, "combineAndAll"));
        } else {
            byCost.clear();
            for (std::size_t k = j; k < jEnd; ++k) byCost.push_back(k);
            std::stable_sort(byCost.begin(), byCost.end(),
                             [&](std::size_t x, std::size_t y) { return second[x].cost < second[y].cost; });
            const std::size_t before = out.size();
            for (std::size_t a = i; a < iEnd; ++a) joinUpTo(first[a], second, j, byCost, *b - n - first[a].cost, n, picked, out);
            if (out.size() == before) out.push_back(joinEntries(first[i], second[j], n, "combineAndAll"));
        }
        i = iEnd;
        j = jEnd;
    }
    return out;
}

}  // namespace axf::query
