#include "filter/ParseErrorExplanation.h"

#include <algorithm>
#include <array>
#include <vector>

#include "common/ByteClass.h"
#include "common/MessageText.h"
#include "filter/FilterTable.h"

namespace axf::filter {

namespace {

constexpr std::string_view kPrefix = "axfilter: ";
constexpr std::string_view kHint = "axfilter: hint: ";

constexpr std::array<std::string_view, 4> kStatements = {"filterAllBest", "filterOneBest", "filterAllExact", "filterBestExact"};

// ASCII letters and digits only: the filter's lexemes take no Latin-1 letters.
bool isAsciiAlnum(unsigned char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || isDigitByte(c); }

// The bytes a quoted text '...' may hold, and those of a condition &...&.
bool quotedTextByte(unsigned char c) {
    return isAsciiAlnum(c) || isSpaceByte(c) || c == '\\' || c == ':' || c == '/' || c == '.' || c == '_';
}
bool conditionByte(unsigned char c) {
    return isAsciiAlnum(c) || isSpaceByte(c) || std::string_view("\\+._(),->:=/<$[]*'").find(char(c)) != std::string_view::npos;
}

bool sameIgnoringCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (toLowerByte(static_cast<unsigned char>(a[i])) != toLowerByte(static_cast<unsigned char>(b[i]))) return false;
    return true;
}

bool startsWithIgnoringCase(std::string_view text, std::string_view prefix) {
    return text.size() >= prefix.size() && sameIgnoringCase(text.substr(0, prefix.size()), prefix);
}

// The edit distance of two short words, letters compared without case.
std::size_t editDistance(std::string_view a, std::string_view b) {
    std::vector<std::size_t> row(b.size() + 1);
    for (std::size_t j = 0; j <= b.size(); ++j) row[j] = j;
    for (std::size_t i = 1; i <= a.size(); ++i) {
        std::size_t diagonal = row[0];
        row[0] = i;
        for (std::size_t j = 1; j <= b.size(); ++j) {
            std::size_t above = row[j];
            bool same = toLowerByte(static_cast<unsigned char>(a[i - 1])) == toLowerByte(static_cast<unsigned char>(b[j - 1]));
            row[j] = std::min({row[j] + 1, row[j - 1] + 1, diagonal + (same ? 0 : 1)});
            diagonal = above;
        }
    }
    return row[b.size()];
}

// A byte as a message shows it: itself when printable, else its number.
std::string showByte(unsigned char c) {
    if (c > 32 && c < 127) return std::string("'") + char(c) + "'";
    return "the byte " + std::to_string(c);
}

// The text from `start` to the next blank, cut for a message.
std::string wordAt(std::string_view text, std::size_t start) {
    std::size_t end = start;
    while (end < text.size() && !isSpaceByte(static_cast<unsigned char>(text[end]))) ++end;
    return cutForMessage(text.substr(start, end - start));
}

// The unread text at `start` as a message shows it: a quoted text or a
// condition up to its closing quote or '&' (to the next blank when it has
// none), a run of name bytes, or else the one byte the filter cannot read.
std::string unreadAt(std::string_view text, std::size_t start) {
    if (start >= text.size()) return wordAt(text, start);
    const unsigned char first = static_cast<unsigned char>(text[start]);
    if (first == '\'' || first == '"' || first == '&') {
        const std::size_t close = text.find(char(first), start + 1);
        if (close == std::string_view::npos) return wordAt(text, start);
        return cutForMessage(text.substr(start, close + 1 - start));
    }
    std::size_t end = start;
    auto nameByte = [](unsigned char c) { return isAsciiAlnum(c) || c == '_' || c == '-' || c == '.'; };
    while (end < text.size() && nameByte(static_cast<unsigned char>(text[end]))) ++end;
    if (end == start) return showByte(first);
    return cutForMessage(text.substr(start, end - start));
}

// How messages name the tokens that the filter text spells out: where the
// grammar expects one, and as the token found (followed by its text in
// double quotes, except at the end of the filter).
struct TokenWording {
    TokenKind kind;
    std::string_view expected;
    std::string_view found;
    bool showsText;
};

constexpr TokenWording kTokenWordings[] = {
    {TokenKind::TokenVar, "a variable", "the variable ", true},
    {TokenKind::TokenNum, "a number", "the number ", true},
    {TokenKind::TokenText, "a quoted text", "the quoted text ", true},
    {TokenKind::TokenTag, "a tag name", "the tag name ", true},
    {TokenKind::TokenCond, "a condition &...&", "the condition ", true},
    {TokenKind::TokenEOF, "the end of the filter", "the end of the filter", false},
};

// The name of a terminal of the filter grammar as a message shows it
// (`"in"`, `a tag name`, `the end of the filter`).
std::string filterTerminalName(int terminal) {
    for (const TokenWording& w : kTokenWordings)
        if (terminalOf(w.kind) == terminal) return std::string(w.expected);
    if (terminal >= 0 && terminal < filterTable.numSymbols && filterTable.symbolNames[terminal])
        return filterTable.symbolNames[terminal];
    return "symbol " + std::to_string(terminal);
}

std::string describeFound(const ParseStop& stop) {
    const Token& token = stop.found->token;
    const bool haveText = stop.start != std::string_view::npos && stop.start <= stop.text.size();
    if (stop.found->unreadText)
        return haveText ? unreadAt(stop.text, stop.start) + " (not a token of the filter language)"
                        : "text that is not a token of the filter language";
    std::string_view lexeme = token.text;
    if (haveText) lexeme = lexemeAt(stop.text.substr(stop.start));
    // Built by appending: gcc 12 warns falsely (-Wrestrict) on "\"" + string.
    std::string shown(1, '"');
    shown += cutForMessage(lexeme);
    shown += '"';
    for (const TokenWording& w : kTokenWordings)
        if (w.kind == token.kind) return w.showsText ? std::string(w.found) + shown : std::string(w.found);
    return shown;
}

bool expects(const ParseStop& stop, TokenKind kind) {
    return std::find(stop.expected.begin(), stop.expected.end(), terminalOf(kind)) != stop.expected.end();
}

bool expectsOnly(const ParseStop& stop, TokenKind kind) { return stop.expected.size() == 1 && expects(stop, kind); }

// The hint for unread text that opens a quoted text or a condition: it has
// no closing quote or '&', or it holds a byte that the lexeme cannot hold.
// Empty when neither.
std::string unreadQuoteHint(const ParseStop& stop, std::string_view rest) {
    const char quote = rest[0];
    const bool text = quote == '\'';
    std::size_t close = rest.find(quote, 1);
    if (close == std::string_view::npos)
        return text ? "the quoted text has no closing ': texts and file names go in single quotes"
                    : "the condition has no closing &: a condition goes between two &";
    std::size_t bad = 1;
    while (bad < close && (text ? quotedTextByte(rest[bad]) : conditionByte(rest[bad]))) ++bad;
    if (bad == close) return {};
    std::string shown = showByte(static_cast<unsigned char>(rest[bad]));
    if (!text)
        return shown +
               " cannot be written in a condition: it may hold letters, digits, blanks and \\ + . _ ( ) , - > : = / < $ [ ] * '";
    if (expectsOnly(stop, TokenKind::TokenText))
        return shown +
               " is not allowed in a file name (only letters, digits, blanks and \\ : / . _ are): read the file through "
               "/dev/stdin: axfilter \"... in file '/dev/stdin'\" < FILE";
    return shown + " is not allowed in a quoted text: it may hold letters, digits, blanks and \\ : / . _";
}

// The hint for a word where a filter begins: the statement it misspells, if
// near enough, and the statements there are.
std::string statementHint(std::string_view lexeme) {
    for (std::string_view s : kStatements)
        if (sameIgnoringCase(lexeme, s)) return "statement names are case-sensitive: write " + std::string(s);
    const std::string statements =
        "a filter begins with a statement: filterAllBest, filterOneBest, filterAllExact or filterBestExact (or count)";
    // A near miss (at most 3 edits; the statements are 13 to 15 bytes long) is named.
    if (lexeme.size() <= 20) {
        std::string_view nearest;
        std::size_t best = 4;
        for (std::string_view s : kStatements)
            if (std::size_t d = editDistance(lexeme, s); d < best) best = d, nearest = s;
        if (!nearest.empty()) return "did you mean " + std::string(nearest) + "? " + statements;
    }
    return statements;
}

// A hint for the common mistakes, or an empty text.
std::string hintFor(const ParseStop& stop) {
    using enum TokenKind;
    const Token& token = stop.found->token;
    const bool haveText = stop.start != std::string_view::npos && stop.start <= stop.text.size();
    std::string_view rest = haveText ? stop.text.substr(stop.start) : std::string_view{};
    std::string_view lexeme = haveText ? lexemeAt(rest) : token.text;
    const bool atFirstToken = haveText && expects(stop, TokenFilterAll) && expects(stop, TokenCount);

    if (atFirstToken && !rest.empty() && rest[0] == '-')
        return "axfilter takes one argument, the filter; its options are -h, --help and --version";
    if (!rest.empty() && rest[0] == '"') return "file names and texts go in single quotes: in file 'doc.xml'";
    if (stop.found->unreadText && !rest.empty() && (rest[0] == '\'' || rest[0] == '&')) {
        std::string hint = unreadQuoteHint(stop, rest);
        if (!hint.empty()) return hint;
    }
    if (expects(stop, TokenFilterAll) && (token.kind == TokenTag || token.kind == TokenVar)) return statementHint(lexeme);
    if ((token.kind == TokenP || token.kind == TokenN) && expects(stop, TokenOB))
        return "\"(P)\" and \"(N)\" are read as the marks that end a filter: name the variable with another letter, or write " +
               std::string(token.kind == TokenP ? "( P )" : "( N )");
    if (token.kind == TokenOB && (expects(stop, TokenP) || expects(stop, TokenN)) &&
        (startsWithIgnoringCase(rest, "(n)") || startsWithIgnoringCase(rest, "(p)")))
        return "the marks are written (P) and (N), in capitals";
    if (expects(stop, TokenCond) && token.kind != TokenCond) return "a condition goes between two &: where &X match a.*&";
    if (expects(stop, TokenIn) && token.kind != TokenIn)
        return "the query is followed by in and its source: ... in file 'doc.xml'";
    if (expectsOnly(stop, TokenText)) return "file names go in single quotes: in file 'doc.xml'";
    if (expectsOnly(stop, TokenOB) && !rest.empty() && rest[0] == '.')
        return "a file is named with file and single quotes: in file 'doc.xml'";
    return {};
}

}  // namespace

std::vector<std::string> explainParseStop(const ParseStop& stop) {
    std::string where = "parse error at line " + std::to_string(stop.line);
    if (stop.start != std::string_view::npos && stop.start <= stop.text.size()) {
        std::size_t lineStart = stop.text.rfind('\n', stop.start == 0 ? 0 : stop.start - 1);
        lineStart = (lineStart == std::string_view::npos || stop.start == 0) ? 0 : lineStart + 1;
        where += ", column " + std::to_string(stop.start - lineStart + 1);
    }
    std::vector<int> expected = stop.expected;
    std::sort(expected.begin(), expected.end());
    std::string wanted;
    for (std::size_t i = 0; i < expected.size(); ++i) {
        if (i > 0) wanted += i + 1 == expected.size() ? " or " : ", ";
        wanted += filterTerminalName(expected[i]);
    }
    std::string line = std::string(kPrefix) + where + ": found " + describeFound(stop);
    if (!wanted.empty()) line += " where the filter expects " + wanted;
    std::vector<std::string> lines{line};
    std::string hint = hintFor(stop);
    if (!hint.empty()) lines.push_back(std::string(kHint) + hint);
    return lines;
}

}  // namespace axf::filter
