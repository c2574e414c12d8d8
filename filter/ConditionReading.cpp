#include "filter/ConditionReading.h"

#include <algorithm>
#include <variant>

#include "common/Fatal.h"
#include "filter/ConditionReadingInternal.h"

namespace axf::filter {

using xml::ELNode;
using xml::Tree;
using xml::TXNode;

namespace {

// The capital letters of the text, each a name, last one first.
std::vector<std::string> capitalLetterNames(std::string_view text) {
    std::vector<std::string> found;
    for (char c : text)
        if (c >= 'A' && c <= 'Z') found.emplace_back(1, c);
    std::reverse(found.begin(), found.end());
    return found;
}

}  // namespace

const std::string& leafText(const Tree* tree) {
    const auto* tx = std::get_if<TXNode>(&tree->value);
    if (!tx || !tree->isLeaf()) throw InternalError("leafText: not a text leaf");
    return tx->text;
}

std::vector<std::string> addDistinctVars(const std::vector<std::string>& newNames, std::vector<std::string> namesSoFar) {
    for (const auto& name : newNames)
        if (std::find(namesSoFar.begin(), namesSoFar.end(), name) == namesSoFar.end()) namesSoFar.push_back(name);
    return namesSoFar;
}

ConditionReading readCondition(std::string_view condition) {
    std::size_t at = condition.find("match");
    if (at == std::string_view::npos) return {ConditionKind::Expression, capitalLetterNames(condition), std::string(condition)};
    std::string_view before = condition.substr(0, at);
    std::string_view name = before.substr(0, std::min(before.find(' '), before.size()));
    std::string_view after = condition.substr(at + 5);
    std::size_t skip = 0;
    while (skip < after.size() && after[skip] == ' ') ++skip;
    return {ConditionKind::Regex, {std::string(name)}, std::string(after.substr(skip))};
}

RuleConditions readConditions(const Tree* conditions) {
    RuleConditions read;
    if (const auto* tx = std::get_if<TXNode>(&conditions->value)) {
        if (tx->text == "conditions" && conditions->isLeaf()) return read;
        throw InternalError("readConditions: unexpected conditions text");
    }
    const auto* el = std::get_if<ELNode>(&conditions->value);
    if (!el || el->name != "conditions" || !el->attributes.empty())
        throw InternalError("readConditions: unexpected conditions shape");
    for (const Tree* child : conditions->children()) {
        ConditionReading r = readCondition(leafText(child));
        if (r.kind == ConditionKind::Regex)
            read.regexConditions.push_back(RegexCondition{r.names.front(), r.text});
        else
            read.expressionConditions.push_back(ExpressionCondition{r.text});
    }
    // Each pair was put in front of the ones before it.
    std::reverse(read.regexConditions.begin(), read.regexConditions.end());
    std::reverse(read.expressionConditions.begin(), read.expressionConditions.end());
    return read;
}

}  // namespace axf::filter
