// Internal: for this folder and its tests. The steps of the query annotations
// that the tests check one by one: the pairs of one node and the split of
// children (QueryAnnotation.cpp), the extension walk of one subtree
// (ExtendQuery.cpp).
#pragma once

#include <cstdint>
#include <string_view>
#include <utility>

#include "query/QueryAnnotation.h"
#include "xml/XML.h"

namespace axf::query {

// Puts the node's "var" and "type" pairs in front of the lists given (the
// node's own pairs in reverse attribute order), starting from `count` "var"
// attributes already taken (callers pass 0). Throws Fatal
// `Multiple variable at node "<n>"` for more than two attributes or two "var"
// attributes; any other attribute name is an InternalError.
std::pair<VariableList, SearchTypeList> prependVariablesAndTypes(std::string_view numberText, const xml::AttList& attributes,
                                                                 const VariableList& variables, const SearchTypeList& searchTypes,
                                                                 int count = 0);

// Splits trees into (elements with children, text nodes and childless
// elements), keeping their order.
std::pair<xml::TreeList, xml::TreeList> splitInnerAndLeaves(const xml::TreeList& trees);

// The extension walk of one query subtree from `number` with the deletion
// cost `cost` of its top node (0: the element's own child; 5: a copy). The
// lists of the result hold exactly the entries of the subtree.
QueryAnnotation extendSubtree(const xml::Tree* node, std::int64_t number, std::int64_t cost);

}  // namespace axf::query
