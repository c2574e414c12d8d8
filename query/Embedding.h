// The query folder: approximate tree queries over an indexed document.
// This header is its entry: the search of one simple query.
//
// Stages, in the order a rule runs them:
//  1. Annotation (QueryAnnotation.h): a simple query's nodes are numbered in
//     preorder; their labels, variables and search types go to side lists
//     keyed by number. The plain form serves the exact statements and
//     negated rules; ExtendQuery.h adds, for the approximate statements, the
//     alternative in which each inner element is deleted, with its cost.
//     The steps the tests check one by one are in the internal
//     QueryAnnotationInternal.h.
//  2. Search (this header, Embedding.cpp): the embeddings of an annotated
//     query into the document, node by node over the element and text
//     indexes, with insertion, deletion and renaming costs (Costs.h); the
//     result is a SearchResult, a list with its deferred failure. Its parts:
//     the candidate lookup (CandidateLookup.cpp), the descendant walk of each
//     query edge (DescendantWalk.h, with the range minimum of
//     RangeMinimum.h), the selectors of query labels (SelectorReader.h) and
//     the result-root labels of matches (MatchStamp.h); what only the
//     folder and its tests call is in the internal EmbeddingInternal.h
//     (and AsciiSpace.h, the blanks trimmed from texts).
//     Labels of document, query and match nodes are built and read by
//     NodeLabel.h (a step the tests check alone: NodeLabelInternal.h).
//  3. Combination (Combination.h, the map of its parts): results merged under
//     `and`, `or` and `xor` by mode, at the boolean nodes of one query and
//     between whole queries (WholeQueryCombination.h); a product of whole
//     queries is kept as its parts, counted and listed without building it
//     (ResultSet.h); the steps behind them are in the internal
//     CombinationSteps.h.
//  4. Reading results: the elements that stand for attributes turned back
//     into attributes (AttributeElements.h); for a negated rule, the accepted
//     matches taken out of the document (MatchRemoval.h; a single removal
//     from a built tree in the internal MatchRemovalInternal.h).
// Diagnostic dumps, which no run calls, are in AnnotationDump.h (its pair
// writers in the internal AnnotationDumpInternal.h) and EntryDump.h.
//
// The embedding search: the approximate embeddings of one annotated simple
// query into an indexed document, with insertion, deletion and renaming
// costs.
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
// query node number, '^', the document position (see MatchStamp.h).
#pragma once

#include <cstddef>
#include <cstdint>
#include <exception>
#include <span>

#include "index/DocumentIndexer.h"
#include "index/EmbeddingEntry.h"
#include "index/LookupKind.h"
#include "query/AttributeElements.h"
#include "query/Costs.h"
#include "query/MatchStamp.h"
#include "query/QueryAnnotation.h"
#include "query/SelectorReader.h"
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
// nameAndBranch); failures below the root are carried in the result.
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

}  // namespace axf::query
