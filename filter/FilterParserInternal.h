// Internal: for this folder and its tests. The filter parser started at a
// later line, or run over given tokens instead of the lexer.
#pragma once

#include <cstdint>
#include <span>
#include <string_view>

#include "filter/FilterLexer.h"
#include "filter/FilterParser.h"

namespace axf::filter {

// parseFilter, counting lines from `startLine`.
ParseResult parseFilterFromLine(std::string_view text, std::int64_t startLine);

// Runs the parser over a given token sequence instead of the lexer; after
// the last step it is handed TokenEOF at the last step's line (line 1 when
// there is none). Each step's `rest` is not read.
ParseResult parseTokens(std::span<const LexStep> steps);

}  // namespace axf::filter
