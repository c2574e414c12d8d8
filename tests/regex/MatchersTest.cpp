#include <gtest/gtest.h>

#include "regex/Assertions.h"
#include "regex/Matchers.h"
#include "regex/MatchersInternal.h"

namespace axf::regex {
namespace {

MatchLength at(const Matcher<char>& m, std::string_view s, std::size_t pos = 0) { return m(charSpan(s), pos); }

Matcher<char> chr(char c) {
    return matchEls<char>(isEl<char>([](const char& x, const char& y) { return x == y; }, c));
}

TEST(Matchers, SingleElementMatchers) {
    EXPECT_EQ(at(matchAny<char>(), ""), std::nullopt);
    EXPECT_EQ(at(matchAny<char>(), "\n"), MatchLength(1));
    EXPECT_EQ(at(matchAnyBut(), ""), std::nullopt);
    EXPECT_EQ(at(matchAnyBut(), "\n"), std::nullopt);
    EXPECT_EQ(at(matchAnyBut(), "\r"), MatchLength(1));
    EXPECT_EQ(at(matchNull<char>(), ""), std::nullopt);
    EXPECT_EQ(at(matchNull<char>(), "ab", 1), MatchLength(0));
    EXPECT_EQ(at(matchNull<char>(), "ab", 2), std::nullopt);
    EXPECT_EQ(at(chr('x'), "xy"), MatchLength(1));
    EXPECT_EQ(at(chr('x'), "yx"), std::nullopt);
}

TEST(Matchers, BackReferences) {
    auto eq = [](const char& x, const char& y) { return x == y; };
    auto bref = [&](std::string_view cap, std::string_view in, bool ignoreCase = false) {
        BackrefBuilder<char> b = ignoreCase ? matchBackrefIgnoringCase() : matchBackref<char>(eq);
        return at(b(charSpan(cap)), in);
    };
    EXPECT_EQ(bref("", ""), MatchLength(0));
    EXPECT_EQ(bref("abc", "ab"), std::nullopt);
    EXPECT_EQ(bref("abc", "abx"), std::nullopt);
    EXPECT_EQ(bref("abc", "abcd"), MatchLength(3));
    EXPECT_EQ(bref("Ab", "aBc", true), MatchLength(2));
    EXPECT_EQ(bref("Ab", "aBc"), std::nullopt);
    EXPECT_EQ(bref("a", "b", true), std::nullopt);
    EXPECT_EQ(bref("\xE9", "\xC9", true), MatchLength(1));  // Latin-1 case mapping
}

TEST(Matchers, SequencesSeeWhatTheFirstPartConsumed) {
    // The second matcher sees 'x' as the element just before it.
    Matcher<char> afterX = [](CharSpan in, std::size_t pos) -> MatchLength {
        if (pos > 0 && in[pos - 1] == 'x' && pos < in.size()) return 1;
        return std::nullopt;
    };
    EXPECT_EQ(at(regseq<char>(chr('x'), afterX), "xy"), MatchLength(2));
    bool ran = false;
    Matcher<char> spy = [&ran](CharSpan, std::size_t) -> MatchLength {
        ran = true;
        return 0;
    };
    EXPECT_EQ(at(regseq<char>(chr('q'), spy), "xy"), std::nullopt);
    EXPECT_FALSE(ran);
    EXPECT_EQ(at(regseqList<char>({chr('a'), doAssert<char>(wordBound), chr('-')}), "a-"), MatchLength(2));
    EXPECT_EQ(at(regseqList<char>({chr('a'), doAssert<char>(wordBound), chr('b')}), "ab"), std::nullopt);
    EXPECT_EQ(at(regrepeat<char>(chr('a'), 3), "aaaa"), MatchLength(3));
    EXPECT_EQ(at(regrepeat<char>(chr('a'), 3), "aa"), std::nullopt);
}

TEST(Matchers, WrappedUserMatcherSeesOnlyWhatFollows) {
    UserMatcher<char> two = [](CharSpan after) -> MatchLength {
        if (after.size() >= 2 && after[0] == after[1]) return 2;
        return std::nullopt;
    };
    Matcher<char> m = wrapMatcher<char>(two);
    EXPECT_EQ(at(m, "aa"), MatchLength(2));
    EXPECT_EQ(at(m, "xaa", 1), MatchLength(2));
    EXPECT_EQ(at(m, "ab"), std::nullopt);
    // A length beyond the elements left is no match.
    Matcher<char> greedy = wrapMatcher<char>([](CharSpan) -> MatchLength { return 5; });
    EXPECT_EQ(at(greedy, "ab"), std::nullopt);
}

TEST(Matchers, WordCharacters) {
    for (char c : {'a', 'Z', '7', '_', '\'', char(0xE9)}) EXPECT_TRUE(isWordChar(c)) << c;
    for (char c : {'-', ' ', '\n', char(0xD7)}) EXPECT_FALSE(isWordChar(c)) << c;
}

TEST(MatcherFlags, InitialPairs) {
    using F = MatcherFlag;
    struct Case {
        std::vector<F> flags;
        F caseFlag;
        F lineFlag;
    };
    const Case cases[] = {
        {{}, F::Case_Sensitive, F::Default_Line},
        {{F::Single_Line, F::Multi_Line}, F::Case_Sensitive, F::Multi_Line},
        {{F::Multi_Line, F::Single_Line}, F::Case_Sensitive, F::Multi_Line},
        {{F::Case_Sensitive, F::Case_Insensitive}, F::Case_Insensitive, F::Default_Line},
        {{F::Default_Line, F::Single_Line}, F::Case_Sensitive, F::Single_Line},
        {{F::Global_Match}, F::Case_Sensitive, F::Default_Line},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(showMatcherFlags(c.flags));
        auto pairs = initFlags(c.flags);
        ASSERT_EQ(pairs.size(), 2u);
        EXPECT_EQ(pairs[0], std::make_pair(std::string("case"), c.caseFlag));
        EXPECT_EQ(pairs[1], std::make_pair(std::string("line"), c.lineFlag));
    }
}

TEST(MatcherFlags, ShowAndRead) {
    EXPECT_EQ(showMatcherFlags({MatcherFlag::Global_Match, MatcherFlag::Default_Line}), "[Global_Match,Default_Line]");
    EXPECT_EQ(showMatcherFlags({}), "[]");
    EXPECT_EQ(readMatcherFlag(" ( (Multi_Line)) "), MatcherFlag::Multi_Line);
    for (std::string_view bad : {"multi_line", "Multi_Linex", "Multi_Line'", "(Multi_Line", "Multi_Line)", ""})
        EXPECT_FALSE(readMatcherFlag(bad)) << bad;
    auto fs = readMatcherFlags("( [ Global_Match , (Default_Line) ] )");
    ASSERT_TRUE(fs);
    EXPECT_EQ(*fs, (std::vector<MatcherFlag>{MatcherFlag::Global_Match, MatcherFlag::Default_Line}));
    EXPECT_EQ(readMatcherFlags("[]"), std::vector<MatcherFlag>{});
    EXPECT_FALSE(readMatcherFlags("[Global_Match,]"));
    for (int k = 0; k < 6; ++k) {
        MatcherFlag f = static_cast<MatcherFlag>(k);
        EXPECT_EQ(readMatcherFlag(showMatcherFlag(f)), f) << showMatcherFlag(f);
    }
}

TEST(Assertions, PositionTests) {
    struct Case {
        std::string_view in;
        std::size_t pos;
        bool pre, suf, bo, eo, wb, nwb;
    };
    const Case cases[] = {
        {"", 0, true, true, true, true, false, false},        {"ab", 0, true, false, true, false, true, false},
        {"ab", 1, false, false, false, false, false, true},   {"ab", 2, false, true, false, true, true, false},
        {"a b", 1, false, false, false, false, true, false},  {" a", 0, true, false, true, false, false, true},
        {"a  ", 2, false, false, false, false, false, true},  {"a ", 2, false, true, false, true, false, true},
        {"a\nb", 2, false, false, true, false, true, false},  {"a\nb", 1, false, false, false, true, true, false},
        {"a\rb", 2, false, false, false, false, true, false}, {"a\rb", 1, false, false, false, false, true, false},
    };
    for (const Case& c : cases) {
        CharSpan in = charSpan(c.in);
        EXPECT_EQ(prefix<char>(in, c.pos), c.pre) << c.in << "@" << c.pos;
        EXPECT_EQ(suffix<char>(in, c.pos), c.suf) << c.in << "@" << c.pos;
        EXPECT_EQ(bol(in, c.pos), c.bo) << c.in << "@" << c.pos;
        EXPECT_EQ(eol(in, c.pos), c.eo) << c.in << "@" << c.pos;
        EXPECT_EQ(wordBound(in, c.pos), c.wb) << c.in << "@" << c.pos;
        EXPECT_EQ(notWordBound(in, c.pos), c.nwb) << c.in << "@" << c.pos;
    }
    EXPECT_EQ(doAssert<char>(suffix<char>)(charSpan("ab"), 2), MatchLength(0));
    EXPECT_EQ(doAssert<char>(suffix<char>)(charSpan("ab"), 1), std::nullopt);
}

}  // namespace
}  // namespace axf::regex
