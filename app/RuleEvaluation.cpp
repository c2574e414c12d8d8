#include "app/RuleEvaluation.h"

#include <functional>
#include <memory>
#include <optional>
#include <unordered_set>
#include <variant>

#include "app/ResultPrinter.h"
#include "app/RuleEvaluationInternal.h"
#include "app/VariablesStep.h"
#include "common/Fatal.h"
#include "query/Combination.h"
#include "query/Embedding.h"
#include "query/ExtendQuery.h"
#include "query/QueryAnnotation.h"

namespace axf::app {

using filter::CountBound;
using xml::ELNode;
using xml::Tree;
using xml::TXNode;

namespace {

// The results of a query: a list, or a product of whole-query lists kept
// unbuilt (query/ResultSet.h), whose entries are made only where something
// reads them.
struct QueryResults {
    SearchResult list;
    query::ResultSetPtr product;  // when set, the results are its entries and `list` is empty
};

// The value of a query, a group operand or a simple query. The results are
// computed on first use.
struct QueryOutcome {
    Lazy<QueryResults> results;
    query::VariableList variables;
    std::int64_t lastNumber = 0;
};

// The evaluation context shared by all operands of a rule.
struct EvalContext {
    StatementKind kind = StatementKind::Best;
    Polarity polarity = Polarity::Positive;  // negated: every embedding, deletion allowed
    bool negated() const { return polarity == Polarity::Negated; }
    const index::IndexedDocument* document = nullptr;
    bool exactOnly = false;  // only the matches of cost 0 are read
    bool coverOnly = false;  // only the nodes the matches cover together are read
};

// The search type of a query node the query gives none: every rule searches
// such a node exactly, finding the nodes that bear its own name.
constexpr index::LookupKind kSearchType = index::LookupKind::Exact;

using OperandEvaluator = std::function<QueryOutcome(std::int64_t, const xml::Tree*)>;

bool isGroupRoot(const Tree* q, std::string_view* name) {
    const auto* el = std::get_if<ELNode>(&q->value);
    if (!el || !el->attributes.empty() || q->isLeaf()) return false;
    if (el->name != "and" && el->name != "or" && el->name != "xor") return false;
    *name = el->name;
    return true;
}

// Whether the groups of the query keep every combination of their operands'
// results of the lowest cost, not only the cheapest one.
bool keepsAll(const EvalContext& ctx) {
    return ctx.negated() || ctx.kind == StatementKind::All || ctx.kind == StatementKind::AllExact;
}

bool isExact(StatementKind kind) { return kind == StatementKind::BestExact || kind == StatementKind::AllExact; }

query::VariableList joinVariables(const query::VariableList& a, const query::VariableList& b) {
    std::vector<query::VariableList::Pair> pairs(a.pairs());
    pairs.insert(pairs.end(), b.pairs().begin(), b.pairs().end());
    return query::VariableList(std::move(pairs));
}

using Combine = EntryList (*)(query::EntrySpan, query::EntrySpan);

// The entries of a list, its pending failure raised first; a product is made
// plain into `made` (no statement of mode best forms one).
query::EntrySpan entriesOf(const QueryResults& r, EntryList& made) {
    if (r.product) {
        made = r.product->materialize();
        return made;
    }
    return r.list.all();
}

// The list as a ResultSet, its pending failure raised first.
query::ResultSetPtr setOf(const QueryResults& r) {
    if (r.product) return r.product;
    return query::ResultSet::plain(r.list.all());
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
            return join(a, right.get());
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
    auto join = [combine](const QueryResults& a, const QueryResults& b) { return combine(setOf(a), setOf(b)); };
    return foldWith(join, firstEmptyDecides, eval, std::move(acc), rest);
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
    acc.results = makeLazy([operands]() -> QueryResults {
        std::vector<query::ResultSetPtr> sets;
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
            sets.push_back(b.product ? b.product : query::ResultSet::plain(b.list.entries));
        }
        // What the fold has so far: the product of these runs, whose entries
        // all cost `total`.
        std::vector<query::ResultSetPtr> runs;
        std::int64_t total = 0;
        for (const query::ResultSetPtr& s : sets) {
            if (s->empty()) continue;
            const std::int64_t c = s->lowestCost();
            if (runs.empty() || c < total) {
                runs.assign(1, s->lowestRun());
                total = c;
            } else if (c == total) {
                // A tie joins the run, and the joined entries cost the sum:
                // the next operand is compared with that sum, as the pairwise
                // fold compares it with the joined list so far.
                runs.push_back(s->lowestRun());
                total += c;
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

}  // namespace

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

// ---------------------------------------------------------------------------
// Result document

namespace {

const Tree* emptyResult() { return xml::leafNode(ELNode{"Empty Result", {}}); }

std::int64_t countWithinCost(const EntryList& results, std::int64_t bound, std::int64_t start) {
    for (const auto& e : results)
        if (e.cost <= bound) ++start;
    return start;
}

ResultDocument countedMatchesDocument(const SearchResult& results, CountBound count) {
    ResultDocument doc;
    if (results.empty()) {
        doc.tree = emptyResult();
        return doc;
    }
    const EntryList& all = results.all();
    std::int64_t n = count.hasCostBound() ? countWithinCost(all, count.costBound, 0) : static_cast<std::int64_t>(all.size());
    doc.tree = xml::leafNode(ELNode{"0000", {{"Embedding Num", std::to_string(n)}}});
    return doc;
}

ResultDocument matchListDocument(const SearchResult& results, MatchListing listing) {
    ResultDocument doc;
    if (results.empty()) {
        doc.tree = emptyResult();
        return doc;
    }
    if (listing == MatchListing::CostZeroTrees) {
        // Only the matches of cost 0 are listed; none makes the empty result.
        bool any = false;
        for (const auto& e : results.entries)
            if (e.cost == 0) {
                any = true;
                break;
            }
        if (!any) {
            results.rethrow();
            doc.tree = emptyResult();
            return doc;
        }
    }
    doc.matches = results.entries;
    doc.failure = results.failure;
    doc.listing = listing;
    return doc;
}

}  // namespace

ResultDocument buildQueryResult(const SearchResult& results, StatementKind kind, Polarity polarity, MatchListing listing,
                                CountBound count) {
    if (results.empty()) {
        ResultDocument doc;
        doc.tree = emptyResult();
        return doc;
    }
    if (count.counts()) return countedMatchesDocument(results, count);
    if (polarity == Polarity::Positive && isExact(kind)) return matchListDocument(results, MatchListing::CostZeroTrees);
    if (polarity == Polarity::Positive) return matchListDocument(results, listing);
    if (results.entries.size() != 1) throw InternalError("buildQueryResult: a negated rule has exactly one result");
    ResultDocument doc;
    doc.tree = xml::makeTree(ELNode{"0000", {}}, {results.entries.front().tree});
    return doc;
}

// ---------------------------------------------------------------------------
// Products of whole-query lists

namespace {

// Whether every leaf tree of the product joins as itself, so that no entry's
// tree is a failure.
bool joinsWhole(const query::ResultSet& product) {
    for (const query::ResultSet* l : product.leaves())
        for (const EmbeddingEntry& e : l->entries())
            if (!query::joinsAsItself(e.tree)) return false;
    return true;
}

// Whether a variable name stands at two query nodes: the binding of one
// entry then depends on every part of it.
bool repeatsAName(const query::VariableList& variables) {
    std::unordered_set<std::string> seen;
    for (const auto& [number, name] : variables)
        if (!seen.insert(name).second) return true;
    return false;
}

std::optional<PrintedParts> printedParts(const ProductListing& p) {
    if (!p.conditions.empty()) return std::nullopt;
    std::vector<std::size_t> order = p.product->joinedOrder();
    // The binding walks an entry's tree and its variables, both by query
    // node number, side by side: it binds each part as it binds the part
    // alone only when the parts stand in the order of their numbers (the
    // order of the leaves) and no name stands at two nodes.
    if (!p.variables.empty()) {
        for (std::size_t i = 0; i < order.size(); ++i)
            if (order[i] != i) return std::nullopt;
        if (repeatsAName(p.variables)) return std::nullopt;
    }
    if (!joinsWhole(*p.product)) return std::nullopt;
    const std::vector<const query::ResultSet*> leaves = p.product->leaves();
    std::unique_ptr<filter::ResultBinder> binder = resultBinder(p.variables, p.source, p.conditions, p.trees);
    PrintedParts out;
    out.order = std::move(order);
    bool haveRoot = false;
    for (const query::ResultSet* l : leaves) {
        std::vector<PrintedPart>& parts = out.leaves.emplace_back();
        parts.reserve(l->entries().size());
        for (const EmbeddingEntry& e : l->entries()) {
            EmbeddingEntry one = e;
            one.position = 1;
            one.depth = 0;
            one.last = 0;
            one.renamingCost = 0;
            // Cost 0: a leaf entry's tree is read whatever the cost of the
            // entries that hold it.
            one.cost = 0;
            one.tree = xml::makeTree(ELNode{std::string(query::ResultSet::rootName(p.product->root())), {}}, {e.tree});
            std::optional<EmbeddingEntry> bound = binder->examine(labelCombinedRoot(one));
            if (!bound || !bound->tree) return std::nullopt;
            const Tree* t = query::restoreAttributes(bound->tree);
            const auto* el = std::get_if<ELNode>(&t->value);
            const auto* bare = std::get_if<ELNode>(&bound->tree->value);
            if (!el || !bare) return std::nullopt;
            if (!haveRoot) {
                out.root = *bare;
                haveRoot = true;
            } else if (bare->name != out.root.name || bare->attributes != out.root.attributes) {
                return std::nullopt;
            }
            PrintedPart part;
            part.attributes =
                xml::AttList(el->attributes.begin() + std::ptrdiff_t(bare->attributes.size()), el->attributes.end());
            part.kids.assign(t->children().begin(), t->children().end());
            parts.push_back(std::move(part));
        }
    }
    return out;
}

}  // namespace

ResultDocument plainDocument(const ResultDocument& doc) {
    if (!doc.product) return doc;
    const ProductListing& p = *doc.product;
    EntryList adjusted;
    for (const EmbeddingEntry& e : p.product->materialize()) adjusted.push_back(labelCombinedRoot(e));
    SearchResult accepted{acceptedMatches(adjusted, p.variables, p.source, p.conditions, p.trees), nullptr};
    return matchListDocument(accepted, p.listing);
}

// ---------------------------------------------------------------------------
// Rule evaluation

namespace {

MatchListing listingOf(bool outermost) { return outermost ? MatchListing::RankedTrees : MatchListing::Trees; }

ResultDocument countDocument(query::ResultCount n) {
    ResultDocument doc;
    doc.tree = xml::leafNode(ELNode{"0000", {{"Embedding Num", query::decimalText(n)}}});
    return doc;
}

// The result document of a positive rule whose results are a product,
// counted from the cost counts of its parts or printed entry by entry. The
// failures the conditions or the trees can raise fire before the first byte
// is printed, as they do for a list. Nothing when the product is to be made
// plain and taken as a list (a tree that joins into a failure).
std::optional<ResultDocument> productResult(const query::ResultSetPtr& product, StatementKind kind, MatchListing listing,
                                            CountBound count, const query::VariableList& variables,
                                            const std::shared_ptr<index::IndexedDocument>& document,
                                            const filter::RuleConditions& conditions) {
    auto p = std::make_shared<ProductListing>();
    p->product = product;
    p->variables = variables;
    p->document = document;
    p->source = documentSource(document->tree);
    p->conditions = conditions;
    p->listing = isExact(kind) ? MatchListing::CostZeroTrees : listing;
    p->trees = count.counts()  ? filter::ResultTrees::None
               : isExact(kind) ? filter::ResultTrees::CostZero
                               : filter::ResultTrees::All;
    if (conditions.empty()) {
        if (count.counts()) return countDocument(count.hasCostBound() ? product->countWithin(count.costBound) : product->size());
        if (p->listing == MatchListing::CostZeroTrees && product->countWithin(0) == 0) {
            ResultDocument doc;
            doc.tree = emptyResult();
            return doc;
        }
        p->parts = printedParts(*p);
        // Without printed parts, the entries are examined one at a time as
        // they are printed; that can fail only on a tree that joins into a
        // failure, and such a product is made plain first.
        if (!p->parts && !joinsWhole(*product)) return std::nullopt;
        ResultDocument doc;
        doc.product = std::move(p);
        return doc;
    }
    // Every entry is examined once here, in order, as the list would be.
    std::unique_ptr<filter::ResultBinder> binder = resultBinder(variables, p->source, conditions, filter::ResultTrees::None);
    query::ResultCount accepted = 0, within = 0, costZero = 0;
    product->forEach([&](const EmbeddingEntry& e) {
        std::optional<EmbeddingEntry> r = binder->examine(labelCombinedRoot(e));
        if (!r) return true;
        accepted = query::checkedAdd(accepted, 1);
        if (count.hasCostBound() && r->cost <= count.costBound) within = query::checkedAdd(within, 1);
        if (r->cost == 0) costZero = query::checkedAdd(costZero, 1);
        return true;
    });
    if (accepted == 0 || (!count.counts() && p->listing == MatchListing::CostZeroTrees && costZero == 0)) {
        ResultDocument doc;
        doc.tree = emptyResult();
        return doc;
    }
    if (count.counts()) return countDocument(count.hasCostBound() ? within : accepted);
    ResultDocument doc;
    doc.product = std::move(p);
    return doc;
}

// The document indexed and the rule's query evaluated over it.
struct EvaluatedQuery {
    std::shared_ptr<index::IndexedDocument> document;
    QueryOutcome outcome;
};

EvaluatedQuery indexAndSearch(const filter::Rule& rule, const Lazy<std::string>& documentText,
                              const index::DocumentOrigin& origin) {
    const bool negated = rule.polarity == Polarity::Negated;
    // The indexer rewrites the text in place and keeps its storage, so the
    // text is moved out of the lazy value, whose get() hands it out const.
    // Nothing reads it there again: the lazy text is made for this one rule,
    // which reads it once (the moved-from string stays behind).
    auto doc = std::make_shared<index::IndexedDocument>(
        index::parseTextInPlace(std::move(const_cast<std::string&>(documentText.get())), origin));
    EvalContext ctx{rule.kind, rule.polarity, doc.get()};
    // A statement of exact matches that prints them without conditions
    // reads nothing of a match of a higher cost.
    // A selector that may fail is weighed by the search of its own query;
    // between whole queries, a dropped match may decide whether the next
    // query is searched at all.
    std::string_view group;
    ctx.exactOnly = !negated && isExact(rule.kind) && !rule.count.counts() && rule.conditions.empty() &&
                    (!isGroupRoot(rule.query, &group) || !hasFailingSelector(rule.query));
    // A negated rule without conditions removes what its matches cover.
    ctx.coverOnly = negated && rule.conditions.empty();
    QueryOutcome outcome = evaluateQueryTree(ctx, 2, rule.query);
    return {doc, std::move(outcome)};
}

// A negated rule: the document with its matches removed, or under a count
// the one entry it always counts.
ResultDocument evaluateNegatedRule(const filter::Rule& rule, const Lazy<std::string>& documentText, MatchListing listing,
                                   const index::DocumentOrigin& origin) {
    // One entry whatever was found; under a count its tree is never read,
    // so the document is neither indexed nor searched.
    if (rule.count.counts()) {
        ResultDocument doc;
        doc.tree = xml::leafNode(ELNode{"0000", {{"Embedding Num", "1"}}});
        return doc;
    }
    auto [doc, outcome] = indexAndSearch(rule, documentText, origin);
    const QueryResults& found = outcome.results.get();
    EntryList adjusted;
    EntryList made;
    // Without conditions or variables the removal reads only what the
    // matches cover together: a product gives each entry of its parts once.
    if (found.product && rule.conditions.empty() && outcome.variables.pairs().empty())
        made = found.product->materializeCovering();
    const query::EntrySpan entries = made.empty() ? entriesOf(found, made) : query::EntrySpan(made);
    adjusted.reserve(entries.size());
    for (const auto& e : entries) adjusted.push_back(labelCombinedRoot(e));
    if (doc->tree.byPosition()) {
        // The matches are removed as positions over the document's nodes,
        // and the printer walks what remains: the document is never built.
        ResultDocument result;
        result.reduced = reducedOverlay(adjusted, outcome.variables, documentSource(doc->tree), rule.conditions);
        result.document = doc;
        return result;
    }
    const Tree* reduced = reducedDocument(adjusted, outcome.variables, doc->tree.root(), rule.conditions);
    SearchResult one{{EmbeddingEntry{0, 0, 0, 0, 0, reduced}}, nullptr};
    ResultDocument result = buildQueryResult(one, rule.kind, Polarity::Negated, listing, rule.count);
    result.cutBelowRoot = true;
    return result;
}

// A positive rule: its accepted matches, listed or counted.
ResultDocument evaluatePositiveRule(const filter::Rule& rule, const Lazy<std::string>& documentText, MatchListing listing,
                                    const index::DocumentOrigin& origin) {
    auto [doc, outcome] = indexAndSearch(rule, documentText, origin);
    const QueryResults& results = outcome.results.get();
    if (results.product) {
        std::optional<ResultDocument> r =
            productResult(results.product, rule.kind, listing, rule.count, outcome.variables, doc, rule.conditions);
        if (r) return std::move(*r);
    }
    SearchResult madePlain;
    if (results.product) madePlain = SearchResult{results.product->materialize(), nullptr};
    const SearchResult& found = results.product ? madePlain : results.list;
    EntryList adjusted;
    adjusted.reserve(found.entries.size());
    for (const auto& e : found.entries) adjusted.push_back(labelCombinedRoot(e));
    // A count reads no tree; an exact statement prints only the matches of
    // cost 0.
    filter::ResultTrees trees = filter::ResultTrees::All;
    if (rule.count.counts())
        trees = filter::ResultTrees::None;
    else if (isExact(rule.kind))
        trees = filter::ResultTrees::CostZero;
    SearchResult accepted{acceptedMatches(adjusted, outcome.variables, documentSource(doc->tree), rule.conditions, trees),
                          found.failure};
    return buildQueryResult(accepted, rule.kind, Polarity::Positive, listing, rule.count);
}

}  // namespace

ResultDocument evaluateRule(const filter::Rule& rule, const Lazy<std::string>& documentText, bool outermost,
                            const index::DocumentOrigin& origin) {
    const MatchListing listing = listingOf(outermost);
    if (rule.polarity == Polarity::Negated) return evaluateNegatedRule(rule, documentText, listing, origin);
    return evaluatePositiveRule(rule, documentText, listing, origin);
}

}  // namespace axf::app
