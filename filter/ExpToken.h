// The tokens of the expression language of conditions and their terminal
// numbers in the expression grammar (tools/lalr/exp.grammar).
#pragma once

#include <cstdint>
#include <string>

namespace axf::filter {

// The 17 kinds of token, in the order of the language's token type; the
// terminal number of a kind is its tag plus 13.
enum class ExpTokenKind : std::uint8_t {
    TokenLet,     // "let"
    TokenIn,      // "in"
    TokenFloat,   // a number: digits and dots, converted when its value is needed
    TokenString,  // a word
    TokenVar,     // a variable: a lexeme beginning with an upper-case letter
    TokenEq,      // "="
    TokenLT,      // "<"
    TokenLEQ,     // "<="
    TokenGT,      // ">"
    TokenGEQ,     // ">="
    TokenPlus,    // "+"
    TokenAppend,  // "++"
    TokenMinus,   // "-"
    TokenTimes,   // "*"
    TokenDiv,     // "/"
    TokenOB,      // "("
    TokenCB,      // ")"
};

inline constexpr int kExpFirstTerminal = 13;
inline constexpr int kExpEndSymbol = 30;

inline int expTerminal(ExpTokenKind k) { return int(k) + kExpFirstTerminal; }

// A token with its lexeme (numbers, words and variables; empty for the
// others). A number or word that stands for a bound value of a condition
// carries the value's index in `slot` instead of a lexeme of the text.
struct ExpToken {
    ExpTokenKind kind;
    std::string text;
    int slot = -1;

    friend bool operator==(const ExpToken&, const ExpToken&) = default;
};

}  // namespace axf::filter
