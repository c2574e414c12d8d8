#include "filter/FilterParser.h"

#include <optional>
#include <span>
#include <utility>
#include <vector>

#include "common/ByteClass.h"
#include "common/Fatal.h"
#include "filter/FilterParserInternal.h"
#include "filter/FilterTable.h"
#include "filter/LRDriver.h"
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
struct TokenValue {
    Token token;
};
struct RuleValue {
    const Tree* tree;
};
struct KindValue {
    const Tree* tree;
};
struct SourceValue {
    const Tree* tree;
};
struct ConditionListValue {
    ReversedList list;
};
struct PolarityValue {
    std::string_view text;
};
struct QueryValue {
    const Tree* tree;
};
struct QueryListValue {
    ReversedList list;
};
struct LogicOpValue {
    std::string_view text;
};
struct NodePatternValue {
    const Tree* tree;
};
struct XmlLiteralValue {
    int rope;
};
struct AndListValue {
    ReversedList list;
};
struct OrListValue {
    ReversedList list;
};
struct XorListValue {
    ReversedList list;
};
struct XmlLiteralsValue {
    int rope;
};

using StackValue =
    std::variant<TokenValue, RuleValue, KindValue, SourceValue, ConditionListValue, PolarityValue, QueryValue, QueryListValue,
                 LogicOpValue, NodePatternValue, XmlLiteralValue, AndListValue, OrListValue, XorListValue, XmlLiteralsValue>;

[[noreturn]] void internalError(const std::string& what) { throw InternalError("parseFilter: " + what); }

const Tree* textLeaf(std::string_view s) { return xml::leafNode(TXNode{std::string(s)}); }

const Tree* element(std::string_view name, TreeList children) { return xml::makeTree(ELNode{std::string(name), {}}, children); }

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

// Where the parts of a rule stand among the values of its production.
struct RuleLayout {
    std::size_t kind, query, source;
    std::optional<std::size_t> conditions;
    std::size_t polarity;
};

// Builds the rule tree one reduction at a time: the value of a production's
// left side from the values of its right side. The reductions go by the
// productions in the order of the grammar: rules, their parts and queries,
// node patterns and XML literals, then the lists inside groups.
class RuleTreeBuilder {
public:
    StackValue reduce(int production, std::span<StackValue> values) {
        production_ = production;
        values_ = values;
        auto p = static_cast<FilterProduction>(production);
        if (p <= FilterProduction::CountRuleWhere) return reduceRule(p);
        if (p <= FilterProduction::LogicOpXor) return reduceRulePart(p);
        if (p <= FilterProduction::XmlLiteralTag) return reducePattern(p);
        return reduceGroupList(p);
    }

private:
    template <class V>
    V& take(std::size_t i) {
        if (V* value = std::get_if<V>(&values_[i])) return *value;
        internalError("unexpected value in the reduction by production " + std::to_string(production_));
    }
    std::string_view token(std::size_t i) { return take<TokenValue>(i).token.text; }
    const Tree* pattern(std::size_t i) { return take<NodePatternValue>(i).tree; }
    template <class ListV>
    ReversedList&& list(std::size_t i) {
        return std::move(take<ListV>(i).list);
    }
    template <class ListV>
    const Tree* group(std::string_view name, std::size_t i) {
        return element(name, take<ListV>(i).list);
    }
    [[noreturn]] void noProduction() const { internalError("no production " + std::to_string(production_)); }

    RuleValue rule(const RuleLayout& at, const Tree* count) {
        const Tree* conds =
            at.conditions ? element("conditions", take<ConditionListValue>(*at.conditions).list) : textLeaf("conditions");
        return RuleValue{element(
            "rule", TreeList{take<KindValue>(at.kind).tree, take<QueryValue>(at.query).tree, take<SourceValue>(at.source).tree,
                             conds, textLeaf(take<PolarityValue>(at.polarity).text), count})};
    }

    // A tag's content: its single pattern, or the group element over its list.
    const Tree* tagContent(std::size_t i) {
        StackValue& v = values_[i];
        if (auto* np = std::get_if<NodePatternValue>(&v)) return np->tree;
        if (auto* l = std::get_if<AndListValue>(&v)) return element("and", l->list);
        if (auto* l = std::get_if<OrListValue>(&v)) return element("or", l->list);
        if (auto* l = std::get_if<XorListValue>(&v)) return element("xor", l->list);
        internalError("unexpected value in the reduction by production " + std::to_string(production_));
    }

    StackValue reduceRule(FilterProduction p) {
        using enum FilterProduction;
        switch (p) {
            case PlainRule: return rule({0, 1, 3, {}, 4}, textLeaf("-1"));
            case PlainRuleWhere: return rule({0, 1, 3, 5, 6}, textLeaf("-1"));
            case CountNumberRule: return rule({3, 4, 6, {}, 7}, textLeaf(token(1)));
            case CountNumberRuleWhere: return rule({3, 4, 6, 8, 9}, textLeaf(token(1)));
            case CountRule: return rule({2, 3, 5, {}, 6}, textLeaf("-2"));
            case CountRuleWhere: return rule({2, 3, 5, 7, 8}, textLeaf("-2"));
            default: noProduction();
        }
    }

    // Kinds, sources, conditions, polarities and queries.
    StackValue reduceRulePart(FilterProduction p) {
        using enum FilterProduction;
        switch (p) {
            case KindOneBest: return KindValue{textLeaf("best")};
            case KindAllBest: return KindValue{textLeaf("all")};
            case KindBestExact: return KindValue{textLeaf("bestEx")};
            case KindAllExact: return KindValue{textLeaf("allEx")};
            case SourceXmlLiteral: return SourceValue{element("xml", {textLeaf(ropes_.flatten(take<XmlLiteralValue>(0).rope))})};
            case SourceFile: return SourceValue{element("file", {textLeaf(token(1))})};
            case SourceNestedRule: return SourceValue{take<RuleValue>(1).tree};
            case ConditionListSingle: return ConditionListValue{single(textLeaf(token(0)))};
            case ConditionListPrepend: return ConditionListValue{inFront(textLeaf(token(0)), list<ConditionListValue>(2))};
            case PolarityNone: return PolarityValue{"P"};
            case PolarityPositive: return PolarityValue{"P"};
            case PolarityNegative: return PolarityValue{"N"};
            case QueryNodePattern: return QueryValue{pattern(0)};
            case QueryLogicGroup: return QueryValue{element(take<LogicOpValue>(0).text, take<QueryListValue>(2).list)};
            case QueryListSingle: return QueryListValue{single(take<QueryValue>(0).tree)};
            case QueryListPrepend: return QueryListValue{inFront(take<QueryValue>(0).tree, list<QueryListValue>(2))};
            case LogicOpAnd: return LogicOpValue{"and"};
            case LogicOpOr: return LogicOpValue{"or"};
            case LogicOpXor: return LogicOpValue{"xor"};
            default: noProduction();
        }
    }

    // Node patterns (a "$" before the tag makes it typed) and XML literals.
    StackValue reducePattern(FilterProduction p) {
        using enum FilterProduction;
        switch (p) {
            case PatternText: return NodePatternValue{textLeaf(token(0))};
            case PatternTagVar: return NodePatternValue{tagElement(token(0), token(2), false, nullptr)};
            case PatternTypedTagVar: return NodePatternValue{tagElement(token(1), token(3), true, nullptr)};
            case PatternTagEmpty: return NodePatternValue{tagElement(token(0), {}, false, nullptr)};
            case PatternTypedTagEmpty: return NodePatternValue{tagElement(token(1), {}, true, nullptr)};
            case PatternTagPattern:
            case PatternTagAndList:
            case PatternTagOrList:
            case PatternTagXorList: return NodePatternValue{tagElement(token(0), {}, false, tagContent(2))};
            case PatternTypedTagPattern:
            case PatternTypedTagAndList:
            case PatternTypedTagOrList:
            case PatternTypedTagXorList: return NodePatternValue{tagElement(token(1), {}, true, tagContent(3))};
            case XmlLiteralText: return XmlLiteralValue{ropes_.leaf(token(0))};
            case XmlLiteralEmptyTag: {
                std::string_view tag = token(0);
                return XmlLiteralValue{ropes_.concat({ropes_.leaf("<"), ropes_.leaf(tag), ropes_.leaf("/>")})};
            }
            case XmlLiteralTag: {
                std::string_view tag = token(0);
                int inner = take<XmlLiteralsValue>(2).rope;
                return XmlLiteralValue{ropes_.concat({ropes_.leaf("<"), ropes_.leaf(tag), ropes_.leaf(">"), inner,
                                                      ropes_.leaf("</"), ropes_.leaf(tag), ropes_.leaf(">")})};
            }
            default: noProduction();
        }
    }

    // The lists of the groups: a pattern in front of a list, or a nested
    // group of another kind on either side; and the lists of XML literals.
    StackValue reduceGroupList(FilterProduction p) {
        using enum FilterProduction;
        switch (p) {
            case AndListSingle: return AndListValue{single(pattern(0))};
            case AndListPrepend: return AndListValue{inFront(pattern(0), list<AndListValue>(2))};
            case AndListPatternThenOrGroup: return AndListValue{twoItems(pattern(0), group<OrListValue>("or", 3))};
            case AndListPatternThenXorGroup: return AndListValue{twoItems(pattern(0), group<XorListValue>("xor", 3))};
            case AndListOrGroupThenList: return AndListValue{inFront(group<OrListValue>("or", 1), list<AndListValue>(4))};
            case AndListXorGroupThenList: return AndListValue{inFront(group<XorListValue>("xor", 1), list<AndListValue>(4))};
            case OrListSingle: return OrListValue{single(pattern(0))};
            case OrListPrepend: return OrListValue{inFront(pattern(0), list<OrListValue>(2))};
            case OrListPatternThenAndGroup: return OrListValue{twoItems(pattern(0), group<AndListValue>("and", 3))};
            case OrListPatternThenXorGroup: return OrListValue{twoItems(pattern(0), group<XorListValue>("xor", 3))};
            case OrListAndGroupThenList: return OrListValue{inFront(group<AndListValue>("and", 1), list<OrListValue>(4))};
            case OrListXorGroupThenList: return OrListValue{inFront(group<XorListValue>("xor", 1), list<OrListValue>(4))};
            case XorListSingle: return XorListValue{single(pattern(0))};
            case XorListPrepend: return XorListValue{inFront(pattern(0), list<XorListValue>(2))};
            case XorListPatternThenAndGroup: return XorListValue{twoItems(pattern(0), group<AndListValue>("and", 3))};
            case XorListPatternThenOrGroup: return XorListValue{twoItems(pattern(0), group<OrListValue>("or", 3))};
            case XorListAndGroupThenList: return XorListValue{inFront(group<AndListValue>("and", 1), list<XorListValue>(4))};
            case XorListOrGroupThenList: return XorListValue{inFront(group<OrListValue>("or", 1), list<XorListValue>(4))};
            case XmlLiteralsSingle: return XmlLiteralsValue{take<XmlLiteralValue>(0).rope};
            case XmlLiteralsPrepend:
                return XmlLiteralsValue{ropes_.concat(take<XmlLiteralValue>(0).rope, take<XmlLiteralsValue>(2).rope)};
            default: noProduction();
        }
    }

    Ropes ropes_;
    int production_ = 0;
    std::span<StackValue> values_;
};

ParseFail parseError(std::int64_t line) { return ParseFail{"Parse error at line " + std::to_string(line) + "\n", {}}; }

constexpr std::size_t kNoPlace = std::string_view::npos;

// The look-ahead of the filter parser. `next` hands out one token at a time
// and sets where it begins in the text (kNoPlace when there is no text); it
// is asked for one at the start and after each shift.
template <class NextToken>
class FilterLookAhead {
public:
    explicit FilterLookAhead(NextToken& next) : next_(next), look_(next_(lookStart_)) {}

    int lookSymbol() const { return terminalOf(look_.token.kind); }
    StackValue shift() {
        StackValue value = TokenValue{look_.token};
        look_ = next_(lookStart_);
        return value;
    }
    const LexStep& look() const { return look_; }
    std::size_t lookStart() const { return lookStart_; }

private:
    NextToken& next_;
    std::size_t lookStart_ = kNoPlace;
    LexStep look_;
};

// Runs the LR driver over the filter table with the tokens of `next`.
template <class NextToken>
ParseResult runParser(std::string_view text, NextToken&& next) {
    RuleTreeBuilder builder;
    LRDriver<StackValue> driver(filterTable, "parseFilter");
    FilterLookAhead<NextToken> source(next);
    bool accepted = driver.run(source, [&](int p, std::span<StackValue> v) { return builder.reduce(p, v); });
    LexStep look = source.look();
    auto stop = [&](std::vector<int> expected) {
        ParseFail fail = parseError(look.line);
        fail.explanation = explainParseStop(ParseStop{text, source.lookStart(), look.line, &look, std::move(expected)});
        return fail;
    };
    if (!accepted) return stop(driver.expectedTerminals());
    // Text the lexer cannot read after a complete statement is not dropped silently.
    if (look.unreadText) return stop({kEndSymbol});
    std::vector<StackValue>& values = driver.values();
    if (values.size() != 1) internalError("accepted with " + std::to_string(values.size()) + " values");
    if (auto* r = std::get_if<RuleValue>(&values.back())) return ParseOk{r->tree};
    internalError("accepted without a rule");
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
