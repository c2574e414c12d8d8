// Internal: for this folder and its tests. The steps of the variable
// binding (VariableBinding.h) one at a time.
#pragma once

#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "common/Output.h"
#include "filter/ConditionCheck.h"
#include "filter/VariableBinding.h"
#include "query/MatchRemoval.h"
#include "xml/XML.h"

namespace axf::filter {

// Binding pairs: (query node number, bound subtrees), an association without
// its names.
using BindingPairs = std::vector<query::NodeBinding>;

// The association of one result tree, and the variables left when the walk
// of the tree ended. The walk merges the variable list with the preorder of
// the result: a variable binds at the first node whose query number is its
// own, to the sons of the matched document node that no child of that node
// matched (none: no triple); a node with a smaller number lets it wait; a node
// with a greater number drops it. `document` is searched with query::findSons.
std::pair<Association, QueryVariables> findVars(const xml::Tree* document, const QueryVariables& variables,
                                                const xml::Tree* result);

// The document subtrees of `sons` that no tree of `resultChildren` matches by
// position, in order (the merge of the two position-ordered lists; a result
// child that falls between two sons is passed over).
xml::TreeList unmatchedSons(std::span<const xml::Tree* const> sons, std::span<const xml::Tree* const> resultChildren);

// The tree with every element name and text cut to its first label
// component; elements lose nothing else (they have no attributes).
const xml::Tree* cutLabels(const xml::Tree* t);

// query::restoreAttributes of cutLabels of the tree, built in one pass: the
// '@' elements that become attributes are never built as elements, and no
// intermediate copy of the tree is made. Fails as cutLabels does.
const xml::Tree* cutLabelsWithAttributes(const xml::Tree* t);

// Rebuilds a result tree for printing: labels cut, and each pair's subtrees
// placed first among the children of the first node in preorder whose query
// number (component 2) equals the pair's, as long as no element of a greater
// number is met first (it discards the pair); a text node that takes a pair
// becomes an element. Bound subtrees are inserted as they are. Returns the
// tree and the pairs left over.
std::pair<const xml::Tree*, BindingPairs> rebuildWithBindings(const BindingPairs& pairs, const xml::Tree* t);

// The association in ascending node-number order (of equal numbers, the
// first triple stays).
Association sortByNodeNumberDroppingRepeats(Association a);

// The binding pairs of an association, same order.
BindingPairs bindingPairs(const Association& a);

// True when no triple of the association binds the name.
bool isUnbound(const std::string& name, const Association& a);
// True when some name is not bound by the association.
bool anyUnbound(const std::vector<std::string>& names, const Association& a);

// Diagnostics (nothing in the query run calls them).
// True when the node number of a is smaller than that of b (as integers, so
// 9 < 10).
bool nodeNumberLess(const AssocTriple& a, const AssocTriple& b);
// Writes four lines: "assoc:", the name, the printed form of the first value,
// and an empty line. The list must not be empty (InternalError).
void dumpAssociation(std::string_view name, const xml::TreeList& values, Sink& sink);
void dumpAssociation(std::string_view name, const xml::TreeList& values);

}  // namespace axf::filter
