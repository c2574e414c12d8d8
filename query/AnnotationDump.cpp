// Diagnostic dumps of a query annotation.
#include "query/AnnotationDump.h"

#include <cstdint>
#include <string>
#include <utility>

#include "common/Fatal.h"
#include "query/AnnotationDumpInternal.h"
#include "query/ExtendQuery.h"
#include "query/QueryAnnotation.h"
#include "xml/Show.h"

namespace axf::query {

namespace {

// Each pair of the list written by `dumpPair`, then one newline.
template <class List, class DumpPair>
void dumpList(const List& list, DumpPair dumpPair, Sink& out) {
    for (const auto& pair : list) dumpPair(pair, out);
    out.write("\n");
}

// Every part of an annotation: the printed tree, then "Mapping:",
// "SumDelCost:", "Variables:" (followed by two empty lines) and "Search type:"
// each over one line of its pairs, then the last number. The cost list's
// values are numbers (DeletionCostList) or texts.
template <class Costs>
void dumpAnnotation(const xml::Tree* tree, const QueryMapping& mapping, const Costs& costs, const VariableList& variables,
                    const SearchTypeList& searchTypes, std::int64_t lastNumber, Sink& out) {
    if (tree == nullptr) throw InternalError("dumpAnnotation: an annotation without a tree");
    auto textPair = [](const std::pair<std::string, std::string>& p, Sink& s) { dumpTextPair(p, s); };
    out.write(xml::showText(tree));
    out.write("\nMapping:\n");
    dumpList(mapping, textPair, out);
    out.write("SumDelCost:\n");
    dumpList(
        costs, [](const auto& p, Sink& s) { dumpCostPair(p, s); }, out);
    out.write("Variables:\n");
    dumpList(variables, textPair, out);
    out.write("\n\n");
    out.write("Search type:\n");
    dumpList(searchTypes, textPair, out);
    out.write(std::to_string(lastNumber));
    out.write("\n");
}

}  // namespace

void dumpTextPair(const std::pair<std::string, std::string>& pair, Sink& out) {
    out.write("(");
    out.write(pair.first);
    out.write(", ");
    out.write(pair.second);
    out.write(") ");
}

void dumpCostPair(const std::pair<std::string, std::int64_t>& pair, Sink& out) {
    out.write("(");
    out.write(pair.first);
    out.write(", ");
    out.write(std::to_string(pair.second));
    out.write(") ");
}

void dumpCostPair(const std::pair<std::string, std::string>& pair, Sink& out) {
    out.write("(");
    out.write(pair.first);
    out.write(", ");
    out.write(xml::showText(pair.second));
    out.write(") ");
}

void dumpExtendedAnnotation(const xml::Tree* query, std::int64_t first, Sink& out) {
    QueryAnnotation a = extendQuery(query, first);
    dumpAnnotation(a.tree, a.mapping, a.deletionCosts, a.variables, a.searchTypes, a.lastNumber, out);
}

void dumpExtendedAnnotation(const xml::Tree* query, std::int64_t first) {
    StdoutSink out;
    dumpExtendedAnnotation(query, first, out);
}

void dumpPlainAnnotation(const xml::Tree* query, std::int64_t first, Sink& out) {
    PlainAnnotation a = plainAnnotation(query, first);
    const KeyedList<std::string> costs{KeyedList<std::string>::Pair{"2", "5"}};
    dumpAnnotation(a.tree, a.mapping, costs, a.variables, a.searchTypes, a.lastNumber, out);
}

void dumpPlainAnnotation(const xml::Tree* query, std::int64_t first) {
    StdoutSink out;
    dumpPlainAnnotation(query, first, out);
}

}  // namespace axf::query
