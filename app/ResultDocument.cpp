#include <cstdint>
#include <string>

#include "app/QueryTreeEvaluation.h"
#include "app/RuleEvaluationInternal.h"
#include "common/Fatal.h"

namespace axf::app {

using filter::CountBound;
using xml::ELNode;
using xml::Tree;

const Tree* emptyResult() { return xml::leafNode(ELNode{"Empty Result", {}}); }

namespace {

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

}  // namespace

ResultDocument matchListDocument(SearchResult results, MatchListing listing) {
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
    doc.matches = std::move(results.entries);
    doc.failure = results.failure;
    doc.listing = listing;
    return doc;
}

ResultDocument buildQueryResult(SearchResult results, StatementKind kind, Polarity polarity, MatchListing listing,
                                CountBound count) {
    if (results.empty()) {
        ResultDocument doc;
        doc.tree = emptyResult();
        return doc;
    }
    if (count.counts()) return countedMatchesDocument(results, count);
    if (polarity == Polarity::Positive && isExact(kind))
        return matchListDocument(std::move(results), MatchListing::CostZeroTrees);
    if (polarity == Polarity::Positive) return matchListDocument(std::move(results), listing);
    if (results.entries.size() != 1) throw InternalError("buildQueryResult: a negated rule has exactly one result");
    ResultDocument doc;
    doc.tree = xml::makeTree(ELNode{"0000", {}}, {results.entries.front().tree});
    return doc;
}

}  // namespace axf::app
