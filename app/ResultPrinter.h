// The printer of result documents: indented XML text, 3 blanks per level,
// written by the one indented printer (xml/IndentedXML.h) with escaping on.
//
// An element whose only child is a text is written on one line when its
// estimated length (3 x level + 2 x name length + text length + 5, attributes
// not counted) is at most 80, else on three lines. With resultNames the internal
// names of result roots are shown as "Results" ("0000") and "ResultQuery"
// ("and", "or", "xor").
//
// Markup characters in data are escaped ('&', '<', '>' in texts; '&', '<',
// '"' in attribute values) so that a printed result reads back as the same
// data, e.g. when it serves as the document of another filter. The length
// estimate is computed on the unescaped text, so the layout does not depend
// on the escaping.
#pragma once

#include <cstdint>
#include <span>
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

// The text of a whole tree, root at the given level.
std::string showFormattedXML(std::int64_t level, bool resultNames, const xml::Tree* tree);
// The same, written to a sink as it is produced.
void writeFormattedXML(std::int64_t level, bool resultNames, const xml::Tree* tree, Sink& sink);

// A document tree whose names and texts are labels with positions, written
// as writeFormattedXML writes filter::cutLabelsWithAttributes of it (labels
// cut to their first component, '@' children turned into attributes) without
// building that tree. The tree must have passed filter::checkCutLabels.
void writeCutFormattedXML(std::int64_t level, bool resultNames, const xml::Tree* labelled, Sink& sink);
// The element el over such document trees, written as writeFormattedXML
// writes el over the cut trees.
void writeElementOverCut(std::int64_t level, bool resultNames, const xml::ELNode& el,
                         std::span<const xml::Tree* const> labelledKids, Sink& sink);

// The element el over what the removals left of a document (the document
// node at position 1, or the text "empty text" when nothing remains),
// written as writeElementOverCut writes el over the remaining document tree,
// straight from the document's nodes: nothing is built, and the walk keeps
// its own stack.
void writeReducedDocument(std::int64_t level, bool resultNames, const xml::ELNode& el, const query::RemovalOverlay& reduced,
                          Sink& sink);

// Pieces of the printer, for printers of documents whose children are
// produced one at a time.
void writeStartTag(std::int64_t level, bool resultNames, const xml::ELNode& el, bool empty, Sink& sink);
void writeEndTag(std::int64_t level, bool resultNames, const xml::ELNode& el, Sink& sink);
// An element whose only child is the given text (one line or three lines).
void writeTextElement(std::int64_t level, bool resultNames, const xml::ELNode& el, std::string_view text, Sink& sink);

}  // namespace axf::app
