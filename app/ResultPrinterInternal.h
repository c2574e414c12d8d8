// Internal: for this folder and its tests. The printer of whole trees behind
// writeResultDocument (ResultPrinter.h), and the pieces of it that the
// printer of reduced documents (ReducedDocumentPrinter.cpp) shares.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "common/Output.h"
#include "query/MatchRemoval.h"
#include "xml/IndentedXML.h"
#include "xml/XML.h"

namespace axf::app {

// The printer's options for a result: laid out, escaped, the result roots'
// output names when resultNames is set.
xml::XMLPrintOptions resultPrintOptions(bool resultNames);

// Pieces of the printer, for printers of documents whose children are
// produced one at a time.
void writeStartTag(std::int64_t level, bool resultNames, const xml::ELNode& el, bool empty, Sink& sink);
void writeEndTag(std::int64_t level, bool resultNames, const xml::ELNode& el, Sink& sink);

// An element whose only child is the given text (one line or three lines).
void writeTextElement(std::int64_t level, bool resultNames, const xml::ELNode& el, std::string_view text, Sink& sink);

// The element root over what the removals left of a document, written
// straight from the document's nodes (ReducedDocumentPrinter.cpp).
void writeReducedDocument(std::int64_t level, bool resultNames, const xml::ELNode& root, const query::RemovalOverlay& reduced,
                          Sink& sink);

// The text of a whole tree, root at the given level.
std::string showFormattedXML(std::int64_t level, bool resultNames, const xml::Tree* tree);

// A document tree whose names and texts are labels with positions, written
// as the printer writes filter::cutLabelsWithAttributes of it (labels cut to
// their first component, '@' children turned into attributes) without
// building that tree. The tree must have passed filter::checkCutLabels.
void writeCutFormattedXML(std::int64_t level, bool resultNames, const xml::Tree* labelled, Sink& sink);

}  // namespace axf::app
