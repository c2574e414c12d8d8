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
#include <string>

#include "common/Output.h"

namespace axf::app {

struct ResultDocument;  // RuleEvaluation.h

// Writes a rule's result document as indented XML: a match list is made
// entry by entry as it is printed, and its pending failure fires after the
// last match.
void writeResultDocument(std::int64_t level, bool resultNames, const ResultDocument& doc, Sink& sink);
std::string showResultDocument(std::int64_t level, bool resultNames, const ResultDocument& doc);

}  // namespace axf::app
