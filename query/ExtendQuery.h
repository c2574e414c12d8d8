// The extended query annotation of the approximate statements.
//
// It numbers a query like the plain annotation (QueryAnnotation.h) and adds,
// below the root, for every element that has a child and is not an "and",
// "or" or "xor" group, the alternative in which the element is deleted: the
// element n+1 is put under a new node n, which the mapping lists as "or",
// whose second operand is a copy of the element's child with numbers of its
// own, charged at the deletion cost 5 on its top node. A chain of k nested
// elements below the root thus becomes 3*2^k - 2 nodes; each node costs
// constant work.
//
// List orders (the search and the variable binding rely on them):
//  - mapping and deletion costs are threaded: read from the front, a node's
//    own pairs (for an element with a child: its "or" node's, then its
//    own), then those of its subtrees in the reverse of the order walked
//    (the copy's before the child's, a later operand's before an earlier
//    one's), each in this same order;
//  - variables and search types are collected in preorder of the extended
//    tree: a node's own pairs (reverse attribute order), then its child's,
//    then the copy's; one-letter variable names inside a copy are marked
//    with a leading kCopyMark (markCopyVariables).
#pragma once

#include <cstdint>

#include "query/QueryAnnotation.h"
#include "xml/XML.h"

namespace axf::query {

// The extended annotation of a query whose root takes `first`. The root gets
// no alternative and no cost; only the first child of an element counts.
// Throws Fatal "Multiple variable at node ..." for an invalid attribute list,
// Fatal "Attention: the query is too deep for an approximate search: ..." when
// the extended query would pass 2^24 nodes (a chain of 23 nested elements),
// and InternalError for node kinds a query never holds.
QueryAnnotation extendQuery(const xml::Tree* query, std::int64_t first);

// One-letter variable names become "C" and the letter; longer names stay.
// Order and number texts are kept. An empty name is an InternalError.
VariableList markCopyVariables(const VariableList& variables);

}  // namespace axf::query
