#include "query/Combination.h"

#include <algorithm>
#include <cstddef>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <utility>
#include <variant>
#include <vector>

#include "common/CheckedSize.h"
#include "common/Fatal.h"
#include "query/CombinationSteps.h"
#include "xml/Arena.h"

namespace axf::query {

using xml::ELNode;
using xml::Tree;

EmbeddingEntry wholeQueryEntry(std::int64_t cost, const Tree* tree) {
    EmbeddingEntry r;
    r.position = 1;
    r.depth = 0;
    r.last = 0;
    r.renamingCost = 0;
    r.cost = cost;
    r.tree = tree;
    return r;
}

namespace {

EmbeddingEntry withCost(const EmbeddingEntry& e, std::int64_t n) {
    EmbeddingEntry r = e;
    r.cost = e.cost + n;
    return r;
}

// Index of the first entry at or after i whose position is not p.
std::size_t skipPosition(EntrySpan s, std::size_t i, std::int64_t p) {
    while (i < s.size() && s[i].position == p) ++i;
    return i;
}

const char* kindName(const Tree* t) {
    if (!t) return "missing";
    struct Visitor {
        const char* operator()(const xml::RTNode&) const { return "a document root"; }
        const char* operator()(const xml::ELNode&) const { return "an element"; }
        const char* operator()(const xml::TXNode&) const { return "a text node"; }
        const char* operator()(const xml::PINode&) const { return "a processing instruction"; }
        const char* operator()(const xml::CXNode&) const { return "a comment"; }
        const char* operator()(const xml::ENNode&) const { return "an entity reference"; }
        const char* operator()(const xml::FailureNode&) const { return "a failure"; }
    };
    return std::visit(Visitor{}, t->value);
}

// A new element root with the given name and attributes over the children of
// a followed by the children of b; the children arrays are written straight
// into the arena.
const Tree* concatUnder(ELNode root, std::span<const Tree* const> a, std::span<const Tree* const> b) {
    const std::size_t k = a.size() + b.size();
    const Tree** arr = nullptr;
    if (k != 0) {
        arr = static_cast<const Tree**>(xml::Arena::allocate(sizeof(const Tree*) * k, alignof(const Tree*)));
        std::copy(a.begin(), a.end(), arr);
        std::copy(b.begin(), b.end(), arr + a.size());
    }
    Tree* t = xml::Arena::make<Tree>();
    t->value = std::move(root);
    t->kids = arr;
    t->kidCount = xml::childCount(k);
    return t;
}

}  // namespace

struct JoinScope::State {
    // Deferred joins, and the trees built over one (both "hold" one).
    std::unordered_set<const Tree*> deferred, holding;
    std::unordered_map<const Tree*, const Tree*> resolved;
};

namespace {

thread_local JoinScope::State* activeJoins = nullptr;
thread_local bool coveringJoins = false;  // see CoverScope

// A deferred join: the root over the children of every part, in order.
const Tree* deferJoin(ELNode root, std::span<const Tree* const> parts) {
    const Tree** arr =
        static_cast<const Tree**>(xml::Arena::allocate(sizeof(const Tree*) * parts.size(), alignof(const Tree*)));
    std::copy(parts.begin(), parts.end(), arr);
    Tree* t = xml::Arena::make<Tree>();
    t->value = std::move(root);
    t->kids = arr;
    t->kidCount = xml::childCount(parts.size());
    activeJoins->deferred.insert(t);
    activeJoins->holding.insert(t);
    return t;
}

const Tree* joinTrees(const Tree* x, const Tree* y, std::string_view combination) {
    if (x && isDeferredFailure(x)) return x;
    const ELNode* ex = x ? std::get_if<ELNode>(&x->value) : nullptr;
    if (!ex) return makeDeferredFailure(std::string(combination) + ": first tree root is " + kindName(x));
    if (y && isDeferredFailure(y)) return y;
    if (!y || !std::holds_alternative<ELNode>(y->value))
        return makeDeferredFailure(std::string(combination) + ": second tree root is " + kindName(y));
    if (activeJoins) {
        const Tree* const parts[2] = {x, y};
        return deferJoin(ELNode{ex->name, ex->attributes}, parts);
    }
    return concatUnder(ELNode{ex->name, ex->attributes}, x->children(), y->children());
}

// Keeps a sorted input as it is and sorts a copy otherwise.
class Ordered {
public:
    template <class Less>
    Ordered(EntrySpan in, Less less) : in_(in) {
        if (!std::is_sorted(in.begin(), in.end(), less)) {
            storage_.assign(in.begin(), in.end());
            std::stable_sort(storage_.begin(), storage_.end(), less);
            sorted_ = true;
        }
    }
    EntrySpan view() const { return sorted_ ? EntrySpan(storage_) : in_; }

private:
    EntrySpan in_;
    EntryList storage_;
    bool sorted_ = false;
};

bool byPositionThenCost(const EmbeddingEntry& a, const EmbeddingEntry& b) {
    return a.position < b.position || (a.position == b.position && a.cost < b.cost);
}
bool byCost(const EmbeddingEntry& a, const EmbeddingEntry& b) { return a.cost < b.cost; }

Ordered positionOrdered(EntrySpan s) { return Ordered(s, byPositionThenCost); }

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

struct StepLeft {
    std::int64_t second;
    EntrySpan first;
    // a was joined, and the step emitted nothing past the entries it joined.
    bool endedClean = false;
};

// With firstJoinOnly (the run a ends was joined in full with the entries a
// meets; see CoverScope), a is joined with the first of them alone.
StepLeft minStep(const EmbeddingEntry& a, CellList& list, std::int64_t ys, EntrySpan rest, std::int64_t n,
                 bool joined, bool mark, std::vector<std::int64_t>& kept, EntryList& out,
                 bool firstJoinOnly = false) {
    const std::int64_t pa = a.position;
    const std::int64_t ca = a.cost;
    kept.clear();  // cells joined with a while the mark is set; they stay in the second list
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
    if (!kept.empty()) {
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
    return left;
}

void appendWithCost(EntrySpan s, std::int64_t n, EntryList& out) {
    for (const EmbeddingEntry& e : s) out.push_back(withCost(e, n));
}

// The steps shared by both xor workers: each step chooses one head, emit(list,
// index) writes what the mode emits for it, and the list or lists that held
// its position move past it.
template <class Emit>
void xorMerge(EntrySpan first, EntrySpan second, Emit emit) {
    std::size_t i = 0, j = 0;
    while (i < first.size() || j < second.size()) {
        if (i == first.size()) {
            emit(second, j);
            j = skipPosition(second, j + 1, second[j].position);
        } else if (j == second.size()) {
            emit(first, i);
            i = skipPosition(first, i + 1, first[i].position);
        } else {
            const EmbeddingEntry& x = first[i];
            const EmbeddingEntry& y = second[j];
            if (x.position < y.position) {
                emit(first, i);
                i = skipPosition(first, i + 1, x.position);
            } else if (x.position > y.position) {
                emit(second, j);
                j = skipPosition(second, j + 1, y.position);
            } else {
                if (x.cost <= y.cost)
                    emit(first, i);
                else
                    emit(second, j);
                const std::int64_t p = x.position;
                i = skipPosition(first, i + 1, p);
                j = skipPosition(second, j + 1, p);
            }
        }
    }
}

// Index of the cheapest entry: the first of the lowest cost. s is not empty.
std::size_t cheapest(EntrySpan s) {
    std::size_t best = 0;
    for (std::size_t i = 1; i < s.size(); ++i)
        if (s[i].cost < s[best].cost) best = i;
    return best;
}

// The entries of the lowest cost, in list order. s is not empty.
std::vector<const EmbeddingEntry*> lowestCostRun(EntrySpan s) {
    const std::int64_t c = s[cheapest(s)].cost;
    std::vector<const EmbeddingEntry*> run;
    for (const EmbeddingEntry& e : s)
        if (e.cost == c) run.push_back(&e);
    return run;
}

EntryList copies(const std::vector<const EmbeddingEntry*>& run) {
    EntryList out;
    out.reserve(run.size());
    for (const EmbeddingEntry* e : run) out.push_back(wholeQueryEntry(e->cost, e->tree));
    return out;
}

EmbeddingEntry combined(std::string_view op, const EmbeddingEntry& a, const EmbeddingEntry& b) {
    return wholeQueryEntry(a.cost + b.cost, buildExternalTree(op, a.tree, b.tree));
}

}  // namespace

// ---------------------------------------------------------------------------
// Failure trees.

const Tree* makeDeferredFailure(std::string_view message) {
    return xml::leafNode(xml::FailureNode{std::string(message)});
}

bool isDeferredFailure(const Tree* t) { return t && std::holds_alternative<xml::FailureNode>(t->value); }

std::string deferredFailureText(const Tree* t) {
    if (!isDeferredFailure(t)) return {};
    return std::get<xml::FailureNode>(t->value).message;
}

void throwIfDeferredFailure(const Tree* t) {
    if (t) xml::raiseIfFailure(t->value);
}

// ---------------------------------------------------------------------------
// Deferred joins.

JoinScope::JoinScope() : state_(std::make_unique<State>()), previous_(activeJoins) { activeJoins = state_.get(); }

CoverScope::CoverScope() : previous_(coveringJoins) { coveringJoins = true; }
CoverScope::~CoverScope() { coveringJoins = previous_; }

JoinScope::~JoinScope() { activeJoins = previous_; }

void JoinScope::noteParent(const Tree* parent, const Tree* child) {
    if (activeJoins && activeJoins->holding.count(child)) activeJoins->holding.insert(parent);
}

const Tree* JoinScope::resolve(const Tree* t) {
    State& st = *state_;
    if (!t || !st.holding.count(t)) return t;
    if (auto it = st.resolved.find(t); it != st.resolved.end()) return it->second;
    // Post-order over the trees that hold a deferred join: a node's children
    // (for a deferred join, the children of its parts, parts that are
    // deferred joins expanded in place) are made plain first.
    struct Frame {
        const Tree* node;
        std::vector<const Tree*> kids;
        std::size_t next = 0;
        bool changed = false;
    };
    std::vector<Frame> stack;
    std::vector<const Tree*> parts;
    auto open = [&](const Tree* n) {
        Frame f{n, {}, 0, st.deferred.count(n) != 0};
        if (f.changed) {
            parts.assign(n->kids, n->kids + n->kidCount);
            std::reverse(parts.begin(), parts.end());
            while (!parts.empty()) {
                const Tree* part = parts.back();
                parts.pop_back();
                if (st.deferred.count(part)) {
                    for (std::size_t i = part->kidCount; i-- > 0;) parts.push_back(part->kids[i]);
                } else {
                    f.kids.insert(f.kids.end(), part->kids, part->kids + part->kidCount);
                }
            }
        } else {
            f.kids.assign(n->kids, n->kids + n->kidCount);
        }
        stack.push_back(std::move(f));
    };
    open(t);
    while (!stack.empty()) {
        Frame& f = stack.back();
        if (f.next < f.kids.size()) {
            const Tree* c = f.kids[f.next];
            if (st.holding.count(c)) {
                auto it = st.resolved.find(c);
                if (it == st.resolved.end()) {
                    open(c);
                    continue;
                }
                if (it->second != c) {
                    f.kids[f.next] = it->second;
                    f.changed = true;
                }
            }
            ++f.next;
            continue;
        }
        const Tree* out = f.node;
        if (f.changed) {
            const Tree** arr = nullptr;
            if (!f.kids.empty()) {
                arr = static_cast<const Tree**>(
                    xml::Arena::allocate(sizeof(const Tree*) * f.kids.size(), alignof(const Tree*)));
                std::copy(f.kids.begin(), f.kids.end(), arr);
            }
            Tree* made = xml::Arena::make<Tree>();
            made->value = f.node->value;
            made->kids = arr;
            made->kidCount = xml::childCount(f.kids.size());
            out = made;
        }
        st.resolved.emplace(f.node, out);
        stack.pop_back();
    }
    return st.resolved.at(t);
}

// ---------------------------------------------------------------------------
// Position and same-cost list functions.

EntrySpan afterPosition(std::int64_t p, EntrySpan entries) { return entries.subspan(skipPosition(entries, 0, p)); }

bool headTiesWith(const EmbeddingEntry& e, EntrySpan entries) {
    return !entries.empty() && entries.front().position == e.position && entries.front().cost == e.cost;
}

EntryList extractSameCostandPre(std::int64_t p, std::int64_t c, std::int64_t k, EntrySpan entries) {
    EntryList out;
    for (const EmbeddingEntry& e : entries) {
        if (e.position != p || e.cost != c) break;
        out.push_back(withCost(e, k));
    }
    return out;
}

EntryList extractSameCost(std::int64_t c, EntrySpan entries) {
    EntryList out;
    for (const EmbeddingEntry& e : entries) {
        if (e.cost != c) break;
        out.push_back(wholeQueryEntry(e.cost, e.tree));
    }
    return out;
}

// ---------------------------------------------------------------------------
// Ordering.

bool embCostLeq(const EmbeddingEntry& a, const EmbeddingEntry& b) { return a.cost <= b.cost; }
bool embCostLt(const EmbeddingEntry& a, const EmbeddingEntry& b) { return a.cost < b.cost; }

EntryList embSort(EntrySpan entries) {
    const Ordered ordered(entries, byPositionThenCost);
    const EntrySpan v = ordered.view();
    return EntryList(v.begin(), v.end());
}

EntryList sortbyEmbcost(EntrySpan entries) {
    EntryList out(entries.begin(), entries.end());
    if (!std::is_sorted(out.begin(), out.end(), byCost)) std::stable_sort(out.begin(), out.end(), byCost);
    return out;
}

// ---------------------------------------------------------------------------
// Joins and the pairwise workers.

EmbeddingEntry joinEntries(const EmbeddingEntry& x, const EmbeddingEntry& y, std::int64_t n,
                           std::string_view combination) {
    EmbeddingEntry r = x;
    r.cost = x.cost + y.cost + n;
    r.tree = joinTrees(x.tree, y.tree, combination);
    return r;
}

namespace {

EntryList sumBest(EntrySpan first, EntrySpan second, std::int64_t n, std::string_view name) {
    EntryList out;
    out.reserve(std::min(first.size(), second.size()));
    std::size_t i = 0, j = 0;
    while (i < first.size() && j < second.size()) {
        const EmbeddingEntry& x = first[i];
        const EmbeddingEntry& y = second[j];
        if (x.position == y.position) {
            out.push_back(joinEntries(x, y, n, name));
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

EntryList minBest(EntrySpan first, EntrySpan second, std::int64_t n, std::string_view name) {
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
                    out.push_back(joinEntries(x, y, n, name));
                const std::int64_t p = x.position;
                i = skipPosition(first, i + 1, p);
                j = skipPosition(second, j + 1, p);
            }
        }
    }
    return out;
}

EntryList minAll(EntrySpan first, EntrySpan second, std::int64_t n) {
    EntryList out;
    out.reserve(first.size() + second.size());
    CellList list;
    list.cells.reserve(second.size());
    std::int64_t ys = list.fromSpan(second);
    EntrySpan xs = first;
    std::vector<std::int64_t> kept;
    bool marked = false;  // the last step's entry ties with the next one
    bool clean = false;   // and that step ended clean (StepLeft)
    while (!xs.empty() && ys != kEnd) {
        const EmbeddingEntry& a = xs.front();
        EntrySpan rest = xs.subspan(1);
        // The entry before a in its run was joined with every entry a meets.
        const bool covered = coveringJoins && marked && !kept.empty();
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
        StepLeft left = minStep(a, list, ys, rest, n, false, marked, kept, out, covered);
        ys = left.second;
        xs = left.first;
        clean = left.endedClean;
    }
    appendWithCost(xs, n, out);
    for (; ys != kEnd; ys = list.next(ys)) out.push_back(withCost(list.at(ys), n));
    return out;
}

EntryList sumAll(EntrySpan first, EntrySpan second, std::int64_t n) {
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

// The joined entries of a and every entry of the second list's run that
// starts at `from` whose cost is at most `limit`, in list order. byCost lists
// the run's indices ascending by cost.
void joinUpTo(const EmbeddingEntry& a, EntrySpan second, std::size_t from, const std::vector<std::size_t>& byCost,
              std::int64_t limit, std::int64_t n, std::vector<std::size_t>& picked, EntryList& out) {
    auto end = std::upper_bound(byCost.begin(), byCost.end(), limit,
                                [&](std::int64_t c, std::size_t k) { return c < second[k].cost; });
    if (end == byCost.end()) {
        for (std::size_t k = from; k < from + byCost.size(); ++k)
            out.push_back(joinEntries(a, second[k], n, "combineAndAll"));
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

EntryList sumAllBounded(EntrySpan first, EntrySpan second, std::int64_t n, const LowestCosts& bound) {
    if (!ascendingByPosition(first) || !ascendingByPosition(second))
        return keepWithinBound(sumAll(first, second, n), bound);
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
                for (std::size_t k = j; k < jEnd; ++k)
                    out.push_back(joinEntries(first[a], second[k], n, "combineAndAll"));
        } else {
            byCost.clear();
            for (std::size_t k = j; k < jEnd; ++k) byCost.push_back(k);
            std::stable_sort(byCost.begin(), byCost.end(),
                             [&](std::size_t x, std::size_t y) { return second[x].cost < second[y].cost; });
            const std::size_t before = out.size();
            for (std::size_t a = i; a < iEnd; ++a)
                joinUpTo(first[a], second, j, byCost, *b - n - first[a].cost, n, picked, out);
            if (out.size() == before) out.push_back(joinEntries(first[i], second[j], n, "combineAndAll"));
        }
        i = iEnd;
        j = jEnd;
    }
    return out;
}

// The joined entry of several operand entries, as folding joinEntries over
// them from the left gives it: the position, depth, last and renaming cost of
// the first, the sum of the costs plus n per join, and as tree the first
// failure or misshapen root met from the left, otherwise one root with the
// name and attributes of the first tree over the children of every tree.
EmbeddingEntry joinMany(std::span<const EmbeddingEntry* const> picked, std::int64_t n, std::string_view combination) {
    EmbeddingEntry r = *picked[0];
    for (std::size_t k = 1; k < picked.size(); ++k) r.cost += picked[k]->cost + n;
    const Tree* x = picked[0]->tree;
    if (x && isDeferredFailure(x)) return r;
    const ELNode* ex = x ? std::get_if<ELNode>(&x->value) : nullptr;
    if (!ex) {
        r.tree = makeDeferredFailure(std::string(combination) + ": first tree root is " + kindName(x));
        return r;
    }
    std::size_t total = x->kidCount;
    for (std::size_t k = 1; k < picked.size(); ++k) {
        const Tree* y = picked[k]->tree;
        if (y && isDeferredFailure(y)) {
            r.tree = y;
            return r;
        }
        if (!y || !std::holds_alternative<ELNode>(y->value)) {
            r.tree = makeDeferredFailure(std::string(combination) + ": second tree root is " + kindName(y));
            return r;
        }
        total += y->kidCount;
    }
    if (activeJoins) {
        std::vector<const Tree*> parts;
        parts.reserve(picked.size());
        for (const EmbeddingEntry* e : picked) parts.push_back(e->tree);
        r.tree = deferJoin(ELNode{ex->name, ex->attributes}, parts);
        return r;
    }
    const Tree** arr = nullptr;
    if (total != 0) {
        arr = static_cast<const Tree**>(xml::Arena::allocate(sizeof(const Tree*) * total, alignof(const Tree*)));
        std::size_t at = 0;
        for (const EmbeddingEntry* e : picked) {
            std::copy(e->tree->kids, e->tree->kids + e->tree->kidCount, arr + at);
            at += e->tree->kidCount;
        }
    }
    Tree* t = xml::Arena::make<Tree>();
    t->value = ELNode{ex->name, ex->attributes};
    t->kids = arr;
    t->kidCount = xml::childCount(total);
    r.tree = t;
    return r;
}

// Whether every run of the position is of one cost.
bool singleCostRuns(std::span<const EntrySpan> lists, std::span<const std::size_t> starts,
                    std::span<const std::size_t> ends) {
    for (std::size_t i = 0; i < lists.size(); ++i)
        for (std::size_t j = starts[i] + 1; j < ends[i]; ++j)
            if (lists[i][j].cost != lists[i][starts[i]].cost) return false;
    return true;
}

// The covering joins of one position (see CoverScope) when every run is of
// one cost: the entries of the full product, in its order, whose operands are
// the first of their runs but one; only the first when the bound leaves out
// every entry. False, with nothing emitted, when some run mixes costs.
bool coverJoin(std::span<const EntrySpan> lists, std::span<const std::size_t> starts,
               std::span<const std::size_t> ends, std::int64_t n, const std::int64_t* bound,
               std::vector<const EmbeddingEntry*>& picked, EntryList& out) {
    if (!singleCostRuns(lists, starts, ends)) return false;
    const std::size_t k = lists.size();
    for (std::size_t i = 0; i < k; ++i) picked[i] = &lists[i][starts[i]];
    EmbeddingEntry first = joinMany(picked, n, "combineAndAll");
    const bool within = !bound || first.cost <= *bound;
    out.push_back(std::move(first));
    if (!within) return true;
    // The full product varies the last list fastest.
    for (std::size_t i = k; i-- > 0;) {
        for (std::size_t j = starts[i] + 1; j < ends[i]; ++j) {
            picked[i] = &lists[i][j];
            out.push_back(joinMany(picked, n, "combineAndAll"));
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

}  // namespace

EntryList combineAndAll(std::span<const EntrySpan> lists, std::int64_t n, const LowestCosts* bound) {
    if (lists.empty()) return {};
    for (EntrySpan l : lists)
        if (l.empty()) return {};
    if (lists.size() == 1) return EntryList(lists[0].begin(), lists[0].end());
    const std::size_t k = lists.size();
    const std::int64_t added = n * static_cast<std::int64_t>(k - 1);
    EntryList out;
    std::vector<const EmbeddingEntry*> picked(k);
    std::vector<std::size_t> cur(k), pos(k);
    std::vector<std::int64_t> minRest(k + 1), partial(k + 1);
    std::vector<std::vector<std::size_t>> byCost(k), allowed(k);
    forCommonPositions(lists, [&](std::int64_t p, std::span<const std::size_t> starts,
                                  std::span<const std::size_t> ends) {
        const std::int64_t* b = bound ? bound->find(p) : nullptr;
        if (coveringJoins && coverJoin(lists, starts, ends, n, b, picked, out)) return;
        if (!b) {
            // Every combination, the first list's entry outermost.
            std::copy(starts.begin(), starts.end(), cur.begin());
            for (;;) {
                for (std::size_t i = 0; i < k; ++i) picked[i] = &lists[i][cur[i]];
                out.push_back(joinMany(picked, n, "combineAndAll"));
                std::size_t i = k;
                while (i > 0 && ++cur[i - 1] == ends[i - 1]) {
                    cur[i - 1] = starts[i - 1];
                    --i;
                }
                if (i == 0) break;
            }
            return;
        }
        // Only the combinations within the bound, in the same order: at each
        // list, the entries that still leave a total within the bound with
        // the cheapest entries of the lists after it.
        minRest[k] = 0;
        for (std::size_t i = k; i-- > 0;) {
            std::int64_t m = lists[i][starts[i]].cost;
            for (std::size_t j = starts[i] + 1; j < ends[i]; ++j) m = std::min(m, lists[i][j].cost);
            minRest[i] = minRest[i + 1] + m;
            byCost[i].clear();
            for (std::size_t j = starts[i]; j < ends[i]; ++j) byCost[i].push_back(j);
            const EntrySpan l = lists[i];
            std::stable_sort(byCost[i].begin(), byCost[i].end(),
                             [&](std::size_t x, std::size_t y) { return l[x].cost < l[y].cost; });
        }
        auto fill = [&](std::size_t i) {
            const std::int64_t limit = *b - added - partial[i] - minRest[i + 1];
            const EntrySpan l = lists[i];
            auto end = std::upper_bound(byCost[i].begin(), byCost[i].end(), limit,
                                        [&](std::int64_t c, std::size_t x) { return c < l[x].cost; });
            allowed[i].assign(byCost[i].begin(), end);
            std::sort(allowed[i].begin(), allowed[i].end());
            pos[i] = 0;
        };
        const std::size_t before = out.size();
        partial[0] = 0;
        fill(0);
        if (!allowed[0].empty()) {
            std::size_t i = 0;
            for (;;) {
                partial[i + 1] = partial[i] + lists[i][allowed[i][pos[i]]].cost;
                if (i + 1 < k) {
                    fill(++i);  // never empty: the cheapest entry fits
                    continue;
                }
                for (std::size_t j = 0; j < k; ++j) picked[j] = &lists[j][allowed[j][pos[j]]];
                out.push_back(joinMany(picked, n, "combineAndAll"));
                std::size_t up = k;
                while (up > 0 && ++pos[up - 1] == allowed[up - 1].size()) --up;
                if (up == 0) break;
                i = up - 1;
            }
        }
        if (out.size() == before) {
            for (std::size_t j = 0; j < k; ++j) picked[j] = &lists[j][starts[j]];
            out.push_back(joinMany(picked, n, "combineAndAll"));
        }
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
    forCommonPositions(lists, [&](std::int64_t, std::span<const std::size_t> starts,
                                  std::span<const std::size_t> ends) {
        // Each list's first entry of the lowest cost of the position.
        for (std::size_t i = 0; i < k; ++i) {
            const EmbeddingEntry* best = &lists[i][starts[i]];
            for (std::size_t j = starts[i] + 1; j < ends[i]; ++j)
                if (lists[i][j].cost < best->cost) best = &lists[i][j];
            picked[i] = best;
        }
        out.push_back(joinMany(picked, n, "combineAndBest"));
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
    forCommonPositions(lists, [&](std::int64_t p, std::span<const std::size_t> starts,
                                  std::span<const std::size_t> ends) {
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

LowestCosts::LowestCosts(EntrySpan entries) {
    lowest_.reserve(entries.size());
    for (const EmbeddingEntry& e : entries) {
        auto [it, fresh] = lowest_.emplace(e.position, e.cost);
        if (!fresh && e.cost < it->second) it->second = e.cost;
    }
}

const std::int64_t* LowestCosts::find(std::int64_t position) const {
    auto it = lowest_.find(position);
    return it == lowest_.end() ? nullptr : &it->second;
}

EntryList combineAndAll(EntrySpan first, EntrySpan second, std::int64_t n, const LowestCosts& bound) {
    if (first.empty() || second.empty()) return {};
    if (bound.empty()) return sumAll(first, second, n);
    return sumAllBounded(first, second, n, bound);
}

EntryList andBestOrdered(EntrySpan first, EntrySpan second, std::int64_t n) {
    return sumBest(first, second, n, "combineAndBest");
}

EntryList orBestOrdered(EntrySpan first, EntrySpan second, std::int64_t n) {
    return minBest(first, second, n, "combineOrBest");
}

EntryList xorBestOrdered(EntrySpan first, EntrySpan second, std::int64_t n) {
    EntryList out;
    out.reserve(first.size() + second.size());
    xorMerge(first, second, [&](EntrySpan s, std::size_t i) { out.push_back(withCost(s[i], n)); });
    return out;
}

EntryList xorAllOrdered(EntrySpan first, EntrySpan second, std::int64_t n) {
    EntryList out;
    out.reserve(first.size() + second.size());
    xorMerge(first, second, [&](EntrySpan s, std::size_t i) {
        const EmbeddingEntry& h = s[i];
        for (std::size_t k = i; k < s.size() && s[k].position == h.position && s[k].cost == h.cost; ++k)
            out.push_back(withCost(s[k], n));
    });
    return out;
}

MinStep orAllStep(const EmbeddingEntry& a, EntrySpan second, EntrySpan rest, std::int64_t n,
                         bool joined, bool sameNext) {
    MinStep r;
    CellList list;
    std::vector<std::int64_t> kept;
    StepLeft left = minStep(a, list, list.fromSpan(second), rest, n, joined, sameNext, kept,
                            r.emitted);
    r.secondLeft = list.toList(left.second);
    r.firstLeft.assign(left.first.begin(), left.first.end());
    return r;
}

EntryList orAllOrdered(EntrySpan first, EntrySpan second, std::int64_t n) { return minAll(first, second, n); }

SumStep andAllStep(const EmbeddingEntry& x, EntrySpan second, std::int64_t n) {
    SumStep r;
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

// ---------------------------------------------------------------------------
// Combination at query nodes.

EntryList combineAndAll(EntrySpan first, EntrySpan second, std::int64_t n) {
    if (first.empty() || second.empty()) return {};
    return sumAll(first, second, n);
}

EntryList combineAndAll(EntrySpan first, const Lazy<EntryList>& second, std::int64_t n) {
    if (first.empty()) return {};
    return combineAndAll(first, EntrySpan(second.get()), n);
}

EntryList combineAndBest(EntrySpan first, EntrySpan second, std::int64_t n) {
    if (first.empty() || second.empty()) return {};
    return sumBest(positionOrdered(first).view(), positionOrdered(second).view(), n, "combineAndBest");
}

EntryList combineAndBest(EntrySpan first, const Lazy<EntryList>& second, std::int64_t n) {
    if (first.empty()) return {};
    return combineAndBest(first, EntrySpan(second.get()), n);
}

EntryList combineOrAll(EntrySpan first, EntrySpan second, std::int64_t n) {
    EntryList out;
    if (first.empty() || second.empty()) {
        appendWithCost(first, n, out);
        appendWithCost(second, n, out);
        return out;
    }
    return minAll(positionOrdered(first).view(), positionOrdered(second).view(), n);
}

EntryList combineOrBest(EntrySpan first, EntrySpan second, std::int64_t n) {
    if (first.empty() && second.empty()) return {};
    return minBest(positionOrdered(first).view(), positionOrdered(second).view(), n, "combineOrBest");
}

EntryList combineXorAll(EntrySpan first, EntrySpan second, std::int64_t n) {
    if (first.empty() && second.empty()) return {};
    return xorAllOrdered(positionOrdered(first).view(), positionOrdered(second).view(), n);
}

EntryList combineXorBest(EntrySpan first, EntrySpan second, std::int64_t n) {
    if (first.empty() && second.empty()) return {};
    return xorBestOrdered(positionOrdered(first).view(), positionOrdered(second).view(), n);
}

EntryList combineOrAll(EntrySpan first, const Lazy<EntryList>& second, std::int64_t n) {
    return combineOrAll(first, EntrySpan(second.get()), n);
}
EntryList combineOrBest(EntrySpan first, const Lazy<EntryList>& second, std::int64_t n) {
    return combineOrBest(first, EntrySpan(second.get()), n);
}
EntryList combineXorAll(EntrySpan first, const Lazy<EntryList>& second, std::int64_t n) {
    return combineXorAll(first, EntrySpan(second.get()), n);
}
EntryList combineXorBest(EntrySpan first, const Lazy<EntryList>& second, std::int64_t n) {
    return combineXorBest(first, EntrySpan(second.get()), n);
}

// ---------------------------------------------------------------------------
// Boolean result root.

namespace {

enum class Operand { Boolean, Plain, Invalid, Failure };

Operand classify(const Tree* t) {
    if (!t) return Operand::Invalid;
    if (isDeferredFailure(t)) return Operand::Failure;
    if (const ELNode* e = std::get_if<ELNode>(&t->value)) {
        if (!e->attributes.empty()) return Operand::Invalid;
        return e->name == "and" || e->name == "or" || e->name == "xor" ? Operand::Boolean : Operand::Plain;
    }
    if (std::holds_alternative<xml::TXNode>(t->value)) return t->isLeaf() ? Operand::Plain : Operand::Invalid;
    return Operand::Invalid;
}

const Tree* invalidOperand(const char* side, const Tree* t) {
    std::string what = kindName(t);
    if (t && std::holds_alternative<ELNode>(t->value)) what = "an element with attributes";
    if (t && std::holds_alternative<xml::TXNode>(t->value)) what = "a text node with children";
    return makeDeferredFailure(std::string("buildExternalTree: ") + side + " operand root is " + what);
}

}  // namespace

bool joinsAsItself(const Tree* t) { return classify(t) == Operand::Plain; }

const Tree* buildExternalTree(std::string_view op, const Tree* left, const Tree* right) {
    const Operand l = classify(left);
    if (l == Operand::Failure) return left;
    if (l == Operand::Invalid) return invalidOperand("left", left);
    const Operand r = classify(right);
    if (r == Operand::Failure) return right;
    if (r == Operand::Invalid) return invalidOperand("right", right);

    ELNode root{std::string(op), {}};
    const Tree* const one[1] = {l == Operand::Boolean ? right : left};
    if (l == Operand::Boolean && r == Operand::Boolean) return concatUnder(std::move(root), left->children(), right->children());
    if (l == Operand::Boolean) return concatUnder(std::move(root), one, left->children());
    if (r == Operand::Boolean) return concatUnder(std::move(root), one, right->children());
    const Tree* const both[2] = {left, right};
    return concatUnder(std::move(root), both, {});
}

// ---------------------------------------------------------------------------
// Combination of whole-query results.

EntryList combineQueriesAndBest(EntrySpan first, EntrySpan second) {
    if (first.empty() || second.empty()) return {};
    return {combined("and", first[cheapest(first)], second[cheapest(second)])};
}

EntryList combineQueriesAndAll(EntrySpan first, EntrySpan second) {
    EntryList out;
    if (first.empty() || second.empty()) return out;
    out.reserve(checkedProduct(first.size(), second.size()));
    for (const EmbeddingEntry& a : first)
        for (const EmbeddingEntry& b : second) out.push_back(combined("and", a, b));
    return out;
}

namespace {

// With one side empty, "or" and "xor" of whole queries keep the other side's
// first cheapest result.
EntryList cheapestOfOneSide(EntrySpan s) {
    const EmbeddingEntry& e = s[cheapest(s)];
    return {wholeQueryEntry(e.cost, e.tree)};
}

}  // namespace

EntryList combineQueriesOrBest(EntrySpan first, EntrySpan second) {
    if (first.empty() && second.empty()) return {};
    if (first.empty() || second.empty()) return cheapestOfOneSide(first.empty() ? second : first);
    const EmbeddingEntry& x = first[cheapest(first)];
    const EmbeddingEntry& y = second[cheapest(second)];
    if (x.cost < y.cost) return {wholeQueryEntry(x.cost, x.tree)};
    if (x.cost > y.cost) return {wholeQueryEntry(y.cost, y.tree)};
    return {combined("or", x, y)};
}

EntryList combineQueriesOrAll(EntrySpan first, EntrySpan second) {
    if (first.empty() && second.empty()) return {};
    if (first.empty()) return copies(lowestCostRun(second));
    if (second.empty()) return copies(lowestCostRun(first));
    const std::int64_t cx = first[cheapest(first)].cost;
    const std::int64_t cy = second[cheapest(second)].cost;
    if (cx < cy) return copies(lowestCostRun(first));
    if (cx > cy) return copies(lowestCostRun(second));
    const auto runA = lowestCostRun(first);
    const auto runB = lowestCostRun(second);
    EntryList out;
    out.reserve(checkedProduct(runA.size(), runB.size()));
    for (const EmbeddingEntry* a : runA)
        for (const EmbeddingEntry* b : runB) out.push_back(combined("or", *a, *b));
    return out;
}

EntryList combineQueriesOrAll(std::span<const EntrySpan> operands) {
    // What the fold has so far: the product of these runs, each of one cost,
    // whose entries all cost `total`.
    std::vector<std::vector<const EmbeddingEntry*>> runs;
    std::int64_t total = 0;
    for (EntrySpan s : operands) {
        if (s.empty()) continue;
        std::vector<const EmbeddingEntry*> run = lowestCostRun(s);
        const std::int64_t c = run.front()->cost;
        if (runs.empty() || c < total) {
            runs.clear();
            runs.push_back(std::move(run));
            total = c;
        } else if (c == total) {
            runs.push_back(std::move(run));
            total += c;
        }
    }
    if (runs.empty()) return {};
    if (runs.size() == 1) return copies(runs.front());
    // The product, the first run outermost; a tree is shared by every entry
    // that extends it, as the pairwise fold shares it.
    const std::size_t k = runs.size();
    std::size_t count = 1;
    for (const auto& r : runs) count = checkedProduct(count, r.size());
    EntryList out;
    out.reserve(count);
    std::vector<std::size_t> cur(k, 0);
    std::vector<const Tree*> prefix(k);
    std::size_t from = 0;
    for (;;) {
        for (std::size_t i = from; i < k; ++i)
            prefix[i] = i == 0 ? runs[0][cur[0]]->tree : buildExternalTree("or", prefix[i - 1], runs[i][cur[i]]->tree);
        out.push_back(wholeQueryEntry(total, prefix[k - 1]));
        std::size_t i = k;
        while (i > 0 && ++cur[i - 1] == runs[i - 1].size()) {
            cur[i - 1] = 0;
            --i;
        }
        if (i == 0) break;
        from = i - 1;
    }
    return out;
}

EntryList combineQueriesXorBest(EntrySpan first, EntrySpan second) {
    if (first.empty() && second.empty()) return {};
    if (first.empty() || second.empty()) return cheapestOfOneSide(first.empty() ? second : first);
    const EmbeddingEntry& x = first[cheapest(first)];
    const EmbeddingEntry& y = second[cheapest(second)];
    const EmbeddingEntry& e = x.cost <= y.cost ? x : y;
    return {wholeQueryEntry(e.cost, e.tree)};
}

EntryList combineQueriesXorAll(EntrySpan first, EntrySpan second) {
    if (first.empty() && second.empty()) return {};
    if (first.empty()) return copies(lowestCostRun(second));
    if (second.empty()) return copies(lowestCostRun(first));
    const std::int64_t cx = first[cheapest(first)].cost;
    const std::int64_t cy = second[cheapest(second)].cost;
    return copies(lowestCostRun(cx <= cy ? first : second));
}

bool ascendingByPosition(EntrySpan list) {
    return std::is_sorted(list.begin(), list.end(),
                          [](const EmbeddingEntry& x, const EmbeddingEntry& y) { return x.position < y.position; });
}

}  // namespace axf::query
