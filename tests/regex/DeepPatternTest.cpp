// Element-list patterns read without recursion: the grammar keeps its own
// stack of open groups, so a pattern nests groups as deep as it is long on an
// ordinary 8 MiB thread. A randomised comparison with the grammar written as
// mutually recursive rules (kept below as the reference) checks that every
// entry rule gives the same tree and stops at the same place.
// GCC 12 warns falsely (-Wrestrict) about the string concatenations of shape()
// once they are inlined here.
#pragma GCC diagnostic ignored "-Wrestrict"

#include <gtest/gtest.h>

#include <cstring>
#include <exception>
#include <functional>
#include <random>
#include <string>
#include <vector>

#include "common/LargeStack.h"
#include "regex/ElementListEqualityParser.h"
#include "regex/ElementListParser.h"
#include "regex/ElementListSearch.h"
#include "tests/regex/RegexTestUtil.h"
#include "tests/support/OrdinaryStack.h"

namespace axf::regex {
namespace {

using testutil::shape;

// ---------------------------------------------------------------------------
// The reference: the grammar as mutually recursive rules.

namespace reference {

using namespace elementlist;

template <class E>
ParseResult<AbsTree<E>> regexpRule(const Ops<E>& o, const Fns<E>& fns, const Asserts<E>& as, const S& s);

template <class E>
ParseResult<AbsTree<E>> bracketed(const Ops<E>& o, const Fns<E>& fns, const Asserts<E>& as, const S& s) {
    if (!startsWith(s, "(")) return std::nullopt;
    auto inner = regexpRule<E>(o, fns, as, detail::advance(s, 1));
    if (!inner || !startsWith(inner->second, ")")) return std::nullopt;
    return std::make_pair(std::move(inner->first), detail::advance(inner->second, 1));
}

template <class E>
ParseResult<AbsTree<E>> unitRule(const Ops<E>& o, const Fns<E>& fns, const Asserts<E>& as, const S& s) {
    if (auto g = bracketed<E>(o, fns, as, s)) return g;
    if (startsWith(s, " ")) {
        auto name = wordName(detail::advance(s, 1));
        if (!name || !startsWith(name->second, "@")) return std::nullopt;
        auto inner = bracketed<E>(o, fns, as, detail::advance(name->second, 1));
        if (!inner) return std::nullopt;
        return std::make_pair(mkSub<E>(std::move(name->first), std::move(inner->first)), std::move(inner->second));
    }
    if (startsWith(s, "${")) {
        auto name = wordName(detail::advance(s, 2));
        if (!name || !startsWith(name->second, "}")) return std::nullopt;
        return std::make_pair(mkBackref<E>(std::move(name->first), matchBackref<E>(o.eq)), detail::advance(name->second, 1));
    }
    return atom<E>(o, fns, s);
}

template <class E>
ParseResult<AbsTree<E>> pieceRule(const Ops<E>& o, const Fns<E>& fns, const Asserts<E>& as, const S& s) {
    auto [lead, at] = assertionList<E>(as, s);
    auto u = unitRule<E>(o, fns, as, at);
    if (!u) return std::nullopt;
    AbsTree<E> t = std::move(u->first);
    S end = std::move(u->second);
    if (auto op = repetitionOperator(end, numeral)) {
        t = mkRepetition<E>(op->first, std::move(t));
        if (op->first.nonGreedy) t = mkNonGreedy<E>(t);
        end = std::move(op->second);
    }
    auto [trail, after] = assertionList<E>(as, end);
    if (trail) t = mkConcat<E>(std::move(t), std::move(*trail));
    if (lead) t = mkConcat<E>(std::move(*lead), std::move(t));
    return std::make_pair(std::move(t), std::move(after));
}

template <class E>
ParseResult<AbsTree<E>> branchRule(const Ops<E>& o, const Fns<E>& fns, const Asserts<E>& as, const S& s) {
    S at = s;
    bool start = startsWith(at, "^");
    if (start) at = detail::advance(at, 1);
    std::optional<AbsTree<E>> t;
    while (auto p = pieceRule<E>(o, fns, as, at)) {
        t = t ? mkConcat<E>(std::move(*t), std::move(p->first)) : std::move(p->first);
        at = std::move(p->second);
    }
    if (!t) return std::nullopt;
    if (startsWith(at, "$")) {
        t = mkConcat<E>(std::move(*t), mkEl<E>(doAssert<E>(suffix<E>)));
        at = detail::advance(at, 1);
    }
    if (start) t = mkConcat<E>(withPrefixMark<E>(mkEl<E>(doAssert<E>(prefix<E>))), std::move(*t));
    return std::make_pair(std::move(*t), std::move(at));
}

template <class E>
ParseResult<AbsTree<E>> regexpRule(const Ops<E>& o, const Fns<E>& fns, const Asserts<E>& as, const S& s) {
    auto first = branchRule<E>(o, fns, as, s);
    if (!first) return std::nullopt;
    AbsTree<E> t = std::move(first->first);
    S at = std::move(first->second);
    while (startsWith(at, "|")) {
        auto next = branchRule<E>(o, fns, as, detail::advance(at, 1));
        if (!next) break;
        t = mkAlt<E>(std::move(t), std::move(next->first));
        at = std::move(next->second);
    }
    return std::make_pair(std::move(t), std::move(at));
}

}  // namespace reference

// ---------------------------------------------------------------------------

using Fns = std::vector<UserMatcher<int>>;
using As = std::vector<Assertion<int>>;

const ElementOps<int> kInts = integerOps<int>();

// A result as its tree's shape and the text left after it.
std::string outcome(const ParseResult<AbsTree<int>>& r) {
    if (!r) return "none";
    return shape(r->first) + " | " + std::string(r->second.tokens);
}

TEST(DeepPattern, EveryRuleReadsAsTheRecursiveGrammar) {
    // Pieces of the syntax, well and badly placed: groups, named groups, back
    // references, anchors, operators and counts, classes, user matchers and
    // assertions (one of each exists), and stray characters.
    static const std::vector<std::string> tokens = {
        "(",     ")",         "(",         ")",     "|",    "^",    "$",   "*",   "+",    "?",
        "{2}",   "{1,3}",     "{0,}",      "{3,1}", "{",    "}",    ",",   "<1>", "<2>",  "<3>",
        ".",     "[<1>-<3>]", "[^<2><4>]", "[<2>",  " n@(", " m@(", " @(", " n(", "${n}", "${",
        "<<1>>", "<<2>>",     "(?=1)",     "(?=2)", "(?=",  " ",    "@",   "<",   ">",    "{99999999999}"};
    // Drawn more often, so that many draws are whole patterns.
    static const std::vector<std::string> common = {"(", ")",    ")",     "|", "<1>", "<2>",       "*",     "{1,3}",
                                                    ".", " n@(", "(?=1)", "^", "$",   "[<1>-<3>]", "<<1>>", "${n}"};
    const elementlist::Ops<int> ops{kInts.read, kInts.eq, kInts.order};
    const Fns fns = {[](std::span<const int> after) -> MatchLength {
        if (!after.empty() && after[0] == 7) return 1;
        return std::nullopt;
    }};
    const As as = {[](std::span<const int>, std::size_t) { return true; }};
    const PatternRuleParsers<int> parsers = regexpParsers<int>(kInts.read, kInts.eq, kInts.order);
    const ParserState empty{std::make_shared<const FlagEnv>(), ""};

    using Rule = ParseResult<AbsTree<int>> (*)(const elementlist::Ops<int>&, const Fns&, const As&, const ParserState&);
    struct Entry {
        const char* name;
        const PatternParser<int, AbsTree<int>>& parser;
        Rule reference;
    };
    const Entry entries[] = {{"pattern", parsers.parseRegexp, &reference::regexpRule<int>},
                             {"branch", parsers.parseBranch, &reference::branchRule<int>},
                             {"piece", parsers.parsePiece, &reference::pieceRule<int>},
                             {"unit", parsers.parseUnit, &reference::unitRule<int>}};

    std::mt19937 rng(20);
    int wholePatterns = 0;
    for (int round = 0; round < 20000; ++round) {
        std::string pattern;
        const int length = 1 + int(rng() % 14);
        for (int i = 0; i < length; ++i) pattern += rng() % 4 ? common[rng() % common.size()] : tokens[rng() % tokens.size()];
        const ParserState s{empty.env, pattern};
        for (const Entry& e : entries) {
            ASSERT_EQ(outcome(e.parser(fns, as, s)), outcome(e.reference(ops, fns, as, s)))
                << e.name << " of '" << pattern << "'";
        }
        // The whole-pattern entries of both forms.
        auto whole = reference::regexpRule<int>(ops, fns, as, s);
        std::string want = whole && whole->second.tokens.empty() ? shape(addEnd<int>(whole->first)) : "none";
        auto got = parseElementListPattern<int>(kInts.read, kInts.eq, kInts.order, pattern, fns, as);
        ASSERT_EQ(got ? shape(*got) : "none", want) << pattern;
        wholePatterns += got.has_value();
        if (pattern.find('-') == std::string::npos) {
            auto basic = parseEqualityElementListPattern<int>(kInts.read, kInts.eq, pattern, fns, as);
            ASSERT_EQ(basic ? shape(*basic) : "none", want) << pattern;
        }
    }
    // The draw reaches whole patterns often enough to compare trees, not only refusals.
    EXPECT_GT(wholePatterns, 1000);
}

constexpr int kDeep = 100000;

std::string nested(const std::string& open, const std::string& inner, const std::string& close) {
    std::string p;
    p.reserve(std::size_t(kDeep) * (open.size() + close.size()) + inner.size());
    for (int i = 0; i < kDeep; ++i) p += open;
    p += inner;
    for (int i = 0; i < kDeep; ++i) p += close;
    return p;
}

TEST(DeepPattern, HundredThousandNestedGroupsOnAnOrdinaryStack) {
    testsupport::runOnStack([] {
        const std::string groups = nested("(", "<1>|<2>", ")");
        auto t = parseElementListPattern<int>(kInts.read, kInts.eq, kInts.order, groups, {}, {});
        ASSERT_TRUE(t);
        EXPECT_EQ(shape(*t), "CON(ALT(EL,EL),END)");
        auto b = parseEqualityElementListPattern<int>(kInts.read, kInts.eq, groups, {}, {});
        ASSERT_TRUE(b);
        EXPECT_EQ(shape(*b), "CON(ALT(EL,EL),END)");

        const std::vector<int> input = {0, 3, 2, 1};
        ListRegexResult<int> r = searchP<int>(kInts, nested("(", "[<1>-<2>]", ")") + "<1>", input);
        ASSERT_TRUE(matchedAny(r));
        EXPECT_EQ(wholeMatch(r), (std::vector<int>{2, 1}));
        EXPECT_EQ(beforeMatch(r), (std::vector<int>{0, 3}));

        // One ')' short, one too many, and a branch missing deep inside: not patterns.
        EXPECT_FALSE(
            parseElementListPattern<int>(kInts.read, kInts.eq, kInts.order, groups.substr(0, groups.size() - 1), {}, {}));
        EXPECT_FALSE(parseEqualityElementListPattern<int>(kInts.read, kInts.eq, groups + ")", {}, {}));
        EXPECT_FALSE(legalRegexp(searchP<int>(kInts, nested("(", "<1>|", ")"), input)));
        EXPECT_FALSE(legalRegexp(searchP<int>(kInts, nested("(", "", ")"), input)));
    });
}

TEST(DeepPattern, NestedNamedGroupsAndBranchesOnAnOrdinaryStack) {
    // Deep trees: a chain of named groups, and a branch of one piece per
    // level. They are read on the ordinary stack; dropping a tree this deep
    // still recurses in the tree's own teardown, so they are dropped on the
    // large stack.
    std::optional<AbsTree<int>> named, branches;
    testsupport::runOnStack([&] {
        std::string namedText, branchText;
        for (int i = 0; i < kDeep; ++i) namedText += " g@(", branchText += "(<1>";
        namedText += "<5>" + std::string(kDeep, ')');
        branchText += std::string(kDeep, ')');
        named = parseElementListPattern<int>(kInts.read, kInts.eq, kInts.order, namedText, {}, {});
        branches = parseEqualityElementListPattern<int>(kInts.read, kInts.eq, branchText, {}, {});
    });
    ASSERT_TRUE(named && branches);
    int depth = 0;
    AbsTree<int> n = left(*named);
    for (; isSub(n); n = child(n)) ++depth;
    EXPECT_EQ(depth, kDeep);
    EXPECT_TRUE(isElem(n));
    depth = 0;
    for (n = left(*branches); isConcat(n); n = right(n)) ++depth;
    EXPECT_EQ(depth, kDeep - 1);
    n = nullptr;
    axf::runWithLargeStack([&] {
        named.reset();
        branches.reset();
    });
}

}  // namespace
}  // namespace axf::regex
