// Internal: for this folder and its tests. One removal of a match from a
// built document tree in one call (a DocumentEditor that removes once).
#pragma once

#include <span>

#include "query/MatchRemoval.h"
#include "xml/XML.h"

namespace axf::query {

// The document without the embedding (and the bound subtrees); the text node
// "empty text" when nothing remains.
const xml::Tree* removeEmbeddingFromDocument(const xml::Tree* document, const xml::Tree* embedding,
                                             std::span<const NodeBinding> bindings);

}  // namespace axf::query
