// The fixed costs of an approximate embedding, defined once.
#pragma once

#include <cstdint>

#include "index/EmbeddingEntry.h"

namespace axf::query {

// The cost that stands for a missing embedding; also the deletion cost of the
// exact statements (a node that cannot be left out).
inline constexpr std::int64_t kNoEmbeddingCost = 1000;
// The insertion cost of one skipped document level: the index's depth step,
// so that depths measure insertions.
inline constexpr std::int64_t kInsertionCost = index::kDepthPerLevel;
// The renaming cost of a node found through a translation of its name: the
// cost the index gives such an entry.
inline constexpr std::int64_t kRenamingCost = index::kTranslationRenamingCost;
// The cost of deleting a query node: the alternative without it in an
// extended query, and a left-out node of a negated rule's search.
inline constexpr std::int64_t kDeletionCost = 5;

}  // namespace axf::query
