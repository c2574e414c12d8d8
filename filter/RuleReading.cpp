#include "filter/RuleReading.h"

#include <string_view>
#include <variant>

#include "common/DecimalInteger.h"
#include "common/Fatal.h"
#include "common/MessageText.h"
#include "filter/ConditionReading.h"

namespace axf::filter {

using xml::ELNode;
using xml::Tree;
using xml::TXNode;

namespace {

// The texts the parser gives a rule's statement, polarity and count
// (FilterParser.h).
StatementKind readStatementKind(std::string_view text) {
    if (text == "best") return StatementKind::Best;
    if (text == "all") return StatementKind::All;
    if (text == "bestEx") return StatementKind::BestExact;
    if (text == "allEx") return StatementKind::AllExact;
    throw InternalError("readRule: statement kind \"" + std::string(text) + "\"");
}

Polarity readPolarity(const Tree* polarity) {
    const auto* tx = std::get_if<TXNode>(&polarity->value);
    if (!tx || !polarity->isLeaf()) throw InternalError("readRule: polarity is not a text");
    if (tx->text == "P") return Polarity::Positive;
    if (tx->text == "N") return Polarity::Negated;
    throw InternalError("readRule: polarity " + tx->text);
}

// "-1": no count; "-2": a count of every match; a number: a count of the
// matches whose cost is at most that number.
CountBound readCount(const std::string& text) {
    if (text == "-1") return {};
    if (text == "-2") return {CountBound::Kind::CountAll, 0};
    std::int32_t value = 0;
    DecimalRead read = readDecimal(text, value);
    if (read == DecimalRead::OutOfRange) throw Fatal("Attention: the count bound " + cutForMessage(text) + " is out of range");
    if (read != DecimalRead::Ok || value < 0) throw InternalError("readRule: count " + text);
    return {CountBound::Kind::CountUpToCost, value};
}

bool isPlainElement(const Tree* t, std::string_view name) {
    const auto* el = std::get_if<ELNode>(&t->value);
    return el && el->name == name && el->attributes.empty();
}

// The only child of a "file" or "xml" source: the file name or the document.
const std::string* sourceText(const Tree* source) {
    if (source->kidCount != 1) return nullptr;
    const Tree* kid = source->children()[0];
    const auto* tx = std::get_if<TXNode>(&kid->value);
    return tx && kid->isLeaf() ? &tx->text : nullptr;
}

RuleSource readSource(const Tree* source) {
    if (isPlainElement(source, "file"))
        if (const std::string* name = sourceText(source)) return DocumentFile{*name};
    if (isPlainElement(source, "rule")) return NestedRule{std::make_shared<const Rule>(readRule(source))};
    if (isPlainElement(source, "xml"))
        if (const std::string* text = sourceText(source)) return InlineDocument{*text};
    throw InternalError("readRule: unknown document source");
}

}  // namespace

Rule readRule(const Tree* ruleTree) {
    if (!isPlainElement(ruleTree, "rule")) throw InternalError("readRule: the parse result is not a rule");
    std::span<const Tree* const> parts = ruleTree->children();
    if (parts.size() != 6) throw InternalError("readRule: a rule has six parts");
    Rule rule;
    rule.kind = readStatementKind(leafText(parts[0]));
    rule.query = parts[1];
    rule.conditions = readConditions(parts[3]);
    rule.count = readCount(leafText(parts[5]));
    rule.polarity = readPolarity(parts[4]);
    rule.source = readSource(parts[2]);
    return rule;
}

}  // namespace axf::filter
