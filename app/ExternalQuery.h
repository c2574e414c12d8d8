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

#include "app/Conditions.h"
#include "common/Lazy.h"
#include "common/Output.h"
#include "index/EmbeddingEntry.h"
#include "index/DocumentIndexer.h"
#include "query/DeleteEmb.h"
#include "query/ExternalQuery.h"
#include "xml/XML.h"

namespace axf::app {

using index::EmbeddingEntry;
using index::EntryList;

// A list of results produced in order that may end in a failure, raised for
// a reader that goes past the last produced entry.
struct ResultList {
    EntryList entries;
    std::exception_ptr failure;

    void rethrow() const {
        if (failure) std::rethrow_exception(failure);
    }
    // Every entry; raises the pending failure first.
    const EntryList& all() const {
        rethrow();
        return entries;
    }
    bool empty() const {
        if (!entries.empty()) return false;
        rethrow();
        return true;
    }
};

// The value of a query, a group operand or a simple query. The results are
// computed on first use.
struct QueryOutcome {
    Lazy<ResultList> results;
    query::VariableList variables;
    std::int64_t lastNumber = 0;
};

// The evaluation context shared by all operands of a rule.
struct EvalContext {
    std::string kind;        // statement kind, or "neg"
    std::string searchType;  // the default search type
    const index::IndexedDocument* document = nullptr;
    bool exactOnly = false;  // only the matches of cost 0 are read
};

QueryOutcome evalSimpleQuery(const EvalContext& ctx, std::int64_t rootNumber, const xml::Tree* query);
QueryOutcome manageExtQuery(const EvalContext& ctx, std::int64_t rootNumber, const xml::Tree* query);

using OperandEvaluator = std::function<QueryOutcome(std::int64_t, const xml::Tree*)>;
QueryOutcome manageANDSons(const std::string& kind, const OperandEvaluator& eval, QueryOutcome acc,
                           std::span<const xml::Tree* const> rest);
QueryOutcome manageOrSons(const std::string& op, const std::string& kind, const OperandEvaluator& eval,
                          QueryOutcome acc, std::span<const xml::Tree* const> rest);

// A combined root labelled "and", "or" or "xor" gets the label "and^1^0" etc.
EmbeddingEntry adjustRoot(const EmbeddingEntry& entry);

// The result document of a rule. A match list is produced entry by entry
// while it is printed; the other shapes are whole trees.
struct ResultDocument {
    const xml::Tree* tree = nullptr;  // empty result, count, reduced document
    // Match list under the root "0000": the results, the extraction mode
    // (0 trees, 1 rank elements and trees, 2 trees of cost 0).
    EntryList matches;
    std::exception_ptr failure;  // raised after the last match is printed
    int mode = 0;
    // The children of `tree` are document trees with labels (a negated
    // rule's reduced document), printed cut, with their attributes restored.
    bool cutBelowRoot = false;
    // A negated rule's reduced document kept by position, written under the
    // root "0000" straight from the document's nodes; `document` keeps them.
    std::shared_ptr<const query::RemovalOverlay> reduced;
    std::shared_ptr<const void> document;
};

ResultDocument buildQueryResult(const ResultList& results, const std::string& kind, int polarity, int outer,
                                std::int64_t count);
ResultDocument countEmbedding(const ResultList& results, std::int64_t count);
std::int64_t countAux(const EntryList& results, std::int64_t bound, std::int64_t start);
ResultDocument buildUniqueTree(const ResultList& results, int mode);
xml::TreeList exctractTree(int mode, const EntryList& results);

// Writes the result document as indented XML.
void writeResultDocument(std::int64_t level, int flag, const ResultDocument& doc, Sink& sink);
std::string showResultDocument(std::int64_t level, int flag, const ResultDocument& doc);

// One rule against its document text.
ResultDocument evalExternalQuery(const std::string& kind, const std::string& searchType,
                                 const Lazy<std::string>& documentText, const ConditionTriple& conditions,
                                 const std::string& polarity, int outer, const xml::Tree* query,
                                 std::int64_t count);

}  // namespace axf::app
