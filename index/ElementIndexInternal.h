// Internal: for this folder and its tests. The steps of the element index
// (ElementIndex.h): position order of entry lists, the synonym index filed
// record by record, and the translation merge made for every key at once.
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>
#include <vector>

#include "index/ElementIndex.h"

namespace axf::index {

// The two lists merged by position; on equal positions the second list's
// entry comes first. Nothing is dropped.
EntryList sortPos(const EntryList& first, const EntryList& second);

// Position order, and the same position.
bool lt(const EmbeddingEntry& a, const EmbeddingEntry& b);
bool equ(const EmbeddingEntry& a, const EmbeddingEntry& b);

// Files a record under the class of a name (a name outside the vocabulary
// throws Fatal naming it).
void addSyn(SynonymIndex& index, std::string_view name, SynonymRecord record);

// The records of the class of a name, newest first; empty when the class has
// no group. The empty index answers without classifying the name.
std::vector<SynonymRecord> getSyn(const SynonymIndex& index, std::string_view name);

// The weight of the first pair of the list that holds the name.
std::optional<std::int64_t> findCost(std::string_view name, const RenamingList& weights);

// Ascending by position; of entries sharing a position the first in the
// input stays, the others are dropped.
EntryList sortByPositionDroppingRepeats(EntryList entries);

// One entry merged with the records of its class: every record not labelled
// with the key becomes an inexact entry whose renaming cost grows by the
// record label's weight; the inexact list is then put in position order.
IndexEntry mergeClassRecords(IndexEntry entry, const std::vector<SynonymRecord>& records, const RenamingList& weights);

// The merged element index: the same keys in the same order, each entry
// given the nodes of its key's translation as inexact entries. Every key is
// classified first; a key outside the tag vocabulary throws Fatal naming it.
Index mergeIndex(Index elementIndex);

}  // namespace axf::index
