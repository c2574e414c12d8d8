// The typed rule: what one filter asks, read once from the parser's rule tree
// (readRule, RuleReading.h) and handed to everything after the parser.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <variant>
#include <vector>

#include "xml/XML.h"

namespace axf::filter {

// The statement of a rule: the cheapest embedding of each match or every
// one of the lowest cost, approximate or exact (cost 0 only).
enum class StatementKind : std::uint8_t { Best, All, BestExact, AllExact };

// A positive rule lists its matches; a negated one removes them from the
// document.
enum class Polarity : std::uint8_t { Positive, Negated };

// Whether a rule prints its matches or how many there are: all of them, or
// those whose cost is at most `costBound`.
struct CountBound {
    enum class Kind : std::uint8_t { NoCount, CountAll, CountUpToCost };
    Kind kind = Kind::NoCount;
    std::int64_t costBound = 0;  // the highest cost counted (CountUpToCost)

    bool counts() const { return kind != Kind::NoCount; }
    bool hasCostBound() const { return kind == Kind::CountUpToCost; }
};

struct RegexCondition {
    std::string variable;
    std::string pattern;
};

// The variables of an expression condition are taken from its text
// (expressionVariables).
struct ExpressionCondition {
    std::string text;  // the condition as written
};

// A rule's conditions: both lists with the condition written last first. The
// variables they use are conditionVariables (ConditionCheck.h).
struct RuleConditions {
    std::vector<RegexCondition> regexConditions;
    std::vector<ExpressionCondition> expressionConditions;

    bool empty() const { return regexConditions.empty() && expressionConditions.empty(); }
};

struct Rule;

// The sources of a rule's document: a file read whole when the rule is
// evaluated, a document written in the filter, or the result of another rule.
struct DocumentFile {
    std::string path;
};
struct InlineDocument {
    std::string text;
};
struct NestedRule {
    std::shared_ptr<const Rule> rule;
};
using RuleSource = std::variant<DocumentFile, InlineDocument, NestedRule>;

// One rule, its parts in the order the filter gives them.
struct Rule {
    StatementKind kind = StatementKind::Best;
    const xml::Tree* query = nullptr;  // a tree of tags, or an `and`, `or` or `xor` group of queries
    RuleSource source;
    RuleConditions conditions;
    Polarity polarity = Polarity::Positive;
    CountBound count;
};

}  // namespace axf::filter
