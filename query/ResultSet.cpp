#include "query/ResultSet.h"

#include <algorithm>
#include <limits>
#include <map>

#include "common/Fatal.h"
#include "query/Combination.h"

namespace axf::query {

const char* const countOverflowMessage = "Attention: the number of results is too large to count";

std::string decimalText(ResultCount n) {
    if (n == 0) return "0";
    std::string digits;
    while (n != 0) {
        digits.push_back(static_cast<char>('0' + static_cast<int>(n % 10)));
        n /= 10;
    }
    std::reverse(digits.begin(), digits.end());
    return digits;
}

ResultCount checkedAdd(ResultCount a, ResultCount b) {
    ResultCount r;
    if (__builtin_add_overflow(a, b, &r)) throw Fatal(countOverflowMessage);
    return r;
}

namespace {

ResultCount checkedMultiply(ResultCount a, ResultCount b) {
    ResultCount r;
    if (__builtin_mul_overflow(a, b, &r)) throw Fatal(countOverflowMessage);
    return r;
}

constexpr std::int64_t kNoBound = std::numeric_limits<std::int64_t>::max();

// bound - taken, staying at kNoBound for no bound.
std::int64_t lowerBound(std::int64_t bound, std::int64_t taken) {
    if (bound == kNoBound) return kNoBound;
    std::int64_t r;
    if (__builtin_sub_overflow(bound, taken, &r)) return taken > 0 ? std::numeric_limits<std::int64_t>::min() : kNoBound;
    return r;
}

}  // namespace

ResultSetPtr ResultSet::plain(EntryList entries) {
    auto s = std::make_shared<ResultSet>();
    s->entries_ = std::move(entries);
    return s;
}

ResultSetPtr ResultSet::product(JoinRoot root, std::vector<ResultSetPtr> parts) {
    if (parts.empty()) throw InternalError("ResultSet::product: no parts");
    for (const ResultSetPtr& p : parts)
        if (!p || p->empty()) throw InternalError("ResultSet::product: an empty part");
    auto s = std::make_shared<ResultSet>();
    s->root_ = root;
    s->parts_ = std::move(parts);
    return s;
}

bool ResultSet::empty() const { return !isProduct() && entries_.empty(); }

std::int64_t lowestCostOf(const EntryList& entries) {
    if (entries.empty()) throw InternalError("lowestCostOf: an empty list");
    std::int64_t m = entries.front().cost;
    for (const EmbeddingEntry& e : entries) m = std::min(m, e.cost);
    return m;
}

ResultSetPtr lowestRunOf(const EntryList& entries) {
    const std::int64_t c = lowestCostOf(entries);
    EntryList run;
    for (const EmbeddingEntry& e : entries)
        if (e.cost == c) run.push_back(wholeQueryEntry(e.cost, e.tree));
    return ResultSet::plain(std::move(run));
}

std::int64_t ResultSet::lowestCost() const {
    if (!isProduct()) return lowestCostOf(entries_);
    std::int64_t total = 0;
    for (const ResultSetPtr& p : parts_) total += p->lowestCost();
    return total;
}

ResultSetPtr ResultSet::lowestRun() const {
    if (!isProduct()) return lowestRunOf(entries_);
    std::vector<ResultSetPtr> runs;
    runs.reserve(parts_.size());
    for (const ResultSetPtr& p : parts_) runs.push_back(p->lowestRun());
    return product(root_, std::move(runs));
}

EmbeddingEntry ResultSet::firstCheapest() const {
    const std::vector<const ResultSet*> ls = leaves();
    std::vector<const EmbeddingEntry*> picked;
    std::int64_t cost = 0;
    for (const ResultSet* l : ls) {
        const EntryList& es = l->entries_;
        if (es.empty()) throw InternalError("ResultSet::firstCheapest: an empty list");
        const EmbeddingEntry* best = &es.front();
        for (const EmbeddingEntry& e : es)
            if (e.cost < best->cost) best = &e;
        picked.push_back(best);
        cost += best->cost;
    }
    std::size_t from = 0;
    return wholeQueryEntry(cost, joinedTree(picked, from));
}

ResultCount ResultSet::size() const {
    if (!isProduct()) return entries_.size();
    ResultCount n = 1;
    for (const ResultSetPtr& p : parts_) n = checkedMultiply(n, p->size());
    return n;
}

ResultCount ResultSet::countWithin(std::int64_t bound) const {
    ResultCount n = 0;
    for (const auto& [cost, k] : costCounts(bound)) n = checkedAdd(n, k);
    return n;
}

CostCounts ResultSet::costCounts(std::int64_t bound) const {
    if (!isProduct()) {
        std::map<std::int64_t, ResultCount> byCost;
        for (const EmbeddingEntry& e : entries_)
            if (e.cost <= bound) ++byCost[e.cost];
        return CostCounts(byCost.begin(), byCost.end());
    }
    // A part's entry can be in an entry within the bound only if it fits
    // beside the cheapest entries of every other part.
    std::int64_t lowestSum = 0;
    std::vector<std::int64_t> lowest;
    for (const ResultSetPtr& p : parts_) {
        lowest.push_back(p->lowestCost());
        lowestSum += lowest.back();
    }
    CostCounts acc{{0, 1}};
    for (std::size_t i = 0; i < parts_.size(); ++i) {
        const CostCounts mine = parts_[i]->costCounts(lowerBound(bound, lowestSum - lowest[i]));
        std::map<std::int64_t, ResultCount> next;
        for (const auto& [c1, n1] : acc)
            for (const auto& [c2, n2] : mine) {
                ResultCount& slot = next[c1 + c2];
                slot = checkedAdd(slot, checkedMultiply(n1, n2));
            }
        acc.assign(next.begin(), next.end());
    }
    CostCounts out;
    for (const auto& cn : acc)
        if (cn.first <= bound) out.push_back(cn);
    return out;
}

std::vector<const ResultSet*> ResultSet::leaves() const {
    std::vector<const ResultSet*> out;
    std::vector<const ResultSet*> todo{this};
    while (!todo.empty()) {
        const ResultSet* s = todo.back();
        todo.pop_back();
        if (!s->isProduct()) {
            out.push_back(s);
            continue;
        }
        for (std::size_t i = s->parts_.size(); i-- > 0;) todo.push_back(s->parts_[i].get());
    }
    return out;
}

const xml::Tree* ResultSet::joinedTree(const std::vector<const EmbeddingEntry*>& picked, std::size_t& from,
                                       std::string_view joinedRootName) const {
    if (!isProduct()) return picked.at(from++)->tree;
    const xml::Tree* t = parts_.front()->joinedTree(picked, from);
    for (std::size_t i = 1; i < parts_.size(); ++i) {
        const xml::Tree* next = parts_[i]->joinedTree(picked, from);
        // Only the last join makes the root that stands above all the others.
        const bool outermost = i + 1 == parts_.size();
        t = buildExternalTree(outermost && !joinedRootName.empty() ? joinedRootName : rootName(root_), t, next);
    }
    return t;
}

ResultSetPtr ResultSet::withLeaves(const std::vector<ResultSetPtr>& leaves) const {
    std::size_t next = 0;
    // Recursion over the nesting of products, which is the query's.
    auto rebuild = [&](const auto& self, const ResultSet& s) -> ResultSetPtr {
        if (!s.isProduct()) {
            if (next >= leaves.size()) throw InternalError("ResultSet::withLeaves: too few lists");
            return leaves[next++];
        }
        std::vector<ResultSetPtr> parts;
        parts.reserve(s.parts_.size());
        for (const ResultSetPtr& p : s.parts_) parts.push_back(self(self, *p));
        return product(s.root_, std::move(parts));
    };
    ResultSetPtr out = rebuild(rebuild, *this);
    if (next != leaves.size()) throw InternalError("ResultSet::withLeaves: too many lists");
    return out;
}

std::vector<std::size_t> ResultSet::joinedOrder() const {
    // Each set's order, and whether its tree is a joined root (a product).
    struct Joined {
        std::vector<std::size_t> order;
        bool joinedRoot;
    };
    std::size_t next = 0;
    // Recursion over the nesting of products, which is the query's.
    auto walk = [&next](const auto& self, const ResultSet& s) -> Joined {
        if (!s.isProduct()) return {{next++}, false};
        Joined acc = self(self, *s.parts_.front());
        for (std::size_t i = 1; i < s.parts_.size(); ++i) {
            Joined r = self(self, *s.parts_[i]);
            std::vector<std::size_t> order;
            if (acc.joinedRoot && !r.joinedRoot) {
                order = r.order;
                order.insert(order.end(), acc.order.begin(), acc.order.end());
            } else {
                order = acc.order;
                order.insert(order.end(), r.order.begin(), r.order.end());
            }
            acc = {std::move(order), true};
        }
        return acc;
    };
    return walk(walk, *this).order;
}

void ResultSet::forEach(const std::function<bool(const EmbeddingEntry&)>& visit) const {
    if (!isProduct()) {
        for (const EmbeddingEntry& e : entries_)
            if (!visit(e)) return;
        return;
    }
    const std::vector<const ResultSet*> ls = leaves();
    const std::size_t k = ls.size();
    std::vector<std::size_t> at(k, 0);
    std::vector<const EmbeddingEntry*> picked(k);
    for (;;) {
        std::int64_t cost = 0;
        for (std::size_t i = 0; i < k; ++i) {
            picked[i] = &ls[i]->entries_[at[i]];
            cost += picked[i]->cost;
        }
        std::size_t from = 0;
        if (!visit(wholeQueryEntry(cost, joinedTree(picked, from)))) return;
        std::size_t i = k;
        while (i > 0 && ++at[i - 1] == ls[i - 1]->entries_.size()) {
            at[i - 1] = 0;
            --i;
        }
        if (i == 0) return;
    }
}

EntryList ResultSet::materializeCovering(std::string_view joinedRootName) const {
    if (!isProduct()) return entries_;
    const std::vector<const ResultSet*> ls = leaves();
    const std::size_t k = ls.size();
    std::vector<const EmbeddingEntry*> picked(k);
    std::size_t size = 1;
    for (std::size_t i = 0; i < k; ++i) {
        picked[i] = &ls[i]->entries_.front();
        size += ls[i]->entries_.size() - 1;
    }
    EntryList out;
    out.reserve(size);
    auto emit = [&] {
        std::int64_t cost = 0;
        for (const EmbeddingEntry* e : picked) cost += e->cost;
        std::size_t from = 0;
        out.push_back(wholeQueryEntry(cost, joinedTree(picked, from, joinedRootName)));
    };
    emit();
    // The full list varies the last leaf fastest.
    for (std::size_t i = k; i-- > 0;) {
        for (std::size_t j = 1; j < ls[i]->entries_.size(); ++j) {
            picked[i] = &ls[i]->entries_[j];
            emit();
        }
        picked[i] = &ls[i]->entries_.front();
    }
    return out;
}

EntryList ResultSet::materialize() const {
    if (!isProduct()) return entries_;
    EntryList out;
    forEach([&](const EmbeddingEntry& e) {
        out.push_back(e);
        return true;
    });
    return out;
}

}  // namespace axf::query
