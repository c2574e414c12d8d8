#include "filter/FilterLexer.h"

#include <array>

namespace axf::filter {

namespace {

// The fixed runs that are tried before a word, in this order.
constexpr std::array<std::string_view, 12> kFixedRuns = {
    "count", "filterAllExact", "filterBestExact", "filterOneBest", "filterAllBest", "file",
    "where", "and", "or", "xor", "(N)", "(P)",
};
// The first ten of them are keywords made of word characters: a keyword only
// when it stands as a whole word.
constexpr std::size_t kWordKeywords = 10;

bool isBlank(unsigned char c) { return (c >= 9 && c <= 13) || c == 32 || c == 160; }
bool isAsciiLetter(unsigned char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }
bool isAsciiDigit(unsigned char c) { return c >= '0' && c <= '9'; }

bool isWordChar(unsigned char c) {
    return isAsciiLetter(c) || isAsciiDigit(c) || c == '[' || c == ']' || c == '_';
}

bool isQuotedChar(unsigned char c) {
    return isAsciiLetter(c) || isAsciiDigit(c) || isBlank(c) || c == '\\' || c == ':' || c == '/' ||
           c == '.' || c == '_';
}

bool isConditionChar(unsigned char c) {
    if (isAsciiLetter(c) || isAsciiDigit(c) || isBlank(c)) return true;
    switch (c) {
        case '\\': case '+': case '.': case '_': case '(': case ')': case ',': case '-': case '>':
        case ':': case '=': case '/': case '<': case '$': case '[': case ']': case '*': case '\'':
            return true;
        default:
            return false;
    }
}

std::size_t wordLength(std::string_view text) {
    std::size_t n = 0;
    while (n < text.size() && isWordChar(static_cast<unsigned char>(text[n]))) ++n;
    return n;
}

// A quoted text or a condition: the opening delimiter, characters of the
// class, the closing delimiter. Zero when the run is not closed before a
// character outside the class.
template <class CharClass>
std::size_t delimitedLength(std::string_view text, char delimiter, CharClass inClass) {
    if (text.empty() || text[0] != delimiter) return 0;
    for (std::size_t i = 1; i < text.size(); ++i) {
        unsigned char c = static_cast<unsigned char>(text[i]);
        if (c == static_cast<unsigned char>(delimiter)) return i + 1;
        if (!inClass(c)) return 0;
    }
    return 0;
}

bool isNum(std::string_view lexeme) {
    for (char c : lexeme)
        if (!isAsciiDigit(static_cast<unsigned char>(c))) return false;
    return !lexeme.empty();
}

// The ordered chain of tests that turns a lexeme into a token.
Token classify(std::string_view lexeme) {
    using enum TokenKind;
    if (lexeme.empty()) return {TokenEOF, {}};
    if (lexeme == "(") return {TokenOB, {}};
    if (lexeme == ",") return {TokenComma, {}};
    if (lexeme == "|") return {TokenBar, {}};
    if (lexeme == "?") return {TokenQmark, {}};
    if (lexeme == ")") return {TokenCB, {}};
    if (lexeme == "$") return {TokenType, {}};
    if (lexeme == "count") return {TokenCount, {}};
    if (lexeme == "file") return {TokenFile, {}};
    if (lexeme == "filterOneBest") return {TokenFilterBest, {}};
    if (lexeme == "filterAllBest") return {TokenFilterAll, {}};
    if (lexeme == "filterBestExact") return {TokenFilterBExact, {}};
    if (lexeme == "filterAllExact") return {TokenFilterAExact, {}};
    if (lexeme == "in") return {TokenIn, {}};
    if (lexeme == "and") return {TokenAnd, "and"};
    if (lexeme == "or") return {TokenOr, "or"};
    if (lexeme == "xor") return {TokenXor, "xor"};
    if (lexeme == "where") return {TokenWhere, {}};
    if (lexeme == "(N)") return {TokenN, "N"};
    if (lexeme == "(P)") return {TokenP, "P"};
    unsigned char first = static_cast<unsigned char>(lexeme[0]);
    if (first >= 'A' && first <= 'Z') return {TokenVar, lexeme};
    if (first >= 'a' && first <= 'z') return {TokenTag, lexeme};
    if (isNum(lexeme)) return {TokenNum, lexeme};
    if (first == '\'') return {TokenText, lexeme.substr(1, lexeme.size() - 2)};
    if (first == '&') return {TokenCond, lexeme.substr(1, lexeme.size() - 2)};
    return {TokenEOF, {}};
}

}  // namespace

std::string_view isToken(std::string_view text) {
    if (text.empty()) return {};
    for (std::size_t i = 0; i < kFixedRuns.size(); ++i) {
        std::string_view run = kFixedRuns[i];
        if (!text.starts_with(run)) continue;
        // A keyword followed by more of a word is not a keyword: the word is read whole.
        if (i < kWordKeywords && run.size() < text.size() &&
            isWordChar(static_cast<unsigned char>(text[run.size()])))
            break;
        return text.substr(0, run.size());
    }
    if (std::size_t n = wordLength(text); n > 0) return text.substr(0, n);
    if (std::size_t n = delimitedLength(text, '\'', isQuotedChar); n > 0) return text.substr(0, n);
    if (std::size_t n = delimitedLength(text, '&', isConditionChar); n > 0) return text.substr(0, n);
    switch (text[0]) {
        case '(': case '$': case '|': case '?': case ')': case ',': case ':': case '.': case '<':
        case '>':
            return text.substr(0, 1);
        case '-':
            if (text.starts_with("->")) return text.substr(0, 2);
            return {};
        default:
            return {};
    }
}

LexStep tokenList(std::string_view text, std::int64_t line) {
    std::size_t i = 0;
    while (i < text.size() && isBlank(static_cast<unsigned char>(text[i]))) {
        if (text[i] == '\n') ++line;
        ++i;
    }
    text.remove_prefix(i);
    if (text.empty()) return {{TokenKind::TokenEOF, {}}, {}, line, false};
    std::string_view lexeme = isToken(text);
    Token token = classify(lexeme);
    if (token.kind == TokenKind::TokenEOF) return {token, {}, line, true};
    return {token, text.substr(lexeme.size()), line, false};
}

}  // namespace axf::filter
