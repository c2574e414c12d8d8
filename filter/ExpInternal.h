// Internal: for this folder and its tests. The expression lexer's token
// list and number reading, and the text operations of the expression module
// that conditions do not use.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "filter/ExpToken.h"

namespace axf::filter {

// The tokens of the text. White space between lexemes is skipped; the list
// ends at the end of the text or where no lexeme can be cut.
std::vector<ExpToken> expTokenList(std::string_view text);

// The single-precision number nearest to a lexeme of digits with an optional
// point and digits; throws Fatal "Prelude.read: no parse" for anything else.
float readFloat(std::string_view lexeme);

// Text tests of the expression module (the lexer makes its own tests in
// place): a variable name is non-empty and starts with an upper-case letter;
// a text is non-empty. expMatchRe is the matched text of the first match of
// the pattern in the input (empty when there is none or the pattern does not
// parse).
bool expIsVar(std::string_view text);
bool expIsText(std::string_view text);
std::string expMatchRe(std::string_view input, std::string_view pattern);

// Lexes, parses and evaluates a whole text. Throws Fatal "Parse error",
// "no var" or the number-reading failure as Exp.h describes.
bool evalExp(std::string_view text);

}  // namespace axf::filter
