// Internal: for this folder and its tests. The indexed document made from
// what a walk left (DocumentIndexer.h's parseText does this after its walk).
#pragma once

#include "index/DocumentIndexer.h"

namespace axf::index {

// The element index merged on first lookup, with the text index, mapping and
// document tree of the walk.
IndexedDocument indexedDocument(BuildResult walked);

}  // namespace axf::index
