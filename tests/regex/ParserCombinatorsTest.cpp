#include <gtest/gtest.h>

#include "regex/ParserCombinators.h"

namespace axf::regex {
namespace {

using Fns = std::vector<UserMatcher<char>>;
using As = std::vector<Assertion<char>>;
const Fns kNoFns;
const As kNoAs;

ParserState stateOf(std::string_view text) { return ParserState{std::make_shared<const FlagEnv>(listToFM(initFlags({}))), text}; }

// Runs p on text; the value and the text left, or nothing.
template <class P>
auto parse(P p, std::string_view text, const Fns& fns = kNoFns, const As& as = kNoAs) {
    return initParser<char>(p, text, fns, as, initFlags({}));
}

const auto a = lit(charEq, 'a');

TEST(Parsers, PrimitivesNeedATokenAndKeepTheInputToken) {
    EXPECT_FALSE(parse(anyToken(), ""));
    EXPECT_FALSE(parse(literalWord(charEq, "ab"), ""));
    EXPECT_FALSE(parse(anyInt(), ""));
    EXPECT_FALSE(parse(anyPos(), ""));
    EXPECT_TRUE(parse(tokenNotIn(charEq, ""), "z"));
    EXPECT_FALSE(parse(tokenIn(charEq, ""), "z"));
    auto noCase = [](char x, char y) { return std::tolower(x) == std::tolower(y); };
    EXPECT_EQ(parse(lit(noCase, 'a'), "A")->first, 'A');
    auto w = parse(literalWord(charEq, "ab"), "abc");
    ASSERT_TRUE(w);
    EXPECT_EQ(w->first, "ab");
    EXPECT_EQ(w->second, "c");
    EXPECT_FALSE(parse(literalWord(charEq, "ab"), "a"));
    EXPECT_FALSE(parse(literalWord(charEq, "ab"), "ax"));
}

TEST(Parsers, ChoiceCommitsAndSkipsTheRightSide) {
    bool ran = false;
    auto spy = [&ran](const auto&, const auto&, const ParserState&) -> ParseResult<char> {
        ran = true;
        return std::nullopt;
    };
    EXPECT_TRUE(parse(orElse(a, spy), "a"));
    EXPECT_FALSE(ran);
    EXPECT_FALSE(parse(orElse(a, spy), "b"));
    EXPECT_TRUE(ran);
}

TEST(Parsers, RepetitionIsGreedyAndNeverGivesBack) {
    auto r = parse(star(a), "aaab");
    ASSERT_TRUE(r);
    EXPECT_EQ(r->first.size(), 3u);
    EXPECT_EQ(r->second, "b");
    r = parse(star(a), "b");
    ASSERT_TRUE(r);
    EXPECT_TRUE(r->first.empty());
    EXPECT_EQ(r->second, "b");
    EXPECT_FALSE(parse(plus(a), "b"));
    EXPECT_FALSE(parse(seqBoth(star(a), a), "aaa"));
    auto o = parse(opt(a), "b");
    ASSERT_TRUE(o);
    EXPECT_TRUE(o->first.empty());
    EXPECT_EQ(o->second, "b");
}

TEST(Parsers, LookAhead) {
    auto b = lit(charEq, 'b');
    EXPECT_TRUE(parse(notFollowedBy(a, b), "a"));  // nothing left: q not asked
    EXPECT_FALSE(parse(notFollowedBy(a, b), "ab"));
    auto r = parse(notFollowedBy(a, b), "ac");
    ASSERT_TRUE(r);
    EXPECT_EQ(r->second, "c");
    auto f = parse(followedBy(a, b), "ab");
    ASSERT_TRUE(f);
    EXPECT_EQ(f->second, "b");
    EXPECT_FALSE(parse(followedBy(a, b), "ac"));
}

TEST(Parsers, Numerals) {
    struct Case {
        bool positive;
        std::string_view text;
        std::optional<std::int32_t> value;
        std::string_view rest;
    };
    const Case cases[] = {
        {true, "0", std::nullopt, ""},
        {true, "012", std::nullopt, ""},
        {true, "120x", 120, "x"},
        {false, "007", 7, ""},
        {false, "x", std::nullopt, ""},
        {false, "2147483647}", 2147483647, "}"},
        {true, "2147483648", std::nullopt, ""},  // beyond 32 bits: illegal, never wraps
        {false, "4294967297", std::nullopt, ""},
    };
    for (const Case& c : cases) {
        auto r = c.positive ? parse(anyPos(), c.text) : parse(anyInt(), c.text);
        ASSERT_EQ(r.has_value(), c.value.has_value()) << c.text;
        if (r) {
            EXPECT_EQ(r->first, *c.value) << c.text;
            EXPECT_EQ(r->second, c.rest) << c.text;
        }
    }
}

TEST(Parsers, FlagUpdatesFlowForwardAndDieWithAFailedBranch) {
    auto setCase = updateEnv("case", MatcherFlag::Case_Insensitive);
    auto r = parse(seqR(setCase, lookupEnv("case")), "");
    ASSERT_TRUE(r);
    EXPECT_EQ(r->first, MatcherFlag::Case_Insensitive);
    // The update inside the failed left side is gone on the right side.
    auto left = seqR(setCase, seqR(a, lookupEnv("case")));
    auto r2 = parse(orElse(left, lookupEnv("case")), "b");
    ASSERT_TRUE(r2);
    EXPECT_EQ(r2->first, MatcherFlag::Case_Sensitive);
    // opt of a failing parser leaves the environment as it was.
    ParserState s = stateOf("b");
    auto r3 = opt(seqR(setCase, a))(kNoFns, kNoAs, s);
    EXPECT_EQ(flagOf(r3->second, "case"), MatcherFlag::Case_Sensitive);
    // thenKeepLeft keeps the first value and the second's state.
    auto r4 = thenKeepLeft(a, [setCase](char) { return setCase; })(kNoFns, kNoAs, stateOf("ax"));
    ASSERT_TRUE(r4);
    EXPECT_EQ(r4->first, 'a');
    EXPECT_EQ(flagOf(r4->second, "case"), MatcherFlag::Case_Insensitive);
}

TEST(Parsers, UserListsByNumber) {
    Fns two = {[](std::span<const char>) -> MatchLength { return 1; }, [](std::span<const char>) -> MatchLength { return 2; }};
    auto f = parse(lookupUserMatcher(1), "", two);
    ASSERT_TRUE(f);
    EXPECT_EQ(f->first(std::span<const char>()), MatchLength(1));
    EXPECT_FALSE(parse(lookupUserMatcher(3), "", two));
    EXPECT_FALSE(parse(lookupUserMatcher(0), "", two));
    EXPECT_FALSE(parse(lookupAssertion(1), ""));
}

TEST(Parsers, InitParserLeavesUnreadTokens) {
    auto r = parse(a, "abc");
    ASSERT_TRUE(r);
    EXPECT_EQ(r->second, "bc");
    EXPECT_FALSE(parse(a, "xbc"));
}

// The repetition operators both pattern syntaxes read, with the two numeral
// readers: one makes an oversized count illegal, the other reads no count.
TEST(Parsers, UnitList) {
    EXPECT_EQ(singletonList(3), std::vector<int>{3});
    EXPECT_EQ(singletonList(std::string("x")), std::vector<std::string>{"x"});
}

TEST(Parsers, RepetitionOperators) {
    using K = RepetitionKind;
    struct Case {
        std::string_view text;
        std::optional<Repetition> op;
        std::string_view rest;
    };
    const Case cases[] = {
        {"*x", Repetition{K::Star}, "x"},
        {"+?x", Repetition{K::Plus, 0, 0, true}, "x"},
        {"??", Repetition{K::Opt, 0, 0, true}, ""},
        {"???", Repetition{K::Opt, 0, 0, true}, "?"},
        {"{3}", Repetition{K::Exact, 3}, ""},
        {"{0,}?*", Repetition{K::Min, 0, 0, true}, "*"},
        {"{007,2}", Repetition{K::Invalid, 7, 2}, ""},
        {"{2,2147483647}", Repetition{K::MinMax, 2, 2147483647}, ""},
        // no operator
        {"", std::nullopt, ""},
        {"x*", std::nullopt, ""},
        {"{0}", std::nullopt, ""},
        {"{,3}", std::nullopt, ""},
        {"{2,3", std::nullopt, ""},
        {"{1, 2}", std::nullopt, ""},
    };
    auto noCount = [](const ParserState& s, bool positive) -> ParseResult<std::int32_t> {
        try {
            return detail::readNumeral(s, positive);
        } catch (const NumeralOutOfRange&) {
            return std::nullopt;
        }
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        for (bool illegal : {true, false}) {
            SCOPED_TRACE(illegal ? "a count too large makes the pattern illegal" : "a count too large is no count");
            auto r =
                illegal ? repetitionOperator(stateOf(c.text), detail::readNumeral) : repetitionOperator(stateOf(c.text), noCount);
            ASSERT_EQ(r.has_value(), c.op.has_value());
            if (!r) continue;
            EXPECT_EQ(r->first.kind, c.op->kind);
            EXPECT_EQ(r->first.m, c.op->m);
            EXPECT_EQ(r->first.n, c.op->n);
            EXPECT_EQ(r->first.nonGreedy, c.op->nonGreedy);
            EXPECT_EQ(r->second.tokens, c.rest);
        }
    }
    for (std::string_view big : {"{2147483648}", "{1,4294967297}"}) {
        EXPECT_THROW(repetitionOperator(stateOf(big), detail::readNumeral), NumeralOutOfRange) << big;
        EXPECT_FALSE(repetitionOperator(stateOf(big), noCount)) << big;
    }
}

}  // namespace
}  // namespace axf::regex
