#include "filter/FilterParser.h"

#include <gtest/gtest.h>

#include <set>
#include <string>
#include <vector>

#include "filter/FilterLexer.h"
#include "filter/FilterParserInternal.h"
#include "filter/FilterTable.h"

namespace axf::filter {
namespace {

using xml::ELNode;
using xml::TXNode;

// A compact text form of a tree: a text as 'text', an element as its name,
// its attributes in braces and its children in parentheses.
std::string show(const Tree* t) {
    if (auto* tx = std::get_if<TXNode>(&t->value)) return "'" + tx->text + "'";
    const auto& el = std::get<ELNode>(t->value);
    std::string s = el.name;
    if (!el.attributes.empty()) {
        s += "{";
        for (std::size_t i = 0; i < el.attributes.size(); ++i)
            s += (i ? "," : "") + el.attributes[i].first + "=" + el.attributes[i].second;
        s += "}";
    }
    if (t->kidCount > 0) {
        s += "(";
        for (std::size_t i = 0; i < t->kidCount; ++i) s += (i ? ", " : "") + show(t->kids[i]);
        s += ")";
    }
    return s;
}

std::string parseShow(std::string_view text) {
    ParseResult r = parseFilter(text);
    if (auto* ok = std::get_if<ParseOk>(&r)) return show(ok->tree);
    return std::get<ParseFail>(r).message;
}

std::string failAt(int line) { return "Parse error at line " + std::to_string(line) + "\n"; }

// The rule tree of a filter whose query, source and rest are given.
std::string ruleOf(std::string kind, std::string query, std::string source, std::string conds = "'conditions'",
                   std::string pol = "P", std::string count = "-1") {
    return "rule('" + kind + "', " + query + ", " + source + ", " + conds + ", '" + pol + "', '" + count + "')";
}

// ---------------------------------------------------------------- table

TEST(FilterTable, FiguresOfTheAutomaton) {
    const LRTable& t = filterTable;
    ASSERT_EQ(t.numStates, 162);
    ASSERT_EQ(t.numProductions, 61);
    EXPECT_EQ(t.startState, 0);
    int shifts = 0, gotos = 0, accepts = 0, reducing = 0, onlyReduce = 0;
    std::vector<std::set<int>> into(t.numStates);  // symbols of the entries leading into each state
    for (int s = 0; s < t.numStates; ++s) {
        bool any = false;
        EXPECT_EQ(t.entry(s, t.errorSymbol), 0) << "state " << s;
        for (int sym = 0; sym < t.numSymbols; ++sym) {
            std::int16_t e = t.entry(s, sym);
            if (e == 0) continue;
            any = true;
            if (e == kLRAccept) {
                ++accepts;
                EXPECT_EQ(s, t.acceptState);
                EXPECT_EQ(sym, t.endSymbol);
                continue;
            }
            ASSERT_GT(e, 0) << "explicit reduction in state " << s;
            ASSERT_LE(e, t.numStates);
            if (t.symbolKinds[sym] == LRSymbolKind::Nonterminal)
                ++gotos;
            else if (t.symbolKinds[sym] == LRSymbolKind::Terminal)
                ++shifts;
            else
                ADD_FAILURE() << "entry on symbol " << sym;
            into[e - 1].insert(sym);
        }
        if (t.defaults[s] != 0) {
            ++reducing;
            if (!any) ++onlyReduce;
        }
    }
    EXPECT_EQ(shifts, 255);
    EXPECT_EQ(gotos, 103);
    EXPECT_EQ(accepts, 1);
    EXPECT_EQ(reducing, 70);
    EXPECT_EQ(onlyReduce, 48);
    EXPECT_EQ(t.numStates - reducing, 92);
    for (int s = 1; s < t.numStates; ++s) EXPECT_EQ(into[s].size(), 1u) << "state " << s;
    EXPECT_TRUE(into[0].empty());

    // The start state: shifts "count" and the four statement keywords, goes
    // to the accept state on Rule, fails on everything else.
    std::set<int> startSymbols;
    for (int sym = 0; sym < t.numSymbols; ++sym)
        if (t.entry(0, sym) != 0) startSymbols.insert(sym);
    EXPECT_EQ(startSymbols, (std::set<int>{4, 5, 18, 19, 20, 21, 22}));
    EXPECT_EQ(t.entry(0, 4), t.acceptState + 1);
    EXPECT_EQ(t.defaults[0], 0);
}

// The six states where a single pattern closed by ")" can be read in more
// than one way: a tag takes the pattern as its child (shift); a group of one
// pattern is an XorList, or an OrList after "?".
TEST(FilterTable, ConflictsSettledOnClosingParenthesis) {
    const LRTable& t = filterTable;
    ASSERT_EQ(t.numConflicts, 6);
    std::multiset<int> chosen;
    for (int i = 0; i < t.numConflicts; ++i) {
        const LRConflict& c = t.conflicts[i];
        EXPECT_EQ(c.symbol, 38) << c.settled;
        EXPECT_EQ(t.action(c.state, c.symbol), c.chosen) << c.settled;
        chosen.insert(c.chosen > 0 ? 0 : c.chosen);
    }
    EXPECT_EQ(chosen, (std::multiset<int>{0, 0, -54, -54, -54, -48}));
}

TEST(FilterTable, ProductionShapes) {
    // Left side and length of productions 1..61.
    const int lhs[] = {4,  4,  4,  4,  4,  4,  5,  5,  5,  5,  6,  6,  6,  7,  7,  8,  8,  8,  9,  9,  10,
                       10, 11, 11, 11, 12, 12, 12, 12, 12, 12, 12, 12, 12, 12, 12, 12, 12, 13, 13, 13, 14,
                       14, 14, 14, 14, 14, 15, 15, 15, 15, 15, 15, 16, 16, 16, 16, 16, 16, 17, 17};
    const int len[] = {5, 7, 9, 11, 8, 10, 1, 1, 1, 1, 1, 2, 3, 1, 3, 0, 1, 1, 1, 4, 1, 3, 1, 1, 1, 1, 4, 5, 3, 4, 4,
                       5, 4, 5, 4,  5, 4,  5, 1, 3, 4, 1, 3, 5, 5, 5, 5, 1, 3, 5, 5, 5, 5, 1, 3, 5, 5, 5, 5, 1, 3};
    for (int p = 1; p <= 61; ++p) {
        EXPECT_EQ(filterTable.productionLhs[p], lhs[p - 1]) << "production " << p;
        EXPECT_EQ(filterTable.productionLength[p], len[p - 1]) << "production " << p;
    }
}

// ---------------------------------------------------------------- lexer

struct Lexed {
    TokenKind kind;
    std::string text;
    std::int64_t line;
    friend bool operator==(const Lexed&, const Lexed&) = default;
};

std::ostream& operator<<(std::ostream& os, const Lexed& l) {
    return os << "(" << static_cast<int>(l.kind) << " '" << l.text << "' " << l.line << ")";
}

// All tokens of a text, TokenEOF included, and whether it was delivered at
// unreadable text.
std::pair<std::vector<Lexed>, bool> lexAll(std::string_view text) {
    std::vector<Lexed> out;
    std::int64_t line = 1;
    for (;;) {
        LexStep s = nextToken(text, line);
        out.push_back({s.token.kind, std::string(s.token.text), s.line});
        if (s.token.kind == TokenKind::TokenEOF) return {out, s.unreadText};
        text = s.rest;
        line = s.line;
    }
}

TEST(FilterLexer, Tokenisation) {
    using enum TokenKind;
    struct Case {
        std::string text;
        std::vector<Lexed> tokens;
        bool unread;
    };
    const std::vector<Case> cases = {
        {"filterAllBest person(name(X), $address(city(C))) in file 'docs\\items.xml'\nwhere &X match [A-Z]+& (P)",
         {{TokenFilterAll, "", 1}, {TokenTag, "person", 1},
          {TokenOB, "", 1},        {TokenTag, "name", 1},
          {TokenOB, "", 1},        {TokenVar, "X", 1},
          {TokenCB, "", 1},        {TokenComma, "", 1},
          {TokenType, "", 1},      {TokenTag, "address", 1},
          {TokenOB, "", 1},        {TokenTag, "city", 1},
          {TokenOB, "", 1},        {TokenVar, "C", 1},
          {TokenCB, "", 1},        {TokenCB, "", 1},
          {TokenCB, "", 1},        {TokenIn, "", 1},
          {TokenFile, "", 1},      {TokenText, "docs\\items.xml", 1},
          {TokenWhere, "", 2},     {TokenCond, "X match [A-Z]+", 2},
          {TokenP, "P", 2},        {TokenEOF, "", 2}},
         false},
        {"count 3 (filterOneBest item(X) in file 'a.xml')",
         {{TokenCount, "", 1},
          {TokenNum, "3", 1},
          {TokenOB, "", 1},
          {TokenFilterBest, "", 1},
          {TokenTag, "item", 1},
          {TokenOB, "", 1},
          {TokenVar, "X", 1},
          {TokenCB, "", 1},
          {TokenIn, "", 1},
          {TokenFile, "", 1},
          {TokenText, "a.xml", 1},
          {TokenCB, "", 1},
          {TokenEOF, "", 1}},
         false},
        {"filterBestExact filterAllExact and or xor where | ? (N)",
         {{TokenFilterBExact, "", 1},
          {TokenFilterAExact, "", 1},
          {TokenAnd, "and", 1},
          {TokenOr, "or", 1},
          {TokenXor, "xor", 1},
          {TokenWhere, "", 1},
          {TokenBar, "", 1},
          {TokenQmark, "", 1},
          {TokenN, "N", 1},
          {TokenEOF, "", 1}},
         false},
        // Keywords are keywords only as whole words.
        {"country counter filtered andes orange wherever filename xorx countx",
         {{TokenTag, "country", 1},
          {TokenTag, "counter", 1},
          {TokenTag, "filtered", 1},
          {TokenTag, "andes", 1},
          {TokenTag, "orange", 1},
          {TokenTag, "wherever", 1},
          {TokenTag, "filename", 1},
          {TokenTag, "xorx", 1},
          {TokenTag, "countx", 1},
          {TokenEOF, "", 1}},
         false},
        {"order(X) where2 or_id(X) and[1] filterOneBestX",
         {{TokenTag, "order", 1},
          {TokenOB, "", 1},
          {TokenVar, "X", 1},
          {TokenCB, "", 1},
          {TokenTag, "where2", 1},
          {TokenTag, "or_id", 1},
          {TokenOB, "", 1},
          {TokenVar, "X", 1},
          {TokenCB, "", 1},
          {TokenTag, "and[1]", 1},
          {TokenTag, "filterOneBestX", 1},
          {TokenEOF, "", 1}},
         false},
        {"count( and( or'x' in'y' file'z'",
         {{TokenCount, "", 1},
          {TokenOB, "", 1},
          {TokenAnd, "and", 1},
          {TokenOB, "", 1},
          {TokenOr, "or", 1},
          {TokenText, "x", 1},
          {TokenIn, "", 1},
          {TokenText, "y", 1},
          {TokenFile, "", 1},
          {TokenText, "z", 1},
          {TokenEOF, "", 1}},
         false},
        {"index in file inx",
         {{TokenTag, "index", 1}, {TokenIn, "", 1}, {TokenFile, "", 1}, {TokenTag, "inx", 1}, {TokenEOF, "", 1}},
         false},
        {"Order Item_2[1] 007",
         {{TokenVar, "Order", 1}, {TokenVar, "Item_2[1]", 1}, {TokenNum, "007", 1}, {TokenEOF, "", 1}},
         false},
        {"price(N) price( N ) name(P)",
         {{TokenTag, "price", 1},
          {TokenN, "N", 1},
          {TokenTag, "price", 1},
          {TokenOB, "", 1},
          {TokenVar, "N", 1},
          {TokenCB, "", 1},
          {TokenTag, "name", 1},
          {TokenP, "P", 1},
          {TokenEOF, "", 1}},
         false},
        {"'' &&", {{TokenText, "", 1}, {TokenCond, "", 1}, {TokenEOF, "", 1}}, false},
        // White space, line feeds included, inside quoted texts and conditions; not counted.
        {"'a\nb' &X\t<= 3,\n Y$[]*'-/:=&\nz",
         {{TokenText, "a\nb", 1}, {TokenCond, "X\t<= 3,\n Y$[]*'-/:=", 1}, {TokenTag, "z", 2}, {TokenEOF, "", 2}},
         false},
        {"", {{TokenEOF, "", 1}}, false},
        {" \t\v\f\r\xA0 ", {{TokenEOF, "", 1}}, false},
        {"\n\nwhere", {{TokenWhere, "", 3}, {TokenEOF, "", 3}}, false},
        {"\r\nwhere\r\n", {{TokenWhere, "", 2}, {TokenEOF, "", 3}}, false},
        {"\n\n\n", {{TokenEOF, "", 4}}, false},
        // Text from which no token can be cut ends the stream.
        {"12ab xyz", {{TokenEOF, "", 1}}, true},
        {"a 'my-file.xml' b", {{TokenTag, "a", 1}, {TokenEOF, "", 1}}, true},
        {"&X # Y&", {{TokenEOF, "", 1}}, true},
        {"'open", {{TokenEOF, "", 1}}, true},
        {"a\n -> b", {{TokenTag, "a", 1}, {TokenEOF, "", 2}}, true},
        {"_id [x] ; : . < > \xE9t\xE9", {{TokenEOF, "", 1}}, true},
        {"x\n;", {{TokenTag, "x", 1}, {TokenEOF, "", 2}}, true},
    };
    for (const Case& c : cases) {
        auto [tokens, unread] = lexAll(c.text);
        EXPECT_EQ(tokens, c.tokens) << c.text;
        EXPECT_EQ(unread, c.unread) << c.text;
    }
}

TEST(FilterLexer, RestAfterToken) {
    LexStep s = nextToken("  \nfile'x.xml' rest", 5);
    EXPECT_EQ(s.token.kind, TokenKind::TokenFile);
    EXPECT_EQ(s.rest, "'x.xml' rest");
    EXPECT_EQ(s.line, 6);
    s = nextToken("12ab xyz", 1);
    EXPECT_EQ(s.token.kind, TokenKind::TokenEOF);
    EXPECT_EQ(s.rest, "");
}

// ---------------------------------------------------------------- rule trees

TEST(FilterParser, RuleTrees) {
    struct Case {
        std::string filter;
        std::string tree;
    };
    const std::vector<Case> cases = {
        {"filterOneBest site(X) in file 'doc.xml'", ruleOf("best", "site{var=X}", "file('doc.xml')")},
        {"count 2 (filterAllExact and(a(), b()) in file 'x.xml' where &X>1& (N))",
         ruleOf("allEx", "and(a, b)", "file('x.xml')", "conditions('X>1')", "N", "2")},
        {"filterOneBest 'Vurer' in file 'people.xml'", ruleOf("best", "'Vurer'", "file('people.xml')")},
        {"filterOneBest book(B) in file 'lib.xml'", ruleOf("best", "book{var=B}", "file('lib.xml')")},
        {"count 3 (filterAllExact $book(title(T), author(A)) in file 'lib.xml' where &T&, &A& (N))",
         ruleOf("allEx", "book{type=E}(and(title{var=T}, author{var=A}))", "file('lib.xml')", "conditions('T', 'A')", "N", "3")},
        {"filterOneBest 'abc' in 'x'", ruleOf("best", "'abc'", "xml('x')")},
        {"filterOneBest a((b()) | c()) in 'x'", ruleOf("best", "a(or(xor(b), c))", "xml('x')")},
        {"filterOneBest a((b()), c()) in 'x'", ruleOf("best", "a(and(xor(b), c))", "xml('x')")},
        {"filterOneBest a(b() ? (c())) in 'x'", ruleOf("best", "a(xor(b, or(c)))", "xml('x')")},
        {"count 3 (filterAllExact person(X) in site(people(person('Vurer')),regions()) where &X > 3&, &Y = 2& (N))",
         ruleOf("allEx", "person{var=X}", "xml('<site><people><person>Vurer</person></people><regions/></site>')",
                "conditions('X > 3', 'Y = 2')", "N", "3")},
        {"count (filterBestExact a() in file '')", ruleOf("bestEx", "a", "file('')", "'conditions'", "P", "-2")},
        {"count 007 (filterAllBest a() in 'x' (P))", ruleOf("all", "a", "xml('x')", "'conditions'", "P", "007")},
        {"count (filterAllBest a() in 'x' where &&, &A&, && (N))",
         ruleOf("all", "a", "xml('x')", "conditions('', 'A', '')", "N", "-2")},
        {"filterOneBest a() in file 'x' where &A& (P)", ruleOf("best", "a", "file('x')", "conditions('A')")},
        {"filterOneBest person() in (filterAllBest person() in file 'a.xml')",
         ruleOf("best", "person", ruleOf("all", "person", "file('a.xml')"))},
        {"filterAllBest or(a(), and(b(X), 'c')) in (count (filterOneBest d() in file 'y'))",
         ruleOf("all", "or(a, and(b{var=X}, 'c'))", ruleOf("best", "d", "file('y')", "'conditions'", "P", "-2"))},
        {"filterOneBest a() in (count 4 (filterOneBest b() in 'x' where &Q& (N))) (N)",
         ruleOf("best", "a", ruleOf("best", "b", "xml('x')", "conditions('Q')", "N", "4"), "'conditions'", "N")},
        // Inline literals.
        {"filterOneBest a() in a(b(), 'x')", ruleOf("best", "a", "xml('<a><b/>x</a>')")},
        {"filterOneBest a() in a()", ruleOf("best", "a", "xml('<a/>')")},
        {"filterOneBest a() in a(b(),c())", ruleOf("best", "a", "xml('<a><b/><c/></a>')")},
        {"filterOneBest a() in a('x','y')", ruleOf("best", "a", "xml('<a>xy</a>')")},
        {"filterOneBest a() in doc(title('x'), 'y')", ruleOf("best", "a", "xml('<doc><title>x</title>y</doc>')")},
        // Query patterns.
        {"filterOneBest people(person($name(X))) in 'x'", ruleOf("best", "people(person(name{var=X,type=E}))", "xml('x')")},
        {"filterOneBest or(person(name(X)), item(location('Italy'))) in 'x'",
         ruleOf("best", "or(person(name{var=X}), item(location('Italy')))", "xml('x')")},
        {"filterOneBest person(name(X), (emailaddress(M) | homepage(H)), $profile()) in 'x'",
         ruleOf("best", "person(and(name{var=X}, or(emailaddress{var=M}, homepage{var=H}), profile{type=E}))", "xml('x')")},
        {"filterOneBest and(item()) in 'x'", ruleOf("best", "and(item)", "xml('x')")},
        {"filterOneBest xor(a(), 'b', or(c())) in 'x'", ruleOf("best", "xor(a, 'b', or(c))", "xml('x')")},
        {"filterOneBest $name() in 'x'", ruleOf("best", "name{type=E}", "xml('x')")},
        {"filterOneBest name( P ) in 'x'", ruleOf("best", "name{var=P}", "xml('x')")},
        {"filterOneBest item(a() | (b(), c())) in 'x'", ruleOf("best", "item(or(a, and(b, c)))", "xml('x')")},
        {"filterOneBest item(a(), (b() | c())) in 'x'", ruleOf("best", "item(and(a, or(b, c)))", "xml('x')")},
        {"filterOneBest item(a() ? b() ? (c(), d())) in 'x'", ruleOf("best", "item(xor(a, b, and(c, d)))", "xml('x')")},
        {"filterOneBest item((a(), b()) ? (c() | d()) ? e()) in 'x'",
         ruleOf("best", "item(xor(and(a, b), or(c, d), e))", "xml('x')")},
        {"filterOneBest item((a() ? b()) | c() | (d(), e())) in 'x'",
         ruleOf("best", "item(or(xor(a, b), c, and(d, e)))", "xml('x')")},
        {"filterOneBest a((b() | c()), (d() | e()), f()) in 'x'", ruleOf("best", "a(and(or(b, c), or(d, e), f))", "xml('x')")},
        {"filterOneBest $book(title(T), author(A)) in 'x'",
         ruleOf("best", "book{type=E}(and(title{var=T}, author{var=A}))", "xml('x')")},
        // One-pattern tags and groups.
        {"filterOneBest person(name()) in file 'p.xml'", ruleOf("best", "person(name)", "file('p.xml')")},
        {"filterOneBest $person(name()) in file 'p.xml'", ruleOf("best", "person{type=E}(name)", "file('p.xml')")},
        {"filterOneBest item((name()), location()) in 'x'", ruleOf("best", "item(and(xor(name), location))", "xml('x')")},
        {"filterOneBest item((name()) | location()) in 'x'", ruleOf("best", "item(or(xor(name), location))", "xml('x')")},
        {"filterOneBest item(name(), (location())) in 'x'", ruleOf("best", "item(and(name, xor(location)))", "xml('x')")},
        {"filterOneBest item(name() | (location())) in 'x'", ruleOf("best", "item(or(name, xor(location)))", "xml('x')")},
        {"filterOneBest item(name() ? (location())) in 'x'", ruleOf("best", "item(xor(name, or(location)))", "xml('x')")},
        {"filterOneBest item(name() ? (location()) ? city()) in 'x'",
         ruleOf("best", "item(xor(name, or(location), city))", "xml('x')")},
        {"filterOneBest item(name(), ((location()) | city())) in 'x'",
         ruleOf("best", "item(and(name, or(xor(location), city)))", "xml('x')")},
        // Whole-word keywords: names beginning with a keyword are tags.
        {"filterOneBest country(X) in file 'c.xml'", ruleOf("best", "country{var=X}", "file('c.xml')")},
        {"filterOneBest order(orange(), andes()) in filename(counter())",
         ruleOf("best", "order(and(orange, andes))", "xml('<filename><counter/></filename>')")},
        // A complete filter followed only by white space.
        {"filterOneBest a() in 'x' \n\t ", ruleOf("best", "a", "xml('x')")},
    };
    for (const Case& c : cases) EXPECT_EQ(parseShow(c.filter), c.tree) << c.filter;
}

// ---------------------------------------------------------------- errors

TEST(FilterParser, ParseErrors) {
    struct Case {
        std::string filter;
        int line;
    };
    const std::vector<Case> cases = {
        {"", 1},
        {"\n\n", 3},
        {"\n\n\n", 4},
        {"filterOneBest site(X) file 'doc.xml'", 1},
        {"filterOneBest site(X)\nin file 'doc.xml' where\n", 3},
        {"filterOneBest site(X) in file 'doc.xml' where ;", 1},
        {"filterOneBest site(X) in file 'a\nb' where", 1},
        {"filterOneBest site(X) in file 'doc.xml'\r\n\r\nwhere", 3},
        {"filterOneBest book in file 'lib.xml'", 1},
        {"filterOneBest book() in file 'lib.xml' (P) where &X&", 1},
        {"filterOneBest a() in file 'x' where (N)", 1},
        {"count 5 filterOneBest a() in 'x'", 1},
        {"filterOneBest a(B, c()) in 'x'", 1},
        {"filterOneBest a(b() | c(), d()) in 'x'", 1},
        {"filterOneBest a((b()) ? c()) in 'x'", 1},
        {"filterOneBest a((b())\n? c()) in 'x'", 2},
        {"filterOneBest item(name(), ((location()) ? city())) in 'x'", 1},
        {"filterOneBest a((b() | c())) in 'x'", 1},
        {"filterOneBest a((b() | c()), (d() | e())) in 'x'", 1},
        {"filterOneBest a(b(), (c(), d())) in 'x'", 1},
        {"filterOneBest a() in b(c(), )", 1},
        {"filterOneBest person(name() location()) in 'x'", 1},
        {"filterOneBest item((name() location())) in 'x'", 1},
        {"filterOneBest person(\n", 2},
        {"filterOneBest name(P) in 'x'", 1},
        {"filterOneBest a() in 'x' where &X&\n&Y&", 2},
        {"'abc'", 1},
        {"person()", 1},
        {"filterOneBest a() in 'x' (N) (N)", 1},
        // A complete statement followed by more: fails at the token's line.
        {"filterOneBest person() in file 'p.xml'\n\nname()", 3},
        {"filterOneBest a() in 'x' (", 1},
        {"count (filterOneBest a() in 'x') count", 1},
        // ... or by text the lexer cannot read.
        {"filterOneBest site(X) in file 'doc.xml' ; anything else", 1},
        {"filterOneBest site(X) in file 'doc.xml'\n ; x", 2},
        {"filterOneBest a() in 'x' where &X& &Y # Z&", 1},
        {"filterOneBest a() in 'x' (M)", 1},
        {"filterOneBest a() in 'x'\n\n-> b", 3},
    };
    for (const Case& c : cases) EXPECT_EQ(parseShow(c.filter), failAt(c.line)) << c.filter;
}

TEST(FilterParser, StartLine) {
    auto r = parseFilterFromLine("", 10);
    ASSERT_TRUE(std::holds_alternative<ParseFail>(r));
    EXPECT_EQ(std::get<ParseFail>(r).message, "Parse error at line 10\n");
    r = parseFilterFromLine("filterOneBest a() in 'x'", 10);
    EXPECT_TRUE(std::holds_alternative<ParseOk>(r));
}

// The parser run over a token sequence: the failing token's line is the one
// the lexer gave it.
TEST(FilterParser, FromTokens) {
    using enum TokenKind;
    std::vector<LexStep> steps = {
        {{TokenFilterBest, {}}, {}, 1}, {{TokenTag, "book"}, {}, 1}, {{TokenOB, {}}, {}, 1},   {{TokenVar, "B"}, {}, 2},
        {{TokenCB, {}}, {}, 2},         {{TokenIn, {}}, {}, 3},      {{TokenFile, {}}, {}, 3}, {{TokenText, "lib.xml"}, {}, 3},
    };
    auto r = parseTokens(steps);
    ASSERT_TRUE(std::holds_alternative<ParseOk>(r));
    EXPECT_EQ(show(std::get<ParseOk>(r).tree), ruleOf("best", "book{var=B}", "file('lib.xml')"));

    steps.push_back({{TokenTag, "extra"}, {}, 7});
    r = parseTokens(steps);
    EXPECT_EQ(std::get<ParseFail>(r).message, failAt(7));

    steps.pop_back();
    steps.erase(steps.begin() + 5);  // no "in"
    r = parseTokens(steps);
    EXPECT_EQ(std::get<ParseFail>(r).message, failAt(3));
}

// ---------------------------------------------------------------- size

std::size_t depthOf(const Tree* t) {
    std::size_t d = 1;
    while (t->kidCount > 0) {
        t = t->kids[t->kidCount - 1];
        ++d;
    }
    return d;
}

// Long lists and deep nesting of about 100 KB each parse whole; the lists
// are built without copying their tails and the literal text is joined once.
TEST(FilterParser, LargeFilters) {
    const int n = 20000;
    std::string andList = "filterOneBest r(";
    std::string orList = "filterOneBest r(";
    std::string conds;
    std::string literal = "l(";
    for (int i = 0; i < n; ++i) {
        andList += i ? ", a()" : "a()";
        orList += i == 0 ? "b()" : i % 2 ? " | (c(), d())" : " | b()";
        conds += i ? ", &X&" : "&X&";
        literal += i ? ",'t'" : "'t'";
    }
    andList += ") in file 'x'";
    orList += ") in file 'x'";
    literal += ")";

    auto ok = [](const std::string& f) {
        ParseResult r = parseFilter(f);
        EXPECT_TRUE(std::holds_alternative<ParseOk>(r)) << f.substr(0, 60);
        return std::holds_alternative<ParseOk>(r) ? std::get<ParseOk>(r).tree : nullptr;
    };
    if (const Tree* t = ok(andList)) {
        EXPECT_EQ(t->kids[1]->kids[0]->kidCount, std::size_t(n));
    }
    if (const Tree* t = ok(orList)) {
        EXPECT_EQ(t->kids[1]->kids[0]->kidCount, std::size_t(n));
    }
    if (const Tree* t = ok("filterOneBest a() in 'x' where " + conds)) {
        EXPECT_EQ(t->kids[3]->kidCount, std::size_t(n));
    }
    if (const Tree* t = ok("filterOneBest a() in " + literal)) {
        const auto& lit = std::get<TXNode>(t->kids[2]->kids[0]->value).text;
        EXPECT_EQ(lit, "<l>" + std::string(n, 't') + "</l>");
    }

    const int depth = 25000;
    std::string deep = "filterOneBest ";
    std::string deepLit;
    for (int i = 0; i < depth; ++i) deep += "a(";
    for (int i = 0; i < depth; ++i) deepLit += "b(";
    deepLit += "'x'";
    for (int i = 0; i < depth; ++i) deep += ")", deepLit += ")";
    if (const Tree* t = ok(deep + " in " + deepLit)) {
        EXPECT_EQ(depthOf(t->kids[1]), std::size_t(depth));
        const auto& lit = std::get<TXNode>(t->kids[2]->kids[0]->value).text;
        EXPECT_EQ(lit.size(), std::size_t(depth) * 7 + 1);
        EXPECT_EQ(lit.find('x'), std::size_t(depth) * 3);
        EXPECT_EQ(lit.substr(depth * 3 - 6, 15), "<b><b>x</b></b>");
    }
}

// What a filter that does not parse tells on standard error: the line and
// column of the token found, what the grammar expects there (after the
// reductions the token caused), and a hint for the common mistakes.
TEST(FilterParser, ExplanationOfAStop) {
    struct Case {
        std::string filter;
        std::string first;  // the start of the first line
        std::string hint;   // the hint line's text after "axfilter: hint: ", or empty for none
    };
    const std::string found = "axfilter: parse error at line ";
    const std::vector<Case> cases = {
        {"filterallbest a() in 'x'", found + "1, column 1: found the tag name \"filterallbest\"",
         "statement names are case-sensitive: write filterAllBest"},
        {"filterAllBets a() in 'x'", found + "1, column 1:", "did you mean filterAllBest? a filter begins with a statement"},
        {"filterExact a() in 'x'", found + "1, column 1:", "did you mean filterAllExact? a filter begins"},
        {"select a() in 'x'", found + "1, column 1:", "a filter begins with a statement: filterAllBest"},
        {"count (FILTERONEBEST a() in 'x')", found + "1, column 8:", "statement names are case-sensitive: write filterOneBest"},
        {"filterAllExact a() in 'x'\n  (n)",
         found + "2, column 3: found \"(\" where the filter expects \"where\", \"(P)\", \"(N)\" or the end",
         "the marks are written (P) and (N), in capitals"},
        {"filterAllExact a() in 'a-b'", found + "1, column 23: found 'a-b' (not a token", "'-' is not allowed in a quoted text"},
        {"filterAllExact a() in file 'a b#c.xml'", found + "1, column 28:", "'#' is not allowed in a file name"},
        {"filterAllExact a(X) in 'x' where &X match a|b&", found + "1, column 34:", "'|' cannot be written in a condition"},
        {"filterAllExact a(X) in 'x' where &X match a", found + "1, column 34:", "the condition has no closing &"},
        {"filterAllExact a() in x.xml", found + "1, column 24: found .xml", "a file is named with file"},
        {"filterAllExact a() file 'x'", found + "1, column 20: found \"file\" where the filter expects \"in\"",
         "the query is followed by in"},
        {"filterAllExact a(P) in 'x'", found + "1, column 17: found \"(P)\"", "\"(P)\" and \"(N)\" are read as the marks"},
        {"-v", found + "1, column 1: found -v (not a token", "axfilter takes one argument"},
        // Unread text is shown as far as it goes: one byte, a name, a quoted text or a condition.
        {"filterAllExact a(@id(X)), b()) in 'x'", found + "1, column 18: found '@' (not a token", ""},
        {"filterAllExact a(X) in 'x' where &X = 'a\xe9'&", found + "1, column 34: found &X = 'a\xe9'& (not a token",
         "the byte 233 cannot be written in a condition"},
        {"filterAllExact a(b( in 'x'", found + "1, column 21: found \"in\"", ""},
        {"filterAllExact a() in 'x' where &X&,",
         found + "1, column 37: found the end of the filter where the filter expects a condition",
         "a condition goes between two &"},
    };
    for (const Case& c : cases) {
        ParseResult r = parseFilter(c.filter);
        ASSERT_TRUE(std::holds_alternative<ParseFail>(r)) << c.filter;
        const std::vector<std::string>& lines = std::get<ParseFail>(r).explanation;
        ASSERT_FALSE(lines.empty()) << c.filter;
        EXPECT_EQ(lines[0].substr(0, c.first.size()), c.first) << c.filter << "\n" << lines[0];
        if (c.hint.empty()) {
            EXPECT_EQ(lines.size(), 1u) << c.filter << "\n" << lines.back();
        } else {
            ASSERT_EQ(lines.size(), 2u) << c.filter;
            EXPECT_NE(lines[1].find("axfilter: hint: " + c.hint), std::string::npos) << c.filter << "\n" << lines[1];
        }
    }
    // Over given tokens there is no text: no column.
    std::vector<LexStep> steps = {{{TokenKind::TokenTag, "a"}, {}, 4}};
    ParseResult r = parseTokens(steps);
    EXPECT_EQ(std::get<ParseFail>(r).explanation.at(0).substr(0, 59),
              "axfilter: parse error at line 4: found the tag name \"a\" whe");
}

// The hints' lists of the bytes a quoted text and a condition may hold agree
// with the lexer, byte for byte: in unread text the hint names the first
// byte that the lexer refuses in the lexeme.
TEST(FilterParser, HintBytesAgreeWithTheLexer) {
    struct Lexeme {
        char quote;
        TokenKind kind;
        std::string before;  // the filter up to the lexeme
        std::string hint;
    };
    const Lexeme lexemes[] = {
        {'\'', TokenKind::TokenText, "filterAllExact a() in ", " is not allowed in a quoted text"},
        {'&', TokenKind::TokenCond, "filterAllExact a(X) in 'x' where ", " cannot be written in a condition"},
    };
    auto shown = [](int b) {
        if (b <= 32 || b >= 127) return "the byte " + std::to_string(b);
        return std::string{'\'', char(b), '\''};
    };
    for (const Lexeme& l : lexemes) {
        for (int b = 1; b < 256; ++b) {
            if (b == l.quote) continue;
            const std::string lexeme = std::string(1, l.quote) + "a" + char(b) + "b" + l.quote;
            const bool taken = nextToken(lexeme, 1).token.kind == l.kind;
            // '!' is refused in both lexemes: the hint names it when it names no other byte.
            ParseResult r = parseFilter(l.before + l.quote + "a" + char(b) + "!" + l.quote);
            ASSERT_TRUE(std::holds_alternative<ParseFail>(r)) << "byte " << b;
            const std::vector<std::string>& lines = std::get<ParseFail>(r).explanation;
            ASSERT_EQ(lines.size(), 2u) << "byte " << b;
            const std::string named = "axfilter: hint: " + (taken ? shown('!') : shown(b)) + l.hint;
            EXPECT_EQ(lines[1].substr(0, named.size()), named) << "byte " << b << " in " << lexeme;
        }
    }
}

}  // namespace
}  // namespace axf::filter
