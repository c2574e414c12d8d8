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
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "common/Lazy.h"
#include "common/Output.h"
#include "filter/Rule.h"
#include "index/DocumentIndexer.h"
#include "index/EmbeddingEntry.h"
#include "index/SourcePosition.h"
#include "query/Embedding.h"
#include "query/MatchRemoval.h"
#include "query/ResultSet.h"
#include "xml/XML.h"

namespace axf::app {

using filter::Polarity;
using filter::StatementKind;
using index::EmbeddingEntry;
using index::EntryList;

// How a match list is written: the trees; a rank element before each tree;
// the trees of cost 0 only.
enum class MatchListing : std::uint8_t { Trees, RankedTrees, CostZeroTrees };

// A result list with its deferred failure (see query::SearchResult).
using query::SearchResult;

struct ProductListing;

// The result document of a rule. A match list is produced entry by entry
// while it is printed (writeResultDocument, ResultPrinter.h); the other
// shapes are whole trees.
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

// One rule against its document text (its source already read); `outermost`
// is set for the rule given on the command line, whose matches are listed
// with their ranks. The text is read (and the document indexed) only when
// the result needs it: a negated rule under a count never reads it.
ResultDocument evaluateRule(const filter::Rule& rule, const Lazy<std::string>& documentText, bool outermost,
                            const index::DocumentOrigin& origin = {});

}  // namespace axf::app
