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
#include "query/ExternalQuery.h"
#include "xml/XML.h"

namespace axf::query {

using index::EmbeddingEntry;
using index::EntryList;
using EntrySpan = std::span<const EmbeddingEntry>;

// The cost that stands for a missing embedding; also the deletion cost of the
// exact statements (a node that cannot be left out).
inline constexpr std::int64_t infinito = 1000;
// The insertion cost of one skipped document level.
inline constexpr std::int64_t inscost = 2;

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
//
// Searches one annotated simple query (root an element, or a text without
// children). `parents` must be empty. Raises at once "Attention: the branch
// information couldn't be applied to the query root" for a root label with a
// selector (and the selector messages of getInfofromLabel); failures below
// the root are carried in the result.
//
// With `exactOnly` (for a caller that reads nothing but the matches of cost
// 0, such as a statement of exact matches that prints them), the search may
// leave out any match of a higher cost, at any level, as soon as it meets it:
// the matches of cost 0 and their order stay those of the whole list.
SearchResult evaluateQuery(const xml::Tree* query, const QueryMapping& qmap, const SumDelCost& delCosts,
                           EntrySpan parents, const std::string& rootNumber, const index::IndexEL& indexEL,
                           const index::TextIndex& indexTX, const index::Mapping& mapping, std::int64_t deletionCost,
                           const SearchTypeList& searchTypes, std::string_view mode, std::string_view defaultType,
                           bool exactOnly = false);

// The recursive step: the matches of the parent query node (number
// `parentNumber`) below which the query subtree t embeds, at the cost of the
// subtree. `typesFrom` is the offset of the search-type list's remainder
// (see searchType).
SearchResult evaluate(const xml::Tree* t, const QueryMapping& qmap, const SumDelCost& delCosts, EntrySpan parents,
                      const std::string& parentNumber, const index::IndexEL& indexEL, const index::TextIndex& indexTX,
                      const index::Mapping& mapping, std::int64_t deletionCost, const SearchTypeList& searchTypes,
                      std::string_view mode, std::string_view defaultType, std::size_t typesFrom = 0);

// ---------------------------------------------------------------------------
// Descendant walk of a query edge.
//
// For every parent (ascending by position, one per position), the cheapest
// candidates inside its subtree (cost plus depth, first in document order on
// ties; every tie in mode "all"), charged `insCost` per skipped level, against
// the alternative cost of leaving the child out. An alternative cost of
// `infinito` means the child cannot be left out: a parent without candidates
// then yields nothing. Any real cost, however high, is a cost: a parent with
// candidates always compares their cost with a finite alternative and embeds
// them when there is none. Branch number: 0 every chosen tree, k > 0 the k-th
// (fails with "Attention: the <k>th son of the tag specified couldn't be
// found" when fewer were chosen), k < 0 the last. A failure pending at the end
// of the candidates fires when a parent's search reaches it.
SearchResult join_path(EntrySpan parents, const SearchResult& candidates, const std::string& parentNumber,
                       std::int64_t insCost, std::int64_t altCost, const index::Mapping& mapping,
                       std::int64_t branch, std::string_view mode);

// ---------------------------------------------------------------------------
// Candidate lookup, search types and cost adders.

// The candidates of a name: "E" the name's exact entries; "N" also those of
// its translation (renaming cost 2), found through the vocabulary when the
// name itself has no node. Any other search type is an InternalError.
EntryList getPresences(const index::Index& index, std::string_view name, std::string_view searchType);
EntryList getPresences(const index::IndexEL& index, std::string_view name, std::string_view searchType);

// "N" for "E", "E" for "N"; anything else is an InternalError.
std::string inverseType(std::string_view type);

// The search type of node n and the offset of the list's remainder for the
// node's descendants, reading the list from offset `from`: pairs of smaller
// numbers are passed over, the node's own pair gives the inverse of the
// default and is consumed.
std::pair<std::string, std::size_t> searchType(std::string_view n, std::string_view defaultType,
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

// (name, 1 with '[' else 0, selector). The selector is the text after the
// first '[' without its final ']'; `closed` tells whether that ']' is there.
struct LabelName {
    std::string name;
    int flag = 0;
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
EntryList setRenCost(std::int64_t r, EntrySpan entries);
// The entries (kind "N") of the first synonym the index holds, each with
// renaming cost 2; the weights are not read.
EntryList getPosOfSyn(const index::Index& index, const index::RenamingList& synonyms);
EntryList getPosOfSyn(const index::IndexEL& index, const index::RenamingList& synonyms);

// One entry per tree (branch 0), the k-th tree (k > 0), or the last (k < 0):
// each a new element labelled name^q^position over the tree. Fewer trees than
// k > 0 is an InternalError; no tree for k < 0 gives no entry.
EntryList buildPos(std::int64_t position, std::int64_t depth, std::int64_t last, std::int64_t renamingCost,
                   std::int64_t cost, std::string_view name, std::string_view q, std::int64_t branch,
                   std::span<const xml::Tree* const> trees);

// The tree with '^' and the suffix appended to its root label (an element
// without attributes, or a text without children; anything else is an
// InternalError). The suffix is appended as it is.
const xml::Tree* setLabel(const xml::Tree* tree, std::string_view suffix);

// An index entry stamped as a match of query node `prefix`: its root label,
// a raw name or text, becomes the result-root label value^prefix^position.
EmbeddingEntry addPre(std::string_view prefix, const EmbeddingEntry& entry);

// ---------------------------------------------------------------------------
// Attribute reconversion.
//
// Every child element whose name begins with '@', without attributes, over
// one childless text (the value) or over nothing (a blank value), becomes an
// attribute of its parent (name without the '@'), in child order, at every
// level. The root is never converted. Anything else is kept as it is: an '@'
// element with several children, or whose single child is not a childless
// text, stays an element; nodes of other kinds are kept unchanged.
const xml::Tree* adjust_attributes(const xml::Tree* tree);

}  // namespace axf::query

// ---------------------------------------------------------------------------
// Diagnostic printer of one entry (EmbeddingView.cpp): "Embedding cost: ",
// the cost, "\nEmbedding position: ", the position, "\nEmbedding tree:\n",
// the printed form (xml/Show.h) of the entry's tree after adjust_attributes,
// and a line end. The one-argument form writes to standard output.
namespace axf {
class Sink;
}
namespace axf::query {
void view(const EmbeddingEntry& entry, Sink& sink);
void view(const EmbeddingEntry& entry);
}  // namespace axf::query
