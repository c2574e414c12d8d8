#include "query/CombinationSteps.h"

#include <cstddef>
#include <vector>

namespace axf::query {

EntryList orBestOrdered(EntrySpan first, EntrySpan second, std::int64_t n) {
    EntryList out;
    out.reserve(first.size() + second.size());
    std::size_t i = 0, j = 0;
    while (i < first.size() || j < second.size()) {
        if (i == first.size()) {
            out.push_back(withCost(second[j], n));
            j = skipPosition(second, j + 1, second[j].position);
        } else if (j == second.size()) {
            out.push_back(withCost(first[i], n));
            i = skipPosition(first, i + 1, first[i].position);
        } else {
            const EmbeddingEntry& x = first[i];
            const EmbeddingEntry& y = second[j];
            if (x.position < y.position) {
                out.push_back(withCost(x, n));
                ++i;
            } else if (x.position > y.position) {
                out.push_back(withCost(y, n));
                ++j;
            } else {
                if (x.cost < y.cost)
                    out.push_back(withCost(x, n));
                else if (x.cost > y.cost)
                    out.push_back(withCost(y, n));
                else
                    out.push_back(joinEntries(x, y, n, "combineOrBest"));
                const std::int64_t p = x.position;
                i = skipPosition(first, i + 1, p);
                j = skipPosition(second, j + 1, p);
            }
        }
    }
    return out;
}

namespace {

// ---- the `or` step of mode all over a list that can grow at its front ----
//
// The step hands back the second list with entries put back in front of a
// suffix, so the second list is kept as cells of a singly linked list: the
// input's cells first, each pointing at the next, then cells that a step
// puts in front of another.

constexpr std::int64_t kEnd = -1;

struct CellList {
    struct Cell {
        const EmbeddingEntry* entry;
        std::int64_t next;
    };
    std::vector<Cell> cells;

    std::int64_t fromSpan(EntrySpan s) {
        if (s.empty()) return kEnd;
        const std::int64_t base = static_cast<std::int64_t>(cells.size());
        for (std::size_t i = 0; i < s.size(); ++i)
            cells.push_back({&s[i], i + 1 < s.size() ? base + static_cast<std::int64_t>(i) + 1 : kEnd});
        return base;
    }
    const EmbeddingEntry& at(std::int64_t c) const { return *cells[static_cast<std::size_t>(c)].entry; }
    std::int64_t next(std::int64_t c) const { return cells[static_cast<std::size_t>(c)].next; }
    std::int64_t pastPosition(std::int64_t p, std::int64_t c) const {
        while (c != kEnd && at(c).position == p) c = next(c);
        return c;
    }
    std::int64_t cons(const EmbeddingEntry* e, std::int64_t rest) {
        cells.push_back({e, rest});
        return static_cast<std::int64_t>(cells.size()) - 1;
    }
    EntryList toList(std::int64_t c) const {
        EntryList r;
        for (; c != kEnd; c = next(c)) r.push_back(at(c));
        return r;
    }
};

// Where a step leaves the two lists: the cell that heads the second list and
// the rest of the first list.
struct StepLeft {
    std::int64_t second;
    EntrySpan first;
    // a was joined, and the step emitted nothing past the entries it joined.
    bool endedClean = false;
};

// Puts the kept cells back in front of what is left of the second list, in
// their order, so that the next entry of the first list meets them again.
void putBackKept(CellList& list, const std::vector<std::int64_t>& kept, StepLeft& left) {
    if (kept.empty()) return;
    // When the kept cells still form the chain that leads to what is left,
    // the first of them already heads the list to hand back.
    bool chained = true;
    for (std::size_t i = 0; i < kept.size() && chained; ++i)
        chained = list.next(kept[i]) == (i + 1 < kept.size() ? kept[i + 1] : left.second);
    if (chained) {
        left.second = kept.front();
    } else {
        for (std::size_t i = kept.size(); i-- > 0;) left.second = list.cons(list.cells[kept[i]].entry, left.second);
    }
}

// One step of the `or` in mode all for the entry a of the first list (rest:
// the first list after a) against the second list headed by the cell ys; what
// it emits goes to out.
//  - joined: a was already joined with an entry of the second list, and so
//    emitted; a is then not emitted on its own again.
//  - mark: the next entry of the first list ties with a (same position and
//    cost, headTiesWith). The entries a is joined with then stay in the second
//    list, for that entry to meet, and the first list is not moved past a's
//    position.
//  - kept: filled with the cells joined with a while the mark is set (a
//    buffer of the caller's, cleared here); they are put back in front of the
//    second list handed on.
// With firstJoinOnly (the run a ends was joined in full with the entries a
// meets; see CoverScope), a is joined with the first of them alone.
StepLeft orAllStep(const EmbeddingEntry& a, CellList& list, std::int64_t ys, EntrySpan rest, std::int64_t n, bool joined,
                   bool mark, std::vector<std::int64_t>& kept, EntryList& out, bool firstJoinOnly = false) {
    const std::int64_t pa = a.position;
    const std::int64_t ca = a.cost;
    kept.clear();
    StepLeft left{kEnd, rest};
    std::int64_t cur = ys;
    for (;;) {
        if (cur == kEnd) {
            if (!joined) out.push_back(withCost(a, n));
            left = {kEnd, joined && !mark ? afterPosition(pa, rest) : rest, joined};
            break;
        }
        const EmbeddingEntry& x = list.at(cur);
        const std::int64_t xs = list.next(cur);
        if (pa < x.position) {
            if (!joined) out.push_back(withCost(a, n));
            left = {cur, joined && !mark ? afterPosition(pa, rest) : rest, joined};
            break;
        }
        if (pa > x.position) {
            out.push_back(withCost(x, n));
            joined = false;
            cur = xs;
            continue;
        }
        if (ca < x.cost) {
            if (!joined) out.push_back(withCost(a, n));
            if (mark)
                left = {cur, rest, joined};
            else
                left = {list.pastPosition(x.position, xs), afterPosition(pa, rest), joined};
            break;
        }
        if (ca > x.cost) {
            out.push_back(withCost(x, n));
            for (std::int64_t c = xs; c != kEnd && list.at(c).position == x.position && list.at(c).cost == x.cost;
                 c = list.next(c))
                out.push_back(withCost(list.at(c), n));
            left = {list.pastPosition(x.position, xs), afterPosition(pa, rest)};
            break;
        }
        if (!firstJoinOnly || !joined) out.push_back(joinEntries(a, x, n, "combineOrAll"));
        joined = true;
        if (mark) kept.push_back(cur);
        cur = xs;
    }
    putBackKept(list, kept, left);
    return left;
}

}  // namespace

EntryList orAllOrdered(EntrySpan first, EntrySpan second, std::int64_t n) {
    EntryList out;
    out.reserve(first.size() + second.size());
    CellList list;
    list.cells.reserve(second.size());
    std::int64_t ys = list.fromSpan(second);
    EntrySpan xs = first;
    std::vector<std::int64_t> kept;
    const bool covering = coveringJoinsActive();
    bool marked = false;  // the last step's entry ties with the next one
    bool clean = false;   // and that step ended clean (StepLeft)
    while (!xs.empty() && ys != kEnd) {
        const EmbeddingEntry& a = xs.front();
        EntrySpan rest = xs.subspan(1);
        // The entry before a in its run was joined with every entry a meets.
        const bool covered = covering && marked && !kept.empty();
        const bool wasMarked = marked;
        marked = headTiesWith(a, rest);
        if (covered && clean && marked && wasMarked) {
            // a meets the run the entry before it met, at its head, and so
            // does the entry after it: a's step joins a with the head and
            // leaves both lists and the run as they are.
            out.push_back(joinEntries(a, list.at(ys), n, "combineOrAll"));
            xs = rest;
            continue;
        }
        StepLeft left = orAllStep(a, list, ys, rest, n, false, marked, kept, out, covered);
        ys = left.second;
        xs = left.first;
        clean = left.endedClean;
    }
    appendWithCost(xs, n, out);
    for (; ys != kEnd; ys = list.next(ys)) out.push_back(withCost(list.at(ys), n));
    return out;
}

OrAllStepResult orAllStep(const EmbeddingEntry& a, EntrySpan second, EntrySpan rest, std::int64_t n, bool joined, bool sameNext) {
    OrAllStepResult r;
    CellList list;
    std::vector<std::int64_t> kept;
    StepLeft left = orAllStep(a, list, list.fromSpan(second), rest, n, joined, sameNext, kept, r.emitted);
    r.secondLeft = list.toList(left.second);
    r.firstLeft.assign(left.first.begin(), left.first.end());
    return r;
}

}  // namespace axf::query
