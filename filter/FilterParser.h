// The filter language: the entry of filter/.
//
// Stages, in the order a run meets them:
//   1. FilterToken.h          the tokens of the filter language
//   2. FilterLexer.{h,cpp}    nextToken: one token at a time, as the parser asks
//                             (FilterLexerInternal.h: operations only tests use)
//   3. FilterTable.{h,cpp}    the LR automaton of the filter grammar and the names of
//                             its productions (generated from tools/lalr/filter.grammar;
//                             LRTable.h is its shape, LRDriver.h the shift-reduce
//                             driver that the filter and expression parsers share)
//   4. FilterParser.{h,cpp}   parseFilter: the filter text to its rule tree
//                             (FilterParserInternal.h: from a given line, or over given tokens);
//      ParseErrorExplanation.{h,cpp} what a parse that stops tells the user
//      Rule.h, RuleReading.{h,cpp} readRule: the rule tree read once into the typed
//                             rule; ConditionReading.{h,cpp} its conditions' texts
//   5. Exp.{h,cpp}            the expression language of conditions: lexer, parser
//                             (ExpToken.h, ExpTable.{h,cpp} from tools/lalr/exp.grammar)
//                             and evaluation (ExpInternal.h: the token list, number
//                             reading, the evaluation of a whole text and
//                             operations only tests use)
//   6. ConditionCheck.{h,cpp} a rule's regular-expression and expression conditions
//                             applied to the bindings of one result (RuleConditions)
//   7. VariableBinding.{h,cpp} the query's variables bound to document subtrees, the
//                             conditions checked, the accepted results rebuilt or
//                             removed from the document (ResultBinder, bindResults);
//                             ConditionCheckInternal.h, VariableBindingInternal.h and
//                             ConditionReadingInternal.h: their steps, for tests
// Public: what these headers declare; the parser's value stack, the lexeme
// expressions and the condition caches stay inside their .cpp files.
// The headers named *Internal.h (and LRDriver.h) are for filter/ and its tests.
//
// The filter parser: turns a filter text into its rule tree, or into the
// parse-error message with the line of the token at which it failed.
//
// The rule tree is the element "rule" over six children, in order: the kind
// (text "best", "all", "bestEx" or "allEx"), the query tree, the source
// (element "file" over the file name, element "xml" over the inline
// literal's text, or a nested rule), the conditions (text "conditions", or
// an element "conditions" over one text per condition), the polarity (text
// "P" or "N") and the count (text "-1", "-2" or the number as written).
#pragma once

#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "xml/XML.h"

namespace axf::filter {

using xml::Tree;

struct ParseOk {
    const Tree* tree;
};
struct ParseFail {
    std::string message;  // "Parse error at line N\n"
    // Lines for standard error (see ParseErrorExplanation.h): the column, the
    // token found, what the grammar expects there, and a hint.
    std::vector<std::string> explanation;
};
using ParseResult = std::variant<ParseOk, ParseFail>;

// Parses a whole filter text, counting lines from 1.
ParseResult parseFilter(std::string_view text);

}  // namespace axf::filter
