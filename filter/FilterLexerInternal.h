// Internal: for this folder and its tests. Text operations of the filter
// lexer's module that the lexer itself does not use.
#pragma once

#include <string>
#include <string_view>

namespace axf::filter {

// The matched text of the first match of the pattern in the text (empty when
// there is none or the pattern does not parse).
std::string matchRe(std::string_view text, std::string_view pattern);

// A number test that never holds, whatever the text.
bool isNumberAlwaysFalse(std::string_view text);

}  // namespace axf::filter
