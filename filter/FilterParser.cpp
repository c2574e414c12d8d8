#include "filter/FilterParser.h"

#include <utility>
#include <vector>

#include "common/ByteClass.h"
#include "common/Fatal.h"
#include "filter/FilterTable.h"
#include "filter/ParseErrorExplanation.h"

namespace axf::filter {

namespace {

using xml::AttList;
using xml::ELNode;
using xml::TreeList;
using xml::TXNode;

// The serialised text of an inline XML literal, kept as a rope while the
// literal is parsed: every piece is joined once, when the literal becomes a
// source, so that nesting and long lists cost time linear in the text.
struct RopeNode {
    std::string_view piece;  // a leaf when left < 0
    int left = -1;
    int right = -1;
    std::size_t size = 0;
};

struct Ropes {
    std::vector<RopeNode> nodes;

    int leaf(std::string_view s) {
        nodes.push_back({s, -1, -1, s.size()});
        return static_cast<int>(nodes.size()) - 1;
    }
    int concat(int a, int b) {
        nodes.push_back({{}, a, b, nodes[a].size + nodes[b].size});
        return static_cast<int>(nodes.size()) - 1;
    }
    int concat(std::initializer_list<int> parts) {
        int r = -1;
        for (int p : parts) r = r < 0 ? p : concat(r, p);
        return r;
    }
    std::string flatten(int root) const {
        std::string out;
        out.reserve(nodes[root].size);
        std::vector<int> todo{root};
        while (!todo.empty()) {
            const RopeNode& n = nodes[todo.back()];
            todo.pop_back();
            if (n.left < 0) {
                out.append(n.piece);
            } else {
                todo.push_back(n.right);
                todo.push_back(n.left);
            }
        }
        return out;
    }
};

// A list of trees held last element first, so that putting a tree in front
// of the list (every list production does) is a push_back.
struct ReversedList {
    TreeList items;
};

// The values of the parser's value stack: a shifted token, or the value of
// one of the grammar's nonterminals.
struct TokenValue { Token token; };
struct RuleValue { const Tree* tree; };
struct KindValue { const Tree* tree; };
struct SourceValue { const Tree* tree; };
struct ConditionListValue { ReversedList list; };
struct PolarityValue { std::string_view text; };
struct QueryValue { const Tree* tree; };
struct QueryListValue { ReversedList list; };
struct LogicOpValue { std::string_view text; };
struct NodePatternValue { const Tree* tree; };
struct XmlLiteralValue { int rope; };
struct AndListValue { ReversedList list; };
struct OrListValue { ReversedList list; };
struct XorListValue { ReversedList list; };
struct XmlLiteralsValue { int rope; };

using StackValue =
    std::variant<TokenValue, RuleValue, KindValue, SourceValue, ConditionListValue, PolarityValue,
                 QueryValue, QueryListValue, LogicOpValue, NodePatternValue, XmlLiteralValue,
                 AndListValue, OrListValue, XorListValue, XmlLiteralsValue>;

[[noreturn]] void internalError(const std::string& what) {
    throw InternalError("parseFilter: " + what);
}

template <class V>
V& take(StackValue& v, int production) {
    if (V* p = std::get_if<V>(&v)) return *p;
    internalError("unexpected value in the reduction by production " + std::to_string(production));
}

std::string_view tokenText(StackValue& v, int production) { return take<TokenValue>(v, production).token.text; }

const Tree* textLeaf(std::string_view s) { return xml::leafNode(TXNode{std::string(s)}); }

const Tree* element(std::string_view name, TreeList children) {
    return xml::makeTree(ELNode{std::string(name), {}}, children);
}

const Tree* element(std::string_view name, const ReversedList& list) {
    return element(name, TreeList(list.items.rbegin(), list.items.rend()));
}

const Tree* tagElement(std::string_view tag, std::string_view var, bool typed, const Tree* child) {
    AttList atts;
    if (!var.empty()) atts.emplace_back("var", std::string(var));
    if (typed) atts.emplace_back("type", "E");
    TreeList kids;
    if (child) kids.push_back(child);
    return xml::makeTree(ELNode{std::string(tag), std::move(atts)}, kids);
}

ReversedList single(const Tree* t) { return ReversedList{{t}}; }

ReversedList inFront(const Tree* t, ReversedList&& list) {
    list.items.push_back(t);
    return std::move(list);
}

ReversedList twoItems(const Tree* first, const Tree* second) { return ReversedList{{second, first}}; }

struct Reducer {
    Ropes ropes;

    const Tree* rule(StackValue& kind, StackValue& query, StackValue& source, StackValue* conditions,
                     StackValue& polarity, const Tree* count, int p) {
        const Tree* conds = conditions ? element("conditions", take<ConditionListValue>(*conditions, p).list)
                                       : textLeaf("conditions");
        return element("rule", TreeList{take<KindValue>(kind, p).tree, take<QueryValue>(query, p).tree,
                                        take<SourceValue>(source, p).tree, conds,
                                        textLeaf(take<PolarityValue>(polarity, p).text), count});
    }

    // A tag's content: its single pattern, or the group element over its list.
    const Tree* tagContent(StackValue& v, int p) {
        if (auto* np = std::get_if<NodePatternValue>(&v)) return np->tree;
        if (auto* l = std::get_if<AndListValue>(&v)) return element("and", l->list);
        if (auto* l = std::get_if<OrListValue>(&v)) return element("or", l->list);
        if (auto* l = std::get_if<XorListValue>(&v)) return element("xor", l->list);
        internalError("unexpected value in the reduction by production " + std::to_string(p));
    }

    template <class ListV>
    const Tree* group(std::string_view name, StackValue& v, int p) {
        return element(name, take<ListV>(v, p).list);
    }

    // The value of the left side of production p, built from the values of
    // its right side.
    StackValue reduce(int p, std::span<StackValue> v) {
        switch (p) {
            case 1:
                return RuleValue{rule(v[0], v[1], v[3], nullptr, v[4], textLeaf("-1"), p)};
            case 2:
                return RuleValue{rule(v[0], v[1], v[3], &v[5], v[6], textLeaf("-1"), p)};
            case 3:
                return RuleValue{rule(v[3], v[4], v[6], nullptr, v[7], textLeaf(tokenText(v[1], p)), p)};
            case 4:
                return RuleValue{rule(v[3], v[4], v[6], &v[8], v[9], textLeaf(tokenText(v[1], p)), p)};
            case 5:
                return RuleValue{rule(v[2], v[3], v[5], nullptr, v[6], textLeaf("-2"), p)};
            case 6:
                return RuleValue{rule(v[2], v[3], v[5], &v[7], v[8], textLeaf("-2"), p)};
            case 7: return KindValue{textLeaf("best")};
            case 8: return KindValue{textLeaf("all")};
            case 9: return KindValue{textLeaf("bestEx")};
            case 10: return KindValue{textLeaf("allEx")};
            case 11:
                return SourceValue{element("xml", {textLeaf(ropes.flatten(take<XmlLiteralValue>(v[0], p).rope))})};
            case 12: return SourceValue{element("file", {textLeaf(tokenText(v[1], p))})};
            case 13: return SourceValue{take<RuleValue>(v[1], p).tree};
            case 14: return ConditionListValue{single(textLeaf(tokenText(v[0], p)))};
            case 15:
                return ConditionListValue{
                    inFront(textLeaf(tokenText(v[0], p)), std::move(take<ConditionListValue>(v[2], p).list))};
            case 16: return PolarityValue{"P"};
            case 17: return PolarityValue{"P"};
            case 18: return PolarityValue{"N"};
            case 19: return QueryValue{take<NodePatternValue>(v[0], p).tree};
            case 20:
                return QueryValue{element(take<LogicOpValue>(v[0], p).text, take<QueryListValue>(v[2], p).list)};
            case 21: return QueryListValue{single(take<QueryValue>(v[0], p).tree)};
            case 22:
                return QueryListValue{
                    inFront(take<QueryValue>(v[0], p).tree, std::move(take<QueryListValue>(v[2], p).list))};
            case 23: return LogicOpValue{"and"};
            case 24: return LogicOpValue{"or"};
            case 25: return LogicOpValue{"xor"};
            case 26: return NodePatternValue{textLeaf(tokenText(v[0], p))};
            case 27: return NodePatternValue{tagElement(tokenText(v[0], p), tokenText(v[2], p), false, nullptr)};
            case 28: return NodePatternValue{tagElement(tokenText(v[1], p), tokenText(v[3], p), true, nullptr)};
            case 29: return NodePatternValue{tagElement(tokenText(v[0], p), {}, false, nullptr)};
            case 30: return NodePatternValue{tagElement(tokenText(v[1], p), {}, true, nullptr)};
            case 31: case 33: case 35: case 37:
                return NodePatternValue{tagElement(tokenText(v[0], p), {}, false, tagContent(v[2], p))};
            case 32: case 34: case 36: case 38:
                return NodePatternValue{tagElement(tokenText(v[1], p), {}, true, tagContent(v[3], p))};
            case 39: return XmlLiteralValue{ropes.leaf(tokenText(v[0], p))};
            case 40: {
                std::string_view tag = tokenText(v[0], p);
                return XmlLiteralValue{ropes.concat({ropes.leaf("<"), ropes.leaf(tag), ropes.leaf("/>")})};
            }
            case 41: {
                std::string_view tag = tokenText(v[0], p);
                int inner = take<XmlLiteralsValue>(v[2], p).rope;
                return XmlLiteralValue{ropes.concat({ropes.leaf("<"), ropes.leaf(tag), ropes.leaf(">"), inner,
                                                     ropes.leaf("</"), ropes.leaf(tag), ropes.leaf(">")})};
            }
            case 42: return AndListValue{single(take<NodePatternValue>(v[0], p).tree)};
            case 43:
                return AndListValue{
                    inFront(take<NodePatternValue>(v[0], p).tree, std::move(take<AndListValue>(v[2], p).list))};
            case 44: return AndListValue{twoItems(take<NodePatternValue>(v[0], p).tree, group<OrListValue>("or", v[3], p))};
            case 45:
                return AndListValue{twoItems(take<NodePatternValue>(v[0], p).tree, group<XorListValue>("xor", v[3], p))};
            case 46:
                return AndListValue{inFront(group<OrListValue>("or", v[1], p), std::move(take<AndListValue>(v[4], p).list))};
            case 47:
                return AndListValue{
                    inFront(group<XorListValue>("xor", v[1], p), std::move(take<AndListValue>(v[4], p).list))};
            case 48: return OrListValue{single(take<NodePatternValue>(v[0], p).tree)};
            case 49:
                return OrListValue{
                    inFront(take<NodePatternValue>(v[0], p).tree, std::move(take<OrListValue>(v[2], p).list))};
            case 50: return OrListValue{twoItems(take<NodePatternValue>(v[0], p).tree, group<AndListValue>("and", v[3], p))};
            case 51: return OrListValue{twoItems(take<NodePatternValue>(v[0], p).tree, group<XorListValue>("xor", v[3], p))};
            case 52:
                return OrListValue{inFront(group<AndListValue>("and", v[1], p), std::move(take<OrListValue>(v[4], p).list))};
            case 53:
                return OrListValue{inFront(group<XorListValue>("xor", v[1], p), std::move(take<OrListValue>(v[4], p).list))};
            case 54: return XorListValue{single(take<NodePatternValue>(v[0], p).tree)};
            case 55:
                return XorListValue{
                    inFront(take<NodePatternValue>(v[0], p).tree, std::move(take<XorListValue>(v[2], p).list))};
            case 56:
                return XorListValue{twoItems(take<NodePatternValue>(v[0], p).tree, group<AndListValue>("and", v[3], p))};
            case 57: return XorListValue{twoItems(take<NodePatternValue>(v[0], p).tree, group<OrListValue>("or", v[3], p))};
            case 58:
                return XorListValue{inFront(group<AndListValue>("and", v[1], p), std::move(take<XorListValue>(v[4], p).list))};
            case 59:
                return XorListValue{inFront(group<OrListValue>("or", v[1], p), std::move(take<XorListValue>(v[4], p).list))};
            case 60: return XmlLiteralsValue{take<XmlLiteralValue>(v[0], p).rope};
            case 61:
                return XmlLiteralsValue{ropes.concat(take<XmlLiteralValue>(v[0], p).rope, take<XmlLiteralsValue>(v[2], p).rope)};
            default:
                internalError("no production " + std::to_string(p));
        }
    }
};

ParseFail parseError(std::int64_t line) {
    return ParseFail{"Parse error at line " + std::to_string(line) + "\n", {}};
}

constexpr std::size_t kNoPlace = std::string_view::npos;

// The shift-reduce engine. `next` hands out one token at a time and sets
// where it begins in `text` (kNoPlace when there is no text); it is asked
// for one at the start and after each shift, never past the token on which
// the parse ends.
template <class NextToken>
ParseResult runParser(std::string_view text, NextToken&& next) {
    const LRTable& table = filterTable;
    Reducer reducer;
    std::vector<int> states;          // the states below the current one
    std::vector<StackValue> values;   // one per symbol recognised, top last
    std::vector<int> reducedOn;       // the states that reduced on the current look-ahead
    int state = table.startState;
    std::size_t lookStart = kNoPlace;
    LexStep look = next(lookStart);
    auto stop = [&](std::vector<int> expected) {
        ParseFail fail = parseError(look.line);
        fail.explanation = explainParseStop(ParseStop{text, lookStart, look.line, &look, std::move(expected)});
        return fail;
    };
    for (;;) {
        int symbol = terminalOf(look.token.kind);
        std::int16_t act = table.action(state, symbol);
        if (act == kLRAccept) {
            // Text the lexer cannot read after a complete statement is not dropped silently.
            if (look.unreadText) return stop({kEndSymbol});
            if (values.size() != 1) internalError("accepted with " + std::to_string(values.size()) + " values");
            if (auto* r = std::get_if<RuleValue>(&values.back())) return ParseOk{r->tree};
            internalError("accepted without a rule");
        }
        if (act > 0) {
            states.push_back(state);
            values.push_back(TokenValue{look.token});
            state = act - 1;
            reducedOn.clear();
            look = next(lookStart);
            continue;
        }
        if (act == 0) {
            // What the grammar expected: the stopping state's actions, and
            // those of the states that reduced on this token before it.
            std::vector<int> expected;
            for (int s : reducedOn) table.addExpectedTerminals(s, expected);
            table.addExpectedTerminals(state, expected);
            return stop(std::move(expected));
        }
        reducedOn.push_back(state);
        int p = -act;
        std::size_t k = static_cast<std::size_t>(table.productionLength[p]);
        if (k == 0) {
            states.push_back(state);
        } else {
            if (states.size() < k || values.size() < k) internalError("stack underflow");
            states.resize(states.size() - k + 1);
        }
        std::size_t base = values.size() - k;
        StackValue v = reducer.reduce(p, std::span<StackValue>(values.data() + base, k));
        values.resize(base);
        values.push_back(std::move(v));
        int exposed = states.back();
        std::int16_t go = table.entry(exposed, table.productionLhs[p]);
        if (go <= 0 || go == kLRAccept) internalError("no goto after production " + std::to_string(p));
        state = go - 1;
    }
}

}  // namespace

ParseResult parseFilterFromLine(std::string_view text, std::int64_t startLine) {
    std::string_view rest = text;
    std::int64_t line = startLine;
    return runParser(text, [&](std::size_t& start) {
        start = text.size() - rest.size();
        while (start < text.size() && isSpaceByte(static_cast<unsigned char>(text[start]))) ++start;
        LexStep step = nextToken(rest, line);
        rest = step.rest;
        line = step.line;
        return step;
    });
}

ParseResult parseFilter(std::string_view text) { return parseFilterFromLine(text, 1); }

ParseResult parseTokens(std::span<const LexStep> steps) {
    std::size_t i = 0;
    std::int64_t line = 1;
    return runParser({}, [&](std::size_t& start) {
        start = kNoPlace;
        if (i < steps.size()) {
            line = steps[i].line;
            return steps[i++];
        }
        return LexStep{{TokenKind::TokenEOF, {}}, {}, line, false};
    });
}

}  // namespace axf::filter
