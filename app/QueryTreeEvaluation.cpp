#include "app/QueryTreeEvaluation.h"

#include <functional>
#include <memory>
#include <span>
#include <variant>
#include <vector>

#include "app/RuleEvaluationInternal.h"
#include "common/Fatal.h"
#include "query/Combination.h"
#include "query/Embedding.h"
#include "query/ExtendQuery.h"
#include "query/QueryAnnotation.h"

namespace axf::app {

using xml::ELNode;
using xml::Tree;
using xml::TXNode;

namespace {

// The search type of a query node the query gives none: every rule searches
// such a node exactly, finding the nodes that bear its own name.
constexpr index::LookupKind kSearchType = index::LookupKind::Exact;

using OperandEvaluator = std::function<QueryOutcome(std::int64_t, const xml::Tree*)>;

}  // namespace

bool isGroupRoot(const Tree* q, std::string_view* name) {
    const auto* el = std::get_if<ELNode>(&q->value);
    if (!el || !el->attributes.empty() || q->isLeaf()) return false;
    if (el->name != "and" && el->name != "or" && el->name != "xor") return false;
    *name = el->name;
    return true;
}

bool isExact(StatementKind kind) { return kind == StatementKind::BestExact || kind == StatementKind::AllExact; }

// The entries of a list, its pending failure raised first; a product is made
// plain into `made` (no statement of mode best forms one).
query::EntrySpan entriesOf(const QueryResults& r, EntryList& made) {
    if (r.product) {
        made = r.product->materialize();
        return made;
    }
    return r.list.all();
}

// Whether a label of the query holds a selector that may fail: the one
// thing in a search that can fail on what the document holds. At the root
// of a whole query any selector fails.
bool hasFailingSelector(const Tree* q) {
    std::vector<std::pair<const Tree*, bool>> todo{{q, true}};  // (node, whether it is a whole query's root)
    while (!todo.empty()) {
        auto [t, root] = todo.back();
        todo.pop_back();
        std::string_view label;
        if (const auto* e = std::get_if<ELNode>(&t->value)) label = e->name;
        if (const auto* x = std::get_if<TXNode>(&t->value)) label = x->text;
        if (root ? label.find('[') != std::string_view::npos : query::selectorCanFail(label)) return true;
        std::string_view group;
        const bool groupRoot = root && isGroupRoot(t, &group);
        for (const Tree* k : t->children()) todo.push_back({k, groupRoot});
    }
    return false;
}

namespace {

// Whether the groups of the query keep every combination of their operands'
// results of the lowest cost, not only the cheapest one.
bool keepsAll(const EvalContext& ctx) {
    return ctx.negated() || ctx.kind == StatementKind::All || ctx.kind == StatementKind::AllExact;
}

query::VariableList joinVariables(const query::VariableList& a, const query::VariableList& b) {
    std::vector<query::VariableList::Pair> pairs(a.pairs());
    pairs.insert(pairs.end(), b.pairs().begin(), b.pairs().end());
    return query::VariableList(std::move(pairs));
}

using Combine = EntryList (*)(query::EntrySpan, query::EntrySpan);

// The list as a ResultSet, its pending failure raised first.
query::ResultSetPtr setOf(QueryResults r) {
    if (r.product) return r.product;
    r.list.rethrow();
    return query::ResultSet::plain(std::move(r.list.entries));
}

// The list, its pending failure raised.
const QueryResults& raised(const QueryResults& r) {
    if (!r.product) r.list.all();
    return r;
}

// Whether the list is empty; raises a pending failure when no entry came first.
bool isEmpty(const QueryResults& r) { return r.product ? false : r.list.empty(); }

QueryResults resultsOf(const query::ResultSetPtr& s) {
    if (s->isProduct()) return QueryResults{{}, s};
    return QueryResults{SearchResult{s->entries(), nullptr}, nullptr};
}

// The lowest-cost run of a list, or of the cheaper of two (the first on equal
// costs); an empty list when both are empty.
QueryResults xorAll(const query::ResultSetPtr& first, const query::ResultSetPtr& second) {
    if (first->empty() && second->empty()) return {};
    if (first->empty()) return resultsOf(second->lowestRun());
    if (second->empty()) return resultsOf(first->lowestRun());
    return resultsOf(first->lowestCost() <= second->lowestCost() ? first->lowestRun() : second->lowestRun());
}

// Every pair of the two lists, kept as their product.
QueryResults andAll(const query::ResultSetPtr& first, const query::ResultSetPtr& second) {
    if (first->empty() || second->empty()) return {};
    return QueryResults{{}, query::ResultSet::product(query::ResultSet::JoinRoot::And, {first, second})};
}

// The operands of `rest` folded into `acc` from the left: each step's result
// is `join(results so far, next operand's results)`, deferred until read. An
// "and" (firstEmptyDecides) whose list so far is empty does not look at the
// next operand.
template <typename Join>
QueryOutcome foldWith(Join join, bool firstEmptyDecides, const OperandEvaluator& eval, QueryOutcome acc,
                      std::span<const Tree* const> rest) {
    for (const Tree* q : rest) {
        QueryOutcome next = eval(acc.lastNumber + 1, q);
        Lazy<QueryResults> left = acc.results;
        Lazy<QueryResults> right = next.results;
        acc.results = makeLazy([left, right, join, firstEmptyDecides]() -> QueryResults {
            const QueryResults& a = left.get();
            if (firstEmptyDecides && isEmpty(a)) return {};
            // Each operand's results are read here last: taken, not copied.
            return join(left.take(), right.take());
        });
        acc.variables = joinVariables(acc.variables, next.variables);
        acc.lastNumber = next.lastNumber;
    }
    return acc;
}

// A fold whose step combines the two entry lists.
QueryOutcome fold(Combine combine, bool firstEmptyDecides, const OperandEvaluator& eval, QueryOutcome acc,
                  std::span<const Tree* const> rest) {
    auto join = [combine](const QueryResults& a, const QueryResults& b) {
        EntryList madeA, madeB;
        return QueryResults{SearchResult{combine(entriesOf(a, madeA), entriesOf(b, madeB)), nullptr}, nullptr};
    };
    return foldWith(join, firstEmptyDecides, eval, std::move(acc), rest);
}

// The pairwise folds of mode all whose results may be products: they are kept
// as products, never built here.
using CombineSets = QueryResults (*)(const query::ResultSetPtr&, const query::ResultSetPtr&);

QueryOutcome foldSets(CombineSets combine, bool firstEmptyDecides, const OperandEvaluator& eval, QueryOutcome acc,
                      std::span<const Tree* const> rest) {
    auto join = [combine](QueryResults a, QueryResults b) { return combine(setOf(std::move(a)), setOf(std::move(b))); };
    return foldWith(join, firstEmptyDecides, eval, std::move(acc), rest);
}

// The `or` of whole queries in mode all over every operand at once: the same
// list as the pairwise fold, whose operands it reads in the same order. Only
// the lowest-cost runs of the operands take part, and tied runs are kept as
// their product: a dearer operand, product or not, is never built.
QueryOutcome foldOrAll(const OperandEvaluator& eval, QueryOutcome acc, std::span<const Tree* const> rest) {
    std::vector<Lazy<QueryResults>> operands{acc.results};
    for (const Tree* q : rest) {
        QueryOutcome next = eval(acc.lastNumber + 1, q);
        operands.push_back(next.results);
        acc.variables = joinVariables(acc.variables, next.variables);
        acc.lastNumber = next.lastNumber;
    }
    acc.results = makeLazy([operands]() mutable -> QueryResults {
        // What the fold has so far: the product of these runs, whose entries
        // all cost `total`.
        std::vector<query::ResultSetPtr> runs;
        std::int64_t total = 0;
        // An operand's lowest-cost run joins the fold; its whole list is
        // never copied, and a run dearer than the fold's is never made.
        auto join = [&runs, &total](const QueryResults& b) {
            if (b.product ? b.product->empty() : b.list.entries.empty()) return;
            const std::int64_t c = b.product ? b.product->lowestCost() : query::lowestCostOf(b.list.entries);
            if (!runs.empty() && c > total) return;
            query::ResultSetPtr run = b.product ? b.product->lowestRun() : query::lowestRunOf(b.list.entries);
            if (runs.empty() || c < total) {
                runs.assign(1, std::move(run));
                total = c;
            } else {
                // A tie joins the run, and the joined entries cost the sum:
                // the next operand is compared with that sum, as the pairwise
                // fold compares it with the joined list so far.
                runs.push_back(std::move(run));
                total += c;
            }
        };
        // The first two operands' pending failures are raised as the pairwise
        // fold raised them: both read before either is checked, in an order
        // the compiler chooses, as arguments of one call.
        // readBoth does nothing with its arguments: the two reads are made
        // the arguments of one call so that they run in the order the
        // compiler gives a call's arguments, as the pairwise fold's combine
        // reads its two operands. Two statements would fix the written order
        // instead, and could change which of two pending failures fires.
        auto readBoth = [](const QueryResults&, const QueryResults&) {};
        for (std::size_t i = 0; i < operands.size(); ++i) {
            const QueryResults& b = operands[i].get();
            if (i == 1) readBoth(raised(operands[0].get()), raised(b));
            if (i > 1) raised(b);
            join(b);
            // Nothing reads an operand's list once its run is taken and its
            // failure raised (the first one's with the second's).
            if (i >= 1) {
                operands[i] = {};
                if (i == 1) operands[0] = {};
            }
        }
        if (runs.empty()) return {};
        if (runs.size() == 1) return resultsOf(runs.front());
        return QueryResults{{}, query::ResultSet::product(query::ResultSet::JoinRoot::Or, std::move(runs))};
    });
    return acc;
}

// The operands after the first of an `and` group folded into `acc`, keeping
// every combination (`all`) or the cheapest.
QueryOutcome foldAndOperands(bool all, const OperandEvaluator& eval, QueryOutcome acc, std::span<const Tree* const> rest) {
    if (all) return foldSets(&andAll, true, eval, std::move(acc), rest);
    return fold(&query::combineQueriesAndBest, true, eval, std::move(acc), rest);
}

// The same for an `or` group (`isXor` false) or an `xor` group.
QueryOutcome foldOrXorOperands(bool isXor, bool all, const OperandEvaluator& eval, QueryOutcome acc,
                               std::span<const Tree* const> rest) {
    if (!isXor && all) return foldOrAll(eval, std::move(acc), rest);
    if (isXor && all) return foldSets(&xorAll, false, eval, std::move(acc), rest);
    Combine c = !isXor ? &query::combineQueriesOrBest : &query::combineQueriesXorBest;
    return fold(c, false, eval, std::move(acc), rest);
}

QueryOutcome evaluateSimpleQuery(const EvalContext& ctx, std::int64_t n, const Tree* q) {
    const index::IndexedDocument* doc = ctx.document;
    QueryOutcome out;
    if (!ctx.negated() && !isExact(ctx.kind)) {
        query::QueryAnnotation a = query::extendQuery(q, n);
        out.variables = a.variables;
        out.lastNumber = a.lastNumber;
        query::SearchMode mode = ctx.kind == StatementKind::All ? query::SearchMode::All : query::SearchMode::Best;
        out.results = makeLazy([a, doc, n, mode]() {
            query::SearchContext search{&a.mapping,    &a.deletionCosts,     &a.searchTypes, &doc->elementIndex, &doc->textIndex,
                                        &doc->mapping, query::kDeletionCost, mode,           kSearchType};
            return QueryResults{query::evaluateQuery(a.tree, search, n), nullptr};
        });
        return out;
    }
    query::PlainAnnotation p = query::plainAnnotation(q, n);
    out.variables = p.variables;
    out.lastNumber = p.lastNumber;
    std::int64_t deletion = ctx.negated() ? query::kDeletionCost : query::kNoEmbeddingCost;
    query::SearchMode mode =
        !ctx.negated() && ctx.kind == StatementKind::BestExact ? query::SearchMode::Best : query::SearchMode::All;
    bool exactOnly = ctx.exactOnly && !ctx.negated();
    bool coverOnly = ctx.coverOnly && p.variables.pairs().empty();
    out.results = makeLazy([p, doc, n, deletion, mode, exactOnly, coverOnly]() {
        const query::DeletionCostList noCosts;
        const query::SearchTypeList noTypes;
        query::SearchContext search{&p.mapping,    &noCosts, &noTypes, &doc->elementIndex,       &doc->textIndex,
                                    &doc->mapping, deletion, mode,     index::LookupKind::Exact, exactOnly};
        search.coverOnly = coverOnly;
        return QueryResults{query::evaluateQuery(p.tree, search, n), nullptr};
    });
    return out;
}

}  // namespace

// A query whose root may be an `and`, `or` or `xor` group of queries.
QueryOutcome evaluateQueryTree(const EvalContext& ctx, std::int64_t n, const Tree* q) {
    std::string_view group;
    if (!isGroupRoot(q, &group)) {
        if (!std::holds_alternative<ELNode>(q->value) && !(std::holds_alternative<TXNode>(q->value) && q->isLeaf()))
            throw InternalError("evaluateQueryTree: a query root must be an element or a text");
        return evaluateSimpleQuery(ctx, n, q);
    }
    OperandEvaluator eval = [&ctx](std::int64_t number, const Tree* operand) { return evaluateQueryTree(ctx, number, operand); };
    auto kids = q->children();
    std::vector<const Tree*> spliced;
    std::string_view inner;
    while (group == "or" && keepsAll(ctx) && isGroupRoot(kids[0], &inner) && inner == "or") {
        // A leading `or` group is folded first, in the same order, so its
        // operands join this fold (numbers and variables run on unchanged).
        std::vector<const Tree*> next(kids[0]->children().begin(), kids[0]->children().end());
        next.insert(next.end(), kids.begin() + 1, kids.end());
        spliced = std::move(next);
        kids = spliced;
    }
    QueryOutcome first = evaluateQueryTree(ctx, n, kids[0]);
    if (group == "and") return foldAndOperands(keepsAll(ctx), eval, std::move(first), kids.subspan(1));
    return foldOrXorOperands(group == "xor", keepsAll(ctx), eval, std::move(first), kids.subspan(1));
}

std::string combinedRootName(std::string_view name) { return std::string(name) + "^1^0"; }

EmbeddingEntry labelCombinedRoot(const EmbeddingEntry& entry) {
    // A failure stays as it is: it fails where the tree is read (a count
    // never reads it).
    if (query::isDeferredFailure(entry.tree)) return entry;
    if (const auto* el = std::get_if<ELNode>(&entry.tree->value)) {
        if (el->attributes.empty() && (el->name == "and" || el->name == "or" || el->name == "xor")) {
            EmbeddingEntry e = entry;
            e.tree = query::setLabel(entry.tree, "1^0");
            return e;
        }
    }
    return entry;
}

}  // namespace axf::app
