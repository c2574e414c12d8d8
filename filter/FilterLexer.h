// The filter lexer: cuts the filter text into tokens, one at a time, as the
// parser asks for them. It skips white space between tokens (bytes 9..13, 32
// and 160) and counts the line feeds it skips; a line feed inside a quoted
// text or a condition belongs to its lexeme and is not counted.
#pragma once

#include <cstdint>
#include <string_view>

#include "filter/FilterToken.h"

namespace axf::filter {

// One step of the lexer: the token at the start of the remaining text.
struct LexStep {
    Token token;
    std::string_view rest;    // the text after the token; empty after TokenEOF
    std::int64_t line;        // the line after the white space before the token
    bool unreadText = false;  // TokenEOF delivered at text the lexer cannot read
};

// Reads one token from the start of `text`, which stands at line `line`. At
// the end of the text, and at text from which no token can be cut, it gives
// TokenEOF; in the second case `unreadText` is set, and the rest is dropped.
LexStep nextToken(std::string_view text, std::int64_t line);

// The lexeme at the start of a text that does not begin with white space:
// the text of the token to be classified (empty when no lexeme starts here).
std::string_view lexemeAt(std::string_view text);

}  // namespace axf::filter
