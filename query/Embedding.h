// The query folder: approximate tree queries over an indexed document.
// This header is its entry: the search of one simple query.
//
// Stages, in the order a rule runs them:
//  1. Annotation (QueryAnnotation.h): a simple query's nodes are numbered in
//     preorder; their labels, variables and search types go to side lists
//     keyed by number. The plain form serves the exact statements and
//     negated rules; ExtendQuery.h adds, for the approximate statements, the
//     alternative in which each inner element is deleted, with its cost.
//  2. Search (this header, Embedding.cpp): the embeddings of an annotated
//     query into the document, node by node over the element and text
//     indexes, with insertion, deletion and renaming costs (Costs.h); the
//     result is a SearchResult, a list with its deferred failure. Labels of
//     document, query and match nodes are built and read by NodeLabel.h.
//  3. Combination (Combination.h): results merged under `and`, `or` and `xor`
//     by mode, at the boolean nodes of one query and between whole queries;
//     the steps behind them, public for tests, are in CombinationSteps.h.
//  4. Removal (MatchRemoval.h): for a negated rule, the accepted matches taken
//     out of the document.
// Diagnostic dumps, which no run calls, are in AnnotationDump.h and
// EntryDump.h.
//
// The embedding search: the approximate embeddings of one annotated simple
// query into an indexed document, with insertion, deletion and renaming
// costs, and the reconversion of attribute elements in result trees.
//
// The search walks the query tree (recursion over query depth only). For
// every query node it looks up its candidates in the element or text index
// and joins them to the matches of the parent query node with the descendant
// walk: candidates of a parent are the contiguous slice of the
// position-sorted candidate list that lies inside the parent's subtree, so
// every join is a walk over index ranges.
//
// Result lists are produced in order, and a failure met while producing them
// stops the list there: the list carries the failure after its last entry,
// and it fires only for a reader that goes past that entry (SearchResult).
// So a failure below a match that no level above ever reaches never fires.
//
// Result-root labels: matched node's name or text (label-escaped), '^', the
// query node number, '^', the document position (see NodeLabel.h).
#pragma once

#include <cstddef>
#include <cstdint>
#include <exception>
#include <span>
#include <string>
#include <string_view>
#include <utility>

#include "index/EmbeddingEntry.h"
#include "index/DocumentIndexer.h"
#include "index/LookupKind.h"
#include "query/Costs.h"
#include "query/QueryAnnotation.h"
#include "xml/XML.h"

namespace axf::query {

using index::EmbeddingEntry;
using index::EntryList;
using EntrySpan = std::span<const EmbeddingEntry>;

// ---------------------------------------------------------------------------
// A list of entries produced in order that may end in a failure: `entries`
// is what was produced before the failure, and `failure` (when set) is raised
// by any reader that asks for more than those entries.
struct SearchResult {
    EntryList entries;
    std::exception_ptr failure;

    bool hasFailure() const { return failure != nullptr; }
    // Raises the pending failure, if any.
    void rethrow() const;
    // Whether the list is empty; raises the failure when no entry came first.
    bool empty() const;
    // Every entry; raises the pending failure first.
    const EntryList& all() const;
    // Entry i; raises the failure when i lies past the produced entries.
    const EmbeddingEntry& at(std::size_t i) const;
};

// ---------------------------------------------------------------------------
// Search entry.

// Which embeddings of a query node a search keeps for each parent match:
// the cheapest one (the first in document order on ties), or every one of
// the lowest cost.
enum class SearchMode : std::uint8_t { Best, All };

// Everything a search reads besides the query tree: the annotation of the
// query, the indexed document, and the settings of the statement. The lists
// and indexes are borrowed; they outlive the search.
struct SearchContext {
    const QueryMapping* queryMapping = nullptr;
    const DeletionCostList* deletionCosts = nullptr;
    const SearchTypeList* searchTypes = nullptr;
    const index::MergedElementIndex* elementIndex = nullptr;
    const index::TextIndex* textIndex = nullptr;
    const index::Mapping* documentMapping = nullptr;
    // The cost of leaving a query leaf out, before its own deletion cost.
    std::int64_t deletionCost = kNoEmbeddingCost;
    SearchMode mode = SearchMode::Best;
    // The search type of a node the query gives none.
    index::LookupKind defaultType = index::LookupKind::Exact;
    // See evaluateQuery.
    bool exactOnly = false;
    // The caller reads of the matches only the document nodes they cover
    // together (see CoverScope): see evaluateQuery.
    bool coverOnly = false;
};

// Searches one annotated simple query (root an element, or a text without
// children) whose root has the number `rootNumber`. Raises at once
// "Attention: the branch information couldn't be applied to the query root"
// for a root label with a selector (and the selector messages of
// getInfofromLabel); failures below the root are carried in the result.
//
// With `exactOnly` (for a caller that reads nothing but the matches of cost
// 0, such as a statement of exact matches that prints them), the search may
// leave out any match of a higher cost, at any level, as soon as it meets it:
// the matches of cost 0 and their order stay those of the whole list. It
// does so unless a selector of the query may fail in this document (one that
// does not read, or one asking for the k-th match, k >= 2, that some element
// of its parent node's name does not hold): then nothing is left out, and
// the candidates below such a selector's ancestors are searched whole, so
// that its message fires where and when the whole search fires it.
//
// With `coverOnly`, the joins of tied runs are covering joins (CoverScope)
// unless a label of the query holds a selector, which counts matches.
SearchResult evaluateQuery(const xml::Tree* query, const SearchContext& context, std::int64_t rootNumber);

// The recursive step: the matches of the parent query node (number
// `parentNumber`) below which the query subtree t embeds, at the cost of the
// subtree. `typesFrom` is the offset of the search-type list's remainder
// (see searchType). The context's exactOnly is not read.
SearchResult evaluate(const xml::Tree* t, const SearchContext& context, EntrySpan parents,
                      std::int64_t parentNumber, std::size_t typesFrom = 0);

// ---------------------------------------------------------------------------
// Descendant walk of a query edge.
//
// For every parent (ascending by position, one per position), the cheapest
// candidates inside its subtree (cost plus depth, first in document order on
// ties; every tie in mode All), charged `insCost` per skipped level, against
// the alternative cost of leaving the child out. An alternative cost of
// `kNoEmbeddingCost` means the child cannot be left out: a parent without candidates
// then yields nothing. Any real cost, however high, is a cost: a parent with
// candidates always compares their cost with a finite alternative and embeds
// them when there is none. Branch number: 0 every chosen tree, k > 0 the k-th
// (fails with "Attention: the <k>th son of the tag specified couldn't be
// found" when fewer were chosen), k < 0 the last. A failure pending at the end
// of the candidates fires when a parent's search reaches it.
SearchResult join_path(EntrySpan parents, const SearchResult& candidates, const std::string& parentNumber,
                       std::int64_t insCost, std::int64_t altCost, const index::Mapping& mapping,
                       std::int64_t branch, SearchMode mode);

// ---------------------------------------------------------------------------
// Candidate lookup, search types and cost adders.

// The candidates of a name: Exact the name's exact entries; WithTranslations
// also those of its translation (renaming cost 2), found through the
// vocabulary when the name itself has no node.
EntryList getPresences(const index::Index& index, std::string_view name, index::LookupKind searchType);
EntryList getPresences(const index::MergedElementIndex& index, std::string_view name, index::LookupKind searchType);

// The other search type.
index::LookupKind inverseType(index::LookupKind type);

// The search type of node n and the offset of the list's remainder for the
// node's descendants, reading the list from offset `from`: pairs of smaller
// numbers are passed over, the node's own pair gives the inverse of the
// default and is consumed.
std::pair<index::LookupKind, std::size_t> searchType(std::string_view n, index::LookupKind defaultType,
                                                     const SearchTypeList& list, std::size_t from = 0);

// Branch number of a selector: "last" -1, otherwise an integer (decimal with
// optional '-', or 0x/0o forms). Fatal "Attention: inconsistent branch
// information found" for an empty selector; Fatal "Prelude.read: no parse" for
// any other text; a number outside the 64-bit range is refused with a message.
std::int64_t getNumber(std::string_view selector);

// (name, branch number) of a query label; 0 without selector. A selector
// reading as 0 is the inconsistent-branch Fatal; a label whose text after the
// first '[' does not end in ']' is a Fatal naming the tag.
std::pair<std::string, std::int64_t> getInfofromLabel(std::string_view label);

// Whether searching a node of this label may fail on what the document
// holds: a selector that does not read (any read fails) or asks for the k-th
// match with k >= 2. The first and the last of the cheapest matches below a
// parent match are there whenever that parent match has any.
bool selectorCanFail(std::string_view label);

// (name, whether the label holds '[', selector). The selector is the text after the
// first '[' without its final ']'; `closed` tells whether that ']' is there.
struct LabelName {
    std::string name;
    bool hasSelector = false;
    std::string selector;
    bool closed = true;
};
LabelName getLabelName(std::string_view label);

// Every entry's renaming cost added into its cost.
EntryList add_rencost(EntrySpan entries);
// d added into every cost (the list unchanged for 0).
EntryList add_delcost(EntrySpan entries, std::int64_t d);

// ---------------------------------------------------------------------------
// Synonym positions and result-root labels.

// The entries with their renaming cost set to r.
EntryList withRenamingCost(std::int64_t r, EntrySpan entries);
// The entries (kind "N") of the first synonym the index holds, each with
// renaming cost 2; the weights are not read.
EntryList firstTranslationEntries(const index::Index& index, const index::RenamingList& synonyms);
EntryList firstTranslationEntries(const index::MergedElementIndex& index, const index::RenamingList& synonyms);

// One entry per tree (branch 0), the k-th tree (k > 0), or the last (k < 0):
// each a new element labelled name^q^position over the tree (a failure tree
// stays itself). Fewer trees than k > 0 is an InternalError; no tree for
// k < 0 gives no entry.
EntryList entriesOverTrees(std::int64_t position, std::int64_t depth, std::int64_t last, std::int64_t renamingCost,
                   std::int64_t cost, std::string_view name, std::string_view q, std::int64_t branch,
                   std::span<const xml::Tree* const> trees);

// The tree with '^' and the suffix appended to its root label (an element
// without attributes, or a text without children; anything else is an
// InternalError). The suffix is appended as it is.
const xml::Tree* setLabel(const xml::Tree* tree, std::string_view suffix);

// An index entry stamped as a match of query node `prefix`: its root label,
// a raw name or text, becomes the result-root label value^prefix^position.
// A failure tree stays itself.
EmbeddingEntry stampMatch(std::string_view prefix, const EmbeddingEntry& entry);

// ---------------------------------------------------------------------------
// Attribute reconversion.
//
// Every child element whose name begins with '@', without attributes, over
// one childless text (the value) or over nothing (a blank value), becomes an
// attribute of its parent (name without the '@'), in child order, at every
// level. The root is never converted. Anything else is kept as it is: an '@'
// element with several children, or whose single child is not a childless
// text, stays an element; nodes of other kinds are kept unchanged.
const xml::Tree* restoreAttributes(const xml::Tree* tree);

}  // namespace axf::query
