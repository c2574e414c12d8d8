// Variable binding over the results of a rule's query.
//
// For each result, the query's variables are bound to the document subtrees
// below the matched nodes that the match itself does not cover (findVars);
// the rule's conditions filter those bindings (ConditionCheck.h); then a positive
// rule answers with the accepted results, each tree rebuilt with the bound
// subtrees hung under their variables' nodes and every label cut to its
// first component (rebuildWithBindings), and a negated rule removes each accepted
// match, bound subtrees included, from the document (MatchRemoval.h) and answers
// with what is left.
//
// Variable names. A variable binds under its own name, whole ("X", "Name",
// "City"); the copies that the extended annotation makes of a one-letter
// variable X are named with the copy mark ("~X") and bind as X.
//
// Bound subtrees are the document's own subtrees, shared, with their document
// labels (name^position); they are cut for printing only when a positive
// result is rebuilt. For a negated rule every result is bound against the
// document as the removals of the results before it left it.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "filter/ConditionCheck.h"
#include "index/EmbeddingEntry.h"
#include "query/MatchRemoval.h"
#include "xml/XML.h"

namespace axf::filter {

// The query's variables: (number of the query node that carries the variable,
// as decimal text; variable name), in ascending node-number order.
using QueryVariables = std::vector<std::pair<std::string, std::string>>;

// The name under which a variable entry binds: a copy binds as the variable
// it copies. An empty name is an InternalError.
std::string associationName(const std::string& name);

// The root of cutLabelsWithAttributes(t), for walks that do not build the
// tree: a text (its cut text in `label`) or an element (its cut name, the
// attributes its '@' children become, and the other children, uncut, in
// `kids`). It reads the root's children (and the only child of an '@'
// child) before the other subtrees, so checkCutLabels first keeps the
// failure that of cutLabels.
struct CutNode {
    bool text = false;
    std::string label;
    xml::AttList attributes;
    xml::TreeList kids;
};
CutNode cutNode(const xml::Tree* t);

// Fails exactly as cutLabels fails on the tree, without building anything.
void checkCutLabels(const xml::Tree* t);

// Which accepted results of a positive rule get their rebuilt tree: all of
// them (a match list that prints every result), only those of cost 0 (an
// exact statement prints no other), or none (a count reads no tree). A
// result that is not rebuilt is still bound and checked when the rule has
// conditions (they decide whether it is accepted, and their failures fire as
// they would); without conditions it is accepted without being bound.
enum class ResultTrees { All, CostZero, None };

// The decisions of bindResults one result at a time, for a caller that
// hands results on as they are accepted (a failure of the conditions then
// comes when the result that causes it is examined).
//
// What is derived from a bound subtree is derived once for the run, not once
// per result: its cut copy (each document node is cut at most once, so the
// copies of nested subtrees share their nodes), its tested text, its
// condition value. Bound subtrees are inserted into rebuilt trees cut, their
// attribute elements already turned into attributes (cutLabelsWithAttributes;
// the printer's query::restoreAttributes then finds nothing left to turn).
class ResultBinder {
public:
    // The document's tree is read only by a negated rule, or by whatever
    // reads it through document(). `trees` (positive rule): which accepted results
    // are rebuilt; the others keep a null tree.
    ResultBinder(const QueryVariables& variables, const query::DocumentSource& document, const RuleConditions& conditions,
                 Polarity polarity, ResultTrees trees = ResultTrees::All);
    ~ResultBinder();
    ResultBinder(const ResultBinder&) = delete;
    ResultBinder& operator=(const ResultBinder&) = delete;

    // Absent when the result is not accepted. Positive rule: the result with
    // its tree rebuilt. Negated rule: the result as given, its match (with its
    // bound subtrees) now removed from the document.
    std::optional<index::EmbeddingEntry> examine(const index::EmbeddingEntry& result);

    // The document as the removals left it (negated rule; "empty text" when
    // nothing remains), or the document given (positive rule). Labels are not cut.
    const xml::Tree* document();

    // Negated rule over a document by position (DocumentSource::byPosition): the
    // removals so far, over the document's nodes, from which the remaining
    // document can be walked without building it. Null otherwise.
    std::shared_ptr<const query::RemovalOverlay> reduced() const;

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

// The rule's answer from its results:
//  - positive rule: the accepted results in order, fields kept, trees rebuilt;
//  - negated rule: the one entry (1, 0, 0, 0, 0, remaining document),
//    "empty text" when nothing remains.
// No results: empty for a positive rule, the unchanged document for a
// negated one. A query without variables and with conditions accepts
// nothing. A condition variable that the query does not declare ends the run
// with "Attention: variable <name>doesn't exists." when the results are
// examined.
index::EntryList bindResults(const index::EntryList& results, const QueryVariables& variables,
                             const query::DocumentSource& document, const RuleConditions& conditions, Polarity polarity,
                             ResultTrees trees = ResultTrees::All);

}  // namespace axf::filter
