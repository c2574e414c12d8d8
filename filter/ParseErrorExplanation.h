// What the user reads on standard error when a filter does not parse: where
// the parse stopped (line and column), the token found there, the tokens the
// grammar expects in that place, and a hint when the text looks like one of
// the common mistakes (a misspelt statement, a file name not in single quotes
// or holding a character quoted texts cannot hold, a condition without its
// ampersands, a variable named P or N, lower-case marks, "from" for "in").
// The line on standard output ("Parse error at line N") stays the parser's.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "filter/FilterLexer.h"

namespace axf::filter {

// Where and on what a filter parse stopped.
struct ParseStop {
    std::string_view text;      // the whole filter text; empty for a parse over given tokens
    std::size_t start;          // where the token found begins in `text`; npos without text
    std::int64_t line;          // the line the lexer gave the token
    const LexStep* found;       // the token on which the parse stopped
    std::vector<int> expected;  // terminal numbers on which the parse could have gone on
};

// The lines for standard error, each beginning with "axfilter: ".
std::vector<std::string> explainParseStop(const ParseStop& stop);

}  // namespace axf::filter
