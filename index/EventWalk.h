// The event walk: numbers, labels and files the nodes of a document as its
// parse events arrive, and gives the walked element index, text index,
// mapping and document tree.
//
// Numbering: nodes are numbered in preorder from 1. An element is followed by
// one attribute element per attribute ("@" and the attribute name), each
// directly followed by its value text (none when the value is blank), then by
// its content. Blank texts (only blanks, newlines and tabs) get no node, nor
// does white space before the first node (a carriage return between prolog
// items, say). A text is a text whatever its first byte: only the attribute
// elements the walk makes carry a leading '@'.
// Depth is 0 at the top level and 2 more per element level.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "index/DocumentTree.h"
#include "index/ElementIndex.h"
#include "index/Mapping.h"
#include "index/TextIndex.h"
#include "xml/XML.h"
#include "xml/XMLParse.h"

namespace axf::index {

// A pull source of parse events: nullopt once they have run out.
using EventSource = std::function<std::optional<xml::XMLEvent>()>;

struct BuildResult {
    ElementIndex elementIndex;  // before the synonym merge
    TextIndex textIndex;        // made from the mapping when first read
    Mapping mapping;
    // The first top-level tree, or the tree "empty", built on request from
    // the mapping's storage (which moving the result keeps in place).
    DocumentTree tree;
    std::int64_t lastPosition = 0;
    bool reachedEnd = false;  // the events ran out (not an end event at the top level)
    // The head of the message of a name outside the vocabulary, should a
    // lookup meet one: the document and the place of the name's first node.
    std::string unknownNamePlace;

    // Moved, never copied: the tree and the text index read the mapping's
    // storage, which a move keeps in place and a copy would not.
    BuildResult() = default;
    BuildResult(BuildResult&&) = default;
    BuildResult& operator=(BuildResult&&) = default;
    BuildResult(const BuildResult&) = delete;
    BuildResult& operator=(const BuildResult&) = delete;
};

// Walks the events: numbers, labels and files every node. The walk ends at
// the end of the events or at an end event that closes no open element (the
// events after it are not pulled). Comments and processing instructions are
// skipped; a predefined entity reference becomes the text of its character;
// any other entity reference, and an error event, throw Fatal.
// textBytes, when known, is the size of the document text: room for its
// nodes is set aside once instead of growing step by step.
BuildResult buildIndexes(const EventSource& next, std::size_t textBytes = 0);
BuildResult buildIndexes(std::vector<xml::XMLEvent> events);

// The mapping as (position, label) pairs, newest first: the reverse of the
// order in which the walk filed the nodes (each node after its subtree).
std::vector<std::pair<std::int64_t, std::string_view>> mappingPairs(const BuildResult& walked);
// The positions of the nodes of two indexes in that order.
std::vector<std::int64_t> newestFirstPositions(const Index& elementIndex, const Index& textIndex);

}  // namespace axf::index
