#include "query/QueryAnnotation.h"

#include <variant>

#include "common/Fatal.h"
#include "query/QueryAnnotationInternal.h"

namespace axf::query {

std::int64_t deletionCostOf(std::string_view numberText, const DeletionCostList& costs) {
    const std::int64_t* c = costs.find(numberText);
    return c ? *c : 0;
}

DeletionCostList withDeletionCost(std::int64_t number, std::int64_t cost, const DeletionCostList& costs) {
    if (cost == 0) return costs;
    std::vector<DeletionCostList::Pair> pairs;
    pairs.reserve(costs.size() + 1);
    pairs.emplace_back(std::to_string(number), cost);
    pairs.insert(pairs.end(), costs.begin(), costs.end());
    return DeletionCostList(std::move(pairs));
}

namespace detail {

bool isGroupName(std::string_view name) { return name == "and" || name == "or" || name == "xor"; }

namespace {

[[noreturn]] void multipleVariable(const std::string& numberText) {
    throw Fatal("Multiple variable at node \"" + numberText + "\"");
}

}  // namespace

void appendVariablesAndTypes(const std::string& numberText, const xml::AttList& attributes,
                             std::vector<VariableList::Pair>& variables, std::vector<SearchTypeList::Pair>& searchTypes,
                             bool marked, int count) {
    if (attributes.size() > 2) multipleVariable(numberText);
    for (const auto& [name, value] : attributes) {
        if (name == "var")
            ++count;
        else if (name != "type")
            throw InternalError("appendVariablesAndTypes: attribute \"" + name + "\" at node \"" + numberText + "\"");
    }
    if (count >= 2) multipleVariable(numberText);
    // The last attribute's pair stands first.
    for (auto it = attributes.rbegin(); it != attributes.rend(); ++it) {
        if (it->first == "type")
            searchTypes.emplace_back(numberText, it->second);
        else if (!marked || it->second.size() > 1)
            variables.emplace_back(numberText, it->second);
        else if (it->second.size() == 1)
            variables.emplace_back(numberText, std::string(1, kCopyMark) + it->second);
        else
            throw InternalError("appendVariablesAndTypes: empty variable name at node \"" + numberText + "\"");
    }
}

}  // namespace detail

std::pair<VariableList, SearchTypeList> prependVariablesAndTypes(std::string_view numberText, const xml::AttList& attributes,
                                                                 const VariableList& variables, const SearchTypeList& searchTypes,
                                                                 int count) {
    std::string key(numberText);
    std::vector<VariableList::Pair> v;
    std::vector<SearchTypeList::Pair> s;
    detail::appendVariablesAndTypes(key, attributes, v, s, false, count);
    if (v.empty() && s.empty()) return {variables, searchTypes};
    v.insert(v.end(), variables.begin(), variables.end());
    s.insert(s.end(), searchTypes.begin(), searchTypes.end());
    return {VariableList(std::move(v)), SearchTypeList(std::move(s))};
}

std::pair<xml::TreeList, xml::TreeList> splitInnerAndLeaves(const xml::TreeList& trees) {
    std::pair<xml::TreeList, xml::TreeList> out;
    for (const xml::Tree* t : trees) {
        if (std::holds_alternative<xml::ELNode>(t->value))
            (t->isLeaf() ? out.second : out.first).push_back(t);
        else if (std::holds_alternative<xml::TXNode>(t->value))
            out.second.push_back(t);
        else
            throw InternalError("splitInnerAndLeaves: root is neither an element nor a text");
    }
    return out;
}

namespace {

// Preorder walk: every list gets a node's pairs before its descendants'.
struct PlainWalk {
    std::vector<QueryMapping::Pair> mapping;
    std::vector<VariableList::Pair> variables;
    std::vector<SearchTypeList::Pair> searchTypes;

    // Annotates q from number n; returns the renumbered tree and sets `last`.
    const xml::Tree* plainAnnotation(const xml::Tree* q, std::int64_t n, std::int64_t& last) {
        std::string key = std::to_string(n);
        if (const auto* tx = std::get_if<xml::TXNode>(&q->value)) {
            if (!q->isLeaf()) throw InternalError("plainAnnotation: text node \"" + tx->text + "\" has children");
            mapping.emplace_back(key, tx->text);
            last = n;
            return xml::leafNode(xml::TXNode{std::move(key)});
        }
        const auto* el = std::get_if<xml::ELNode>(&q->value);
        if (!el) throw InternalError("plainAnnotation: root is neither an element nor a text");
        mapping.emplace_back(key, el->name);
        if (el->attributes.empty() && detail::isGroupName(el->name)) {
            // visitMap: the operands in order, each from the number after
            // the previous one's last.
            xml::TreeList kids;
            kids.reserve(q->kidCount);
            std::int64_t next = n + 1;
            for (const xml::Tree* c : q->children()) {
                std::int64_t l = 0;
                kids.push_back(plainAnnotation(c, next, l));
                next = l + 1;
            }
            last = next - 1;
            return xml::makeTree(xml::ELNode{std::move(key), {}}, kids);
        }
        detail::appendVariablesAndTypes(key, el->attributes, variables, searchTypes, false, 0);
        if (q->isLeaf()) {
            last = n;
            return xml::leafNode(xml::ELNode{std::move(key), {}});
        }
        // Only the first child takes part.
        const xml::Tree* kid = plainAnnotation(q->children()[0], n + 1, last);
        return xml::makeTree(xml::ELNode{std::move(key), {}}, {kid});
    }
};

}  // namespace

PlainAnnotation plainAnnotation(const xml::Tree* query, std::int64_t first) {
    PlainWalk w;
    PlainAnnotation out;
    out.tree = w.plainAnnotation(query, first, out.lastNumber);
    out.mapping = QueryMapping(std::move(w.mapping));
    out.variables = VariableList(std::move(w.variables));
    out.searchTypes = SearchTypeList(std::move(w.searchTypes));
    return out;
}

}  // namespace axf::query
