// Patterns of hostile depth and length: 10,000 nested groups, plain and
// repeated, alternations and named groups, deeply nested counted repetitions
// and a long run of short pieces, compiled and searched on the large stack;
// counted repetitions with large bounds searched in texts without a match.
#include <gtest/gtest.h>

#include <chrono>
#include <string>

#include "common/LargeStack.h"
#include "regex/Compile.h"
#include "regex/Regexp.h"

namespace {

using namespace axf::regex;

TEST(Hostile, TenThousandNestedGroups) {
    const int n = 10000;
    axf::runWithLargeStack([&] {
        std::string plain = std::string(n, '(') + "a" + std::string(n, ')') + "b";
        EXPECT_EQ(wholeMatch(searchS(plain, {}, "xxaab")), "ab");
        // Each level repeated: matches the empty text at the first position.
        std::string starred = std::string(n, '(') + "a";
        for (int i = 0; i < n; ++i) starred += ")*";
        RegexResult r = searchS(starred + "b", {}, "xxaab");
        EXPECT_EQ(wholeMatch(r), "aab");
        EXPECT_EQ(beforeMatch(r), "xx");
        // Unbalanced: not a pattern.
        EXPECT_FALSE(legalRegexp(searchS(std::string(n, '(') + "a", {}, "a")));
    });
}

CompiledRegex<char> compileText(const std::string& pattern) {
    std::optional<CompiledRegex<char>> c = compileRegexpS(pattern, {}, {}, {});
    if (!c) throw std::runtime_error("pattern does not parse");
    return std::move(*c);
}

PosSet upTo(Pos n) {
    PosSet s;
    for (Pos p = 1; p <= n; ++p) s.push_back(p);
    return s;
}

// (a|(b|(c|...|0))): every alternative a first position, each followed by END.
TEST(Hostile, TenThousandNestedAlternations) {
    const int n = 10000;
    axf::runWithLargeStack([&] {
        std::string pattern;
        for (int i = 0; i < n; ++i) (pattern += '(') += char('a' + i % 26), pattern += '|';
        pattern += '0';
        pattern.append(std::size_t(n), ')');
        CompiledRegex<char> c = compileText(pattern);
        const Pos end = n + 2;
        ASSERT_EQ(c.finalPosition, end);
        EXPECT_EQ(c.startPositions, upTo(n + 1));
        for (Pos p : {1, n / 2, n + 1}) EXPECT_EQ(c.automaton.at(p).nexts, PosSet{end}) << p;
        // The innermost alternative is reachable.
        RegexResult r = searchS(pattern, {}, "--0--");
        EXPECT_EQ(beforeMatch(r), "--");
        EXPECT_EQ(wholeMatch(r), "0");
    });
}

//  g0@( g1@( ... a ...))b: every group opens on the one leaf, outermost first,
// and closes there, innermost first.
TEST(Hostile, TenThousandNestedNamedGroups) {
    const int n = 10000;
    axf::runWithLargeStack([&] {
        std::string pattern;
        for (int i = 0; i < n; ++i) (pattern += " g").append(std::to_string(i)).append("@(");
        pattern += 'a';
        pattern.append(std::size_t(n), ')');
        pattern += 'b';
        CompiledRegex<char> c = compileText(pattern);
        ASSERT_EQ(c.finalPosition, 3);
        const std::vector<CaptureStep>& ses = c.automaton.at(1).captureSteps;
        ASSERT_EQ(ses.size(), std::size_t(2 * n));
        for (int i : {0, 1, n - 1}) {
            const std::string name = std::string("g").append(std::to_string(i));
            EXPECT_EQ(std::get<NFASubAdd>(ses[std::size_t(i)]).name, name) << i;
            EXPECT_EQ(std::get<NFASubEnd>(ses[std::size_t(2 * n - 1 - i)]).name, name) << i;
        }
        EXPECT_TRUE(c.automaton.at(2).captureSteps.empty());
        EXPECT_EQ(c.automaton.at(1).nexts, PosSet{2});
        RegexResult r = searchS(pattern, {}, "xxab");
        EXPECT_EQ(wholeMatch(r), "ab");
        EXPECT_EQ(subexpMatch(r, "g0"), "a");
        EXPECT_EQ(subexpMatch(r, "g9999"), "a");
    });
}

// ((...((ab|c){1,2}d){1,3}...)): labels inner to outer, each repetition
// started on the first positions and ended on the last ones, inner ones first.
TEST(Hostile, NestedCountedRepetitions) {
    const int n = 2000;
    axf::runWithLargeStack([&] {
        std::string pattern(std::size_t(n), '(');
        pattern += "ab|c";
        for (int i = 0; i < n; ++i) pattern += i % 2 ? "){1,3}" : "){1,2}d";
        CompiledRegex<char> c = compileText(pattern);
        // ab, c, one d per even level, END.
        const Pos end = 2 + n / 2 + 1;
        ASSERT_EQ(c.finalPosition, end);
        EXPECT_EQ(c.counterCount, n);
        EXPECT_EQ(c.startPositions, (PosSet{1, 2}));
        const std::vector<CounterStep>& first = c.automaton.at(1).counterSteps;
        ASSERT_EQ(first.size(), std::size_t(n + 1));
        for (int i = 0; i < n; ++i) ASSERT_EQ(std::get<IntStart>(first[std::size_t(i)]).label, n - i) << i;
        const IntEnd& innermost = std::get<IntEnd>(first[std::size_t(n)]);
        EXPECT_EQ(innermost.label, 1);
        EXPECT_EQ(innermost.loop, (PosSet{1, 2}));
        EXPECT_EQ(innermost.exit, PosSet{3});
        // The last d ends only the outermost repetition, which leaves for END.
        const std::vector<CounterStep>& last = c.automaton.at(end - 1).counterSteps;
        ASSERT_EQ(last.size(), std::size_t(1));
        const IntEnd& outermost = std::get<IntEnd>(last[0]);
        EXPECT_EQ(outermost.label, n);
        EXPECT_EQ(outermost.exit, PosSet{end});
        std::string match = "ab" + std::string(std::size_t(n / 2), 'd');
        RegexResult r = searchS(pattern, {}, "xx" + match + "c");
        EXPECT_EQ(beforeMatch(r), "xx");
        EXPECT_EQ(wholeMatch(r), match);
    });
}

// A long branch of short pieces: stars, options, groups, classes and counts.
TEST(Hostile, TenThousandCharactersOfShortPieces) {
    static const char* pieces[] = {"a*", "b?", "(cd)+", "[ef]", "g{2,3}", "(h|i)", "j", "k+?", " n@(l)", "m{2,}"};
    std::string pattern;
    int blocks = 0;
    while (pattern.size() < 10000) {
        for (const char* p : pieces) pattern += p;
        ++blocks;
    }
    axf::runWithLargeStack([&] {
        CompiledRegex<char> c = compileText(pattern);
        // Per block: a, b, cd, [ef], g g{1,2}, h, i, j, k, l, m m+.
        const Pos perBlock = 13;
        ASSERT_EQ(c.finalPosition, perBlock * blocks + 1);
        EXPECT_EQ(c.startPositions, (PosSet{1, 2, 3}));
        EXPECT_EQ(c.counterCount, 2 * blocks);  // g{2,3} and k+?
        // The last m+ loops on itself and leaves for END.
        EXPECT_EQ(c.automaton.at(perBlock * blocks).nexts, (PosSet{perBlock * blocks, perBlock * blocks + 1}));
        std::string block = "cdegghjklmm";
        std::string match;
        for (int i = 0; i < blocks; ++i) match += block;
        RegexResult r = searchS(pattern, {}, "zz" + match + "zz");
        EXPECT_EQ(beforeMatch(r), "zz");
        EXPECT_EQ(wholeMatch(r), match);
        EXPECT_EQ(subexpMatch(r, "n"), "l");
    });
}

// (((a)*?)*?...)*?: every level's end-of-pass step stands on all the body's
// last positions (the empty leaves of the levels inside and a), and all of
// them read one loop set and one exit set.
TEST(Hostile, NestedNonGreedyStarsShareTheirSets) {
    const int n = 1000;
    axf::runWithLargeStack([&] {
        std::string pattern = std::string(std::size_t(n), '(') + "a";
        for (int i = 0; i < n; ++i) pattern += ")*?";
        CompiledRegex<char> c = compileText(pattern);
        // The empty leaves, outermost first, then a and END.
        const Pos a = n + 1;
        ASSERT_EQ(c.finalPosition, a + 1);
        auto outermostEnd = [&](Pos p) -> const NGMinEnd& {
            const NGMinEnd* found = nullptr;
            for (const CounterStep& step : c.automaton.at(p).counterSteps)
                if (const auto* e = std::get_if<NGMinEnd>(&step)) found = e;
            if (!found) throw std::runtime_error("no end step");
            return *found;
        };
        std::size_t ends = 0;
        for (const CounterStep& step : c.automaton.at(a).counterSteps) ends += std::holds_alternative<NGMinEnd>(step);
        EXPECT_EQ(ends, std::size_t(n));
        const NGMinEnd& onA = outermostEnd(a);
        const NGMinEnd& onInnerLeaf = outermostEnd(2);
        EXPECT_EQ(onA.label, onInnerLeaf.label);
        const PosSet& loop = onA.loop;
        EXPECT_EQ(loop.size(), std::size_t(n));
        EXPECT_EQ(loop.front(), 2);
        EXPECT_EQ(loop.back(), a);
        EXPECT_EQ(&loop, &onInnerLeaf.loop.get());
        EXPECT_EQ(&onA.exit.get(), &onInnerLeaf.exit.get());
    });
    // Shallower, the search still prefers the fewest passes.
    std::string pattern = std::string(8, '(') + "a";
    for (int i = 0; i < 8; ++i) pattern += ")*?";
    EXPECT_EQ(wholeMatch(searchS(pattern + "b", {}, "xaab")), "aab");
    EXPECT_EQ(wholeMatch(searchS(pattern, {}, "aa")), "");
}

// Counted repetitions with large bounds over failing texts, and over texts
// where only the last start positions are within the bounds. Each search
// once cost seconds (bound times input length, or worse for nested counters);
// the guard is far above what they cost now, also in a sanitizer build.
TEST(Hostile, CountedRepetitionsWithLargeBounds) {
    std::string letters;
    for (int i = 0; i < 2600; ++i) letters += char('a' + (i * 7 + i / 26) % 26);
    std::string alternation = "(";
    for (char c = 'a'; c <= 'z'; ++c) (alternation += c) += c == 'z' ? ')' : '|';
    struct Case {
        std::string pattern, input, before, match;  // before "-": no match
    };
    const std::string as1000(1000, 'a');
    const std::vector<Case> cases = {
        {alternation + "{1,1000}0", letters, "-", ""},
        {"[a-z]{1,1000}0", letters, "-", ""},
        {"((a{1,1000}){1,1000}){1,1000}b", std::string(100, 'a'), "-", ""},
        {"(a{1,100}){1,100}b", as1000, "-", ""},
        {alternation + "{1,1000}0", letters + "0", letters.substr(0, 1600), letters.substr(1600) + "0"},
        {"[a-z]{1,1000}0", letters + "0", letters.substr(0, 1600), letters.substr(1600) + "0"},
        {"((a{1,1000}){1,1000}){1,1000}b", std::string(100, 'a') + "b", "", std::string(100, 'a') + "b"},
        {"(a{1,100}){1,100}b", std::string(12000, 'a') + "b", std::string(2000, 'a'), std::string(10000, 'a') + "b"},
        {"a{1000}b", std::string(2600, 'a') + "b", std::string(1600, 'a'), as1000 + "b"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.pattern.substr(0, 40) + " on " + std::to_string(c.input.size()) + " bytes");
        const auto began = std::chrono::steady_clock::now();
        RegexResult r = searchS(c.pattern, {}, c.input);
        const std::chrono::duration<double> took = std::chrono::steady_clock::now() - began;
        EXPECT_LT(took.count(), 5.0);
        if (c.before == "-") {
            EXPECT_TRUE(legalRegexp(r));
            EXPECT_FALSE(matchedAny(r));
            continue;
        }
        EXPECT_EQ(beforeMatch(r), c.before);
        EXPECT_EQ(wholeMatch(r), c.match);
        EXPECT_EQ(afterMatch(r), "");
    }
}

}  // namespace
