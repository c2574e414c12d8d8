// Internal: for this folder and its tests. The pieces of a rule's result
// document that its evaluation (RuleEvaluation.cpp), its making
// (ResultDocument.cpp, ProductListing.cpp) and its printing
// (ResultPrinter.cpp) share, and the steps tests drive one at a time.
#pragma once

#include <cstddef>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "app/RuleEvaluation.h"
#include "filter/Rule.h"
#include "filter/VariableBinding.h"
#include "query/ResultSet.h"
#include "xml/XML.h"

namespace axf::app {

// A leaf entry as it stands in every printed entry that holds it: the
// attributes it gives the joined root and the children it puts under it.
struct PrintedPart {
    xml::AttList attributes;
    std::vector<const xml::Tree*> kids;
};

// The printed parts of every entry of every leaf list, when each printed
// entry is its joined root over the printed parts of its entries: no
// conditions, or conditions that each leaf entry passes alone
// (conditionsByLeaf), and every leaf tree joined as itself. The parts come from the
// same steps as a whole entry's tree (root label, binding, attributes), each
// taken once per leaf entry. Null otherwise.
struct PrintedParts {
    xml::ELNode root;
    std::vector<std::vector<PrintedPart>> leaves;
    std::vector<std::size_t> order;  // the leaves in the order their parts stand under the root
};

// A positive rule's match list kept as a product of whole-query lists, its
// entries made, examined and printed one at a time.
struct ProductListing {
    query::ResultSetPtr product;
    query::VariableList variables;
    std::shared_ptr<const index::IndexedDocument> document;
    query::DocumentSource source{nullptr};
    filter::RuleConditions conditions;
    MatchListing listing = MatchListing::Trees;
    filter::ResultTrees trees = filter::ResultTrees::All;
    // Made before the first byte is printed, where the entries allow it.
    std::optional<PrintedParts> parts;
};

// Whether every leaf tree of the product joins as itself, so that no entry's
// tree is a failure.
bool joinsWhole(const query::ResultSet& product);

// The product's conditions split by leaf: each leaf's list holds the
// conditions over its variables, when checking every leaf entry alone
// against its own conditions accepts exactly the entries of the product
// whose parts are all accepted, with the same bound values: every condition
// reads the variables of one leaf, the leaves bind part by part, and no
// condition can fail. Null otherwise.
std::optional<std::vector<filter::RuleConditions>> conditionsByLeaf(const ProductListing& p);

// The product over the leaf entries its conditions (split by leaf) accept;
// null when a leaf keeps none.
query::ResultSetPtr acceptedLeaves(const ProductListing& p, const std::vector<filter::RuleConditions>& byLeaf);

// The printed parts of the product's entries (see PrintedParts), when its
// entries allow them; with conditions, only when they are split by leaf
// (`byLeaf`) and every leaf entry passes them.
std::optional<PrintedParts> printedParts(const ProductListing& p, const std::vector<filter::RuleConditions>* byLeaf = nullptr);

// A combined root labelled "and", "or" or "xor" gets the label "and^1^0" etc.
// A failure tree is returned as it is.
EmbeddingEntry labelCombinedRoot(const EmbeddingEntry& entry);
// The label labelCombinedRoot gives a combined root named `name`.
std::string combinedRootName(std::string_view name);

// The tree "Empty Result": the document of a rule that found nothing.
const xml::Tree* emptyResult();

// The document listing the results as `listing` says (only those of cost 0
// for MatchListing::CostZeroTrees), or the empty result.
ResultDocument matchListDocument(SearchResult results, MatchListing listing);

// The result document of a rule's accepted results.
ResultDocument buildQueryResult(SearchResult results, filter::StatementKind kind, filter::Polarity polarity, MatchListing listing,
                                filter::CountBound count);

// The same document with a match list kept as a product made into a built
// list (any other document as it is): what the product's printing streams.
ResultDocument plainDocument(const ResultDocument& doc);

}  // namespace axf::app
