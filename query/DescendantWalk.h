// Internal: for this folder and its tests. The descendant walk of a query
// edge: for every parent match, the cheapest candidates inside its subtree,
// read over the position-sorted candidate list with one cursor. The search
// (Embedding.cpp) walks every edge of the query with it; descendantJoin
// (EmbeddingInternal.h) is its form for a plain candidate list.
#pragma once

#include <cstdint>
#include <exception>
#include <string>

#include "index/DocumentIndexer.h"
#include "query/Embedding.h"

namespace axf::query {

// The candidates of a walk. Their effective cost is their cost plus `addCost`
// plus (with `addRenaming`) their renaming cost; with `stamp` set their trees
// are index leaves stamped as matches of that query node when chosen.
struct CandidateView {
    EntrySpan list;
    std::exception_ptr failure;  // pending after the last candidate
    std::int64_t addCost = 0;
    bool addRenaming = false;
    const std::string* stamp = nullptr;
};

// What the walk chooses for each parent, and what it writes.
struct WalkSettings {
    // The choice: `insCost` charged per skipped level, `altCost` the cost of
    // leaving the child out (kNoEmbeddingCost: it cannot be), the branch
    // number of the selector, every tie or the first (`allMode`).
    std::int64_t insCost = 0;
    std::int64_t altCost = kNoEmbeddingCost;
    std::int64_t branch = 0;
    bool allMode = false;
    // With `exactOnly`, a parent match whose cheapest embedding costs more
    // than 0 gets no entry at all (the caller keeps only embeddings of cost
    // 0, and no selector can fail on what is dropped), so its tied candidates
    // are never gathered.
    bool exactOnly = false;
    // The output: each entry's tree is a new root labelled
    // parentname^parentNumber^position (the name read from the mapping) over
    // the chosen candidate's tree.
    const std::string* parentNumber = nullptr;
    const index::Mapping* mapping = nullptr;
};

// The walk (see descendantJoin for what it chooses): one entry per parent,
// or one per tie in mode all, in the order of the parents.
SearchResult descendantWalk(EntrySpan parents, const CandidateView& candidates, const WalkSettings& settings);

}  // namespace axf::query
