#include "app/RuleEvaluation.h"

#include <variant>

#include "app/ResultPrinter.h"
#include "app/VariablesStep.h"
#include "common/Fatal.h"
#include "query/Combination.h"
#include "query/Embedding.h"
#include "query/ExtendQuery.h"

namespace axf::app {

using xml::ELNode;
using xml::Tree;
using xml::TXNode;

namespace {

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
    return ctx.negated || ctx.kind == StatementKind::All || ctx.kind == StatementKind::AllExact;
}

bool isExact(StatementKind kind) { return kind == StatementKind::BestExact || kind == StatementKind::AllExact; }

// Whether the rule prints a count, not the matches.
bool isCount(std::int64_t count) { return count >= 0 || count == -2; }

query::VariableList joinVariables(const query::VariableList& a, const query::VariableList& b) {
    std::vector<query::VariableList::Pair> pairs(a.pairs());
    pairs.insert(pairs.end(), b.pairs().begin(), b.pairs().end());
    return query::VariableList(std::move(pairs));
}

using Combine = EntryList (*)(query::EntrySpan, query::EntrySpan);

QueryOutcome fold(Combine combine, bool firstEmptyDecides, const OperandEvaluator& eval, QueryOutcome acc,
                  std::span<const Tree* const> rest) {
    for (const Tree* q : rest) {
        QueryOutcome next = eval(acc.lastNumber + 1, q);
        Lazy<SearchResult> left = acc.results;
        Lazy<SearchResult> right = next.results;
        acc.results = makeLazy([left, right, combine, firstEmptyDecides]() -> SearchResult {
            const SearchResult& a = left.get();
            // An "and" whose list so far is empty does not look at the next operand.
            if (firstEmptyDecides && a.empty()) return {};
            const SearchResult& b = right.get();
            return SearchResult{combine(a.all(), b.all()), nullptr};
        });
        acc.variables = joinVariables(acc.variables, next.variables);
        acc.lastNumber = next.lastNumber;
    }
    return acc;
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
// list as the pairwise fold, whose operands it reads in the same order, but
// a product of tied results is built only when it is the result.
QueryOutcome foldOrAll(const OperandEvaluator& eval, QueryOutcome acc, std::span<const Tree* const> rest) {
    std::vector<Lazy<SearchResult>> operands{acc.results};
    for (const Tree* q : rest) {
        QueryOutcome next = eval(acc.lastNumber + 1, q);
        operands.push_back(next.results);
        acc.variables = joinVariables(acc.variables, next.variables);
        acc.lastNumber = next.lastNumber;
    }
    acc.results = makeLazy([operands]() -> SearchResult {
        std::vector<query::EntrySpan> lists;
        auto readBoth = [](query::EntrySpan, query::EntrySpan) {};
        for (std::size_t i = 0; i < operands.size(); ++i) {
            const SearchResult& b = operands[i].get();
            if (i == 1) readBoth(operands[0].get().all(), b.all());
            if (i > 1) b.all();
            lists.push_back(b.entries);
        }
        return SearchResult{query::combineQueriesOrAll(lists), nullptr};
    });
    return acc;
}

}  // namespace

QueryOutcome evalSimpleQuery(const EvalContext& ctx, std::int64_t n, const Tree* q) {
    const index::IndexedDocument* doc = ctx.document;
    QueryOutcome out;
    if (!ctx.negated && !isExact(ctx.kind)) {
        query::QueryAnnotation a = query::extendQuery(q, n);
        out.variables = a.variables;
        out.lastNumber = a.lastNumber;
        query::SearchMode mode = ctx.kind == StatementKind::All ? query::SearchMode::All : query::SearchMode::Best;
        index::LookupKind type = ctx.searchType;
        out.results = makeLazy([a, doc, n, mode, type]() {
            query::SearchContext search{&a.mapping,   &a.deletionCosts,  &a.searchTypes,        &doc->indexEL,
                                        &doc->indexTX, &doc->mapping, query::kDeletionCost, mode,
                                        type};
            return query::evaluateQuery(a.tree, search, n);
        });
        return out;
    }
    query::PlainAnnotation p = query::visitQuery(q, n);
    out.variables = p.variables;
    out.lastNumber = p.lastNumber;
    std::int64_t deletion = ctx.negated ? query::kDeletionCost : query::kNoEmbeddingCost;
    query::SearchMode mode =
        !ctx.negated && ctx.kind == StatementKind::BestExact ? query::SearchMode::Best : query::SearchMode::All;
    bool exactOnly = ctx.exactOnly && !ctx.negated;
    out.results = makeLazy([p, doc, n, deletion, mode, exactOnly]() {
        const query::DeletionCostList noCosts;
        const query::SearchTypeList noTypes;
        query::SearchContext search{&p.mapping,    &noCosts,      &noTypes, &doc->indexEL,
                                    &doc->indexTX, &doc->mapping, deletion, mode,
                                    index::LookupKind::Exact,     exactOnly};
        return query::evaluateQuery(p.tree, search, n);
    });
    return out;
}

QueryOutcome evaluateQueryTree(const EvalContext& ctx, std::int64_t n, const Tree* q) {
    std::string_view group;
    if (!isGroupRoot(q, &group)) {
        if (!std::holds_alternative<ELNode>(q->value) &&
            !(std::holds_alternative<TXNode>(q->value) && q->isLeaf()))
            throw InternalError("evaluateQueryTree: a query root must be an element or a text");
        return evalSimpleQuery(ctx, n, q);
    }
    OperandEvaluator eval = [&ctx](std::int64_t number, const Tree* operand) {
        return evaluateQueryTree(ctx, number, operand);
    };
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

QueryOutcome foldAndOperands(bool all, const OperandEvaluator& eval, QueryOutcome acc,
                             std::span<const Tree* const> rest) {
    Combine c = all ? &query::combineQueriesAndAll : &query::combineQueriesAndBest;
    return fold(c, true, eval, std::move(acc), rest);
}

QueryOutcome foldOrXorOperands(bool isXor, bool all, const OperandEvaluator& eval, QueryOutcome acc,
                               std::span<const Tree* const> rest) {
    if (!isXor && all) return foldOrAll(eval, std::move(acc), rest);
    Combine c = !isXor ? &query::combineQueriesOrBest
                       : all ? &query::combineQueriesXorAll : &query::combineQueriesXorBest;
    return fold(c, false, eval, std::move(acc), rest);
}

EmbeddingEntry adjustRoot(const EmbeddingEntry& entry) {
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

const Tree* rankElement(std::int64_t cost) {
    return xml::leafNode(ELNode{"Query Rank", {{"rank", std::to_string(cost)}}});
}

}  // namespace

std::int64_t countWithinCost(const EntryList& results, std::int64_t bound, std::int64_t start) {
    for (const auto& e : results)
        if (e.cost <= bound) ++start;
    return start;
}

ResultDocument countEmbedding(const SearchResult& results, std::int64_t count) {
    ResultDocument doc;
    if (results.empty()) {
        doc.tree = emptyResult();
        return doc;
    }
    const EntryList& all = results.all();
    std::int64_t n = count >= 0 ? countWithinCost(all, count, 0) : static_cast<std::int64_t>(all.size());
    doc.tree = xml::leafNode(ELNode{"0000", {{"Embedding Num", std::to_string(n)}}});
    return doc;
}

ResultDocument buildUniqueTree(const SearchResult& results, MatchListing listing) {
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

ResultDocument buildQueryResult(const SearchResult& results, StatementKind kind, Polarity polarity,
                                MatchListing listing, std::int64_t count) {
    if (results.empty()) {
        ResultDocument doc;
        doc.tree = emptyResult();
        return doc;
    }
    if (isCount(count)) return countEmbedding(results, count);
    if (polarity == Polarity::Positive && isExact(kind)) return buildUniqueTree(results, MatchListing::CostZeroTrees);
    if (polarity == Polarity::Positive) return buildUniqueTree(results, listing);
    if (results.entries.size() != 1)
        throw InternalError("buildQueryResult: a negated rule has exactly one result");
    ResultDocument doc;
    doc.tree = xml::makeTree(ELNode{"0000", {}}, {results.entries.front().tree});
    return doc;
}

void writeResultDocument(std::int64_t level, bool resultNames, const ResultDocument& doc, Sink& sink) {
    if (doc.reduced) {
        writeReducedDocument(level, resultNames, ELNode{"0000", {}}, *doc.reduced, sink);
        return;
    }
    if (doc.tree && doc.cutBelowRoot) {
        query::throwIfDeferredFailure(doc.tree);
        const auto* root = std::get_if<ELNode>(&doc.tree->value);
        if (!root) throw InternalError("writeResultDocument: a reduced document under a root that is not an element");
        writeElementOverCut(level, resultNames, *root, doc.tree->children(), sink);
        return;
    }
    if (doc.tree) {
        writeFormattedXML(level, resultNames, doc.tree, sink);
        return;
    }
    // A match list: its children are made one at a time, as they are printed.
    const ELNode root{"0000", {}};
    std::size_t next = 0;
    bool rankPending = false;
    auto nextChild = [&]() -> const Tree* {
        for (;;) {
            if (rankPending) {
                rankPending = false;
                return query::adjust_attributes(doc.matches[next++].tree);
            }
            if (next >= doc.matches.size()) {
                if (doc.failure) std::rethrow_exception(doc.failure);
                return nullptr;
            }
            const EmbeddingEntry& e = doc.matches[next];
            if (doc.listing == MatchListing::RankedTrees) {
                rankPending = true;
                return rankElement(e.cost);
            }
            ++next;
            if (doc.listing == MatchListing::CostZeroTrees && e.cost != 0) continue;
            return query::adjust_attributes(e.tree);
        }
    };
    const Tree* first = nextChild();
    if (!first) throw InternalError("writeResultDocument: a match list without matches");
    query::throwIfDeferredFailure(first);
    if (first->isLeaf() && std::holds_alternative<TXNode>(first->value)) {
        const Tree* second = nextChild();
        if (!second) {
            writeTextElement(level, resultNames, root, std::get<TXNode>(first->value).text, sink);
            return;
        }
        writeStartTag(level, resultNames, root, false, sink);
        writeFormattedXML(level + 1, resultNames, first, sink);
        writeFormattedXML(level + 1, resultNames, second, sink);
    } else {
        writeStartTag(level, resultNames, root, false, sink);
        writeFormattedXML(level + 1, resultNames, first, sink);
    }
    while (const Tree* child = nextChild()) writeFormattedXML(level + 1, resultNames, child, sink);
    writeEndTag(level, resultNames, root, sink);
}

std::string showResultDocument(std::int64_t level, bool resultNames, const ResultDocument& doc) {
    StringSink s;
    writeResultDocument(level, resultNames, doc, s);
    return s.take();
}

// ---------------------------------------------------------------------------
// Rule evaluation

StatementKind decodeStatementKind(std::string_view text) {
    if (text == "best") return StatementKind::Best;
    if (text == "all") return StatementKind::All;
    if (text == "bestEx") return StatementKind::BestExact;
    if (text == "allEx") return StatementKind::AllExact;
    throw InternalError("decodeStatementKind: statement kind \"" + std::string(text) + "\"");
}

namespace {

Polarity decodePolarity(const std::string& text) {
    if (text == "P") return Polarity::Positive;
    if (text == "N") return Polarity::Negative;
    throw InternalError("evaluateRule: polarity " + text);
}

index::LookupKind decodeSearchType(const std::string& text) {
    if (text == "E") return index::LookupKind::Exact;
    if (text == "N") return index::LookupKind::WithTranslations;
    throw InternalError("evaluateRule: search type \"" + text + "\"");
}

MatchListing listingOf(bool outermost) { return outermost ? MatchListing::RankedTrees : MatchListing::Trees; }

}  // namespace

ResultDocument evaluateRule(const std::string& kindText, const std::string& searchTypeText,
                            const Lazy<std::string>& documentText, const filter::RuleConditions& conditions,
                            const std::string& polarityText, bool outermost, const Tree* q, std::int64_t count,
                            const index::DocumentOrigin& origin) {
    const Polarity polarity = decodePolarity(polarityText);
    const StatementKind kind = decodeStatementKind(kindText);
    const MatchListing listing = listingOf(outermost);
    const bool negated = polarity == Polarity::Negative;
    const index::LookupKind searchType = negated ? index::LookupKind::Exact : decodeSearchType(searchTypeText);

    auto evaluate = [&]() {
        // Nothing reads the text after the indexer, which takes its storage over.
        auto doc = std::make_shared<index::IndexedDocument>(
            index::parseTextInPlace(std::move(const_cast<std::string&>(documentText.get())), origin));
        EvalContext ctx{kind, negated, searchType, doc.get()};
        // A statement of exact matches that prints them without conditions
        // reads nothing of a match of a higher cost.
        // A selector that may fail is weighed by the search of its own query;
        // between whole queries, a dropped match may decide whether the next
        // query is searched at all.
        std::string_view group;
        ctx.exactOnly = !negated && isExact(kind) && !isCount(count) && conditions.empty() &&
                        (!isGroupRoot(q, &group) || !hasFailingSelector(q));
        QueryOutcome outcome = evaluateQueryTree(ctx, 2, q);
        return std::make_pair(doc, std::move(outcome));
    };

    if (negated) {
        // One entry whatever was found; under a count its tree is never read,
        // so the document is neither indexed nor searched.
        if (isCount(count)) {
            ResultDocument doc;
            doc.tree = xml::leafNode(ELNode{"0000", {{"Embedding Num", "1"}}});
            return doc;
        }
        auto [doc, outcome] = evaluate();
        const SearchResult& found = outcome.results.get();
        EntryList adjusted;
        for (const auto& e : found.all()) adjusted.push_back(adjustRoot(e));
        if (doc->tree.byPosition()) {
            // The matches are removed as positions over the document's nodes,
            // and the printer walks what remains: the document is never built.
            ResultDocument result;
            result.reduced = reducedOverlay(adjusted, outcome.variables, documentSource(doc->tree), conditions);
            result.document = doc;
            return result;
        }
        const Tree* reduced = reducedDocument(adjusted, outcome.variables, doc->tree.root(), conditions);
        SearchResult one{{EmbeddingEntry{0, 0, 0, 0, 0, reduced}}, nullptr};
        ResultDocument result = buildQueryResult(one, kind, Polarity::Negative, listing, count);
        result.cutBelowRoot = true;
        return result;
    }

    auto [doc, outcome] = evaluate();
    const SearchResult& found = outcome.results.get();
    EntryList adjusted;
    adjusted.reserve(found.entries.size());
    for (const auto& e : found.entries) adjusted.push_back(adjustRoot(e));
    // A count reads no tree; an exact statement prints only the matches of
    // cost 0.
    filter::ResultTrees trees = filter::ResultTrees::All;
    if (isCount(count))
        trees = filter::ResultTrees::None;
    else if (isExact(kind))
        trees = filter::ResultTrees::CostZero;
    SearchResult accepted{acceptedMatches(adjusted, outcome.variables, documentSource(doc->tree), conditions, trees),
                        found.failure};
    return buildQueryResult(accepted, kind, Polarity::Positive, listing, count);
}

}  // namespace axf::app
