// The expression language of conditions: lexer, LR parser and evaluation.
//
// A condition is zero or more bindings "let" NAME "=" VALUE "in" followed by
// one comparison. A numeric condition binds numbers and compares arithmetic
// expressions (+ - * / over single-precision IEEE floats, parentheses,
// variables) with = < <= > >=; a text condition binds words and compares two
// variables (or A = B ++ C). Evaluation is lazy in the way the language
// defines: the whole text is parsed first ("Parse error"), then operands are
// evaluated left to right; a number in a binding is converted only when its
// variable is looked up in arithmetic; B ++ C looks up C only when B's text
// is a prefix of A's.
//
// Fatal messages: "Parse error" (the text is not in the language; its note
// names the condition, the column where the parse stops, the token found
// there and what the grammar expects), "no var"
// (a variable without binding is looked up) and "Prelude.read: no parse" (a
// number lexeme that does not convert is needed).
//
// Conditions over bound values (ExpCondition) never splice a value into the
// text: each value is classified on its own into exactly one number or word
// token (see ExpValue), so a value can never change the structure of the
// condition.
#pragma once

#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "filter/ExpToken.h"

namespace axf::filter {

// One bound value of a condition variable: its text without surrounding
// white space, and whether that text is a number (digits with an optional
// point and digits), with its value.
struct ExpValue {
    std::string text;
    bool isNumber = false;
    float number = 0;
};
ExpValue classifyValue(std::string_view raw);

// The variables of a condition text: the lexemes that begin with an
// upper-case letter (whole, "City" as much as "X"), last occurrence first,
// each once; a name that the text binds itself with "let" is not one.
std::vector<std::string> expressionVariables(std::string_view text);

// A condition over bound variables, lexed once and parsed once per kind.
//
// The values of one evaluation are bound, in the order of `names`, before
// the text, each as one token. Which reading applies:
//  - every value a number, and the condition parses as a numeric condition
//    after numeric bindings: evaluated numerically;
//  - otherwise, if the condition parses as a text condition after word
//    bindings: evaluated on the values' texts (numbers included);
//  - otherwise, if it parses as a numeric condition: false (a numeric
//    comparison with a value that is not a number);
//  - otherwise: Fatal "Parse error".
// Parsing happens on the first evaluation, so a condition that is never
// evaluated never fails.
class ExpCondition {
public:
    ExpCondition(std::string text, std::vector<std::string> names);
    ExpCondition(ExpCondition&&) noexcept;
    ~ExpCondition();

    const std::vector<std::string>& names() const { return names_; }
    const std::string& text() const { return text_; }

    // `values` holds one value per name, in the order of the names.
    bool holds(std::span<const ExpValue* const> values);

private:
    struct Parsed;
    std::string text_;
    std::vector<std::string> names_;
    std::unique_ptr<Parsed> parsed_;
};

}  // namespace axf::filter
