#include <gtest/gtest.h>

#include "common/LargeStack.h"
#include "regex/Assertions.h"
#include "regex/TextSyntaxParser.h"
#include "regex/TextSyntaxParserInternal.h"
#include "tests/regex/RegexTestUtil.h"

namespace axf::regex {
namespace {

using namespace testutil;

const TextFns kNoFns;
const TextAsserts kNoAs;

template <class P>
auto run(const P& p, std::string_view text, const std::vector<MatcherFlag>& flags = {}, const TextAsserts& as = kNoAs,
         const TextFns& fns = kNoFns) {
    ParserState s{std::make_shared<const FlagEnv>(listToFM(initFlags(flags))), text};
    return p(fns, as, s);
}

std::string acceptedOf(const CharPred& p) {
    std::string out;
    for (int c = 1; c < 128; ++c)
        if (p(static_cast<char>(c))) out += static_cast<char>(c);
    return out;
}

// ---------------------------------------------------------------------------
// Characters and escapes

TEST(PatternChars, LiteralAndClassCharacters) {
    struct Case {
        std::string_view text;
        int lit;  // -1: no result
        int cls;
    };
    const Case cases[] = {
        {"\\n", 'n', 'n'}, {"\\\\", '\\', '\\'}, {"\\.", '.', '.'}, {"\\-", '-', '-'}, {"\\a", 'a', 'a'}, {"\\w", -1, -1},
        {"\\D", -1, -1},   {"\\b", -1, 'b'},     {"\\B", -1, 'B'},  {"\\A", -1, 'A'},  {"\\Z", -1, 'Z'},  {"\\1", -1, '1'},
        {"\\", -1, -1},    {"]", -1, -1},        {"\\]", ']', ']'}, {"@", -1, '@'},    {"\\@", '@', '@'}, {"[", -1, '['},
        {"^", -1, '^'},    {"$", -1, '$'},       {".", -1, '.'},    {"|", -1, '|'},    {"*", -1, '*'},    {"(", -1, '('},
        {"-", '-', '-'},   {"{", '{', '{'},      {"}", '}', '}'},   {",", ',', ','},   {"=", '=', '='},   {"<", '<', '<'},
        {"'", '\'', '\''}, {" ", ' ', ' '},      {"", -1, -1},
    };
    for (const Case& c : cases) {
        auto l = run(litChar(), c.text);
        auto k = run(classChar(), c.text);
        EXPECT_EQ(l ? int(l->first) : -1, c.lit) << c.text;
        EXPECT_EQ(k ? int(k->first) : -1, c.cls) << c.text;
        if (l) {
            EXPECT_TRUE(l->second.tokens.empty()) << c.text;
        }
    }
}

TEST(PatternChars, ShorthandClasses) {
    auto s = run(shorthandClass(), "\\s");
    ASSERT_TRUE(s);
    EXPECT_TRUE(s->first('\t'));
    EXPECT_TRUE(s->first('\r'));
    EXPECT_TRUE(s->first(char(160)));
    EXPECT_FALSE(s->first(char(8)));
    auto w = run(shorthandClass(), "\\w");
    EXPECT_EQ(acceptedOf(w->first), "'0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZ_abcdefghijklmnopqrstuvwxyz");
    EXPECT_TRUE(w->first(char(0xE9)));  // Latin-1 letter
    auto d = run(shorthandClass(), "\\D");
    EXPECT_FALSE(d->first('5'));
    EXPECT_TRUE(d->first('x'));
    EXPECT_FALSE(run(shorthandClass(), "\\b"));
    EXPECT_FALSE(run(shorthandClass(), "w"));
}

TEST(PatternChars, SubexpressionName) {
    auto r = run(subexpName(), " x1_'@rest");
    ASSERT_TRUE(r);
    EXPECT_EQ(r->first, "x1_'");
    EXPECT_EQ(r->second.tokens, "rest");
    EXPECT_FALSE(run(subexpName(), "x@"));
    EXPECT_FALSE(run(subexpName(), " @"));
    EXPECT_FALSE(run(subexpName(), " a b@"));
}

TEST(PatternChars, OptionGroups) {
    using F = MatcherFlag;
    struct Case {
        std::string_view text;
        bool ok;
        F caseFlag;
        F lineFlag;
    };
    const Case cases[] = {
        {"(?Case_Insensitive)", true, F::Case_Insensitive, F::Default_Line},
        {"(?Multi_Line,Case_Insensitive)", true, F::Case_Insensitive, F::Multi_Line},
        {"(?Single_LineMulti_Line)", true, F::Case_Sensitive, F::Multi_Line},
        {"(?Single_Line,)", true, F::Case_Sensitive, F::Single_Line},
        {"(?)", false, F::Case_Sensitive, F::Default_Line},
        {"(?,Single_Line)", false, F::Case_Sensitive, F::Default_Line},
        {"(?Single_Line,,Multi_Line)", false, F::Case_Sensitive, F::Default_Line},
        {"(?single_line)", false, F::Case_Sensitive, F::Default_Line},
        {"(? Single_Line)", false, F::Case_Sensitive, F::Default_Line},
        {"(?Single_Lines)", false, F::Case_Sensitive, F::Default_Line},
        {"(?Single_Line", false, F::Case_Sensitive, F::Default_Line},
    };
    for (const Case& c : cases) {
        auto r = run(optionGroup(), c.text);
        ASSERT_EQ(r.has_value(), c.ok) << c.text;
        if (!r) continue;
        EXPECT_TRUE(r->second.tokens.empty()) << c.text;
        EXPECT_EQ(flagOf(r->second, "case"), c.caseFlag) << c.text;
        EXPECT_EQ(flagOf(r->second, "line"), c.lineFlag) << c.text;
    }
}

TEST(PatternChars, FlagNames) {
    auto f = run(flagName(), "Multi_Line)");
    ASSERT_TRUE(f);
    EXPECT_EQ(f->first, "Multi_Line");
    EXPECT_EQ(f->second.tokens, ")");
    EXPECT_FALSE(run(flagName(), "Global_Match"));
    EXPECT_FALSE(run(flagName(), "multi_line"));
}

TEST(PatternChars, AssertionTokens) {
    TextAsserts one = {[](CharSpan, std::size_t pos) { return pos == 1; }};
    auto r = run(assertToken(), "(?=1)", {}, one);
    ASSERT_TRUE(r);
    EXPECT_EQ(r->first(charSpan("ab"), 1), MatchLength(0));
    EXPECT_EQ(r->first(charSpan("ab"), 0), std::nullopt);
    for (std::string_view bad : {"(?=2)", "(?=0)", "(?=01)", "(?=)", "\\w"})
        EXPECT_FALSE(run(assertToken(), bad, {}, one)) << bad;
    auto b = run(assertToken(), "\\b");
    auto nb = run(assertToken(), "\\B");
    ASSERT_TRUE(b && nb);
    EXPECT_EQ(b->first(charSpan("a b"), 1), MatchLength(0));
    EXPECT_EQ(nb->first(charSpan("a b"), 1), std::nullopt);
}

// ---------------------------------------------------------------------------
// Bracket classes

TEST(BracketClass, ItemsAndRanges) {
    struct Case {
        std::string_view text;
        std::string_view accepts;  // among characters 1..127
    };
    const Case cases[] = {
        {"[abc]", "abc"},
        {"[0-9\\.]", ".0123456789"},
        {"[xa-d]", "-adx"},
        {"[a-dx]", "abcdx"},
        {"[a\\dx-z]", "0123456789axyz"},
        {"[a-cxy-z]", "-abcxyz"},
        {"[-a]", "-a"},
        {"[a-]", "-a"},
        {"[a-e-9]", "-9abcde"},
        {"[--/]", "-./"},
        {"[a^b]", "^ab"},
        {"[\\^a]", "^a"},
        {"[\\]]", "]"},
        {"[\\\\]", "\\"},
        {"[z-a]", ""},
        {"[a-zA-Z0-9\\[\\]\\_]", "0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZ[]_abcdefghijklmnopqrstuvwxyz"},
    };
    for (const Case& c : cases) {
        auto r = run(bracketClass(MatcherFlag::Case_Sensitive), c.text);
        ASSERT_TRUE(r) << c.text;
        EXPECT_TRUE(r->second.tokens.empty()) << c.text;
        EXPECT_EQ(acceptedOf(r->first), c.accepts) << c.text;
    }
    auto neg = run(bracketClass(MatcherFlag::Case_Sensitive), "[^abc]");
    EXPECT_TRUE(neg->first('\n'));
    EXPECT_FALSE(neg->first('b'));
    auto caret = run(bracketClass(MatcherFlag::Case_Sensitive), "[^^]");
    EXPECT_FALSE(caret->first('^'));
    EXPECT_TRUE(caret->first('a'));
    auto wordDash = run(bracketClass(MatcherFlag::Case_Sensitive), "[\\w-]");
    EXPECT_TRUE(wordDash->first('-') && wordDash->first('q') && !wordDash->first('+'));
    for (std::string_view bad : {"[]", "[^]", "[abc", "[\\w", "[a\\"})
        EXPECT_FALSE(run(bracketClass(MatcherFlag::Case_Sensitive), bad)) << bad;
}

TEST(BracketClass, RunsItemsAndTheirPredicates) {
    const MatcherFlag cs = MatcherFlag::Case_Sensitive, ci = MatcherFlag::Case_Insensitive;
    auto ranges = run(rangeRun(cs), "a-cx-y]");
    ASSERT_TRUE(ranges);
    EXPECT_EQ(acceptedOf(ranges->first), "abcxy");
    EXPECT_EQ(ranges->second.tokens, "]");
    EXPECT_FALSE(run(rangeRun(cs), "ab"));
    auto chars = run(charRun(cs), "ab-]");
    ASSERT_TRUE(chars);
    EXPECT_EQ(acceptedOf(chars->first), "-ab");
    EXPECT_EQ(chars->second.tokens, "]");
    EXPECT_FALSE(run(charRun(cs), "]"));
    // An item: a shorthand class, else a run of ranges, else a run of characters.
    EXPECT_EQ(acceptedOf(run(classItem(cs), "\\d")->first), "0123456789");
    EXPECT_EQ(acceptedOf(run(classItem(cs), "a-c")->first), "abc");
    EXPECT_EQ(acceptedOf(run(classItem(cs), "ab")->first), "ab");
    EXPECT_FALSE(run(classItem(cs), "]"));
    EXPECT_EQ(acceptedOf(charsPred(cs, "aZ")), "Za");
    EXPECT_EQ(acceptedOf(charsPred(ci, "aZ")), "AZaz");
    EXPECT_EQ(acceptedOf(rangesPred(cs, {{'a', 'b'}, {'0', '1'}})), "01ab");
    EXPECT_EQ(acceptedOf(rangesPred(ci, {{'a', 'b'}})), "ABab");
}

TEST(BracketClass, CaseInsensitiveRanges) {
    struct Case {
        char lo, hi;
        std::string_view accepts;  // among characters 1..127
    };
    const Case cases[] = {
        {'b', 'd', "BCDbcd"},
        {'A', 'C', "ABCabc"},
        {'B', 'D', "BCDbcd"},
        {'!', 'B', "!\"#$%&'()*+,-./0123456789:;<=>?@ABab"},
        {'Z', '^', "Z[\\]^z"},
        {'Q', 'c', "ABCQRSTUVWXYZ[\\]^_`abcqrstuvwxyz"},
        {'X', 'b', "ABXYZ[\\]^_`abxyz"},
        {'Z', 'Z', "Zz"},
        {'0', '9', "0123456789"},
        {'z', 'a', ""},
        {'Z', 'B', ""},
        {'!', '/', "!\"#$%&'()*+,-./"},
        {'A', 'Z', "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz"},
        {'a', 'z', "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz"},
        {'!', 'b',
         std::string_view("!\"#$%&'()*+,-./0123456789:;<=>?@ABCDEFGHIJKLMNOPQRSTUVWXYZ[\\]^_`"
                          "abcdefghijklmnopqrstuvwxyz")},
        {'x', '~', "XYZxyz{|}~"},  // the pair of ends the case table leaves open
        {'_', 'z', "ABCDEFGHIJKLMNOPQRSTUVWXYZ_`abcdefghijklmnopqrstuvwxyz"},
    };
    for (const Case& c : cases) {
        std::string text = std::string("[") + c.lo + "-" + c.hi + "]";
        auto r = run(bracketClass(MatcherFlag::Case_Insensitive), text);
        ASSERT_TRUE(r) << text;
        EXPECT_EQ(acceptedOf(r->first), c.accepts) << text;
    }
    // A range holding every upper-case letter adds every lower-case letter,
    // Latin-1 ones included; the other rows stay below 128.
    EXPECT_TRUE(noCaseRange({'A', 'Z'})(char(0xE9)));
    EXPECT_FALSE(noCaseRange({'A', 'Y'})(char(0xE9)));
    // Beyond 127 the other case comes from the Latin-1 table.
    auto lat = run(bracketClass(MatcherFlag::Case_Insensitive), "[\xE0-\xE9]");
    EXPECT_TRUE(lat->first(char(0xE5)));
    EXPECT_FALSE(lat->first(char(0xC5)));  // a row that keeps the range alone
    auto elems = run(bracketClass(MatcherFlag::Case_Insensitive), "[ab\xE9]");
    EXPECT_EQ(acceptedOf(elems->first), "ABab");
    EXPECT_TRUE(elems->first(char(0xC9)));
}

TEST(BracketClass, LiteralCase) {
    EXPECT_EQ(acceptedOf(literalPred(MatcherFlag::Case_Insensitive, 'k')), "Kk");
    EXPECT_EQ(acceptedOf(literalPred(MatcherFlag::Case_Insensitive, 'K')), "Kk");
    EXPECT_EQ(acceptedOf(literalPred(MatcherFlag::Case_Insensitive, '5')), "5");
    EXPECT_EQ(acceptedOf(literalPred(MatcherFlag::Case_Sensitive, 'k')), "k");
    EXPECT_TRUE(literalPred(MatcherFlag::Case_Insensitive, char(0xE9))(char(0xC9)));
    EXPECT_TRUE(orPred(exactRange({'a', 'b'}), exactRange({'x', 'x'}))('x'));
}

// ---------------------------------------------------------------------------
// Atoms

TEST(Atoms, SimpleAtomLeavesAndFlags) {
    auto ci = run(simpleAtom(), "(?Case_Insensitive)a");
    ASSERT_TRUE(ci);
    EXPECT_TRUE(fullMatch(ci->first, "A"));
    EXPECT_EQ(flagOf(ci->second, "case"), MatcherFlag::Case_Insensitive);

    auto after = run(simpleAtom(), "a(?Case_Insensitive)");
    ASSERT_TRUE(after);
    EXPECT_TRUE(after->second.tokens.empty());
    EXPECT_FALSE(fullMatch(after->first, "A"));
    EXPECT_EQ(flagOf(after->second, "case"), MatcherFlag::Case_Insensitive);

    auto dot = run(simpleAtom(), ".");
    EXPECT_FALSE(fullMatch(dot->first, "\n"));
    EXPECT_TRUE(fullMatch(dot->first, "\r"));
    EXPECT_TRUE(fullMatch(run(simpleAtom(), "(?Single_Line).")->first, "\n"));
    EXPECT_FALSE(fullMatch(run(simpleAtom(), "(?Multi_Line).")->first, "\n"));
    EXPECT_TRUE(fullMatch(run(simpleAtom(), ".", {MatcherFlag::Single_Line})->first, "\n"));

    for (std::string_view bad : {"*", "(", "$", "\\b", "\\1", "[]", "", "(?Single_Line)*"}) {
        EXPECT_FALSE(run(simpleAtom(), bad)) << bad;
    }
}

TEST(Atoms, UserMatcherReferences) {
    TextFns one = {[](CharSpan after) -> MatchLength {
        if (after.size() >= 2) return 2;
        return std::nullopt;
    }};
    auto r = run(simpleAtom(), "<<1>>", {}, kNoAs, one);
    ASSERT_TRUE(r);
    EXPECT_TRUE(r->second.tokens.empty());
    EXPECT_TRUE(fullMatch(r->first, "xy"));
    // Without a matcher of that number the atom is the literal '<'.
    for (std::string_view text : {"<<2>>", "<<0>>", "<<x>>"}) {
        auto lit = run(simpleAtom(), text, {}, kNoAs, one);
        ASSERT_TRUE(lit) << text;
        EXPECT_EQ(lit->second.tokens, text.substr(1)) << text;
        EXPECT_TRUE(fullMatch(lit->first, "<")) << text;
    }
}

TEST(Atoms, CombineFoldsFromTheLeft) {
    Tree a = mkEl<char>(matchAny<char>()), b = mkEl<char>(matchAny<char>()), c = mkEl<char>(matchAny<char>());
    EXPECT_EQ(joinPieces({a}), a);
    Tree t = joinPieces({a, b, c});
    ASSERT_TRUE(isConcat(t) && isConcat(left(t)));
    EXPECT_EQ(left(left(t)), a);
    EXPECT_EQ(right(left(t)), b);
    EXPECT_EQ(right(t), c);
}

// ---------------------------------------------------------------------------
// Pattern structure, pieces and quantifiers: tree shapes

TEST(Grammar, TreeShapes) {
    struct Case {
        std::string_view pattern;
        std::string shape;  // "" : illegal
        std::vector<MatcherFlag> flags = {};
    };
    const std::string ng01 = "NGMINMAX{0,1}(EL)";
    const Case cases[] = {
        {"", "END"},
        {"a", "CON(EL,END)"},
        {"abc", "CON(EL,END)"},
        {"abc*", "CON(CON(EL,STAR(EL)),END)"},
        {"(a)(b)(c)", "CON(CON(CON(EL,EL),EL),END)"},
        {"(a)|(b)|(c)", "CON(ALT(ALT(EL,EL),EL),END)"},
        {"(a|b)(c)", "CON(CON(ALT(EL,EL),EL),END)"},
        {"(a)(b)|(c)", "CON(ALT(CON(EL,EL),EL),END)"},
        {"^(a)$", "CON(CON(EL^,CON(EL,EL)),END)"},
        {"^(a)$", "CON(CON(EL,CON(EL,EL)),END)", {MatcherFlag::Multi_Line}},
        {"\\A(a)", "CON(CON(EL^,EL),END)", {MatcherFlag::Multi_Line}},
        {"(?Multi_Line)^(a)", "CON(CON(EL,EL),END)"},
        {"^(?Multi_Line)(a)", "CON(CON(EL^,EL),END)"},
        {"(a)$|(b)", "CON(ALT(CON(EL,EL),EL),END)"},
        {" x@(ab)", "CON(SUB<x>(EL),END)"},
        {" x1_@(a)", "CON(SUB<x1_>(EL),END)"},
        {" x'y@(a)", "CON(SUB<x'y>(EL),END)"},
        {"ab name@(c)", "CON(CON(CON(EL,EL),SUB<name>(EL)),END)"},
        {"a b", "CON(EL,END)"},
        {"${x}", "CON(BACKREF<x>,END)"},
        {"a{3}", "CON(EL,END)"},
        {"(ab){3}", "CON(EL,END)"},
        {"(a|b){3}", "CON(MINMAX{3,3}(ALT(EL,EL)),END)"},
        {"(a|b){1}", "CON(ALT(EL,EL),END)"},
        {"a{0,}", "CON(STAR(EL),END)"},
        {"a{1,}", "CON(PLUS(EL),END)"},
        {"a{0,1}", "CON(OPT(EL),END)"},
        {"a{3,}", "CON(CON(EL,PLUS(EL)),END)"},
        {"a{2,4}", "CON(CON(EL,MINMAX{1,3}(EL)),END)"},
        {"a{2,2}", "CON(CON(EL,MINMAX{1,1}(EL)),END)"},
        {"a{007,}", "CON(CON(EL,PLUS(EL)),END)"},
        {"a{0,0}", "CON(MINMAX{0,0}(EL),END)"},
        {"a{1,1}", "CON(MINMAX{1,1}(EL),END)"},
        {"(a|b){3,}", "CON(MIN{3}(ALT(EL,EL)),END)"},
        {"a{0}", "CON(CON(EL,EL),END)"},
        {"a{,3}", "CON(CON(EL,EL),END)"},
        {"a{ 2}", "CON(CON(EL,EL),END)"},
        {"a{x", "CON(CON(EL,EL),END)"},
        {"a{2}{3}", "CON(CON(EL,EL),END)"},
        {"a*{2}", "CON(CON(STAR(EL),EL),END)"},
        {"a*?", "CON(ALT(" + ng01 + ",NGMIN{0}(EL)),END)"},
        {"a+?", "CON(NGMIN{1}(EL),END)"},
        {"a??", "CON(ALT(" + ng01 + ",NGMINMAX{0,1}(EL)),END)"},
        {"a{2}?", "CON(EL,END)"},
        {"a{2,}?", "CON(CON(EL,NGMIN{1}(EL)),END)"},
        {"a{2,5}?", "CON(CON(EL,NGMINMAX{1,4}(EL)),END)"},
        {"a{0,3}?", "CON(ALT(" + ng01 + ",NGMINMAX{0,3}(EL)),END)"},
        {"a{0,0}?", "CON(ALT(" + ng01 + ",NGMINMAX{0,0}(EL)),END)"},
        {"(a|b){2,5}?", "CON(NGMINMAX{2,5}(ALT(EL,EL)),END)"},
        {"(a|b){3}?", "CON(NGMINMAX{3,3}(ALT(EL,EL)),END)"},
        {"(a*){1}?", "CON(ALT(" + ng01 + ",NGMIN{0}(EL)),END)"},
        {"a{5,2}", "CON(MINMAX{5,2}(EL),END)"},
        {"a{5,2}?", "CON(NGMINMAX{5,2}(EL),END)"},
        {"a\\bb", "CON(CON(CON(EL,EL),EL),END)"},
        {"\\bfoo\\b", "CON(CON(EL,CON(EL,EL)),END)"},
        {"a\\b(?Case_Insensitive)\\Bc", "CON(CON(CON(EL,EL),CON(EL,EL)),END)"},
        {"a*(?Case_Insensitive)\\bb", "CON(CON(STAR(EL),CON(EL,EL)),END)"},
        {"x*\\b(?Case_Insensitive)\\Ba", "CON(CON(CON(STAR(EL),EL),CON(EL,EL)),END)"},
        {"a(?Case_Insensitive)*", "CON(STAR(EL),END)"},
        {"a$|b", "CON(ALT(CON(EL,EL),EL),END)"},
        // illegal
        {"a|", ""},
        {"|a", ""},
        {"a||b", ""},
        {"(a|)", ""},
        {"()", ""},
        {"(^)", ""},
        {"(a", ""},
        {"a)", ""},
        {"(*a)", ""},
        {"(?x)", ""},
        {"a^b", ""},
        {"a$b", ""},
        {"a\\Ab", ""},
        {"a\\Zb", ""},
        {"^", ""},
        {"$", ""},
        {"^$", ""},
        {"(?Multi_Line)", ""},
        {"(?Case_Insensitive)", ""},
        {"a${b", ""},
        {"${}", ""},
        {"${x", ""},
        {"a**", ""},
        {"a*??", ""},
        {"a+*", ""},
        {"*a", ""},
        {"a{5,2}*", ""},
        {"a*(?Case_Insensitive)?", ""},
        {"\\b*", ""},
        {"\\b", ""},
        {"\\b(?Case_Insensitive)\\Ba", ""},
        {"(?=1)a", ""},
        {"a{2147483648}", ""},
        {"a{1,99999999999}", ""},
        {"<<4294967297>>", ""},
        {"a{2147483647}", "CON(EL,END)"},
    };
    for (const Case& c : cases) {
        auto t = parseRe(c.pattern, c.flags);
        if (c.shape.empty()) {
            EXPECT_FALSE(t) << c.pattern << " parsed as " << (t ? shape(*t) : "");
        } else {
            ASSERT_TRUE(t) << c.pattern;
            EXPECT_EQ(shape(*t), c.shape) << c.pattern;
        }
    }
}

// ---------------------------------------------------------------------------
// What parsed patterns accept (through the reference matcher)

TEST(Grammar, AcceptedTexts) {
    struct Case {
        std::string_view pattern;
        std::vector<std::string_view> yes;
        std::vector<std::string_view> no;
        std::vector<MatcherFlag> flags = {};
    };
    const Case cases[] = {
        {"abc", {"abc"}, {"ab", "abd", "ABC"}},
        {"a(?Case_Insensitive)b", {"ab", "aB"}, {"Ab"}},
        {"(?Case_Insensitive)k", {"k", "K"}, {}},
        {"a.b", {"axb", "a\rb"}, {"a\nb"}},
        {"a[xy]b", {"ayb"}, {"azb"}},
        {"a\\*b", {"a*b"}, {"ab"}},
        {"a{3}", {"aaa"}, {"aa", "aaaa"}},
        {"(ab){3}", {"ababab"}, {"abab"}},
        {"a{2,4}", {"aa", "aaa", "aaaa"}, {"a", "aaaaa"}},
        {"a{0,0}", {""}, {"a"}},
        {"a{0,0}?", {""}, {"a"}},
        {"(a|b){0,0}", {""}, {"a"}},
        {"a{0}", {"a{0}"}, {"a"}},
        {"a{,3}", {"a{,3}"}, {}},
        {"a{2}{3}", {"aa{3}"}, {"aaaaaa"}},
        {"a*{2}", {"{2}", "aaa{2}"}, {"aa"}},
        {"a|b|c", {"a", "b", "c"}, {"ab"}},
        {"(?Case_Insensitive)[b-d]x", {"Bx", "dX"}, {"ax"}},
        {"[a-z]+", {"abc"}, {"aBc"}, {MatcherFlag::Case_Sensitive}},
        {"[a-z]+", {"aBc"}, {"a1"}, {MatcherFlag::Case_Insensitive, MatcherFlag::Case_Sensitive}},
        {"^a$", {"a"}, {"b"}, {MatcherFlag::Multi_Line, MatcherFlag::Single_Line}},
        {"\\bfoo\\b", {"foo"}, {}},
        {"<<1>>", {"<<1>>"}, {}},
    };
    for (const Case& c : cases) {
        auto t = parseRe(c.pattern, c.flags);
        ASSERT_TRUE(t) << c.pattern;
        for (auto y : c.yes) EXPECT_TRUE(fullMatch(*t, y)) << c.pattern << " on " << y;
        for (auto n : c.no) EXPECT_FALSE(fullMatch(*t, n)) << c.pattern << " on " << n;
    }
}

TEST(Grammar, NonGreedyPrefersFewerRepetitions) {
    struct Case {
        std::string_view pattern;
        std::string_view text;
        std::size_t first;  // length of the first match in priority order
    };
    const Case cases[] = {
        {"a*", "aaaa", 4},     {"a*?", "aaaa", 0},     {"a+?", "aaaa", 1},     {"a??", "aaaa", 0},         {"a{2,}", "aaaa", 4},
        {"a{2,}?", "aaaa", 2}, {"a{2,3}?", "aaaa", 2}, {"a{0,3}?", "aaaa", 0}, {"(ab){2,}?", "ababab", 4},
    };
    for (const Case& c : cases) {
        auto t = parseRe(c.pattern);
        ASSERT_TRUE(t) << c.pattern;
        EXPECT_EQ(firstMatch(*t, c.text), c.first) << c.pattern;
    }
}

TEST(Grammar, OptionGroupsApplyInTextOrderAcrossGroupsAndBranches) {
    // '((?Multi_Line)a)$': the '$' reads Multi_Line: it holds before a line feed.
    auto t = parseRe("((?Multi_Line)a)$");
    ASSERT_TRUE(t);
    const Tree& endAnchor = right(left(*t));
    EXPECT_EQ(getElem(endAnchor)(charSpan("a\nb"), 1), MatchLength(0));
    // 'a$(?Multi_Line)|b$': the first '$' reads the initial value, the second Multi_Line.
    auto u = parseRe("a$(?Multi_Line)|b$");
    ASSERT_TRUE(u);
    const Tree& alt = left(*u);
    const Tree& first = right(left(alt));
    const Tree& second = right(right(alt));
    EXPECT_EQ(getElem(first)(charSpan("a\nb"), 1), std::nullopt);
    EXPECT_EQ(getElem(second)(charSpan("b\nb"), 1), MatchLength(0));
    // Flags never leak from one parse to the next.
    parseRe("(?Case_Insensitive)a");
    EXPECT_FALSE(fullMatch(*parseRe("a"), "A"));
}

TEST(Grammar, BackReferenceBuilderFollowsTheCaseMode) {
    auto builderOf = [](std::string_view pattern, std::vector<MatcherFlag> flags = {}) {
        auto t = parseRe(pattern, flags);
        EXPECT_TRUE(t) << pattern;
        const Tree* n = &*t;
        while (!isBackref(*n)) n = &left(*n);
        return getBackref(*n).second;
    };
    const std::string captured = "Ab";
    CharSpan cap = charSpan(captured);
    EXPECT_EQ(builderOf("${x}")(cap)(charSpan("aB"), 0), std::nullopt);
    EXPECT_EQ(builderOf("${x}")(cap)(charSpan("Ab"), 0), MatchLength(2));
    EXPECT_EQ(builderOf("(?Case_Insensitive)${x}")(cap)(charSpan("aBc"), 0), MatchLength(2));
    EXPECT_EQ(builderOf("${x}", {MatcherFlag::Case_Insensitive})(cap)(charSpan("aB"), 0), MatchLength(2));
}

TEST(Grammar, UserAssertionsAndMatchers) {
    TextAsserts one = {[](CharSpan, std::size_t pos) { return pos == 0; }};
    auto t = parseRe("\\b(?=1)x", {}, {}, one);
    ASSERT_TRUE(t);
    EXPECT_EQ(shape(*t), "CON(CON(EL,EL),END)");
    EXPECT_TRUE(fullMatch(*t, "x"));
    TextAsserts two = {one[0], one[0]};
    EXPECT_FALSE(parseRe("(?=3)a", {}, {}, two));
    TextFns fn = {[](CharSpan) -> MatchLength { return 0; }};
    auto lit = parseRe("<<2>>", {}, fn);
    ASSERT_TRUE(lit);
    EXPECT_TRUE(fullMatch(*lit, "<<2>>"));
    auto ref = parseRe("a<<1>>b", {}, fn);
    ASSERT_TRUE(ref);
    EXPECT_EQ(shape(*ref), "CON(EL,END)");
    EXPECT_TRUE(fullMatch(*ref, "ab"));
}

TEST(Grammar, InvalidIntervalIsCarriedInTheTreeAndFiresOnCheck) {
    auto t = parseRe("x|(ab){5,2}?");
    ASSERT_TRUE(t);
    const Tree& node = right(left(*t));
    EXPECT_TRUE(isInvalidInterval(node));
    EXPECT_FALSE(isInvalidInterval(left(left(*t))));
    try {
        checkInterval(node);
        FAIL() << "no failure";
    } catch (const Fatal& e) {
        EXPECT_STREQ(e.what(), "Invalid interval in Regular Expression");
    }
    auto ok = parseRe("a{2,5}");
    EXPECT_NO_THROW(checkInterval(right(left(*ok))));
}

TEST(Grammar, LongAndDeepPatterns) {
    // A 10,000-character literal is one leaf.
    std::string lit(10000, 'q');
    auto t = parseRe(lit);
    ASSERT_TRUE(t);
    EXPECT_EQ(shape(*t), "CON(EL,END)");
    EXPECT_EQ(getElem(left(*t))(charSpan(lit), 0), MatchLength(10000));
    // Long runs of pieces and alternatives.
    std::string pieces, alts;
    for (int k = 0; k < 2500; ++k) pieces += "a*b?";
    for (int k = 0; k < 2500; ++k) alts += k ? "|ab" : "ab";
    runWithLargeStack([&] {
        EXPECT_TRUE(parseRe(pieces));
        EXPECT_TRUE(parseRe(alts));
        // 1,000 nested groups, quantified and not, and named.
        std::string nested = std::string(1000, '(') + "a" + std::string(1000, ')');
        std::string starred, named;
        for (int k = 0; k < 1000; ++k) starred += "(";
        starred += "a";
        for (int k = 0; k < 1000; ++k) starred += ")*";
        for (int k = 0; k < 1000; ++k) named += " n@(";
        named += "a" + std::string(1000, ')');
        auto n = parseRe(nested);
        ASSERT_TRUE(n);
        EXPECT_EQ(shape(*n), "CON(EL,END)");
        EXPECT_TRUE(parseRe(starred));
        EXPECT_TRUE(parseRe(named));
        EXPECT_FALSE(parseRe(nested + ")"));
        EXPECT_FALSE(parseRe("(" + nested));
    });
}

}  // namespace
}  // namespace axf::regex
