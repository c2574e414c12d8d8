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

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <variant>

#include "filter/FilterLexer.h"
#include "filter/FilterToken.h"
#include "xml/XML.h"

namespace axf::filter {

using xml::Tree;

struct ParseOk {
    const Tree* tree;
};
struct ParseFail {
    std::string message;  // "Parse error at line N\n"
};
using ParseResult = std::variant<ParseOk, ParseFail>;

// Parses a whole filter text, counting lines from 1.
ParseResult parseFilter(std::string_view text);

// The same, counting lines from `startLine`.
ParseResult parseFilterFromLine(std::string_view text, std::int64_t startLine);

// Runs the parser over a given token sequence instead of the lexer; after
// the last step it is handed TokenEOF at the last step's line (line 1 when
// there is none). Each step's `rest` is not read.
ParseResult parseTokens(std::span<const LexStep> steps);

}  // namespace axf::filter
