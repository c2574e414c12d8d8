// Searches through the text interface: the match policy, counted repetition,
// named sub-expressions, back references, anchors, termination on repetitions
// of empty-matching bodies, and the compiled-pattern object.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "common/Fatal.h"
#include "common/LargeStack.h"
#include "regex/Regexp.h"

using namespace axf::regex;

namespace {

constexpr const char* NONE = "<none>";
constexpr const char* BAD = "<illegal>";

struct Case {
    const char* pattern;
    const char* input;
    const char* before;  // NONE: no match, BAD: illegal pattern
    const char* match;
};

void expectCases(const std::vector<Case>& cases) {
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string("pattern '") + c.pattern + "' input '" + c.input + "'");
        RegexResult r = searchS(c.pattern, {}, c.input);
        if (c.before == std::string(BAD)) {
            EXPECT_FALSE(legalRegexp(r));
            EXPECT_FALSE(matchedAny(r));
            continue;
        }
        EXPECT_TRUE(legalRegexp(r));
        if (c.before == std::string(NONE)) {
            EXPECT_FALSE(matchedAny(r));
            EXPECT_EQ(afterMatch(r), "");
            EXPECT_EQ(wholeMatch(r), "");
            continue;
        }
        ASSERT_TRUE(matchedAny(r));
        EXPECT_EQ(beforeMatch(r), c.before);
        EXPECT_EQ(wholeMatch(r), c.match);
        EXPECT_EQ(beforeMatch(r) + wholeMatch(r) + afterMatch(r), c.input);
    }
}

}  // namespace

TEST(Search, LeftmostStartAndEmptyMatches) {
    expectCases({
        {"x", "abc", NONE, ""},
        {"", "abc", "", ""},
        {"", "", "", ""},
        {"b*", "abc", "", ""},
        {"c", "abc", "ab", "c"},
        {"b", "ab", "a", "b"},
        {"a*", "", "", ""},
        {"a", "", NONE, ""},
        {"[0-9]+", "ab12x", "ab", "12"},
        {"x*$", "ab", "ab", ""},
        {"(a", "a", BAD, ""},
        {"a)", "a", BAD, ""},
    });
}

TEST(Search, PriorityOrderNotLongestNorFirstAlternative) {
    expectCases({
        // Ways that consumed the same single characters are followed as one,
        // and inside it ending is the last choice.
        {"a|ab?", "ab", "", "ab"},
        // 'ab' is one element: nothing is merged, the first alternative ends.
        {"a|ab", "abc", "", "a"},
        // Ending the match is the last choice: y is preferred to the empty x*.
        {"x*|y", "y", "", "y"},
        {"(a|b)*b", "abab", "", "abab"},
        {"a*?b", "aab", "", "aab"},
        {"a+?", "aaa", "", "a"},
        {"a??", "a", "", ""},
        {"a??b", "ab", "", "ab"},
    });
}

TEST(Search, LexerPatterns) {
    const char* expr = R"(let|in|[a-zA-Z0-9\.\_]*|\(|\)|\++|\=|\<=|\<|\>=|\>|\+|\-|\*|\/)";
    const char* filter =
        R"(count|filterAllExact|filterBestExact|filterOneBest|filterAllBest|file|where|and|or|xor|\(N\)|\(P\)|[a-zA-Z0-9\[\]\_]*|['][a-zA-Z0-9\\\:\/\s\.\_]*[']|[&][a-zA-Z0-9\\\+\s\.\_\(\)\,\->\:\=\+\-\/\<\>\$\[\]\*\']*[&]|in|\(|\$|\||\?|\)|,|\->|\:|\.|\_|\<|\>)";
    expectCases({
        {expr, "letter", "", "let"},
        {expr, "index", "", "in"},
        {expr, "(x", "", "("},
        {expr, "+3", "", "+"},
        {expr, "++", "", "++"},
        {expr, "<= 2", "", "<="},
        {filter, "order", "", "or"},
        {filter, "country", "", "count"},
        {filter, "filename", "", "file"},
        {filter, "index", "", "index"},
        {filter, "'a b.xml' rest", "", "'a b.xml'"},
        {filter, "->x", "", "->"},
    });
}

TEST(Search, CountedRepetition) {
    expectCases({
        {"(a|b){2,3}", "abab", "", "aba"},
        {"(a|b){2,3}", "ab", "", "ab"},
        {"(a|b){2,3}", "a", NONE, ""},
        {"(a|b){2,3}?", "abab", "", "ab"},
        {"(a|b){2,}", "ababa", "", "ababa"},
        {"(a|b){2,}?", "ababa", "", "ab"},
        {"(ab){3}", "ababab", "", "ababab"},
        {"(ab){3}", "abab", NONE, ""},
        // Entered anew, a repetition counts from 1 again.
        {"((a|b){2,3}c)*", "abcabac", "", "abcabac"},
        {"([0-9]{1,3}\\.)*[0-9]+", "10.200.3", "", "10.200.3"},
        {"((a|b){2,3})*", "abab", "", "aba"},
        {"((a|b){2}){2}c", "ababc", "", "ababc"},
        {"((a|b){2}){2}c", "abac", NONE, ""},
        // Missing passes of a body that can match nothing may be empty.
        {"(b*){2,5}c", "bc", "", "bc"},
        {"(b?){3,}a", "ba", "", "ba"},
        // x{0,0} allows no pass.
        {"(ab){0,0}c", "abc", "ab", "c"},
        // An inner repetition left at a position that also ends the outer one.
        {"(b{1,4}[bc]+(c(c*)){3}|c*a){2,5}c", "ccbabccccc", "ccb", "abccccc"},
        {"(ab){1,2147483647}", "ababab", "", "ababab"},
    });
}

TEST(Search, Anchors) {
    expectCases({
        {"^abc", "abc", "", "abc"},
        {"^a", "ba", NONE, ""},
        {"^a|^b", "cb", NONE, ""},
        {"^a|b", "cb", "c", "b"},
        // Not every way starts with the anchor: later starts are tried.
        {"(^a)?b", "xb", "x", "b"},
        {"(^a)?b", "bx", "", "b"},
        {"(^a)?b", "ab", "", "ab"},
        {"a$", "aba", "ab", "a"},
        {"a$|b", "ab", "a", "b"},
        {"a$|b", "ba", "", "b"},
    });
}

TEST(Search, RepeatedEmptyMatchesEnd) {
    expectCases({
        {"(a*?)*", "aaa", "", "aaa"},
        {"(a*?)*b", "aab", "", "aab"},
        {"(a?"
         "?)*b",
         "aab", "", "aab"},
        {"((a*?)*)*c", "aaab", NONE, ""},
        {"(a*?){2,}b", "aab", "", "aab"},
        {"(\\bx*?)*y", "xxy", "", "xxy"},
    });
}

TEST(Search, NoBlowUpOnAmbiguousRepetitions) {
    std::string as(10000, 'a');
    expectCases({
        {"(aa|a)*b", as.c_str(), NONE, ""},
        {"((aa)*a)*b", as.c_str(), NONE, ""},
        {"(a|aa|a?a)*c", as.c_str(), NONE, ""},
        {"(a*)*b", as.c_str(), NONE, ""},
        {" x@((aa|a)*)b", as.c_str(), NONE, ""},
    });
    std::string text(1 << 16, 'q');
    text += "xyz";
    RegexResult r = searchS(".*xyz", {}, text);
    EXPECT_EQ(wholeMatch(r).size(), text.size());
    EXPECT_FALSE(matchedAny(searchS(".*xzz", {}, text)));
}

TEST(Search, NamedSubexpressions) {
    RegexResult r = searchS("( x@(a)| y@(b))", {}, "b");
    EXPECT_FALSE(matchedSubexp(r, "x"));
    EXPECT_EQ(subexpMatch(r, "x"), "");
    EXPECT_TRUE(matchedSubexp(r, "y"));
    EXPECT_EQ(subexpMatch(r, "y"), "b");
    EXPECT_EQ(numSubexps(r), 1u);
    EXPECT_EQ(allSubexps(r), (std::vector<std::pair<std::string, std::string>>{{"y", "b"}}));
    EXPECT_FALSE(matchedSubexp(r, "zz"));

    struct Sub {
        const char* pattern;
        const char* input;
        std::vector<std::pair<std::string, std::string>> subs;
    };
    std::vector<Sub> cases = {
        // Each pass through a repeated group starts its capture over.
        {"( x@(a|b))*", "ab", {{"x", "b"}}},
        {" x@((a|b)*)", "ab", {{"x", "ab"}}},
        {" y@( x@(a)b)c", "abc", {{"y", "ab"}, {"x", "a"}}},
        {" y@( x@(a+))b", "aab", {{"y", "aa"}, {"x", "aa"}}},
        {" d@([0-9]+)\\. e@([0-9]+)", "v 12.345", {{"d", "12"}, {"e", "345"}}},
        {"( x@(a)|b)*c", "abc", {{"x", "a"}}},
        // The enclosing capture stays open while the inner one closes.
        {" y@(( x@(a)b)*)", "abab", {{"y", "abab"}, {"x", "a"}}},
        // Looping inside only the enclosing group closes the inner capture.
        {" y@(( x@(a))+)", "aa", {{"y", "aa"}, {"x", "a"}}},
        // A back reference inside its own group reads what is captured so far.
        {" x@(a${x})b", "aab", {{"x", "aa"}}},
        // A group that matched nothing records nothing.
        {" x@(a*)b", "b", {}},
    };
    for (const Sub& c : cases) {
        SCOPED_TRACE(c.pattern);
        EXPECT_EQ(allSubexps(searchS(c.pattern, {}, c.input)), c.subs);
    }
}

// Groups that share a name share one capture: an enclosing group's elements
// enter it once, the inner group's end closes it, and the next element
// inside any group of that name starts it over.
TEST(Search, GroupsSharingAName) {
    struct Sub {
        const char* pattern;
        const char* input;
        const char* match;
        std::vector<std::pair<std::string, std::string>> subs;
    };
    std::vector<Sub> cases = {
        {" g@( g@(a))", "a", "a", {{"g", "a"}}},
        {" g@( g@( g@(a)))", "xa", "a", {{"g", "a"}}},
        {" g@(a g@(b))", "ab", "ab", {{"g", "ab"}}},
        {" g@(x g@(y g@(z)))", "xyz", "xyz", {{"g", "xyz"}}},
        {" g@( g@(a+))", "aa", "aa", {{"g", "aa"}}},
        // The inner end closes the name; the enclosing group goes on afresh.
        {" g@( g@(a)b)", "ab", "ab", {{"g", "b"}}},
        {" g@(a g@(b)*)", "abb", "abb", {{"g", "b"}}},
        {" g@(a g@(b){2,3})", "abbb", "abbb", {{"g", "b"}}},
        {" g@(( g@(a))*)", "aa", "aa", {{"g", "a"}}},
        {" g@(( g@(a)|b)*)", "ab", "ab", {{"g", "b"}}},
        {" g@( g@(a)|b)c", "ac", "ac", {{"g", "a"}}},
        {" g@(a| g@(b))", "b", "b", {{"g", "b"}}},
        {"( g@(a) g@(b))*", "abab", "abab", {{"g", "b"}}},
        {"( g@(a)| g@(b))+", "ba", "ba", {{"g", "a"}}},
        {" g@(a)( g@(b))*", "abb", "abb", {{"g", "b"}}},
        {" g@( g@(a){2,3})", "aaaa", "aaa", {{"g", "a"}}},
        {" g@( h@( g@(a)))", "a", "a", {{"g", "a"}, {"h", "a"}}},
        {" g@(a h@(b g@(c)))", "abc", "abc", {{"g", "abc"}, {"h", "bc"}}},
        // A back reference reads the capture as it stands.
        {" g@( g@(a)${g})", "aa", "aa", {{"g", "a"}}},
        {" g@(a g@(b)${g})", "abab", "abab", {{"g", "ab"}}},
    };
    for (const Sub& c : cases) {
        SCOPED_TRACE(c.pattern);
        RegexResult r = searchS(c.pattern, {}, c.input);
        EXPECT_EQ(wholeMatch(r), c.match);
        EXPECT_EQ(allSubexps(r), c.subs);
    }
}

TEST(Search, BackReferences) {
    expectCases({
        {" x@(a+)b${x}", "aabaa", "", "aabaa"},
        {" x@(a+)b${x}", "xaaba", "xa", "aba"},
        {" x@([ab]+)-${x}", "ab-ab", "", "ab-ab"},
        {" x@([ab]+)-${x}", "ab-ba", "a", "b-b"},
        // A name that was never captured gives no way through.
        {"( x@(a)|b)${x}", "b", NONE, ""},
        {"( x@(a)|b)${x}", "baa", "b", "aa"},
    });
}

TEST(Search, InvalidIntervalIsFatalOnlyForParsedPatterns) {
    try {
        searchS("a{5,2}", {}, "aaaaa");
        FAIL() << "expected a fatal error";
    } catch (const axf::Fatal& e) {
        EXPECT_STREQ(e.what(), "Invalid interval in Regular Expression");
    }
    EXPECT_THROW(Regex::compile("(ab){3,1}"), axf::Fatal);
    RegexResult r = searchS("a{5,2}*", {}, "a");
    EXPECT_FALSE(legalRegexp(r));
}

TEST(Search, FlagsReachTheParserAndGlobalMatchChangesNothing) {
    EXPECT_EQ(wholeMatch(searchS("ab", {MatcherFlag::Global_Match}, "xaby")), "ab");
    EXPECT_EQ(wholeMatch(searchS("AB", {MatcherFlag::Case_Insensitive}, "xaby")), "ab");
    EXPECT_EQ(wholeMatch(searchS("a.b", {}, "a\nb a-b")), "a-b");
    EXPECT_EQ(wholeMatch(searchS("a.b", {MatcherFlag::Single_Line}, "a\nb")), "a\nb");
    EXPECT_EQ(beforeMatch(searchS("^b", {MatcherFlag::Multi_Line}, "a\nb")), "a\n");
}

TEST(Search, CompiledPatternIsReusable) {
    EXPECT_FALSE(Regex::compile("(").has_value());
    std::optional<Regex> re = Regex::compile(" w@([a-z]+)[0-9]");
    ASSERT_TRUE(re.has_value());
    std::optional<MatchSpans> m = re->find("12 ab7 cd8");
    ASSERT_TRUE(m.has_value());
    EXPECT_EQ(m->start, 3u);
    EXPECT_EQ(m->end, 6u);
    ASSERT_EQ(m->subexps.size(), 1u);
    EXPECT_EQ(m->subexps[0].second, (std::pair<std::size_t, std::size_t>{3, 5}));
    EXPECT_FALSE(re->find("12 34").has_value());
    RegexResult r = re->search("x9 q1");
    EXPECT_EQ(wholeMatch(r), "x9");
    EXPECT_EQ(subexpMatch(r, "w"), "x");
    EXPECT_EQ(afterMatch(r), " q1");
}

TEST(Search, DeepPatternsOnTheLargeStack) {
    axf::runWithLargeStack([] {
        std::string deep = std::string(20000, '(') + "a" + std::string(20000, ')') + "b";
        RegexResult r = searchS(deep, {}, "xab");
        EXPECT_EQ(wholeMatch(r), "ab");
    });
}

TEST(Search, SettledStateSetAcrossGrowthAndClears) {
    detail::StateSet s;
    EXPECT_FALSE(s.contains(0, 0, 0, 0));
    for (std::uint32_t k = 0; k < 5000; ++k) s.insert(k / 7, k % 7, k, k % 3);
    s.insert(3, 1, 22, 1);  // already there
    for (std::uint32_t k = 0; k < 5000; ++k) ASSERT_TRUE(s.contains(k / 7, k % 7, k, k % 3)) << k;
    EXPECT_FALSE(s.contains(0, 0, 0, 1));
    EXPECT_FALSE(s.contains(5000, 0, 0, 0));
    s.clear();
    EXPECT_TRUE(s.empty());
    EXPECT_FALSE(s.contains(1, 0, 7, 1));
    s.insert(9, 9, 9, 9);
    EXPECT_TRUE(s.contains(9, 9, 9, 9));
    EXPECT_FALSE(s.contains(1, 0, 7, 1));
}
