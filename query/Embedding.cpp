#include "query/Embedding.h"

#include <algorithm>
#include <limits>
#include <map>
#include <memory>
#include <optional>
#include <tuple>
#include <unordered_map>
#include <unordered_set>
#include <variant>
#include <vector>

#include "common/Fatal.h"
#include "query/Combination.h"
#include "query/DescendantWalk.h"
#include "query/EmbeddingInternal.h"

namespace axf::query {

using xml::ELNode;
using xml::Tree;
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

// ---------------------------------------------------------------------------
// One search: its arguments and the candidate lookups made so far, cached by
// (index, name, search type).

class Search {
public:
    explicit Search(const SearchContext& c)
        : qmap_(*c.queryMapping),
          delCosts_(*c.deletionCosts),
          indexEL_(*c.elementIndex),
          indexTX_(*c.textIndex),
          mapping_(*c.documentMapping),
          deletionCost_(c.deletionCost),
          types_(*c.searchTypes),
          mode_(c.mode),
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
            found.owned =
                std::make_shared<EntryList>(text ? getPresences(indexTX_, name, type) : getPresences(indexEL_, name, type));
            found.view = *found.owned;
        }
        return cache_.emplace(std::move(key), std::move(found)).first->second.view;
    }

    // The names of the query's element nodes (not its boolean nodes). A
    // label whose selector does not read is left out: it fails where the
    // search reaches it, if it does.
    std::vector<std::string> elementNames(const Tree* query) const {
        std::vector<std::string> names;
        std::vector<const Tree*> todo{query};
        while (!todo.empty()) {
            const Tree* t = todo.back();
            todo.pop_back();
            const auto* e = std::get_if<ELNode>(&t->value);
            if (!e) continue;
            if (const std::string* label = qmap_.find(e->name); label && *label != "and" && *label != "or" && *label != "xor") {
                try {
                    names.push_back(nameAndBranch(*label).first);
                } catch (const Fatal&) {
                }
            }
            for (const Tree* c : t->children()) todo.push_back(c);
        }
        return names;
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

    // The number of a query element (its name in the annotated query).
    static const std::string& queryElementNumber(const Tree* t) { return std::get<ELNode>(t->value).name; }

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

    SearchResult leaf(const std::string& n, bool text, EntrySpan parents, const std::string& p, std::size_t typesFrom);
    // The settings of the walk from the candidates of a node to its parent
    // matches (query node p), leaving the node out at altCost.
    WalkSettings walkSettings(const std::string& p, std::int64_t altCost, std::int64_t branch) const {
        WalkSettings s;
        s.insCost = kInsertionCost;
        s.altCost = altCost;
        s.branch = branch;
        s.allMode = mode_ == SearchMode::All;
        s.exactOnly = exactOnly_;
        s.parentNumber = &p;
        s.mapping = &mapping_;
        return s;
    }
    SearchResult element(const Tree* t, const std::string& n, const std::string& label, EntrySpan parents, const std::string& p,
                         std::size_t typesFrom);
    SearchResult boolean(const Tree* t, const std::string& n, const std::string& label, EntrySpan parents, const std::string& p,
                         std::size_t typesFrom, const LowestCosts* bound);

    // The operands of an `and` node, evaluated in order as long as the
    // result so far is not empty, before they are joined; `settled` holds the
    // node's result when no join of them all is left to make (an empty list,
    // a single operand, or lists out of position order, joined pairwise).
    struct AndOperands {
        std::vector<SearchResult> results;
        std::optional<SearchResult> settled;
        std::int64_t d = 0;
    };
    AndOperands gatherAnd(const Tree* t, const std::string& n, EntrySpan parents, const std::string& p, std::size_t typesFrom);
    // The `and` of g's operands joined so far and `next`, then of the
    // operands `rest` one by one, pairwise as the lists come (for lists out of
    // position order); stops at an empty list.
    SearchResult foldPairwise(const AndOperands& g, SearchResult next, std::span<const Tree* const> rest, EntrySpan parents,
                              const std::string& p, std::size_t typesFrom);
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
    std::vector<SearchResult> boundedOperands(std::span<const Tree* const> operands, std::int64_t d, EntrySpan parents,
                                              const std::string& p, std::size_t typesFrom);
    // The operands of boundedOperands evaluated in order, up to the first that
    // fails: the list of each (empty for an `and` gathered but not joined)
    // and, for each `and`, its gathered operands.
    void evaluateOperands(std::span<const Tree* const> operands, EntrySpan parents, const std::string& p, std::size_t typesFrom,
                          std::vector<SearchResult>& lists, std::vector<std::optional<AndOperands>>& groups);

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

    std::unordered_set<std::string> failingSelectors_;    // query node numbers
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

// Keeps of `common` (ascending positions) those that the entries (ascending
// by position) hold; `narrowed` is a buffer.
void keepCommonPositions(std::vector<std::int64_t>& common, EntrySpan entries, std::vector<std::int64_t>& narrowed) {
    narrowed.clear();
    std::size_t k = 0;
    for (const EmbeddingEntry& e : entries) {
        while (k < common.size() && common[k] < e.position) ++k;
        if (k < common.size() && common[k] == e.position && (narrowed.empty() || narrowed.back() != e.position))
            narrowed.push_back(e.position);
    }
    std::swap(common, narrowed);
}

bool Search::narrowsBelow(const Tree* child) { return failingSelectors_.empty() || !holdsFailingSelector(child); }

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
        return readQueryNumber(numberOf(a.node), "settleSelectors") > readQueryNumber(numberOf(b.node), "settleSelectors");
    });
    exactOnly_ = false;
    for (const SelectorSite& site : sites) {
        const std::string& n = numberOf(site.node);
        try {
            if (nameAndBranch(queryLabel(n, "settleSelectors")).second < 2) continue;  // does not read
            EntrySpan parents = rootCandidates;
            std::string p = rootNumber;
            if (site.above != root) {
                p = numberOf(site.above);
                auto name = nameAndBranch(queryLabel(p, "settleSelectors")).first;
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

SearchResult Search::leaf(const std::string& n, bool text, EntrySpan parents, const std::string& p, std::size_t typesFrom) {
    std::int64_t d = deletionCostOf(n, delCosts_);
    auto [name, branch] = nameAndBranch(queryLabel(n, "evaluate"));
    index::LookupKind type = searchType(n, defaultType_, types_, typesFrom).first;
    CandidateView cands;
    cands.list = presences(text, name, type);
    cands.addCost = d;
    cands.addRenaming = true;
    cands.stamp = &n;
    return descendantWalk(parents, cands, walkSettings(p, deletionCost_ + d, branch));
}

SearchResult Search::element(const Tree* t, const std::string& n, const std::string& label, EntrySpan parents,
                             const std::string& p, std::size_t typesFrom) {
    auto [name, branch] = nameAndBranch(label);
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
    return descendantWalk(parents, cands, walkSettings(p, kNoEmbeddingCost, branch));
}

Search::AndOperands Search::gatherAnd(const Tree* t, const std::string& n, EntrySpan parents, const std::string& p,
                                      std::size_t typesFrom) {
    auto operands = t->children();
    AndOperands g;
    g.d = deletionCostOf(n, delCosts_);
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
            SearchResult r = foldPairwise(g, std::move(next), operands.subspan(i + 1), parents, p, typesFrom);
            g.results.clear();
            g.settled = std::move(r);
            return g;
        }
        keepCommonPositions(common, next.entries, narrowed);
        g.results.push_back(std::move(next));
    }
    if (common.empty()) g.settled = SearchResult{};
    return g;
}

SearchResult Search::foldPairwise(const AndOperands& g, SearchResult next, std::span<const Tree* const> rest, EntrySpan parents,
                                  const std::string& p, std::size_t typesFrom) {
    const bool all = mode_ == SearchMode::All;
    SearchResult r = joinAnd(g, nullptr);
    for (std::size_t i = 0;; ++i) {
        const EntryList& a = r.all();
        const EntryList& b = next.all();
        r = SearchResult{all ? combineAndAll(a, b, g.d) : combineAndBest(a, b, g.d), nullptr};
        if (i == rest.size() || r.empty()) break;
        next = evaluate(rest[i], parents, p, typesFrom);
        if (next.empty()) {
            r = std::move(next);
            break;
        }
    }
    return r;
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

void Search::evaluateOperands(std::span<const Tree* const> operands, EntrySpan parents, const std::string& p,
                              std::size_t typesFrom, std::vector<SearchResult>& lists,
                              std::vector<std::optional<AndOperands>>& groups) {
    for (std::size_t i = 0; i < operands.size(); ++i) {
        const Tree* u = operands[i];
        if (isCombiningAnd(u)) {
            AndOperands g;
            SearchResult failed = guarded([&] {
                g = gatherAnd(u, queryElementNumber(u), parents, p, typesFrom);
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
}

std::vector<SearchResult> Search::boundedOperands(std::span<const Tree* const> operands, std::int64_t d, EntrySpan parents,
                                                  const std::string& p, std::size_t typesFrom) {
    std::vector<SearchResult> lists;
    std::vector<std::optional<AndOperands>> groups;
    evaluateOperands(operands, parents, p, typesFrom, lists, groups);
    // The two lowest of (cheapest cost - step * d) over the operands at each
    // position, with the operand of the lowest: the bound of operand j is
    // the lowest of its siblings plus its own step * d.
    struct TwoLowest {
        std::int64_t first, second;
        std::size_t from;  // the operand of the lowest
    };
    constexpr std::int64_t kNone = std::numeric_limits<std::int64_t>::max();
    std::unordered_map<std::int64_t, TwoLowest> lowest;
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
            auto [it, fresh] = lowest.emplace(position, TwoLowest{v, kNone, i});
            if (fresh) return;
            TwoLowest& t = it->second;
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
    if (nameAndBranch(label).second != 0) throw Fatal("Attention: the branch information couldn't be applied to the query root");
    // A search of exact lists alone reads the list of every element name of
    // the query: they are made together, in one pass over the nodes.
    if (!text && !query->isLeaf() && context.searchTypes->empty() && context.defaultType == index::LookupKind::Exact)
        context.elementIndex->prepareExact(search.elementNames(query));
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

}  // namespace axf::query
