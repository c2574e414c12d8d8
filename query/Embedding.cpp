#include "query/Embedding.h"

#include <algorithm>
#include <charconv>
#include <limits>
#include <map>
#include <memory>
#include <optional>
#include <tuple>
#include <unordered_map>
#include <unordered_set>
#include <variant>
#include <vector>

#include "common/DecimalInteger.h"
#include "common/Fatal.h"
#include "common/MessageText.h"
#include "index/TranslationTable.h"
#include "query/Combination.h"
#include "query/NodeLabel.h"

namespace axf::query {

using xml::ELNode;
using xml::Tree;
using xml::TreeList;
using xml::TXNode;

// ---------------------------------------------------------------------------
// SearchResult

void SearchResult::rethrow() const {
    if (failure) std::rethrow_exception(failure);
}

bool SearchResult::empty() const {
    if (entries.empty()) rethrow();
    return entries.empty();
}

const EntryList& SearchResult::all() const {
    rethrow();
    return entries;
}

const EmbeddingEntry& SearchResult::at(std::size_t i) const {
    if (i >= entries.size()) {
        rethrow();
        throw InternalError("SearchResult::at: index " + std::to_string(i) + " past the end");
    }
    return entries[i];
}

namespace {

// Runs f and turns a failure of the run into a result that holds it before
// any entry.
template <class F>
SearchResult guarded(F&& f) {
    try {
        return f();
    } catch (const Fatal&) {
        return SearchResult{{}, std::current_exception()};
    } catch (const InternalError&) {
        return SearchResult{{}, std::current_exception()};
    }
}

// The raw root label of an index entry's tree: an element's name or a text.
std::string_view rawRootLabel(const Tree* t, const char* who) {
    if (t) {
        if (const auto* e = std::get_if<ELNode>(&t->value)) return e->name;
        if (const auto* x = std::get_if<TXNode>(&t->value)) return x->text;
    }
    if (t) xml::raiseIfFailure(t->value);
    throw InternalError(std::string(who) + ": index entry tree is neither an element nor a text");
}

std::string resultLabel(std::string_view value, std::string_view q, std::int64_t position) {
    std::string out = escapeLabelValue(value);
    out.push_back('^');
    out += q;
    out.push_back('^');
    out += std::to_string(position);
    return out;
}

// A childless node of the same kind as t's root, labelled value^q^position;
// a failure stays itself.
const Tree* stampLeaf(const Tree* t, std::string_view q, std::int64_t position, const char* who) {
    if (isDeferredFailure(t)) return t;
    std::string_view raw = rawRootLabel(t, who);
    std::string label = resultLabel(raw, q, position);
    if (std::holds_alternative<TXNode>(t->value)) return xml::leafNode(TXNode{std::move(label)});
    return xml::leafNode(ELNode{std::move(label), {}});
}

std::int64_t readQueryNumber(std::string_view s, const char* who) {
    std::int64_t v = 0;
    if (readDecimal(s, v) != DecimalRead::Ok)
        throw InternalError(std::string(who) + ": query node number \"" + std::string(s) + "\" is not a number");
    return v;
}

[[noreturn]] void noParse() { throw Fatal("Prelude.read: no parse"); }

bool isSpace(char c) { return c == ' ' || (c >= '\t' && c <= '\r'); }

std::string_view trim(std::string_view s) {
    while (!s.empty() && isSpace(s.front())) s.remove_prefix(1);
    while (!s.empty() && isSpace(s.back())) s.remove_suffix(1);
    return s;
}

// ---------------------------------------------------------------------------
// Leftmost minimum over index ranges of a value array: minima of blocks of
// 64 values and a sparse table over the blocks.

class RangeMin {
public:
    explicit RangeMin(std::vector<std::int64_t> values) : v_(std::move(values)) {
        std::size_t nb = (v_.size() + kBlock - 1) / kBlock;
        std::vector<std::uint32_t> level(nb);
        for (std::size_t b = 0; b < nb; ++b)
            level[b] = scan(b * kBlock, std::min(v_.size(), (b + 1) * kBlock));
        table_.push_back(std::move(level));
        for (std::size_t w = 1; 2 * w <= nb; w *= 2) {
            const auto& prev = table_.back();
            std::vector<std::uint32_t> next(nb - 2 * w + 1);
            for (std::size_t b = 0; b + 2 * w <= nb; ++b) next[b] = better(prev[b], prev[b + w]);
            table_.push_back(std::move(next));
        }
    }

    std::int64_t value(std::size_t i) const { return v_[i]; }

    // Index of the leftmost minimum of [lo, hi), lo < hi.
    std::uint32_t leftmostMin(std::size_t lo, std::size_t hi) const {
        std::size_t bl = lo / kBlock, bh = (hi - 1) / kBlock;
        if (bh - bl <= 1) return scan(lo, hi);
        std::uint32_t best = scan(lo, (bl + 1) * kBlock);
        std::size_t from = bl + 1, to = bh;  // whole blocks [from, to)
        std::size_t k = 0;
        while ((std::size_t(2) << k) <= to - from) ++k;
        best = better(best, table_[k][from]);
        best = better(best, table_[k][to - (std::size_t(1) << k)]);
        return better(best, scan(bh * kBlock, hi));
    }

private:
    static constexpr std::size_t kBlock = 64;

    std::uint32_t better(std::uint32_t a, std::uint32_t b) const {
        if (v_[b] < v_[a] || (v_[b] == v_[a] && b < a)) return b;
        return a;
    }
    std::uint32_t scan(std::size_t lo, std::size_t hi) const {
        std::uint32_t best = std::uint32_t(lo);
        for (std::size_t i = lo + 1; i < hi; ++i)
            if (v_[i] < v_[best]) best = std::uint32_t(i);
        return best;
    }

    std::vector<std::int64_t> v_;
    std::vector<std::vector<std::uint32_t>> table_;
};

// ---------------------------------------------------------------------------
// The descendant walk over a candidate list. The candidates' effective cost is
// their cost plus `addCost` plus (with `addRenaming`) their renaming cost;
// with `stamp` set their trees are index leaves stamped as matches of that
// query node when chosen.

struct CandidateView {
    EntrySpan list;
    std::exception_ptr failure;
    std::int64_t addCost = 0;
    bool addRenaming = false;
    const std::string* stamp = nullptr;

    std::int64_t cost(const EmbeddingEntry& e) const {
        return e.cost + addCost + (addRenaming ? e.renamingCost : 0);
    }
    const Tree* tree(const EmbeddingEntry& e) const {
        return stamp ? stampLeaf(e.tree, *stamp, e.position, "join_path") : e.tree;
    }
};

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

// With `exactOnly`, a parent match whose cheapest embedding costs more than 0
// gets no entry at all (the caller keeps only embeddings of cost 0, and no
// selector can fail on what is dropped), so its tied candidates are never
// gathered.
SearchResult joinWalk(EntrySpan parents, const CandidateView& cands, const std::string& q, std::int64_t insCost,
                      std::int64_t altCost, const index::Mapping& mapping, std::int64_t branch, bool allMode,
                      bool exactOnly = false) {
    SearchResult out;
    EntrySpan list = cands.list;
    const std::size_t n = list.size();
    std::unique_ptr<RangeMin> rmq;  // built for the first large nested range
    std::int64_t outerLast = std::numeric_limits<std::int64_t>::min();
    std::size_t cursor = 0;  // candidates before it lie at or before every later parent
    std::size_t lastLo = 0;  // parents ascend, so each one's first candidate does too
    std::vector<std::size_t> chosen;
    out.entries.reserve(parents.size());  // one entry per parent, except for ties in mode all

    try {
        for (const EmbeddingEntry& x : parents) {
            bool nested = x.position <= outerLast;
            std::size_t lo = firstAfter(list, nested ? lastLo : cursor, x.position);
            std::size_t hi = firstAfter(list, lo, x.last);
            lastLo = lo;
            if (!nested) {
                outerLast = x.last;
                cursor = hi;
            }
            // The search of this parent reads up to the first candidate past
            // its subtree; the end of the list is where a pending failure sits.
            if (hi == n && cands.failure) std::rethrow_exception(cands.failure);

            chosen.clear();
            std::int64_t best = 0;
            if (lo < hi) {
                if (nested && hi - lo > 256) {
                    if (!rmq) {
                        std::vector<std::int64_t> values(n);
                        for (std::size_t i = 0; i < n; ++i) values[i] = cands.cost(list[i]) + list[i].depth;
                        rmq = std::make_unique<RangeMin>(std::move(values));
                    }
                    std::uint32_t i = rmq->leftmostMin(lo, hi);
                    best = rmq->value(i);
                    if (exactOnly && best - x.depth - insCost > 0 && altCost > 0) continue;
                    chosen.push_back(i);
                    while (allMode && i + 1 < hi) {
                        i = rmq->leftmostMin(i + 1, hi);
                        if (rmq->value(i) != best) break;
                        chosen.push_back(i);
                    }
                } else {
                    best = cands.cost(list[lo]) + list[lo].depth;
                    chosen.push_back(lo);
                    for (std::size_t i = lo + 1; i < hi; ++i) {
                        std::int64_t d = cands.cost(list[i]) + list[i].depth;
                        if (d < best) {
                            best = d;
                            chosen.clear();
                            chosen.push_back(i);
                        } else if (d == best && allMode) {
                            chosen.push_back(i);
                        }
                    }
                }
            }

            bool canLeaveOut = altCost != kNoEmbeddingCost;
            if (chosen.empty() && !canLeaveOut) continue;
            std::int64_t via = chosen.empty() ? altCost : best - x.depth - insCost;
            const bool leaveOut = chosen.empty() || (canLeaveOut && via > altCost);
            if (exactOnly && (leaveOut ? altCost : via) > 0) continue;
            if (leaveOut) {
                EmbeddingEntry e = x;
                e.cost = altCost;
                e.tree = stampLeaf(x.tree, q, x.position, "join_path");
                out.entries.push_back(e);
                continue;
            }
            if (branch > 0 && std::int64_t(chosen.size()) < branch)
                throw Fatal("Attention: the " + std::to_string(branch) +
                            "th son of the tag specified couldn't be found");
            std::string label = resultLabel(index::getMapName(x.position, mapping), q, x.position);
            auto emit = [&](std::size_t i) {
                const Tree* kid = cands.tree(list[i]);
                const Tree* wrapped = kid;
                if (!isDeferredFailure(kid)) {
                    wrapped = xml::makeTree(ELNode{label, {}}, {kid});
                    JoinScope::noteParent(wrapped, kid);
                }
                out.entries.push_back(EmbeddingEntry{x.position, x.depth, x.last, x.renamingCost, via, wrapped});
            };
            if (branch == 0) {
                for (std::size_t i : chosen) emit(i);
            } else if (branch > 0) {
                emit(chosen[std::size_t(branch - 1)]);
            } else {
                emit(chosen.back());
            }
        }
    } catch (const Fatal&) {
        out.failure = std::current_exception();
    } catch (const InternalError&) {
        out.failure = std::current_exception();
    }
    return out;
}

// ---------------------------------------------------------------------------
// One search: its arguments and the candidate lookups made so far, cached by
// (index, name, search type).

class Search {
public:
    explicit Search(const SearchContext& c)
        : qmap_(*c.queryMapping), delCosts_(*c.deletionCosts), indexEL_(*c.elementIndex), indexTX_(*c.textIndex),
          mapping_(*c.documentMapping), deletionCost_(c.deletionCost), types_(*c.searchTypes), mode_(c.mode),
          defaultType_(c.defaultType) {
        // A selector that may fail is the one thing in a search that raises
        // on what the document holds. Without one, what a statement of exact
        // matches drops is dropped as it is met (see narrowsBelow for the
        // other shortcut).
        for (const auto& [number, label] : qmap_)
            if (selectorCanFail(label)) failingSelectors_.insert(number);
        exactOnly_ = c.exactOnly && failingSelectors_.empty();
        exactOnlyAsked_ = c.exactOnly;
    }

    // The candidates of a name in the element (text = false) or text index.
    EntrySpan presences(bool text, std::string_view name, index::LookupKind type) {
        auto key = std::make_tuple(text, std::string(name), type);
        auto it = cache_.find(key);
        if (it != cache_.end()) return it->second.view;
        Lookup found;
        if (type == index::LookupKind::Exact) {
            if (const index::IndexEntry* e = text ? indexTX_.find(name) : indexEL_.findExact(name)) found.view = e->exact;
        } else {
            found.owned = std::make_shared<EntryList>(text ? getPresences(indexTX_, name, type)
                                                           : getPresences(indexEL_, name, type));
            found.view = *found.owned;
        }
        return cache_.emplace(std::move(key), std::move(found)).first->second.view;
    }

    const std::string& queryLabel(std::string_view n, const char* who) const {
        const std::string* l = qmap_.find(n);
        if (!l) throw InternalError(std::string(who) + ": query node " + std::string(n) + " has no query label");
        return *l;
    }

    // `bound`, when given, holds the lowest costs of the list that an `or`
    // in mode all combines the result with, as the result's first list.
    SearchResult evaluate(const Tree* t, EntrySpan parents, const std::string& p, std::size_t typesFrom,
                          const LowestCosts* bound = nullptr);

    // The number of a query element.
    static const std::string& queryElementName(const Tree* t) { return std::get<ELNode>(t->value).name; }

    // Whether the query node is an `and` with more than one operand.
    bool isCombiningAnd(const Tree* t) const {
        const auto* e = t ? std::get_if<ELNode>(&t->value) : nullptr;
        if (!e || t->kidCount < 2) return false;
        const std::string* l = qmap_.find(e->name);
        return l && *l == "and";
    }

    const index::MergedElementIndex& elementIndex() const { return indexEL_; }
    const index::TextIndex& textIndex() const { return indexTX_; }
    const SearchTypeList& types() const { return types_; }
    index::LookupKind defaultType() const { return defaultType_; }

private:
    struct Lookup {
        EntrySpan view;
        std::shared_ptr<EntryList> owned;
    };

    SearchResult leaf(const std::string& n, bool text, EntrySpan parents, const std::string& p,
                      std::size_t typesFrom);
    SearchResult element(const Tree* t, const std::string& n, const std::string& label, EntrySpan parents,
                         const std::string& p, std::size_t typesFrom);
    SearchResult boolean(const Tree* t, const std::string& n, const std::string& label, EntrySpan parents,
                         const std::string& p, std::size_t typesFrom, const LowestCosts* bound);

    // The operands of an `and` node, evaluated in order as long as the
    // result so far is not empty, before they are joined; `settled` holds the
    // node's result when no join of them all is left to make (an empty list,
    // a single operand, or lists out of position order, joined pairwise).
    struct AndOperands {
        std::vector<SearchResult> results;
        std::optional<SearchResult> settled;
        std::int64_t d = 0;
    };
    AndOperands gatherAnd(const Tree* t, const std::string& n, EntrySpan parents, const std::string& p,
                          std::size_t typesFrom);
    SearchResult joinAnd(const AndOperands& g, const LowestCosts* bound) const;
    // The lowest cost at each position of joinAnd(g, nullptr), unless it
    // fails or is empty.
    std::optional<LowestCosts> lowestOf(const AndOperands& g) const;
    // The operands of an `or` or `xor` in mode all with deletion cost d, in
    // order, each `and` operand joined under the bound of all its siblings:
    // an entry of operand j at a position is kept out when it is dearer than
    // the cheapest entry there of some sibling i, its cost raised by d for
    // every combination step that sibling's entries take beyond operand j's
    // (the step of operand k is max(k, 1)). Such an entry never reaches the
    // result, and the first entry of a position that keeps none stands for
    // the position (combineAndAll with a bound). Operands are evaluated in
    // order up to the first that fails; the rest are left to the caller.
    std::vector<SearchResult> boundedOperands(std::span<const Tree* const> operands, std::int64_t d,
                                              EntrySpan parents, const std::string& p, std::size_t typesFrom);

    const QueryMapping& qmap_;
    const DeletionCostList& delCosts_;
    const index::MergedElementIndex& indexEL_;
    const index::TextIndex& indexTX_;
    const index::Mapping& mapping_;
    std::int64_t deletionCost_;
    const SearchTypeList& types_;
    SearchMode mode_;
    index::LookupKind defaultType_;
    // Whether the candidates of an element may be narrowed to those inside
    // its parent matches before its child is searched below them: so
    // whenever no selector that may fail lies in the child's subtree. The
    // element's own selector counts only candidates inside one parent match,
    // which the narrowing keeps; but a failure met below a candidate left
    // out would end the candidates' list there, and an `and` below may look
    // at an operand or not depending on what the left-out candidates hold.
    bool narrowsBelow(const Tree* child);
    bool holdsFailingSelector(const Tree* t);

public:
    // Takes out of the failing selectors every one that fails below no
    // element the document holds of its parent node's name (see
    // settleSelectors in the .cpp file); `root` and `rootCandidates` as the
    // search of the query starts them.
    void settleSelectors(const Tree* root, EntrySpan rootCandidates, const std::string& rootNumber);

private:
    struct SelectorSite {
        const Tree* node;
        const Tree* above;  // the element whose candidates are its parents; nullptr for the root
    };
    void collectSelectorSites(const Tree* t, const Tree* above, std::vector<SelectorSite>& out);

    std::unordered_set<std::string> failingSelectors_;  // query node numbers
    std::unordered_map<const Tree*, bool> failingBelow_;  // by subtree, as computed
    bool exactOnly_ = false;
    bool exactOnlyAsked_ = false;
    std::map<std::tuple<bool, std::string, index::LookupKind>, Lookup> cache_;
};

// The candidates that lie strictly inside the subtree of some parent (the
// only ones the descendant walk of those parents reads); `kept` holds them
// when some are left out. Both lists ascend by position.
EntrySpan insideParents(EntrySpan parents, EntrySpan candidates, EntryList& kept) {
    std::size_t j = 0, inside = 0;
    std::int64_t reach = std::numeric_limits<std::int64_t>::min();
    std::vector<bool> in(candidates.size());
    for (std::size_t i = 0; i < candidates.size(); ++i) {
        const std::int64_t c = candidates[i].position;
        while (j < parents.size() && parents[j].position < c) reach = std::max(reach, parents[j++].last);
        in[i] = c <= reach;
        inside += in[i];
    }
    if (inside == candidates.size()) return candidates;
    kept.reserve(inside);
    for (std::size_t i = 0; i < candidates.size(); ++i)
        if (in[i]) kept.push_back(candidates[i]);
    return kept;
}

bool Search::narrowsBelow(const Tree* child) {
    return failingSelectors_.empty() || !holdsFailingSelector(child);
}

// Recursion over the query's size only.
bool Search::holdsFailingSelector(const Tree* t) {
    if (auto it = failingBelow_.find(t); it != failingBelow_.end()) return it->second;
    bool holds = false;
    if (const auto* e = std::get_if<ELNode>(&t->value))
        holds = failingSelectors_.count(e->name) != 0;
    else if (const auto* x = std::get_if<TXNode>(&t->value))
        holds = failingSelectors_.count(x->text) != 0;
    for (const Tree* k : t->children())
        if (!holds) holds = holdsFailingSelector(k);
    failingBelow_.emplace(t, holds);
    return holds;
}

const std::string& numberOf(const Tree* t) {
    if (const auto* e = std::get_if<ELNode>(&t->value)) return e->name;
    return std::get<TXNode>(t->value).text;
}

void Search::collectSelectorSites(const Tree* t, const Tree* above, std::vector<SelectorSite>& out) {
    const std::string& n = numberOf(t);
    if (failingSelectors_.count(n)) out.push_back({t, above});
    if (t->isLeaf()) return;
    const std::string& label = queryLabel(n, "settleSelectors");
    const bool boolean = label == "and" || label == "or" || label == "xor";
    for (const Tree* k : t->children()) collectSelectorSites(k, boolean ? above : t, out);
}

// A selector asking for the k-th match (k >= 2) fails at a parent match with
// fewer than k cheapest matches below it. The parent matches a search hands
// to a node are always some of the candidates of the element above it (the
// query root's, or its own candidates of its name, narrowed or not), and the
// check at one parent match reads only what lies inside it; so a selector
// whose check passes at every candidate of the element above fails nowhere,
// whatever the search drops around it, as long as nothing below it fails
// either. Such selectors are settled from the deepest up, with the search's
// shortcuts off below them; a selector that does not read fails wherever it
// is searched and stays.
void Search::settleSelectors(const Tree* root, EntrySpan rootCandidates, const std::string& rootNumber) {
    if (failingSelectors_.empty() || root->isLeaf()) return;
    std::vector<SelectorSite> sites;
    collectSelectorSites(root->children()[0], root, sites);
    // Preorder numbers: a node's descendants have greater numbers.
    std::sort(sites.begin(), sites.end(), [](const SelectorSite& a, const SelectorSite& b) {
        return readQueryNumber(numberOf(a.node), "settleSelectors") >
               readQueryNumber(numberOf(b.node), "settleSelectors");
    });
    exactOnly_ = false;
    for (const SelectorSite& site : sites) {
        const std::string& n = numberOf(site.node);
        try {
            if (getInfofromLabel(queryLabel(n, "settleSelectors")).second < 2) continue;  // does not read
            EntrySpan parents = rootCandidates;
            std::string p = rootNumber;
            if (site.above != root) {
                p = numberOf(site.above);
                auto name = getInfofromLabel(queryLabel(p, "settleSelectors")).first;
                parents = presences(false, name, searchType(p, defaultType_, types_).first);
            }
            if (!ascendingByPosition(parents)) continue;
            if (evaluate(site.node, parents, p, 0).hasFailure()) continue;
        } catch (const Fatal&) {
            continue;
        }
        failingSelectors_.erase(n);
        failingBelow_.clear();
    }
    exactOnly_ = exactOnlyAsked_ && failingSelectors_.empty();
}

SearchResult Search::evaluate(const Tree* t, EntrySpan parents, const std::string& p, std::size_t typesFrom,
                              const LowestCosts* bound) {
    if (parents.empty()) return {};
    return guarded([&]() -> SearchResult {
        if (!t) throw InternalError("evaluate: no query node");
        if (const auto* x = std::get_if<TXNode>(&t->value)) {
            if (!t->isLeaf()) throw InternalError("evaluate: query text node " + x->text + " has children");
            return leaf(x->text, true, parents, p, typesFrom);
        }
        const auto* e = std::get_if<ELNode>(&t->value);
        if (!e) throw InternalError("evaluate: query node is neither an element nor a text");
        if (t->isLeaf()) return leaf(e->name, false, parents, p, typesFrom);
        const std::string& label = queryLabel(e->name, "evaluate");
        if (label == "and" || label == "or" || label == "xor") return boolean(t, e->name, label, parents, p, typesFrom, bound);
        return element(t, e->name, label, parents, p, typesFrom);
    });
}

SearchResult Search::leaf(const std::string& n, bool text, EntrySpan parents, const std::string& p,
                          std::size_t typesFrom) {
    std::int64_t d = deletionCostOf(n, delCosts_);
    auto [name, branch] = getInfofromLabel(queryLabel(n, "evaluate"));
    index::LookupKind type = searchType(n, defaultType_, types_, typesFrom).first;
    CandidateView cands;
    cands.list = presences(text, name, type);
    cands.addCost = d;
    cands.addRenaming = true;
    cands.stamp = &n;
    return joinWalk(parents, cands, p, kInsertionCost, deletionCost_ + d, mapping_, branch, mode_ == SearchMode::All, exactOnly_);
}

SearchResult Search::element(const Tree* t, const std::string& n, const std::string& label, EntrySpan parents,
                             const std::string& p, std::size_t typesFrom) {
    auto [name, branch] = getInfofromLabel(label);
    auto [type, rest] = searchType(n, defaultType_, types_, typesFrom);
    EntrySpan own = presences(false, name, type);
    EntryList inside;
    if (narrowsBelow(t->children()[0]) && ascendingByPosition(parents) && ascendingByPosition(own))
        own = insideParents(parents, own, inside);
    SearchResult below = evaluate(t->children()[0], own, n, rest);
    CandidateView cands;
    cands.list = below.entries;
    cands.failure = below.failure;
    cands.addRenaming = true;
    return joinWalk(parents, cands, p, kInsertionCost, kNoEmbeddingCost, mapping_, branch, mode_ == SearchMode::All, exactOnly_);
}

Search::AndOperands Search::gatherAnd(const Tree* t, const std::string& n, EntrySpan parents, const std::string& p,
                                      std::size_t typesFrom) {
    auto operands = t->children();
    AndOperands g;
    g.d = deletionCostOf(n, delCosts_);
    const bool all = mode_ == SearchMode::All;
    SearchResult first = evaluate(operands[0], parents, p, typesFrom);
    if (operands.size() == 1 || first.empty()) {  // the next operand is not evaluated
        g.settled = std::move(first);
        return g;
    }
    // While every list ascends by position, joining them all at once gives
    // the pairwise fold's list, and that list is empty exactly when no
    // position is common to every list so far.
    std::vector<std::int64_t> common, narrowed;
    for (const EmbeddingEntry& e : first.entries)
        if (common.empty() || common.back() != e.position) common.push_back(e.position);
    const bool firstInOrder = ascendingByPosition(first.entries);
    g.results.push_back(std::move(first));
    for (std::size_t i = 1; i < operands.size(); ++i) {
        if (common.empty()) {
            g.settled = SearchResult{};
            return g;
        }
        SearchResult next = evaluate(operands[i], parents, p, typesFrom);
        if (next.empty()) {
            g.settled = std::move(next);
            return g;
        }
        if (i == 1) g.results.front().rethrow();
        next.rethrow();
        if (!firstInOrder || !ascendingByPosition(next.entries)) {
            // Pairwise from here on, as the lists come.
            SearchResult r = joinAnd(g, nullptr);
            for (;;) {
                const EntryList& a = r.all();
                const EntryList& b = next.all();
                r = SearchResult{all ? combineAndAll(a, b, g.d) : combineAndBest(a, b, g.d), nullptr};
                if (++i == operands.size() || r.empty()) break;
                next = evaluate(operands[i], parents, p, typesFrom);
                if (next.empty()) {
                    r = std::move(next);
                    break;
                }
            }
            g.results.clear();
            g.settled = std::move(r);
            return g;
        }
        narrowed.clear();
        std::size_t k = 0;
        for (const EmbeddingEntry& e : next.entries) {
            while (k < common.size() && common[k] < e.position) ++k;
            if (k < common.size() && common[k] == e.position && (narrowed.empty() || narrowed.back() != e.position))
                narrowed.push_back(e.position);
        }
        std::swap(common, narrowed);
        g.results.push_back(std::move(next));
    }
    if (common.empty()) g.settled = SearchResult{};
    return g;
}

SearchResult Search::joinAnd(const AndOperands& g, const LowestCosts* bound) const {
    if (g.settled) return *g.settled;
    std::vector<EntrySpan> lists;
    lists.reserve(g.results.size());
    for (const SearchResult& r : g.results) lists.push_back(r.entries);
    if (mode_ != SearchMode::All) return SearchResult{combineAndBest(lists, g.d), nullptr};
    return SearchResult{combineAndAll(lists, g.d, bound), nullptr};
}

std::optional<LowestCosts> Search::lowestOf(const AndOperands& g) const {
    if (g.settled) {
        if (g.settled->hasFailure() || g.settled->entries.empty()) return std::nullopt;
        return LowestCosts(g.settled->entries);
    }
    std::vector<EntrySpan> lists;
    for (const SearchResult& r : g.results) lists.push_back(r.entries);
    return lowestOfAndAll(lists, g.d);
}

std::vector<SearchResult> Search::boundedOperands(std::span<const Tree* const> operands, std::int64_t d,
                                                  EntrySpan parents, const std::string& p, std::size_t typesFrom) {
    const std::size_t k = operands.size();
    std::vector<SearchResult> lists;
    std::vector<std::optional<AndOperands>> groups;
    for (std::size_t i = 0; i < k; ++i) {
        const Tree* u = operands[i];
        if (isCombiningAnd(u)) {
            AndOperands g;
            SearchResult failed = guarded([&] {
                g = gatherAnd(u, queryElementName(u), parents, p, typesFrom);
                return SearchResult{};
            });
            lists.push_back(std::move(failed));
            if (lists.back().hasFailure()) {
                groups.emplace_back();
                break;
            }
            groups.emplace_back(std::move(g));
        } else {
            lists.push_back(evaluate(u, parents, p, typesFrom));
            groups.emplace_back();
            if (lists.back().hasFailure()) break;
        }
    }
    // The two lowest of (cheapest cost - step * d) over the operands at each
    // position, with the operand of the lowest: the bound of operand j is
    // the lowest of its siblings plus its own step * d.
    struct Two {
        std::int64_t first, second;
        std::size_t from;
    };
    constexpr std::int64_t kNone = std::numeric_limits<std::int64_t>::max();
    std::unordered_map<std::int64_t, Two> lowest;
    auto step = [](std::size_t i) { return static_cast<std::int64_t>(std::max<std::size_t>(i, 1)); };
    for (std::size_t i = 0; i < lists.size(); ++i) {
        std::optional<LowestCosts> own;
        if (groups[i])
            own = lowestOf(*groups[i]);
        else if (!lists[i].hasFailure() && !lists[i].entries.empty())
            own.emplace(lists[i].entries);
        if (!own) continue;
        own->forEach([&](std::int64_t position, std::int64_t cost) {
            const std::int64_t v = cost - step(i) * d;
            auto [it, fresh] = lowest.emplace(position, Two{v, kNone, i});
            if (fresh) return;
            Two& t = it->second;
            if (v < t.first) {
                t.second = t.first;
                t.first = v;
                t.from = i;
            } else if (v < t.second) {
                t.second = v;
            }
        });
    }
    for (std::size_t j = 0; j < lists.size(); ++j) {
        if (!groups[j]) continue;
        LowestCosts bound;
        for (const auto& [position, t] : lowest) {
            const std::int64_t v = t.from != j ? t.first : t.second;
            if (v != kNone) bound.add(position, v + step(j) * d);
        }
        lists[j] = joinAnd(*groups[j], bound.empty() ? nullptr : &bound);
    }
    return lists;
}

SearchResult Search::boolean(const Tree* t, const std::string& n, const std::string& label, EntrySpan parents,
                             const std::string& p, std::size_t typesFrom, const LowestCosts* bound) {
    auto operands = t->children();
    if (label == "and") return joinAnd(gatherAnd(t, n, parents, p, typesFrom), bound);
    std::int64_t d = deletionCostOf(n, delCosts_);
    bool all = mode_ == SearchMode::All;
    // An `or` or `xor` in mode all keeps, at a position both lists hold, no
    // entry of either that is dearer than the other's cheapest there. So an
    // `and` operand (the only kind whose list can grow as a product) is
    // bounded, before it is joined, by the cheapest entries of every sibling
    // (boundedOperands).
    const bool bounding = all && (label == "or" || label == "xor");
    std::vector<SearchResult> ready;
    if (bounding) {
        bool anyAnd = false;
        for (const Tree* u : operands) anyAnd = anyAnd || isCombiningAnd(u);
        if (anyAnd) ready = boundedOperands(operands, d, parents, p, typesFrom);
    }
    SearchResult r = ready.empty() ? evaluate(operands[0], parents, p, typesFrom) : std::move(ready[0]);
    for (std::size_t i = 1; i < operands.size(); ++i) {
        const Tree* u = operands[i];
        SearchResult next = i < ready.size() ? std::move(ready[i]) : evaluate(u, parents, p, typesFrom);
        if (label == "or" && all && (r.entries.empty() || next.entries.empty())) {
            // One list is empty as far as it was produced: the other passes
            // with its cost raised, as far as it goes.
            const SearchResult& first = r.entries.empty() ? r : next;
            const SearchResult& other = r.entries.empty() ? next : r;
            first.rethrow();
            SearchResult passed{combineOrAll(EntrySpan{}, other.entries, d), other.failure};
            r = std::move(passed);
            continue;
        }
        const EntryList& a = r.all();
        const EntryList& b = next.all();
        EntryList combined = label == "or" ? (all ? combineOrAll(a, b, d) : combineOrBest(a, b, d))
                                           : (all ? combineXorAll(a, b, d) : combineXorBest(a, b, d));
        r = SearchResult{std::move(combined), nullptr};
    }
    return r;
}

}  // namespace

// ---------------------------------------------------------------------------
// Search entry

SearchResult evaluateQuery(const Tree* query, const SearchContext& context, std::int64_t rootNumberValue) {
    const std::string rootNumber = std::to_string(rootNumberValue);
    if (!query) throw InternalError("evaluateQuery: no query tree");
    const std::string* n = nullptr;
    bool text = false;
    if (const auto* e = std::get_if<ELNode>(&query->value)) {
        n = &e->name;
    } else if (const auto* x = std::get_if<TXNode>(&query->value)) {
        if (!query->isLeaf()) throw InternalError("evaluateQuery: query text root has children");
        n = &x->text;
        text = true;
    } else {
        throw InternalError("evaluateQuery: query root is neither an element nor a text");
    }
    JoinScope joins;
    std::optional<CoverScope> cover;
    if (context.coverOnly) {
        bool selector = false;
        for (const auto& [number, l] : *context.queryMapping) selector = selector || l.find('[') != std::string::npos;
        if (!selector) cover.emplace();
    }
    Search search(context);
    const std::string& label = search.queryLabel(*n, "evaluateQuery");
    auto [type, rest] = searchType(*n, context.defaultType, *context.searchTypes);
    if (getInfofromLabel(label).second != 0)
        throw Fatal("Attention: the branch information couldn't be applied to the query root");
    EntrySpan candidates = search.presences(text, label, type);
    search.settleSelectors(query, candidates, rootNumber);

    SearchResult r;
    if (text || query->isLeaf()) {
        r.entries.reserve(candidates.size());
        for (const EmbeddingEntry& c : candidates) r.entries.push_back(stampMatch(rootNumber, c));
    } else {
        r = search.evaluate(query->children()[0], candidates, rootNumber, rest);
    }
    for (EmbeddingEntry& e : r.entries) {
        e.cost += e.renamingCost;
        e.tree = joins.resolve(e.tree);
    }
    return r;
}

SearchResult evaluate(const Tree* t, const SearchContext& context, EntrySpan parents, std::int64_t parentNumber,
                      std::size_t typesFrom) {
    JoinScope joins;
    SearchContext all = context;
    all.exactOnly = false;
    Search search(all);
    SearchResult r = search.evaluate(t, parents, std::to_string(parentNumber), typesFrom);
    for (EmbeddingEntry& e : r.entries) e.tree = joins.resolve(e.tree);
    return r;
}

SearchResult join_path(EntrySpan parents, const SearchResult& candidates, const std::string& parentNumber,
                       std::int64_t insCost, std::int64_t altCost, const index::Mapping& mapping,
                       std::int64_t branch, SearchMode mode) {
    CandidateView view;
    view.list = candidates.entries;
    view.failure = candidates.failure;
    return joinWalk(parents, view, parentNumber, insCost, altCost, mapping, branch, mode == SearchMode::All);
}

// ---------------------------------------------------------------------------
// Candidate lookup, search types and cost adders

namespace {
template <class Idx>
EntryList presencesIn(const Idx& idx, std::string_view name, index::LookupKind type) {
    if (type == index::LookupKind::Exact) return index::getRef(idx, name, index::LookupKind::Exact);
    EntryList r = index::getRef(idx, name, index::LookupKind::WithTranslations);
    if (!r.empty()) return r;
    index::RenamingList synonyms = index::classOfSyn(name);
    if (synonyms.empty()) return {};
    synonyms.erase(synonyms.begin());
    return firstTranslationEntries(idx, synonyms);
}
}  // namespace

EntryList getPresences(const index::Index& idx, std::string_view name, index::LookupKind type) {
    return presencesIn(idx, name, type);
}

EntryList getPresences(const index::MergedElementIndex& idx, std::string_view name, index::LookupKind type) {
    return presencesIn(idx, name, type);
}

index::LookupKind inverseType(index::LookupKind type) {
    return type == index::LookupKind::Exact ? index::LookupKind::WithTranslations : index::LookupKind::Exact;
}

std::pair<index::LookupKind, std::size_t> searchType(std::string_view n, index::LookupKind defaultType,
                                                     const SearchTypeList& list, std::size_t from) {
    if (from >= list.size()) return {defaultType, list.size()};
    std::int64_t node = readQueryNumber(n, "searchType");
    for (std::size_t i = from; i < list.size(); ++i) {
        std::int64_t m = readQueryNumber(list[i].first, "searchType");
        if (node == m) return {inverseType(defaultType), i + 1};
        if (node < m) return {defaultType, i};
    }
    return {defaultType, list.size()};
}

std::int64_t getNumber(std::string_view selector) {
    if (selector.empty()) throw Fatal("Attention: inconsistent branch information found");
    if (selector == "last") return -1;
    // The integer reader: white space around, balanced parentheses, an
    // optional minus sign as a word of its own, decimal, 0x or 0o digits.
    std::string_view s = trim(selector);
    while (s.size() >= 2 && s.front() == '(' && s.back() == ')') s = trim(s.substr(1, s.size() - 2));
    bool negative = false;
    if (!s.empty() && s.front() == '-') {
        negative = true;
        s = trim(s.substr(1));
    }
    int base = 10;
    if (s.size() > 2 && s[0] == '0' && (s[1] == 'x' || s[1] == 'X')) {
        base = 16;
        s.remove_prefix(2);
    } else if (s.size() > 2 && s[0] == '0' && (s[1] == 'o' || s[1] == 'O')) {
        base = 8;
        s.remove_prefix(2);
    }
    if (s.empty()) noParse();
    std::uint64_t magnitude = 0;
    bool tooLarge = false;
    for (char c : s) {
        int digit;
        if (c >= '0' && c <= '9')
            digit = c - '0';
        else if (base == 16 && c >= 'a' && c <= 'f')
            digit = c - 'a' + 10;
        else if (base == 16 && c >= 'A' && c <= 'F')
            digit = c - 'A' + 10;
        else
            noParse();
        if (digit >= base) noParse();
        if (magnitude > (std::numeric_limits<std::uint64_t>::max() - std::uint64_t(digit)) / std::uint64_t(base))
            tooLarge = true;
        else
            magnitude = magnitude * std::uint64_t(base) + std::uint64_t(digit);
    }
    const std::uint64_t limit = std::uint64_t(std::numeric_limits<std::int64_t>::max()) + (negative ? 1 : 0);
    if (tooLarge || magnitude > limit)
        throw Fatal("Attention: the branch information " + cutForMessage(selector) + " is out of range");
    if (negative) return magnitude == limit ? std::numeric_limits<std::int64_t>::min() : -std::int64_t(magnitude);
    return std::int64_t(magnitude);
}

bool selectorCanFail(std::string_view label) {
    if (label.find('[') == std::string_view::npos) return false;
    try {
        return getInfofromLabel(label).second >= 2;
    } catch (const Fatal&) {
        return true;
    }
}

LabelName getLabelName(std::string_view label) {
    std::size_t open = label.find('[');
    if (open == std::string_view::npos) return LabelName{std::string(label), false, {}, true};
    std::string_view after = label.substr(open + 1);
    bool closed = !after.empty() && after.back() == ']';
    if (closed) after.remove_suffix(1);
    return LabelName{std::string(label.substr(0, open)), true, std::string(after), closed};
}

std::pair<std::string, std::int64_t> getInfofromLabel(std::string_view label) {
    LabelName l = getLabelName(label);
    if (!l.hasSelector) return {std::move(l.name), 0};
    if (!l.closed)
        throw Fatal("Attention: the branch information of the tag " + cutForMessage(l.name) + " is not closed in \"" +
                    cutForMessage(label) + "\"");
    std::int64_t k = getNumber(l.selector);
    if (k == 0) throw Fatal("Attention: inconsistent branch information found");
    return {std::move(l.name), k};
}

EntryList add_rencost(EntrySpan entries) {
    EntryList out(entries.begin(), entries.end());
    for (EmbeddingEntry& e : out) e.cost += e.renamingCost;
    return out;
}

EntryList add_delcost(EntrySpan entries, std::int64_t d) {
    EntryList out(entries.begin(), entries.end());
    if (d != 0)
        for (EmbeddingEntry& e : out) e.cost += d;
    return out;
}

// ---------------------------------------------------------------------------
// Synonym positions and result-root labels

EntryList withRenamingCost(std::int64_t r, EntrySpan entries) {
    EntryList out(entries.begin(), entries.end());
    for (EmbeddingEntry& e : out) e.renamingCost = r;
    return out;
}

namespace {
template <class Idx>
EntryList posOfSynIn(const Idx& idx, const index::RenamingList& synonyms) {
    for (const auto& syn : synonyms) {
        EntryList found = index::getRef(idx, syn.first, index::LookupKind::WithTranslations);
        if (!found.empty()) return withRenamingCost(kRenamingCost, found);
    }
    return {};
}
}  // namespace

EntryList firstTranslationEntries(const index::Index& idx, const index::RenamingList& synonyms) {
    return posOfSynIn(idx, synonyms);
}

EntryList firstTranslationEntries(const index::MergedElementIndex& idx, const index::RenamingList& synonyms) {
    return posOfSynIn(idx, synonyms);
}

EntryList entriesOverTrees(std::int64_t position, std::int64_t depth, std::int64_t last, std::int64_t renamingCost,
                   std::int64_t cost, std::string_view name, std::string_view q, std::int64_t branch,
                   std::span<const Tree* const> trees) {
    std::string label = resultLabel(name, q, position);
    auto entry = [&](const Tree* t) {
        const Tree* over = isDeferredFailure(t) ? t : xml::makeTree(ELNode{label, {}}, {t});
        return EmbeddingEntry{position, depth, last, renamingCost, cost, over};
    };
    EntryList out;
    if (branch == 0) {
        out.reserve(trees.size());
        for (const Tree* t : trees) out.push_back(entry(t));
    } else if (branch > 0) {
        if (std::uint64_t(branch) > trees.size())
            throw InternalError("entriesOverTrees: branch " + std::to_string(branch) + " of " + std::to_string(trees.size()) +
                                " trees");
        out.push_back(entry(trees[std::size_t(branch - 1)]));
    } else if (!trees.empty()) {
        out.push_back(entry(trees.back()));
    }
    return out;
}

const Tree* setLabel(const Tree* tree, std::string_view suffix) {
    throwIfDeferredFailure(tree);
    if (tree) {
        if (const auto* e = std::get_if<ELNode>(&tree->value); e && e->attributes.empty()) {
            std::string name = e->name;
            name.push_back('^');
            name += suffix;
            return xml::makeTree(ELNode{std::move(name), {}}, tree->children());
        }
        if (const auto* x = std::get_if<TXNode>(&tree->value); x && tree->isLeaf()) {
            std::string t = x->text;
            t.push_back('^');
            t += suffix;
            return xml::leafNode(TXNode{std::move(t)});
        }
    }
    throw InternalError("setLabel: root is neither an element without attributes nor a childless text");
}

EmbeddingEntry stampMatch(std::string_view prefix, const EmbeddingEntry& entry) {
    EmbeddingEntry out = entry;
    out.tree = stampLeaf(entry.tree, prefix, entry.position, "stampMatch");
    return out;
}

// ---------------------------------------------------------------------------
// Attribute reconversion

namespace {

// The attribute an '@' child stands for, if it is one.
std::optional<xml::Attribute> attributeOf(const Tree* child) {
    const auto* e = std::get_if<ELNode>(&child->value);
    if (!e || e->name.empty() || e->name[0] != '@' || !e->attributes.empty()) return std::nullopt;
    if (child->kidCount == 0) return xml::Attribute{e->name.substr(1), std::string()};
    if (child->kidCount != 1) return std::nullopt;
    const Tree* value = child->kids[0];
    const auto* x = std::get_if<TXNode>(&value->value);
    if (!x || !value->isLeaf()) return std::nullopt;
    return xml::Attribute{e->name.substr(1), x->text};
}

}  // namespace

const Tree* restoreAttributes(const Tree* tree) {
    if (!tree || isDeferredFailure(tree)) return tree;
    if (!std::holds_alternative<ELNode>(tree->value) || tree->isLeaf()) return tree;
    // Walked with a stack of open elements (a result is as deep as the
    // document below its bound subtrees). Each child leaves one entry on
    // `done`: the attribute it becomes (its own tree, marked), or its
    // adjusted tree. A node whose entries are all unmarked and unchanged is
    // kept itself, so a tree without attribute elements is returned as it is.
    struct Open {
        const Tree* node;
        std::uint32_t next;  // the next child to look at
    };
    struct Done {
        const Tree* tree;
        bool attribute;
    };
    std::vector<Open> open{{tree, 0}};
    std::vector<Done> done;
    for (;;) {
        Open& top = open.back();
        if (top.next < top.node->kidCount) {
            const Tree* c = top.node->kids[top.next++];
            if (attributeOf(c)) {
                done.push_back({c, true});
            } else if (isDeferredFailure(c) || !std::holds_alternative<ELNode>(c->value) || c->isLeaf()) {
                done.push_back({c, false});
            } else {
                open.push_back({c, 0});
            }
            continue;
        }
        const Tree* node = top.node;
        const std::size_t first = done.size() - node->kidCount;
        bool changed = false;
        for (std::size_t k = first; k < done.size() && !changed; ++k)
            changed = done[k].attribute || done[k].tree != node->kids[k - first];
        const Tree* result = node;
        if (changed) {
            const auto& e = std::get<ELNode>(node->value);
            xml::AttList attributes = e.attributes;
            TreeList kids;
            for (std::size_t k = first; k < done.size(); ++k) {
                if (done[k].attribute)
                    attributes.push_back(std::move(*attributeOf(done[k].tree)));
                else
                    kids.push_back(done[k].tree);
            }
            result = xml::makeTree(ELNode{e.name, std::move(attributes)}, kids);
        }
        done.resize(first);
        open.pop_back();
        if (open.empty()) return result;
        done.push_back({result, false});
    }
}

}  // namespace axf::query
