#include "app/VarsBridge.h"

#include <variant>

#include "query/NodeLabel.h"

namespace axf::app {

namespace {

// Every label cut back to its value.
const xml::Tree* bareLabels(const xml::Tree* t) {
    xml::TreeList kids;
    kids.reserve(t->nkids);
    for (const xml::Tree* k : t->children()) kids.push_back(bareLabels(k));
    if (const auto* el = std::get_if<xml::ELNode>(&t->value))
        return xml::makeTree(xml::ELNode{query::getLabelComponent(el->name, 1), el->attributes}, kids);
    if (const auto* tx = std::get_if<xml::TXNode>(&t->value))
        return xml::makeTree(xml::TXNode{query::getLabelComponent(tx->text, 1)}, kids);
    return xml::makeTree(t->value, kids);
}

}  // namespace

index::EntryList acceptedMatches(const index::EntryList& adjusted, const query::VariableList&, const xml::Tree*,
                                 const ConditionTriple&) {
    index::EntryList out = adjusted;
    for (auto& e : out) e.tree = bareLabels(e.tree);
    return out;
}

const xml::Tree* reducedDocument(const index::EntryList&, const query::VariableList&, const xml::Tree* document,
                                 const ConditionTriple&) {
    return bareLabels(document);
}

}  // namespace axf::app
