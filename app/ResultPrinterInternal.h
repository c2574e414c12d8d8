// Internal: for this folder and its tests. The printer of whole trees behind
// writeResultDocument (ResultPrinter.h).
#pragma once

#include <cstdint>
#include <string>

#include "common/Output.h"
#include "xml/XML.h"

namespace axf::app {

// The text of a whole tree, root at the given level.
std::string showFormattedXML(std::int64_t level, bool resultNames, const xml::Tree* tree);

// A document tree whose names and texts are labels with positions, written
// as the printer writes filter::cutLabelsWithAttributes of it (labels cut to
// their first component, '@' children turned into attributes) without
// building that tree. The tree must have passed filter::checkCutLabels.
void writeCutFormattedXML(std::int64_t level, bool resultNames, const xml::Tree* labelled, Sink& sink);

}  // namespace axf::app
