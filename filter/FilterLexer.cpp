#include "filter/FilterLexer.h"

#include <array>
#include <optional>
#include <string>

#include "common/ByteClass.h"
#include "common/Fatal.h"
#include "filter/ExpInternal.h"
#include "filter/FilterLexerInternal.h"
#include "regex/Regexp.h"

namespace axf::filter {

namespace {

// The lexeme expression: a choice of 28 alternatives, tried in this order
// under the engine's match policy. The fixed runs come first, so a keyword
// wins over a word at the start of a word; "in" comes after the word, so it
// is only ever cut as a whole word. The word alternative matches the empty
// text, so the search always matches at the first character.
constexpr std::string_view kLexemeExpression =
    "count|filterAllExact|filterBestExact|filterOneBest|filterAllBest|file|where|and|or|xor|\\(N\\)|\\(P\\)|"
    "[a-zA-Z0-9\\[\\]\\_]*|['][a-zA-Z0-9\\\\\\:\\/\\s\\.\\_]*[']|"
    "[&][a-zA-Z0-9\\\\\\+\\s\\.\\_\\(\\)\\,\\->\\:\\=\\+\\-\\/\\<\\>\\$\\[\\]\\*\\']*[&]|"
    "in|\\(|\\$|\\||\\?|\\)|,|\\->|\\:|\\.|\\_|\\<|\\>";

constexpr std::string_view kWordExpression = "[a-zA-Z0-9\\[\\]\\_]*";
constexpr std::string_view kNumberExpression = "[0-9]+";

// The keywords that the lexeme expression cuts off the front of a word.
constexpr std::array<std::string_view, 10> kWordKeywords = {
    "count", "filterAllExact", "filterBestExact", "filterOneBest", "filterAllBest", "file", "where", "and", "or", "xor",
};

// Each expression is compiled once per run.
const regex::Regex& compiled(std::string_view expression, const std::optional<regex::Regex>& r) {
    if (!r) throw InternalError("nextToken: the expression " + std::string(expression) + " does not compile");
    return *r;
}

const regex::Regex& lexemeExpression() {
    static const std::optional<regex::Regex> r = regex::Regex::compile(kLexemeExpression);
    return compiled(kLexemeExpression, r);
}
const regex::Regex& wordExpression() {
    static const std::optional<regex::Regex> r = regex::Regex::compile(kWordExpression);
    return compiled(kWordExpression, r);
}
const regex::Regex& numberExpression() {
    static const std::optional<regex::Regex> r = regex::Regex::compile(kNumberExpression);
    return compiled(kNumberExpression, r);
}

// The matched text of a search; empty when there is no match.
std::string_view wholeMatch(const regex::Regex& expression, std::string_view text) {
    std::optional<regex::MatchSpans> m = expression.find(text);
    if (!m) return {};
    return text.substr(m->start, m->end - m->start);
}

bool isWordChar(unsigned char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '[' || c == ']' || c == '_';
}

// One or more decimal digits and nothing else.
bool isNum(std::string_view lexeme) { return wholeMatch(numberExpression(), lexeme) == lexeme; }

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

std::string_view lexemeAt(std::string_view text) {
    if (text.empty()) return {};
    std::string_view lexeme = wholeMatch(lexemeExpression(), text);
    // A keyword followed by more of a word is not a keyword: the word is read whole.
    if (lexeme.size() < text.size() && isWordChar(static_cast<unsigned char>(text[lexeme.size()]))) {
        for (std::string_view keyword : kWordKeywords)
            if (lexeme == keyword) return wholeMatch(wordExpression(), text);
    }
    return lexeme;
}

LexStep nextToken(std::string_view text, std::int64_t line) {
    std::size_t i = 0;
    while (i < text.size() && isSpaceByte(static_cast<unsigned char>(text[i]))) {
        if (text[i] == '\n') ++line;
        ++i;
    }
    text.remove_prefix(i);
    if (text.empty()) return {{TokenKind::TokenEOF, {}}, {}, line, false};
    std::string_view lexeme = lexemeAt(text);
    Token token = classify(lexeme);
    if (token.kind == TokenKind::TokenEOF) return {token, {}, line, true};
    return {token, text.substr(lexeme.size()), line, false};
}

std::string matchRe(std::string_view text, std::string_view pattern) { return expMatchRe(text, pattern); }

bool isNumberAlwaysFalse(std::string_view) { return false; }

}  // namespace axf::filter
