// Internal: for this folder and its tests. The folding of a rule's query,
// whose root may be an `and`, `or` or `xor` group of whole queries, into its
// results (QueryTreeEvaluation.cpp), and the pieces of it that the rule's
// evaluation (RuleEvaluation.cpp) and its result document share.
#pragma once

#include <cstdint>
#include <string_view>

#include "app/RuleEvaluation.h"
#include "common/Lazy.h"
#include "query/Embedding.h"
#include "query/ResultSet.h"
#include "xml/XML.h"

namespace axf::app {

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

// Whether `q` is an `and`, `or` or `xor` group of whole queries; its name is
// stored in `*name`.
bool isGroupRoot(const xml::Tree* q, std::string_view* name);

// Whether a statement lists only the matches of cost 0.
bool isExact(StatementKind kind);

// The entries of a list, its pending failure raised first; a product is made
// plain into `made`.
query::EntrySpan entriesOf(const QueryResults& r, EntryList& made);

// Whether a label of the query holds a selector that may fail.
bool hasFailingSelector(const xml::Tree* q);

// A query whose root may be an `and`, `or` or `xor` group of queries, its
// query nodes numbered from `n`.
QueryOutcome evaluateQueryTree(const EvalContext& ctx, std::int64_t n, const xml::Tree* q);

}  // namespace axf::app
