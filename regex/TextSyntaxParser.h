// The parser of regular expressions written as text.
//
// parseTextPattern turns a pattern into its AbsTree<char>, closed by the accepting
// leaf: CON(tree, END), or END alone for the empty pattern. An empty optional
// means the text is not a legal pattern (the caller reports ILLEGAL). The parse
// never raises the invalid-interval failure that a tree may carry; see
// PatternTree.h for how the automaton construction fires it.
//
// The grammar is a committed-choice parser (ParserCombinators.h): every rule yields at
// most one result, choices commit to the first alternative that succeeds and
// repetitions never give back. Option groups such as "(?Case_Insensitive)"
// change the flag environment for all the text after them. The lower layers
// (characters, escapes, classes, option groups, atoms) are exposed for the
// rest of the engine and for tests.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "regex/Matchers.h"
#include "regex/ParserCombinators.h"
#include "regex/PatternTree.h"

namespace axf::regex {

using TextFns = std::vector<UserMatcher<char>>;
using TextAsserts = std::vector<Assertion<char>>;
template <class V>
using TextParser = PatternParser<char, V>;

// ---------------------------------------------------------------------------
// The entry

std::optional<AbsTree<char>> parseTextPattern(std::string_view pattern, const TextFns& fns, const TextAsserts& asserts,
                                              const std::vector<MatcherFlag>& flags);

// ---------------------------------------------------------------------------
// Characters, escapes, option groups and assertion tokens

// One literal character outside brackets, plain or escaped.
const TextParser<char>& litChar();
// One character inside a bracket class, plain or escaped.
const TextParser<char>& classChar();
// \w \W \s \S \d \D.
const TextParser<CharPred>& shorthandClass();
// The named sub-expression prefix: a blank, a name of word characters, '@'.
const TextParser<std::string>& subexpName();
// "(?" option names (each optionally followed by ',') ")"; sets the flags.
const TextParser<std::vector<std::string>>& optionGroup();
// One whole option name.
const TextParser<std::string>& flagName();
// Sets the flag of one option name / of several in order; consume nothing.
TextParser<MatcherFlag> mkUpdate(const std::string& name);
TextParser<MatcherFlag> mkUpdates(const std::vector<std::string>& names);
// "(?=N)" (the N-th user assertion) or \b, \B; a zero-width matcher.
const TextParser<Matcher<char>>& assertToken();
// 'b': word boundary, 'B': not a word boundary.
Matcher<char> wordBoundaryMatcher(char c);

// ---------------------------------------------------------------------------
// Bracket classes and case rules

struct CharRange {
    char lo;
    char hi;
};

TextParser<CharPred> bracketClass(MatcherFlag caseFlag);
TextParser<CharPred> classItem(MatcherFlag caseFlag);
TextParser<CharPred> rangeRun(MatcherFlag caseFlag);
TextParser<CharPred> charRun(MatcherFlag caseFlag);

CharPred classPred(const std::vector<char>& carets, const std::vector<CharPred>& items);
CharPred rangesPred(MatcherFlag caseFlag, const std::vector<CharRange>& ranges);
CharPred charsPred(MatcherFlag caseFlag, const std::string& chars);
CharPred literalPred(MatcherFlag caseFlag, char c);
CharPred exactRange(CharRange r);
CharPred noCaseRange(CharRange r);
CharPred orPred(CharPred p, CharPred q);

// ---------------------------------------------------------------------------
// Atoms and branches

// Option groups, one atom (user matcher, '.', class, shorthand or literal),
// option groups; an EL leaf.
const TextParser<AbsTree<char>>& simpleAtom();
// The pieces of a branch joined from the left: CON(CON(p1, p2), p3).
AbsTree<char> joinPieces(const std::vector<AbsTree<char>>& pieces);

// The whole grammar: branches separated by '|'.
const TextParser<AbsTree<char>>& alternation();

}  // namespace axf::regex
