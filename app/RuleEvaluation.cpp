#include "app/RuleEvaluation.h"

#include <memory>
#include <optional>
#include <variant>

#include "app/QueryTreeEvaluation.h"
#include "app/ResultPrinter.h"
#include "app/RuleEvaluationInternal.h"
#include "app/VariablesStep.h"
#include "common/Fatal.h"
#include "query/Embedding.h"

namespace axf::app {

using filter::CountBound;
using xml::ELNode;
using xml::Tree;

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
    auto empty = [] {
        ResultDocument doc;
        doc.tree = emptyResult();
        return doc;
    };
    // Conditions over a query without variables accept nothing.
    if (variables.empty()) return empty();
    // Conditions that each read one leaf are checked on the leaves' entries
    // alone; the product of what they accept is counted or printed as above.
    if (std::optional<std::vector<filter::RuleConditions>> byLeaf = conditionsByLeaf(*p)) {
        query::ResultSetPtr kept = acceptedLeaves(*p, *byLeaf);
        if (!kept || (!count.counts() && p->listing == MatchListing::CostZeroTrees && kept->countWithin(0) == 0)) return empty();
        if (count.counts()) return countDocument(count.hasCostBound() ? kept->countWithin(count.costBound) : kept->size());
        p->product = std::move(kept);
        p->parts = printedParts(*p, &*byLeaf);
        ResultDocument doc;
        doc.product = std::move(p);
        return doc;
    }
    // Otherwise every entry is examined once here, in order, as the list
    // would be.
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
    if (accepted == 0 || (!count.counts() && p->listing == MatchListing::CostZeroTrees && costZero == 0)) return empty();
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
    if (found.product && rule.conditions.empty() && outcome.variables.pairs().empty()) {
        // Without conditions or variables the removal reads only what the
        // matches cover together: a product gives each entry of its parts
        // once, its roots made as they are relabelled below.
        adjusted = found.product->materializeCovering(combinedRootName(query::ResultSet::rootName(found.product->root())));
        for (EmbeddingEntry& e : adjusted) e = labelCombinedRoot(e);
    } else {
        EntryList made;
        const query::EntrySpan entries = entriesOf(found, made);
        adjusted.reserve(entries.size());
        for (const auto& e : entries) adjusted.push_back(labelCombinedRoot(e));
    }
    // Nothing reads the search's own list again.
    outcome.results = {};
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
    const std::exception_ptr failure = found.failure;
    // Nothing reads the search's own list again.
    madePlain = {};
    outcome.results = {};
    // A count reads no tree; an exact statement prints only the matches of
    // cost 0.
    filter::ResultTrees trees = filter::ResultTrees::All;
    if (rule.count.counts())
        trees = filter::ResultTrees::None;
    else if (isExact(rule.kind))
        trees = filter::ResultTrees::CostZero;
    SearchResult accepted{acceptedMatches(adjusted, outcome.variables, documentSource(doc->tree), rule.conditions, trees),
                          failure};
    adjusted = {};
    return buildQueryResult(std::move(accepted), rule.kind, Polarity::Positive, listing, rule.count);
}

}  // namespace

ResultDocument evaluateRule(const filter::Rule& rule, const Lazy<std::string>& documentText, bool outermost,
                            const index::DocumentOrigin& origin) {
    const MatchListing listing = listingOf(outermost);
    if (rule.polarity == Polarity::Negated) return evaluateNegatedRule(rule, documentText, listing, origin);
    return evaluatePositiveRule(rule, documentText, listing, origin);
}

}  // namespace axf::app
