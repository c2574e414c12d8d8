// Diagnostic dumps of a query annotation. Nothing in a run calls them; they
// write an annotation as plain text for inspection, to the sink given or to
// standard output.
#pragma once

#include <cstdint>

#include "common/Output.h"
#include "xml/XML.h"

namespace axf::query {

// An annotation is written as: the printed tree, then "Mapping:",
// "SumDelCost:", "Variables:" (followed by two empty lines) and "Search type:"
// each over one line of its pairs, then the last number.

// The extended annotation of the query (extendQuery).
void dumpExtendedAnnotation(const xml::Tree* query, std::int64_t first, Sink& out);
void dumpExtendedAnnotation(const xml::Tree* query, std::int64_t first);
// The plain annotation of the query (plainAnnotation), with the fixed cost list ("2", "5") in place of deletion costs.
void dumpPlainAnnotation(const xml::Tree* query, std::int64_t first, Sink& out);
void dumpPlainAnnotation(const xml::Tree* query, std::int64_t first);

}  // namespace axf::query
