// Internal: for this folder and its tests. The parts of the embedding search
// that its own files share and the tests check one by one, but that no caller
// outside the folder needs: the recursive step of the search, the descendant
// walk of one query edge (DescendantWalk.cpp), the candidate lookup with its
// search types and cost adders (CandidateLookup.cpp), the parts of the
// selector reader (SelectorReader.cpp) and entries over result trees
// (MatchStamp.cpp).
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <utility>

#include "query/Embedding.h"

namespace axf::query {

// ---------------------------------------------------------------------------
// The search (Embedding.cpp).

// The recursive step: the matches of the parent query node (number
// `parentNumber`) below which the query subtree t embeds, at the cost of the
// subtree. `typesFrom` is the offset of the search-type list's remainder
// (see searchType). The context's exactOnly is not read.
SearchResult evaluate(const xml::Tree* t, const SearchContext& context, EntrySpan parents, std::int64_t parentNumber,
                      std::size_t typesFrom = 0);

// ---------------------------------------------------------------------------
// Descendant walk of a query edge (DescendantWalk.cpp).
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
SearchResult descendantJoin(EntrySpan parents, const SearchResult& candidates, const std::string& parentNumber,
                            std::int64_t insCost, std::int64_t altCost, const index::Mapping& mapping, std::int64_t branch,
                            SearchMode mode);

// ---------------------------------------------------------------------------
// Candidate lookup, search types and cost adders (CandidateLookup.cpp).

// The candidates of a name: Exact the name's exact entries; WithTranslations
// also those of its translation (renaming cost 2), found through the
// vocabulary when the name itself has no node.
EntryList getPresences(const index::Index& index, std::string_view name, index::LookupKind searchType);
EntryList getPresences(const index::MergedElementIndex& index, std::string_view name, index::LookupKind searchType);

// The search type of node n and the offset of the list's remainder for the
// node's descendants, reading the list from offset `from`: pairs of smaller
// numbers are passed over, the node's own pair gives the inverse of the
// default and is consumed.
std::pair<index::LookupKind, std::size_t> searchType(std::string_view n, index::LookupKind defaultType,
                                                     const SearchTypeList& list, std::size_t from = 0);

// A query node number read from its text; an InternalError naming `who` for
// a text that is not one.
std::int64_t readQueryNumber(std::string_view s, const char* who);

// Every entry's renaming cost added into its cost.
EntryList addRenamingCosts(EntrySpan entries);
// d added into every cost (the list unchanged for 0).
EntryList addDeletionCost(EntrySpan entries, std::int64_t d);
// The entries with their renaming cost set to r.
EntryList withRenamingCost(std::int64_t r, EntrySpan entries);

// ---------------------------------------------------------------------------
// The selector reader (SelectorReader.cpp).

// Branch number of a selector: "last" -1, otherwise an integer (decimal with
// optional '-', or 0x/0o forms). Fatal "Attention: inconsistent branch
// information found" for an empty selector; Fatal "Prelude.read: no parse" for
// any other text; a number outside the 64-bit range is refused with a message.
std::int64_t branchNumber(std::string_view selector);

// (name, whether the label holds '[', selector). The selector is the text after the
// first '[' without its final ']'; `closed` tells whether that ']' is there.
struct LabelName {
    std::string name;
    bool hasSelector = false;
    std::string selector;
    bool closed = true;
};
LabelName getLabelName(std::string_view label);

// ---------------------------------------------------------------------------
// Entries over result trees (MatchStamp.cpp).

// One entry per tree (branch 0), the k-th tree (k > 0), or the last (k < 0):
// each a new element labelled name^q^position over the tree (a failure tree
// stays itself). Fewer trees than k > 0 is an InternalError; no tree for
// k < 0 gives no entry.
EntryList entriesOverTrees(std::int64_t position, std::int64_t depth, std::int64_t last, std::int64_t renamingCost,
                           std::int64_t cost, std::string_view name, std::string_view q, std::int64_t branch,
                           std::span<const xml::Tree* const> trees);

}  // namespace axf::query
