// Internal: for this folder and its tests. The lower layers of the text
// pattern parser (TextSyntaxParser.h), each as a parser of its own: characters,
// escapes, option groups, assertion tokens, bracket classes with their case
// rules, and atoms.
#pragma once

#include <string>
#include <vector>

#include "regex/Matchers.h"
#include "regex/ParserCombinators.h"
#include "regex/PatternTree.h"
#include "regex/TextSyntaxParser.h"

namespace axf::regex {

template <class V>
using TextParser = PatternParser<char, V>;

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
// "(?=N)" (the N-th user assertion) or \b, \B; a zero-width matcher.
const TextParser<Matcher<char>>& assertToken();

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

}  // namespace axf::regex
