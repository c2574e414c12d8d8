// Diagnostic dumps of a query annotation. Nothing in a run calls them; they
// write an annotation as plain text for inspection, to the sink given or to
// standard output.
#pragma once

#include <cstdint>
#include <string>
#include <utility>

#include "common/Output.h"
#include "query/QueryAnnotation.h"
#include "xml/XML.h"

namespace axf::query {

// "(key, value) ", both raw, no newline.
void dumpTextPair(const std::pair<std::string, std::string>& pair, Sink& out);
// "(key, value) " with the value in its printed form (a number in decimal, a
// text quoted and escaped), no newline.
void dumpCostPair(const std::pair<std::string, std::int64_t>& pair, Sink& out);
void dumpCostPair(const std::pair<std::string, std::string>& pair, Sink& out);

// Every part of an annotation: the printed tree, then "Mapping:",
// "SumDelCost:", "Variables:" (followed by two empty lines) and "Search type:"
// each over one line of its pairs, then the last number.
void dumpAnnotation(const xml::Tree* tree, const QueryMapping& mapping, const DeletionCostList& costs,
                    const VariableList& variables, const SearchTypeList& searchTypes, std::int64_t lastNumber, Sink& out);
// The same with a cost list whose values are texts.
void dumpAnnotation(const xml::Tree* tree, const QueryMapping& mapping, const KeyedList<std::string>& costs,
                    const VariableList& variables, const SearchTypeList& searchTypes, std::int64_t lastNumber, Sink& out);

// The extended annotation of the query (extendQuery) written by dumpAnnotation.
void dumpExtendedAnnotation(const xml::Tree* query, std::int64_t first, Sink& out);
void dumpExtendedAnnotation(const xml::Tree* query, std::int64_t first);
// The plain annotation of the query (plainAnnotation) written by dumpAnnotation,
// with the fixed cost list ("2", "5") in place of deletion costs.
void dumpPlainAnnotation(const xml::Tree* query, std::int64_t first, Sink& out);
void dumpPlainAnnotation(const xml::Tree* query, std::int64_t first);

}  // namespace axf::query
