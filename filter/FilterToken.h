// The tokens of the filter language and their terminal numbers in the
// filter grammar (tools/lalr/filter.grammar).
#pragma once

#include <cstdint>
#include <string_view>

namespace axf::filter {

// The 25 kinds of token, in the order of the language's token type.
enum class TokenKind : std::uint8_t {
    TokenVar,           // a variable: a word beginning with an upper-case letter
    TokenText,          // a quoted text, without its quotes
    TokenTag,           // a tag name: a word beginning with a lower-case letter
    TokenCond,          // a condition, without its enclosing ampersands
    TokenNum,           // a number, the digits as written
    TokenCount,         // "count"
    TokenFilterBest,    // "filterOneBest"
    TokenFilterAll,     // "filterAllBest"
    TokenFilterBExact,  // "filterBestExact"
    TokenFilterAExact,  // "filterAllExact"
    TokenFile,          // "file"
    TokenType,          // "$"
    TokenIn,            // "in"
    TokenAnd,           // "and", carries "and"
    TokenOr,            // "or", carries "or"
    TokenXor,           // "xor", carries "xor"
    TokenWhere,         // "where"
    TokenP,             // "(P)", carries "P"
    TokenN,             // "(N)", carries "N"
    TokenOB,            // "("
    TokenCB,            // ")"
    TokenComma,         // ","
    TokenBar,           // "|"
    TokenQmark,         // "?"
    TokenEOF,           // the end of the token stream
};

// A token and the text it carries (empty for the kinds that carry none). The
// text is a view into the filter text or a fixed literal.
struct Token {
    TokenKind kind;
    std::string_view text;

    friend bool operator==(const Token&, const Token&) = default;
};

// Grammar symbol numbers shared by the lexer's tokens and the parser table.
inline constexpr int kErrorSymbol = 1;
inline constexpr int kEndSymbol = 42;

// The terminal number of a token; its kind alone decides.
inline int terminalOf(TokenKind kind) {
    static constexpr std::uint8_t numbers[25] = {
        25,  // TokenVar
        27,  // TokenText
        28,  // TokenTag
        29,  // TokenCond
        26,  // TokenNum
        18,  // TokenCount
        19,  // TokenFilterBest
        20,  // TokenFilterAll
        21,  // TokenFilterBExact
        22,  // TokenFilterAExact
        23,  // TokenFile
        24,  // TokenType
        30,  // TokenIn
        31,  // TokenAnd
        32,  // TokenOr
        33,  // TokenXor
        34,  // TokenWhere
        35,  // TokenP
        36,  // TokenN
        37,  // TokenOB
        38,  // TokenCB
        39,  // TokenComma
        40,  // TokenBar
        41,  // TokenQmark
        42,  // TokenEOF
    };
    return numbers[static_cast<int>(kind)];
}

}  // namespace axf::filter
