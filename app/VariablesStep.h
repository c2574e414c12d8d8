// The variables and conditions step as the driver calls it: the accepted
// matches of a positive rule, and the reduced document of a negated one.
#pragma once

#include <memory>

#include "filter/Rule.h"
#include "filter/VariableBinding.h"
#include "index/DocumentTree.h"
#include "index/EmbeddingEntry.h"
#include "query/MatchRemoval.h"
#include "query/QueryAnnotation.h"
#include "xml/XML.h"

namespace axf::app {

// Positive rule: the results whose bindings satisfy the conditions, in their
// order, each rebuilt with bare labels; `trees` says which of them are
// rebuilt (the others keep a null tree: nothing prints them).
index::EntryList acceptedMatches(const index::EntryList& adjusted, const query::VariableList& queryVariables,
                                 const query::DocumentSource& document, const filter::RuleConditions& conditions,
                                 filter::ResultTrees trees);

// The binder behind acceptedMatches, for a caller that examines the results
// one at a time (a list made while it is printed).
std::unique_ptr<filter::ResultBinder> resultBinder(const query::VariableList& queryVariables,
                                                   const query::DocumentSource& document,
                                                   const filter::RuleConditions& conditions, filter::ResultTrees trees);

// An indexed document's tree as the variables step searches it: sons by
// position without building the whole tree.
query::DocumentSource documentSource(const index::DocumentTree& tree);

// Negated rule over a document whose nodes are kept by position
// (documentSource of a tree made by a walk): the accepted matches removed,
// kept as the removed positions over the document's nodes, from which the
// printer writes the remaining document (writeReducedDocument) without
// building it.
std::shared_ptr<const query::RemovalOverlay> reducedOverlay(const index::EntryList& adjusted,
                                                            const query::VariableList& queryVariables,
                                                            const query::DocumentSource& document,
                                                            const filter::RuleConditions& conditions);

// Negated rule over a built document tree (one without nodes by position):
// the document with the accepted matches removed ("empty text" when nothing
// is left), its labels as they are. It is checked for the failures of
// cutting its labels (filter::checkCutLabels); the printer cuts them and
// turns its attribute elements back into attributes (writeCutFormattedXML).
const xml::Tree* reducedDocument(const index::EntryList& adjusted, const query::VariableList& queryVariables,
                                 const xml::Tree* document, const filter::RuleConditions& conditions);

}  // namespace axf::app
