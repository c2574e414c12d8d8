#include "app/VariablesStep.h"

#include "common/Fatal.h"
#include "filter/VariableBinding.h"

namespace axf::app {

namespace {

filter::QueryVariables queryVariables(const query::VariableList& variables) {
    filter::QueryVariables out;
    out.reserve(variables.size());
    for (const auto& [number, name] : variables) out.emplace_back(number, name);
    return out;
}

}  // namespace

index::EntryList acceptedMatches(const index::EntryList& adjusted, const query::VariableList& queryVars,
                                 const query::DocumentSource& document, const filter::RuleConditions& conditions,
                                 filter::ResultTrees trees) {
    return filter::bindResults(adjusted, queryVariables(queryVars), document, conditions, filter::Polarity::Positive, trees);
}

std::unique_ptr<filter::ResultBinder> resultBinder(const query::VariableList& queryVars, const query::DocumentSource& document,
                                                   const filter::RuleConditions& conditions, filter::ResultTrees trees) {
    return std::make_unique<filter::ResultBinder>(queryVariables(queryVars), document, conditions, filter::Polarity::Positive,
                                                  trees);
}

query::DocumentSource documentSource(const index::DocumentTree& tree) {
    if (!tree.byPosition()) return query::DocumentSource(tree.root());
    query::DocumentSource source([tree] { return tree.root(); }, [tree](std::int64_t p) { return tree.sons(p); });
    source.byPosition = tree;
    return source;
}

std::shared_ptr<const query::RemovalOverlay> reducedOverlay(const index::EntryList& adjusted,
                                                            const query::VariableList& queryVars,
                                                            const query::DocumentSource& document,
                                                            const filter::RuleConditions& conditions) {
    filter::ResultBinder binder(queryVariables(queryVars), document, conditions, filter::Polarity::Negated);
    for (const index::EmbeddingEntry& r : adjusted) binder.examine(r);
    std::shared_ptr<const query::RemovalOverlay> reduced = binder.reduced();
    if (!reduced) throw InternalError("reducedOverlay: a document without nodes by position");
    return reduced;
}

const xml::Tree* reducedDocument(const index::EntryList& adjusted, const query::VariableList& queryVars,
                                 const xml::Tree* document, const filter::RuleConditions& conditions) {
    index::EntryList left =
        filter::bindResults(adjusted, queryVariables(queryVars), document, conditions, filter::Polarity::Negated);
    const xml::Tree* remaining = left.empty() ? document : left.front().tree;
    filter::checkCutLabels(remaining);
    return remaining;
}

}  // namespace axf::app
