#include "query/FailureTree.h"

#include <variant>

#include "query/FailureTreeInternal.h"

namespace axf::query {

using xml::Tree;

const Tree* makeDeferredFailure(std::string_view message) { return xml::leafNode(xml::FailureNode{std::string(message)}); }

bool isDeferredFailure(const Tree* t) { return t && std::holds_alternative<xml::FailureNode>(t->value); }

std::string deferredFailureText(const Tree* t) {
    if (!isDeferredFailure(t)) return {};
    return std::get<xml::FailureNode>(t->value).message;
}

void throwIfDeferredFailure(const Tree* t) {
    if (t) xml::raiseIfFailure(t->value);
}

const char* rootKindText(const Tree* t) {
    if (!t) return "missing";
    struct Visitor {
        const char* operator()(const xml::RTNode&) const { return "a document root"; }
        const char* operator()(const xml::ELNode&) const { return "an element"; }
        const char* operator()(const xml::TXNode&) const { return "a text node"; }
        const char* operator()(const xml::PINode&) const { return "a processing instruction"; }
        const char* operator()(const xml::CXNode&) const { return "a comment"; }
        const char* operator()(const xml::ENNode&) const { return "an entity reference"; }
        const char* operator()(const xml::FailureNode&) const { return "a failure"; }
    };
    return std::visit(Visitor{}, t->value);
}

}  // namespace axf::query
