// The evaluation of one rule against its document: indexing, the walk of the
// boolean groups at the top of the query, the search of each simple query,
// the folding of the operands' results, the variables and conditions step,
// and the result document.
//
// Values are computed when first needed, as far as that shows: an operand
// whose results no combination needs is never searched, a negated rule under
// a count never indexes its document, and a failure met by the search after
// some matches fires only once those matches have been printed.
#pragma once

#include <cstdint>
#include <exception>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "app/ConditionReading.h"
#include "common/Lazy.h"
#include "common/Output.h"
#include "index/EmbeddingEntry.h"
#include "index/LookupKind.h"
#include "index/DocumentIndexer.h"
#include "index/SourcePosition.h"
#include "query/MatchRemoval.h"
#include "query/Embedding.h"
#include "query/QueryAnnotation.h"
#include "query/ResultSet.h"
#include "xml/XML.h"

namespace axf::app {

using index::EmbeddingEntry;
using index::EntryList;

// The statement of a rule: the cheapest embedding of each match or every
// one of the lowest cost, approximate or exact (cost 0 only).
enum class StatementKind : std::uint8_t { Best, All, BestExact, AllExact };

// A positive rule lists its matches; a negated one removes them from the
// document.
enum class Polarity : std::uint8_t { Positive, Negative };

// How a match list is written: the trees; a rank element before each tree;
// the trees of cost 0 only.
enum class MatchListing : std::uint8_t { Trees, RankedTrees, CostZeroTrees };

// The statement kind of its text in a rule ("best", "all", "bestEx",
// "allEx"); any other text is an InternalError.
StatementKind decodeStatementKind(std::string_view text);

// A result list with its deferred failure (see query::SearchResult).
using query::SearchResult;

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
    bool negated = false;  // a negated rule: every embedding, deletion allowed
    index::LookupKind searchType = index::LookupKind::Exact;  // the default search type
    const index::IndexedDocument* document = nullptr;
    bool exactOnly = false;  // only the matches of cost 0 are read
    bool coverOnly = false;  // only the nodes the matches cover together are read
};

QueryOutcome evalSimpleQuery(const EvalContext& ctx, std::int64_t rootNumber, const xml::Tree* query);
// A query whose root may be an `and`, `or` or `xor` group of queries.
QueryOutcome evaluateQueryTree(const EvalContext& ctx, std::int64_t rootNumber, const xml::Tree* query);

using OperandEvaluator = std::function<QueryOutcome(std::int64_t, const xml::Tree*)>;
// The operands after the first of an `and` group folded into `acc`, keeping
// every combination (`all`) or the cheapest.
QueryOutcome foldAndOperands(bool all, const OperandEvaluator& eval, QueryOutcome acc,
                             std::span<const xml::Tree* const> rest);
// The same for an `or` group (`isXor` false) or an `xor` group.
QueryOutcome foldOrXorOperands(bool isXor, bool all, const OperandEvaluator& eval, QueryOutcome acc,
                               std::span<const xml::Tree* const> rest);

// A combined root labelled "and", "or" or "xor" gets the label "and^1^0" etc.
// A failure tree is returned as it is.
EmbeddingEntry adjustRoot(const EmbeddingEntry& entry);

struct ProductListing;

// The result document of a rule. A match list is produced entry by entry
// while it is printed; the other shapes are whole trees.
struct ResultDocument {
    const xml::Tree* tree = nullptr;  // empty result, count, reduced document
    // Match list under the root "0000": the results and how they are listed.
    EntryList matches;
    std::exception_ptr failure;  // raised after the last match is printed
    MatchListing listing = MatchListing::Trees;
    // The children of `tree` are document trees with labels (a negated
    // rule's reduced document), printed cut, with their attributes restored.
    bool cutBelowRoot = false;
    // A negated rule's reduced document kept by position, written under the
    // root "0000" straight from the document's nodes; `document` keeps them.
    std::shared_ptr<const query::RemovalOverlay> reduced;
    std::shared_ptr<const void> document;
    // A match list that is a product of whole-query lists, its entries made
    // one at a time as they are printed.
    std::shared_ptr<const ProductListing> product;
};

// `count` is -1 without a count, -2 for a count of every match, and the
// cost bound of the counted matches otherwise.
ResultDocument buildQueryResult(const SearchResult& results, StatementKind kind, Polarity polarity,
                                MatchListing listing, std::int64_t count);
ResultDocument countEmbedding(const SearchResult& results, std::int64_t count);
// `start` plus the number of results of a cost within the bound.
std::int64_t countWithinCost(const EntryList& results, std::int64_t bound, std::int64_t start);
ResultDocument buildUniqueTree(const SearchResult& results, MatchListing listing);

// The same document with a match list kept as a product made into a built
// list (any other document as it is): what the product's printing streams.
ResultDocument madePlain(const ResultDocument& doc);

// Writes the result document as indented XML.
void writeResultDocument(std::int64_t level, bool resultNames, const ResultDocument& doc, Sink& sink);
std::string showResultDocument(std::int64_t level, bool resultNames, const ResultDocument& doc);

// One rule against its document text. The statement kind, the search type
// ("E" or "N") and the polarity ("P" or "N") are the texts of the rule, read
// here once; `outermost` is set for the
// rule given on the command line, whose matches are listed with their ranks.
ResultDocument evaluateRule(const std::string& kind, const std::string& searchType,
                            const Lazy<std::string>& documentText, const filter::RuleConditions& conditions,
                            const std::string& polarity, bool outermost, const xml::Tree* query, std::int64_t count,
                            const index::DocumentOrigin& origin = {});

}  // namespace axf::app
