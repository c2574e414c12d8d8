// Diagnostic views of a query annotation.
#include <string>
#include <utility>

#include "common/Fatal.h"
#include "common/Output.h"
#include "index/IndexDump.h"
#include "query/ExtendQuery.h"
#include "query/ExternalQuery.h"
#include "xml/Show.h"

namespace axf::query {

namespace {

template <class Costs>
void writeAll(const xml::Tree* tree, const QueryMapping& mapping, const Costs& costs, const VariableList& variables,
              const SearchTypeList& searchTypes, std::int64_t lastNumber, Sink& out) {
    if (tree == nullptr) throw InternalError("viewAll: an annotation without a tree");
    auto m1 = [&out](const std::pair<std::string, std::string>& p) { viewM1(p, out); };
    out.write(xml::showText(tree));
    out.write("\nMapping:\n");
    index::dumpEach(m1, mapping, out);
    out.write("SumDelCost:\n");
    index::dumpEach([&out](const auto& p) { viewSDC(p, out); }, costs, out);
    out.write("Variables:\n");
    index::dumpEach(m1, variables, out);
    out.write("\n\n");
    out.write("Search type:\n");
    index::dumpEach(m1, searchTypes, out);
    out.write(std::to_string(lastNumber));
    out.write("\n");
}

}  // namespace

void viewM1(const std::pair<std::string, std::string>& pair, Sink& out) {
    out.write("(");
    out.write(pair.first);
    out.write(", ");
    out.write(pair.second);
    out.write(") ");
}

void viewSDC(const std::pair<std::string, std::int64_t>& pair, Sink& out) {
    out.write("(");
    out.write(pair.first);
    out.write(", ");
    out.write(std::to_string(pair.second));
    out.write(") ");
}

void viewSDC(const std::pair<std::string, std::string>& pair, Sink& out) {
    out.write("(");
    out.write(pair.first);
    out.write(", ");
    out.write(xml::showText(pair.second));
    out.write(") ");
}

void viewAll(const xml::Tree* tree, const QueryMapping& mapping, const SumDelCost& costs,
             const VariableList& variables, const SearchTypeList& searchTypes, std::int64_t lastNumber, Sink& out) {
    writeAll(tree, mapping, costs, variables, searchTypes, lastNumber, out);
}

void viewAll(const xml::Tree* tree, const QueryMapping& mapping, const KeyedList<std::string>& costs,
             const VariableList& variables, const SearchTypeList& searchTypes, std::int64_t lastNumber, Sink& out) {
    writeAll(tree, mapping, costs, variables, searchTypes, lastNumber, out);
}

void pippo(const xml::Tree* query, std::int64_t first, Sink& out) {
    QueryAnnotation a = extendQuery(query, first);
    viewAll(a.tree, a.mapping, a.sumDelCost, a.variables, a.searchTypes, a.lastNumber, out);
}

void pluto(const xml::Tree* query, std::int64_t first, Sink& out) {
    PlainAnnotation a = visitQuery(query, first);
    const KeyedList<std::string> costs{KeyedList<std::string>::Pair{"2", "5"}};
    viewAll(a.tree, a.mapping, costs, a.variables, a.searchTypes, a.lastNumber, out);
}

}  // namespace axf::query
