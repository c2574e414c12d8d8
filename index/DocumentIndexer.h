// The document indexer: turns the text of one XML document into the numbered
// document tree, the element index, the text index and the position-to-label
// mapping, and answers the lookups of the embedding search.
//
// Stages, in the order a document goes through them:
//   1. TextPreparation  line breaks and tabs removed (in place, or into a
//                       copy), offsets mapped back to the original text.
//      SourcePosition   what the preparation removed, kept so that a message
//                       can name the document, line and column of a byte.
//   2. DirectWalk       the common constructs read straight from the
//                       prepared text; the rest handed to the event parser
//                       (xml/XMLParse.h) and walked by
//   3. EventWalk        the walk of parse events (NodeWalk.h holds the steps
//                       both walks share: numbering, labels, filing).
//      DocumentLabel    the label of a node (name or text, '^', position).
//      Mapping          the label of every node by position.
//      DocumentTree     the shape of the document, one word per node.
//   4. ElementIndex     the hash index of keys, the element index as the
//                       walk leaves it, and the translation merge (MergedElementIndex),
//                       made key by key on first lookup.
//      SynonymClasses   the classes of names that translate into each other,
//                       read from TranslationTable.h, for the merge.
//      EmbeddingEntry.h one indexed node (position, depth, last, costs,
//                       tree), the depth step of a level and the renaming
//                       cost of a translation.
//      TextIndex        every text under itself, made when first read.
//   5. this header      the indexed document and parseText, the entry point.
// Lookups: getRef (ElementIndex.h) with a LookupKind (LookupKind.h).
//
// Public: this header and the ones it includes. Diagnostic parts, not on the
// run path: IndexDump.h (dumps of records and indexes, written by the
// indented printer xml/IndentedXML.h, the one the result printer uses too)
// and DumpSink.h (the dumps' default sink). Internal (this folder and its
// tests): NodeWalk.h, and the steps tests reach in SourcePositionInternal.h,
// EventWalkInternal.h, ElementIndexInternal.h and DocumentIndexerInternal.h.
//
// Keys and labels are string_views into storage that lives for the whole run
// (the tree arena, the mapping's pool), so indexes and documents copy
// cheaply. Per node the indexed document keeps 8 bytes: its label (Mapping.h)
// and its word in the document tree; element-index entries are read off
// those two when a key is looked up.
#pragma once

#include <string>
#include <string_view>

#include "index/DirectWalk.h"
#include "index/DocumentLabel.h"
#include "index/DocumentTree.h"
#include "index/ElementIndex.h"
#include "index/EmbeddingEntry.h"
#include "index/EventWalk.h"
#include "index/LookupKind.h"
#include "index/Mapping.h"
#include "index/SourcePosition.h"
#include "index/TextIndex.h"
#include "index/TextPreparation.h"

namespace axf::index {

// The indexed document: the element index (merged on first lookup), the text
// index, the mapping and the document tree.
struct IndexedDocument {
    MergedElementIndex elementIndex;
    TextIndex textIndex;
    Mapping mapping;
    DocumentTree tree;  // reads the mapping's storage

    // Moved, never copied (see BuildResult).
    IndexedDocument() = default;
    IndexedDocument(IndexedDocument&&) = default;
    IndexedDocument& operator=(IndexedDocument&&) = default;
    IndexedDocument(const IndexedDocument&) = delete;
    IndexedDocument& operator=(const IndexedDocument&) = delete;
};

// Indexes one document text. A document whose events stop before the end of
// the text throws Fatal with the byte offset and what stands there. The
// messages about the document begin with its name and the line and column
// of the place they concern (SourcePosition.h) when the origin has a name.
IndexedDocument parseText(std::string_view text, const DocumentOrigin& origin = {});
// The same, over a text whose storage the indexer takes: the text is
// prepared in place and its storage given back once the walk is done.
IndexedDocument parseTextInPlace(std::string&& text, const DocumentOrigin& origin = {});

}  // namespace axf::index
