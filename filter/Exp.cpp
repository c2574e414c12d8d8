#include "filter/Exp.h"

#include <algorithm>
#include <charconv>
#include <limits>
#include <optional>
#include <span>
#include <string>
#include <system_error>
#include <utility>

#include "common/ByteClass.h"
#include "common/Fatal.h"
#include "common/MessageText.h"
#include "filter/ExpInternal.h"
#include "filter/ExpTable.h"
#include "filter/LRDriver.h"
#include "regex/Regexp.h"

namespace axf::filter {

namespace {

using K = ExpTokenKind;

const char* const kLexemePattern = "let|in|[a-zA-Z0-9\\.\\_]*|\\(|\\)|\\++|\\=|\\<=|\\<|\\>=|\\>|\\+|\\-|\\*|\\/";

const regex::Regex& lexemeRegex() {
    static const regex::Regex re = [] {
        auto r = regex::Regex::compile(kLexemePattern);
        if (!r) throw InternalError("expLexemeAt: the lexeme pattern does not compile");
        return std::move(*r);
    }();
    return re;
}

[[noreturn]] void noParse() { throw Fatal("Prelude.read: no parse"); }
// "Parse error", with a note naming the condition and where it stops parsing
// (see parseStopNote below).
[[noreturn]] void parseError(std::string note) { throw Fatal("Parse error", std::move(note)); }
[[noreturn]] void noVar() { throw Fatal("no var"); }

// Digits, optionally a point and digits.
bool isDecimal(std::string_view s) {
    std::size_t i = 0, n = s.size();
    while (i < n && isDigitByte(s[i])) ++i;
    if (i == 0) return false;
    if (i == n) return true;
    if (s[i] != '.') return false;
    std::size_t f = ++i;
    while (i < n && isDigitByte(s[i])) ++i;
    return i == n && i > f;
}

bool isUpperAscii(char c) { return c >= 'A' && c <= 'Z'; }

// The next lexeme at the start of the text (the text must not start with
// white space): the first match of the lexeme pattern under the search's
// priority policy; empty when no lexeme starts there.
std::string expLexemeAt(std::string_view text) {
    if (text.empty()) return {};
    auto m = lexemeRegex().find(text);
    if (!m) return {};
    return std::string(text.substr(m->start, m->end - m->start));
}

// A lexeme read as a number token: not empty, only digits and dots.
bool isNumberLexeme(std::string_view lexeme) {
    if (lexeme.empty()) return false;
    for (char c : lexeme)
        if (!isDigitByte(c) && c != '.') return false;
    return true;
}

ExpToken classify(std::string lexeme) {
    struct Fixed {
        const char* text;
        K kind;
    };
    static const Fixed fixed[] = {
        {"(", K::TokenOB},    {")", K::TokenCB},  {"=", K::TokenEq},    {"<=", K::TokenLEQ},    {"<", K::TokenLT},
        {">=", K::TokenGEQ},  {">", K::TokenGT},  {"+", K::TokenPlus},  {"++", K::TokenAppend}, {"-", K::TokenMinus},
        {"*", K::TokenTimes}, {"/", K::TokenDiv}, {"let", K::TokenLet}, {"in", K::TokenIn},
    };
    for (const Fixed& f : fixed)
        if (lexeme == f.text) return ExpToken{f.kind, {}, -1};
    if (isUpperAscii(lexeme[0])) return ExpToken{K::TokenVar, std::move(lexeme), -1};
    if (isNumberLexeme(lexeme)) return ExpToken{K::TokenFloat, std::move(lexeme), -1};
    return ExpToken{K::TokenString, std::move(lexeme), -1};
}

}  // namespace

// ---------------------------------------------------------------------------
// Lexer.

bool expIsVar(std::string_view text) { return !text.empty() && isUpperByte(static_cast<unsigned char>(text[0])); }

bool expIsText(std::string_view text) { return !text.empty(); }

std::string expMatchRe(std::string_view input, std::string_view pattern) {
    return regex::wholeMatch(regex::searchS(pattern, {}, input));
}

namespace {

// The tokens of the text, and where each begins when `starts` is given;
// `stoppedAt` gets the offset where lexing stopped (the text's size when it
// read the whole text).
std::vector<ExpToken> lexText(std::string_view text, std::vector<std::size_t>* starts, std::size_t* stoppedAt) {
    std::vector<ExpToken> out;
    std::size_t i = 0;
    while (i < text.size()) {
        if (isSpaceByte(static_cast<unsigned char>(text[i]))) {
            ++i;
            continue;
        }
        std::string lexeme = expLexemeAt(text.substr(i));
        if (lexeme.empty()) break;
        if (starts) starts->push_back(i);
        i += lexeme.size();
        out.push_back(classify(std::move(lexeme)));
    }
    if (stoppedAt) *stoppedAt = i;
    return out;
}

}  // namespace

std::vector<ExpToken> expTokenList(std::string_view text) { return lexText(text, nullptr, nullptr); }

float readFloat(std::string_view lexeme) {
    if (!isDecimal(lexeme)) noParse();
    float v = 0;
    auto [ptr, ec] = std::from_chars(lexeme.data(), lexeme.data() + lexeme.size(), v, std::chars_format::fixed);
    if (ec == std::errc::result_out_of_range) {
        // Too large for a float: infinity; too small: zero.
        std::size_t i = 0;
        while (i < lexeme.size() && lexeme[i] == '0') ++i;
        bool bigInteger = i < lexeme.size() && lexeme[i] != '.';
        return bigInteger ? std::numeric_limits<float>::infinity() : 0.0f;
    }
    if (ec != std::errc() || ptr != lexeme.data() + lexeme.size()) noParse();
    return v;
}

ExpValue classifyValue(std::string_view raw) {
    std::size_t b = 0, e = raw.size();
    while (b < e && isSpaceByte(static_cast<unsigned char>(raw[b]))) ++b;
    while (e > b && isSpaceByte(static_cast<unsigned char>(raw[e - 1]))) --e;
    ExpValue v;
    v.text = std::string(raw.substr(b, e - b));
    v.isNumber = isDecimal(v.text);
    if (v.isNumber) v.number = readFloat(v.text);
    return v;
}

std::vector<std::string> expressionVariables(std::string_view text) {
    std::vector<std::string> out;
    std::vector<ExpToken> tokens = expTokenList(text);
    std::vector<std::string> bound;  // names the text binds itself
    for (std::size_t i = 0; i + 1 < tokens.size(); ++i)
        if (tokens[i].kind == K::TokenLet && tokens[i + 1].kind == K::TokenVar) bound.push_back(tokens[i + 1].text);
    auto listed = [](const std::vector<std::string>& names, const std::string& n) {
        for (const std::string& o : names)
            if (o == n) return true;
        return false;
    };
    for (auto it = tokens.rbegin(); it != tokens.rend(); ++it)
        if (it->kind == K::TokenVar && !listed(out, it->text) && !listed(bound, it->text)) out.push_back(it->text);
    return out;
}

// ---------------------------------------------------------------------------
// Parse trees.

namespace {

// A node of a parsed condition; the nodes of one condition are held in a
// vector and refer to each other by index.
struct Node {
    enum Kind : std::uint8_t {
        LetNum,  // let name = (text | slot) in a
        LetStr,  // let name = (text | slot) in a
        StrRel,  // a op b over texts
        StrApp,  // a = b ++ c
        VarStr,  // the text bound to name
        NumRel,  // a op b over numbers
        Arith,   // a op b
        NumLit,  // the number of text
        VarNum,  // the number bound to name
    };
    Kind kind;
    K op = K::TokenEq;
    int a = -1, b = -1, c = -1;
    std::string name;
    std::string text;
    int slot = -1;
};

// A parsed condition (the value of the start symbol).
class ExpProgram {
public:
    ExpProgram(std::vector<Node> nodes, int root) : nodes_(std::move(nodes)), root_(root) {}

    // The truth value on the empty environment; `slots` gives the values of
    // the tokens that stand for bound values.
    bool evaluate(std::span<const ExpValue* const> slots = {}) const;

private:
    std::vector<Node> nodes_;
    int root_;
};

// A stack value of the parse: a shifted token or a node of the tree.
struct StackValue {
    const ExpToken* token = nullptr;
    int node = -1;
};

// The look-ahead of the expression parser: the next token of the list, or
// the end.
class ExpLookAhead {
public:
    explicit ExpLookAhead(const std::vector<ExpToken>& tokens) : tokens_(tokens) {}

    int lookSymbol() const { return next_ < tokens_.size() ? expTerminal(tokens_[next_].kind) : kExpEndSymbol; }
    StackValue shift() { return StackValue{&tokens_[next_++], -1}; }
    // The index of the look-ahead in the list (its size at the end).
    std::size_t index() const { return next_; }

private:
    const std::vector<ExpToken>& tokens_;
    std::size_t next_ = 0;
};

// Builds the parse tree one reduction at a time. A comparison or an
// arithmetic operation takes its operator from the token between its
// operands.
class ExpTreeBuilder {
public:
    StackValue reduce(int production, std::span<const StackValue> values) {
        production_ = production;
        values_ = values;
        using enum ExpProduction;
        switch (static_cast<ExpProduction>(production)) {
            case CondNumeric:
            case CondText:
            case NumCondCompare:
            case StrCondCompare:
            case ArithMulExpr:
            case MulFactor: return StackValue{nullptr, childNode(0)};
            case FactorParenthesised: return StackValue{nullptr, childNode(1)};
            case NumCondLet:
                return add(Node{Node::LetNum, K::TokenEq, childNode(5), -1, -1, token(1).text, token(3).text, token(3).slot});
            case StrCondLet:
                return add(Node{Node::LetStr, K::TokenEq, childNode(5), -1, -1, token(1).text, token(3).text, token(3).slot});
            case StrEqual:
            case StrLess:
            case StrLessEqual:
            case StrGreater:
            case StrGreaterEqual: return add(Node{Node::StrRel, token(1).kind, childNode(0), childNode(2), -1, {}, {}, -1});
            case StrEqualAppend:
                return add(Node{Node::StrApp, K::TokenAppend, childNode(0), childNode(2), childNode(4), {}, {}, -1});
            case StrTermVar: return add(Node{Node::VarStr, K::TokenVar, -1, -1, -1, token(0).text, {}, -1});
            case NumEqual:
            case NumLess:
            case NumLessEqual:
            case NumGreater:
            case NumGreaterEqual: return add(Node{Node::NumRel, token(1).kind, childNode(0), childNode(2), -1, {}, {}, -1});
            case ArithAdd:
            case ArithSubtract:
            case MulMultiply:
            case MulDivide: return add(Node{Node::Arith, token(1).kind, childNode(0), childNode(2), -1, {}, {}, -1});
            case FactorNumber: return add(Node{Node::NumLit, K::TokenFloat, -1, -1, -1, {}, token(0).text, token(0).slot});
            case FactorVar: return add(Node{Node::VarNum, K::TokenVar, -1, -1, -1, token(0).text, {}, -1});
            default: fail("no action for production ");
        }
    }

    ExpProgram program(int root) { return ExpProgram(std::move(nodes_), root); }

private:
    [[noreturn]] void fail(const std::string& what) const {
        throw InternalError("parseExpTokens: " + what + std::to_string(production_));
    }
    const ExpToken& token(std::size_t i) const {
        if (!values_[i].token) fail("token expected in production ");
        return *values_[i].token;
    }
    int childNode(std::size_t i) const {
        if (values_[i].node < 0) fail("value expected in production ");
        return values_[i].node;
    }
    StackValue add(Node n) {
        nodes_.push_back(std::move(n));
        return StackValue{nullptr, int(nodes_.size() - 1)};
    }

    std::vector<Node> nodes_;
    int production_ = 0;
    std::span<const StackValue> values_;
};

// The parse of a token list; absent when the tokens do not form a condition.
std::optional<ExpProgram> parseExpTokens(const std::vector<ExpToken>& tokens) {
    ExpTreeBuilder builder;
    LRDriver<StackValue> driver(expTable, "parseExpTokens");
    ExpLookAhead source(tokens);
    if (!driver.run(source, [&](int p, std::span<StackValue> v) { return builder.reduce(p, v); })) return std::nullopt;
    const std::vector<StackValue>& values = driver.values();
    if (values.size() != 1 || values[0].node < 0) throw InternalError("parseExpTokens: accepted without a condition");
    return builder.program(values[0].node);
}

// ---------------------------------------------------------------------------
// Evaluation.

// One binding of the environment: a lexeme of the text, or a bound value.
struct Binding {
    std::string_view name;
    std::string_view text;
    const ExpValue* value;
};

class Evaluator {
public:
    Evaluator(const std::vector<Node>& nodes, std::span<const ExpValue* const> slots) : nodes_(nodes), slots_(slots) {}

    bool cond(int i) {
        const Node& n = nodes_[std::size_t(i)];
        switch (n.kind) {
            case Node::LetNum:
            case Node::LetStr: {
                env_.push_back(Binding{n.name, n.text, n.slot >= 0 ? slot(n.slot) : nullptr});
                bool r = cond(n.a);
                env_.pop_back();
                return r;
            }
            case Node::StrRel: {
                std::string_view x = str(n.a);
                std::string_view y = str(n.b);
                return compare(n.op, x.compare(y), x == y);
            }
            case Node::StrApp: {
                std::string_view x = str(n.a);
                std::string_view y = str(n.b);
                if (x.substr(0, y.size()) != y) return false;
                std::string_view z = str(n.c);
                return x.size() == y.size() + z.size() && x.substr(y.size()) == z;
            }
            case Node::NumRel: {
                float x = num(n.a);
                float y = num(n.b);
                switch (n.op) {
                    case K::TokenEq: return x == y;
                    case K::TokenLT: return x < y;
                    case K::TokenLEQ: return x <= y;
                    case K::TokenGT: return x > y;
                    default: return x >= y;
                }
            }
            default: throw InternalError("evalExp: a condition was expected");
        }
    }

private:
    static bool compare(K op, int c, bool eq) {
        switch (op) {
            case K::TokenEq: return eq;
            case K::TokenLT: return c < 0;
            case K::TokenLEQ: return c <= 0;
            case K::TokenGT: return c > 0;
            default: return c >= 0;
        }
    }

    const ExpValue* slot(int s) const {
        if (std::size_t(s) >= slots_.size() || !slots_[std::size_t(s)])
            throw InternalError("evalExp: no value for slot " + std::to_string(s));
        return slots_[std::size_t(s)];
    }

    const Binding& find(std::string_view name) const {
        for (auto it = env_.rbegin(); it != env_.rend(); ++it)
            if (it->name == name) return *it;
        noVar();
    }

    std::string_view str(int i) {
        const Node& n = nodes_[std::size_t(i)];
        if (n.kind != Node::VarStr) throw InternalError("evalExp: a text term was expected");
        const Binding& b = find(n.name);
        return b.value ? std::string_view(b.value->text) : b.text;
    }

    float num(int i) {
        const Node& n = nodes_[std::size_t(i)];
        switch (n.kind) {
            case Node::NumLit:
                if (n.slot >= 0) return number(slot(n.slot));
                return readFloat(n.text);
            case Node::VarNum: {
                const Binding& b = find(n.name);
                if (b.value) return number(b.value);
                return readFloat(b.text);
            }
            case Node::Arith: {
                float x = num(n.a);
                float y = num(n.b);
                switch (n.op) {
                    case K::TokenPlus: return x + y;
                    case K::TokenMinus: return x - y;
                    case K::TokenTimes: return x * y;
                    default: return x / y;
                }
            }
            default: throw InternalError("evalExp: a number was expected");
        }
    }

    static float number(const ExpValue* v) {
        if (!v->isNumber) throw InternalError("evalExp: the value \"" + v->text + "\" is not a number");
        return v->number;
    }

    const std::vector<Node>& nodes_;
    std::span<const ExpValue* const> slots_;
    std::vector<Binding> env_;
};

bool ExpProgram::evaluate(std::span<const ExpValue* const> slots) const {
    Evaluator ev(nodes_, slots);
    return ev.cond(root_);
}

// Where a parse of the tokens stops: the index of the token it stops at
// (tokens.size() for the end) and the terminals the grammar expects there.
struct ExpStop {
    std::size_t token = 0;
    std::vector<int> expected;
};

ExpStop findParseStop(const std::vector<ExpToken>& tokens) {
    LRDriver<StackValue> driver(expTable, "findParseStop");
    ExpLookAhead source(tokens);
    if (driver.run(source, [](int, std::span<StackValue>) { return StackValue{}; })) return ExpStop{tokens.size() + 1, {}};
    return ExpStop{source.index(), driver.expectedTerminals()};
}

// How a note names the terminals that a condition text spells out; the
// others go by their symbol in the grammar ("let", "(", ...).
struct TerminalWording {
    K kind;
    std::string_view name;
};

constexpr TerminalWording kTerminalWordings[] = {
    {K::TokenFloat, "a number"},
    {K::TokenString, "a word"},
    {K::TokenVar, "a variable"},
};

std::string expTerminalName(int terminal) {
    for (const TerminalWording& w : kTerminalWordings)
        if (expTerminal(w.kind) == terminal) return std::string(w.name);
    if (terminal == kExpEndSymbol) return "the end of the condition";
    if (terminal >= 0 && terminal < expTable.numSymbols && expTable.symbolNames[terminal]) return expTable.symbolNames[terminal];
    return "symbol " + std::to_string(terminal);
}

// The note of a condition text that does not parse: which condition, at
// which column of it the parse stops, what it found and what it expected.
// Each token list is the text's tokens after `prefix` tokens of bindings; of
// the readings the one that gets further tells.
std::string parseStopNote(std::string_view text, std::span<const std::vector<ExpToken>* const> readings, std::size_t prefix) {
    std::vector<std::size_t> starts;
    std::size_t stoppedAt = 0;
    std::vector<ExpToken> body = lexText(text, &starts, &stoppedAt);
    ExpStop best;
    bool any = false;
    for (const std::vector<ExpToken>* tokens : readings) {
        ExpStop stop = findParseStop(*tokens);
        if (stop.token > tokens->size()) continue;  // this reading parses
        stop.token = stop.token >= prefix ? stop.token - prefix : 0;
        if (!any || stop.token > best.token) {
            best = std::move(stop);
        } else if (stop.token == best.token) {
            for (int t : stop.expected)
                if (std::find(best.expected.begin(), best.expected.end(), t) == best.expected.end()) best.expected.push_back(t);
        }
        any = true;
    }
    std::string note = "axfilter: the condition &" + cutForMessage(text) + "& does not parse: ";
    std::string found;
    if (best.token < body.size()) {
        note += "at column " + std::to_string(starts[best.token] + 1) + " of the condition, ";
        std::size_t end = best.token + 1 < starts.size() ? starts[best.token + 1] : stoppedAt;
        std::string_view lexeme = text.substr(starts[best.token], end - starts[best.token]);
        while (!lexeme.empty() && isSpaceByte(static_cast<unsigned char>(lexeme.back()))) lexeme.remove_suffix(1);
        found = "\"" + cutForMessage(lexeme) + "\"";
    } else if (stoppedAt < text.size()) {
        note += "at column " + std::to_string(stoppedAt + 1) + " of the condition, ";
        found = "'" + std::string(1, text[stoppedAt]) + "', which a condition cannot hold";
    } else {
        found = "the end of the condition";
    }
    note += "found " + found;
    std::sort(best.expected.begin(), best.expected.end());
    for (std::size_t i = 0; i < best.expected.size(); ++i)
        note += (i == 0                          ? " where it expects "
                 : i + 1 == best.expected.size() ? " or "
                                                 : ", ") +
                expTerminalName(best.expected[i]);
    // A word where the grammar takes none: words enter only through let.
    const int word = expTerminal(K::TokenString);
    if (best.token < body.size() && body[best.token].kind == K::TokenString &&
        std::find(best.expected.begin(), best.expected.end(), word) == best.expected.end())
        note +=
            "\naxfilter: hint: a word enters a comparison only through let: &let W = " + cutForMessage(body[best.token].text) +
            " in ...&";
    return note;
}

}  // namespace

bool evalExp(std::string_view text) {
    std::vector<ExpToken> tokens = expTokenList(text);
    std::optional<ExpProgram> prog = parseExpTokens(tokens);
    if (!prog) {
        const std::vector<ExpToken>* readings[] = {&tokens};
        parseError(parseStopNote(text, readings, 0));
    }
    return prog->evaluate();
}

// ---------------------------------------------------------------------------
// Conditions over bound values.

struct ExpCondition::Parsed {
    std::optional<ExpProgram> numeric;
    std::optional<ExpProgram> textual;
    std::vector<ExpToken> numericTokens;  // kept while a reading fails, for the note
    std::vector<ExpToken> textualTokens;
};

ExpCondition::ExpCondition(std::string text, std::vector<std::string> names) : text_(std::move(text)), names_(std::move(names)) {}
ExpCondition::ExpCondition(ExpCondition&&) noexcept = default;
ExpCondition::~ExpCondition() = default;

bool ExpCondition::holds(std::span<const ExpValue* const> values) {
    if (values.size() != names_.size()) throw InternalError("ExpCondition::holds: one value per name expected");
    if (!parsed_) {
        auto p = std::make_unique<Parsed>();
        std::vector<ExpToken> body = expTokenList(text_);
        for (K valueKind : {K::TokenFloat, K::TokenString}) {
            std::vector<ExpToken> tokens;
            tokens.reserve(5 * names_.size() + body.size());
            for (std::size_t i = 0; i < names_.size(); ++i) {
                tokens.push_back(ExpToken{K::TokenLet, {}, -1});
                tokens.push_back(ExpToken{K::TokenVar, names_[i], -1});
                tokens.push_back(ExpToken{K::TokenEq, {}, -1});
                tokens.push_back(ExpToken{valueKind, {}, int(i)});
                tokens.push_back(ExpToken{K::TokenIn, {}, -1});
            }
            tokens.insert(tokens.end(), body.begin(), body.end());
            std::optional<ExpProgram>& reading = valueKind == K::TokenFloat ? p->numeric : p->textual;
            reading = parseExpTokens(tokens);
            if (!reading) (valueKind == K::TokenFloat ? p->numericTokens : p->textualTokens) = std::move(tokens);
        }
        parsed_ = std::move(p);
    }
    bool allNumbers = true;
    for (const ExpValue* v : values) allNumbers = allNumbers && v->isNumber;
    if (allNumbers && parsed_->numeric) return parsed_->numeric->evaluate(values);
    if (parsed_->textual) return parsed_->textual->evaluate(values);
    if (parsed_->numeric) return false;
    const std::vector<ExpToken>* readings[] = {&parsed_->numericTokens, &parsed_->textualTokens};
    parseError(parseStopNote(text_, readings, 5 * names_.size()));
}

}  // namespace axf::filter
