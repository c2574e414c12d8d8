// EmbeddingEntry: one indexed node of a document, or one match of a query
// node. Fields in the order the system gives them.
#pragma once

#include <cstdint>
#include <vector>

#include "xml/XML.h"

namespace axf::index {

// The depth step of one element level: an entry's depth is this times the
// number of elements around it. It is also the cost of inserting one skipped
// document level in a search (query/Costs.h's kInsertionCost is defined as
// this), so that a difference of depths is the insertion cost of the levels
// between.
inline constexpr std::int64_t kDepthPerLevel = 2;

// The renaming cost of an element found under the translation of its tag name
// (index/TranslationTable.h gives it to the translation). It is also the
// renaming cost of a search (query/Costs.h's kRenamingCost is defined as this).
inline constexpr std::int64_t kTranslationRenamingCost = 2;

struct EmbeddingEntry {
    std::int64_t position = 0;      // preorder number; the top element is 1
    std::int64_t depth = 0;         // 0 for the top element, kDepthPerLevel more per element level
    std::int64_t last = 0;          // position of the last numbered node of the subtree
    std::int64_t renamingCost = 0;  // 0, or kTranslationRenamingCost when found through a translation
    std::int64_t cost = 0;          // 0 when indexed, the embedding cost afterwards
    const xml::Tree* tree = nullptr;
};

using EntryList = std::vector<EmbeddingEntry>;

}  // namespace axf::index
