// Diagnostic dump of one embedding entry. Nothing in a run calls it:
// "Embedding cost: ", the cost, "\nEmbedding position: ", the position,
// "\nEmbedding tree:\n", the printed form (xml/Show.h) of the entry's tree
// after restoreAttributes, and a line end. The one-argument form writes to
// standard output.
#pragma once

#include "common/Output.h"
#include "index/EmbeddingEntry.h"

namespace axf::query {

void dumpEntry(const index::EmbeddingEntry& entry, Sink& sink);
void dumpEntry(const index::EmbeddingEntry& entry);

}  // namespace axf::query
