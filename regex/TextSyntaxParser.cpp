#include "regex/TextSyntaxParser.h"

#include <array>
#include <memory>

#include "common/ByteClass.h"
#include "regex/Assertions.h"
#include "regex/TextSyntaxParserInternal.h"

namespace axf::regex {

namespace {

// The rules here take the caller's lists and the parser state (fns, as, s).
// A rule whose entry for tests (TextSyntaxParserInternal.h) has the plain name
// carries a P suffix (litCharP behind litChar).
using Tree = AbsTree<char>;
using S = ParserState;

unsigned char u8(char c) { return static_cast<unsigned char>(c); }

// ---------------------------------------------------------------------------
// Character predicates are materialised into a table of the 256 bytes once,
// when a class or literal is parsed; the search then tests one entry.

struct ByteTable {
    std::array<bool, 256> in{};
};

template <class F>
CharPred tablePred(F&& f) {
    auto t = std::make_shared<ByteTable>();
    for (int c = 0; c < 256; ++c) t->in[c] = f(static_cast<unsigned char>(c));
    return [t = std::shared_ptr<const ByteTable>(std::move(t))](const char& x) { return t->in[u8(x)]; };
}

bool isSpecial(char c) {
    switch (c) {
        case '$':
        case '.':
        case '*':
        case '+':
        case '?':
        case '@':
        case '|':
        case '(':
        case ')':
        case '^':
        case '[':
        case ']':
        case '\\': return true;
        default: return false;
    }
}

bool isClassEscape(char c) {
    switch (c) {
        case 'w':
        case 'W':
        case 's':
        case 'S':
        case 'd':
        case 'D': return true;
        default: return false;
    }
}

bool isRefusedLitEscape(char c) {
    return isClassEscape(c) || c == 'b' || c == 'B' || c == 'A' || c == 'Z' || (c >= '0' && c <= '9');
}

// The character c, read from the first n tokens.
ParseResult<char> charRead(const S& s, char c, std::size_t n) { return std::make_pair(c, detail::advance(s, n)); }

// ---------------------------------------------------------------------------
// Characters, escapes, option groups, assertion tokens

using F = TextFns;      // the user matchers
using A = TextAsserts;  // the user assertions

ParseResult<char> litCharP(const F&, const A&, const S& s) {
    std::string_view t = s.tokens;
    if (t.empty()) return std::nullopt;
    if (!isSpecial(t[0])) return charRead(s, t[0], 1);
    if (t[0] == '\\' && t.size() >= 2 && !isRefusedLitEscape(t[1])) return charRead(s, t[1], 2);
    return std::nullopt;
}

ParseResult<char> classCharP(const F&, const A&, const S& s) {
    std::string_view t = s.tokens;
    if (t.empty()) return std::nullopt;
    if (t[0] != ']' && t[0] != '\\') return charRead(s, t[0], 1);
    if (t[0] == '\\' && t.size() >= 2 && !isClassEscape(t[1])) return charRead(s, t[1], 2);
    return std::nullopt;
}

CharPred shorthandPred(char letter) {
    switch (letter) {
        case 'w': return tablePred([](unsigned char c) { return isWordChar(static_cast<char>(c)); });
        case 'W': return tablePred([](unsigned char c) { return !isWordChar(static_cast<char>(c)); });
        case 's': return tablePred([](unsigned char c) { return isSpaceByte(c); });
        case 'S': return tablePred([](unsigned char c) { return !isSpaceByte(c); });
        case 'd': return tablePred([](unsigned char c) { return isDigitByte(c); });
        case 'D': return tablePred([](unsigned char c) { return !isDigitByte(c); });
        default: throw InternalError("shorthandPred: not a class escape");
    }
}

ParseResult<CharPred> shorthandClassP(const F&, const A&, const S& s) {
    static const std::array<CharPred, 6> preds = {shorthandPred('w'), shorthandPred('W'), shorthandPred('s'),
                                                  shorthandPred('S'), shorthandPred('d'), shorthandPred('D')};
    std::string_view t = s.tokens;
    if (t.size() < 2 || t[0] != '\\') return std::nullopt;
    static constexpr std::string_view letters = "wWsSdD";
    std::size_t k = letters.find(t[1]);
    if (k == std::string_view::npos) return std::nullopt;
    return std::make_pair(preds[k], detail::advance(s, 2));
}

// A blank, one or more word characters, '@'; the name.
ParseResult<std::string> subexpNameP(const F&, const A&, const S& s) {
    std::string_view t = s.tokens;
    if (t.empty() || t[0] != ' ') return std::nullopt;
    std::size_t i = 1;
    while (i < t.size() && isWordChar(t[i])) ++i;
    if (i == 1 || i >= t.size() || t[i] != '@') return std::nullopt;
    return std::make_pair(std::string(t.substr(1, i - 1)), detail::advance(s, i + 1));
}

constexpr std::array<std::string_view, 5> kOptionNames = {"Case_Insensitive", "Case_Sensitive", "Default_Line", "Multi_Line",
                                                          "Single_Line"};

ParseResult<std::string> flagNameP(const F&, const A&, const S& s) {
    for (std::string_view name : kOptionNames)
        if (s.tokens.substr(0, name.size()) == name) return std::make_pair(std::string(name), detail::advance(s, name.size()));
    return std::nullopt;
}

// The key and value that an option name sets.
std::pair<std::string, MatcherFlag> optionSetting(const std::string& name) {
    if (name == "Case_Insensitive") return {"case", MatcherFlag::Case_Insensitive};
    if (name == "Case_Sensitive") return {"case", MatcherFlag::Case_Sensitive};
    if (name == "Default_Line") return {"line", MatcherFlag::Default_Line};
    if (name == "Multi_Line") return {"line", MatcherFlag::Multi_Line};
    if (name == "Single_Line") return {"line", MatcherFlag::Single_Line};
    throw InternalError("optionSetting: not an option name");
}

// The state with the settings of the names applied in order.
S applyOptions(const std::vector<std::string>& names, const S& s) {
    FlagEnv env = *s.env;
    for (const std::string& n : names) {
        auto [key, value] = optionSetting(n);
        env = addToFM([](const std::string& a, const std::string& b) { return a == b; }, std::move(env), key, value);
    }
    return S{std::make_shared<const FlagEnv>(std::move(env)), s.tokens};
}

// "(?" then one or more names, each optionally followed by ',', then ")".
ParseResult<std::vector<std::string>> optionGroupP(const F& fns, const A& as, const S& s) {
    if (s.tokens.size() < 2 || s.tokens[0] != '(' || s.tokens[1] != '?') return std::nullopt;
    std::vector<std::string> names;
    S at = detail::advance(s, 2);
    while (auto n = flagNameP(fns, as, at)) {
        names.push_back(std::move(n->first));
        at = std::move(n->second);
        if (!at.tokens.empty() && at.tokens[0] == ',') at = detail::advance(at, 1);
    }
    if (names.empty() || at.tokens.empty() || at.tokens[0] != ')') return std::nullopt;
    return std::make_pair(names, applyOptions(names, detail::advance(at, 1)));
}

// Zero or more option groups; the state after them.
S optionGroupsP(const F& fns, const A& as, const S& s) {
    S at = s;
    while (auto g = optionGroupP(fns, as, at)) at = std::move(g->second);
    return at;
}

Matcher<char> wordBoundaryMatcher(char c) {
    if (c == 'b') return doAssert<char>(wordBound);
    if (c == 'B') return doAssert<char>(notWordBound);
    throw InternalError("wordBoundaryMatcher: not b or B");
}

ParseResult<Matcher<char>> userAssertP(const F& fns, const A& as, const S& s) {
    if (s.tokens.substr(0, 3) != "(?=") return std::nullopt;
    auto n = detail::readNumeral(detail::advance(s, 3), true);
    if (!n || n->second.tokens.empty() || n->second.tokens[0] != ')') return std::nullopt;
    auto a = lookupAssertion(n->first)(fns, as, detail::advance(n->second, 1));
    if (!a) return std::nullopt;
    return std::make_pair(doAssert<char>(a->first), std::move(a->second));
}

ParseResult<Matcher<char>> wordBoundaryP(const F&, const A&, const S& s) {
    std::string_view t = s.tokens;
    if (t.size() < 2 || t[0] != '\\' || (t[1] != 'b' && t[1] != 'B')) return std::nullopt;
    return std::make_pair(wordBoundaryMatcher(t[1]), detail::advance(s, 2));
}

ParseResult<Matcher<char>> assertTokenP(const F& fns, const A& as, const S& s) {
    if (auto r = userAssertP(fns, as, s)) return r;
    return wordBoundaryP(fns, as, s);
}

// ---------------------------------------------------------------------------
// Bracket classes

bool isCaseInsensitive(MatcherFlag f) { return f == MatcherFlag::Case_Insensitive; }

CharPred rangesPredP(MatcherFlag flag, const std::vector<CharRange>& ranges);
CharPred charsPredP(MatcherFlag flag, const std::string& chars);
CharPred classPredP(const std::vector<char>& carets, const std::vector<CharPred>& items);

// classChar '-' classChar
ParseResult<CharRange> oneRange(const F& fns, const A& as, const S& s) {
    auto lo = classCharP(fns, as, s);
    if (!lo || lo->second.tokens.empty() || lo->second.tokens[0] != '-') return std::nullopt;
    auto hi = classCharP(fns, as, detail::advance(lo->second, 1));
    if (!hi) return std::nullopt;
    return std::make_pair(CharRange{lo->first, hi->first}, std::move(hi->second));
}

ParseResult<CharPred> rangeRunP(MatcherFlag flag, const F& fns, const A& as, const S& s) {
    std::vector<CharRange> ranges;
    S at = s;
    while (auto r = oneRange(fns, as, at)) {
        ranges.push_back(r->first);
        at = std::move(r->second);
    }
    if (ranges.empty()) return std::nullopt;
    return std::make_pair(rangesPredP(flag, ranges), std::move(at));
}

ParseResult<CharPred> charRunP(MatcherFlag flag, const F& fns, const A& as, const S& s) {
    std::string chars;
    S at = s;
    while (auto c = classCharP(fns, as, at)) {
        chars += c->first;
        at = std::move(c->second);
    }
    if (chars.empty()) return std::nullopt;
    return std::make_pair(charsPredP(flag, chars), std::move(at));
}

ParseResult<CharPred> classItemP(MatcherFlag flag, const F& fns, const A& as, const S& s) {
    if (auto r = shorthandClassP(fns, as, s)) return r;
    if (auto r = rangeRunP(flag, fns, as, s)) return r;
    return charRunP(flag, fns, as, s);
}

// '[' ['^'] item+ ']'
ParseResult<CharPred> bracketClassP(MatcherFlag flag, const F& fns, const A& as, const S& s) {
    if (s.tokens.empty() || s.tokens[0] != '[') return std::nullopt;
    S at = detail::advance(s, 1);
    std::vector<char> carets;
    if (!at.tokens.empty() && at.tokens[0] == '^') {
        carets.push_back('^');
        at = detail::advance(at, 1);
    }
    std::vector<CharPred> items;
    while (auto item = classItemP(flag, fns, as, at)) {
        items.push_back(std::move(item->first));
        at = std::move(item->second);
    }
    if (items.empty() || at.tokens.empty() || at.tokens[0] != ']') return std::nullopt;
    CharPred p = classPredP(carets, items);
    return std::make_pair(tablePred([&p](unsigned char c) { return p(static_cast<char>(c)); }), detail::advance(at, 1));
}

CharPred orPredP(CharPred p, CharPred q) {
    return [p = std::move(p), q = std::move(q)](const char& x) { return p(x) || q(x); };
}

CharPred classPredP(const std::vector<char>& carets, const std::vector<CharPred>& items) {
    if (items.empty()) throw InternalError("classPredP: no item");
    // Joined from the right, tested in written order; flat over the items.
    CharPred joined = [items](const char& x) {
        for (const CharPred& p : items)
            if (p(x)) return true;
        return false;
    };
    if (carets.empty()) return joined;
    return [joined = std::move(joined)](const char& x) { return !joined(x); };
}

CharPred exactRangeP(CharRange r) {
    unsigned char lo = u8(r.lo), hi = u8(r.hi);
    return [lo, hi](const char& x) { return lo <= u8(x) && u8(x) <= hi; };
}

// Up to three spans of codes, plus "every lower-case letter" or "the other
// case of x lies in the range".
struct NoCaseRule {
    std::array<std::pair<int, int>, 3> spans{};
    int count = 0;
    bool lowerLetters = false;
    bool otherCase = false;
    int lo = 0, hi = 0;

    void add(int a, int b) { spans[count++] = {a, b}; }
    bool operator()(unsigned char x) const {
        for (int k = 0; k < count; ++k)
            if (spans[k].first <= x && x <= spans[k].second) return true;
        if (lowerLetters && isLowerByte(x)) return true;
        if (otherCase) {
            int l = toLowerByte(x), u = toUpperByte(x);
            if ((lo <= l && l <= hi) || (lo <= u && u <= hi)) return true;
        }
        return false;
    }
};

CharPred noCaseRangeP(CharRange r) {
    const int lo = u8(r.lo), hi = u8(r.hi);
    const int A = 'A', Y = 'Y', Z = 'Z', Lb = '[', G = 96, a = 'a', b = 'b', y = 'y', z = 'z', B = 'B';
    auto lower = [](int c) { return int(toLowerByte(static_cast<unsigned char>(c))); };
    auto upper = [](int c) { return int(toUpperByte(static_cast<unsigned char>(c))); };
    NoCaseRule rule;
    rule.lo = lo;
    rule.hi = hi;
    if (hi < A || lo > z) {
        rule.add(lo, hi);
    } else if (lo <= A) {
        if (hi <= Y) {
            rule.add(lo, hi);
            rule.add(a, lower(hi));
        } else if (hi <= G) {
            rule.add(lo, hi);
            rule.lowerLetters = true;
        } else if (hi <= y) {
            rule.add(lo, z);
        } else {
            rule.add(lo, hi);
        }
    } else if (lo >= B && lo <= Z) {
        if (hi <= Z) {
            rule.add(lo, hi);
            rule.add(lower(lo), lower(hi));
        } else if (hi <= G) {
            rule.add(lo, hi);
            rule.add(lower(lo), z);
        } else if (hi <= y) {
            if (lower(lo) <= hi) {
                rule.add(A, z);
            } else {
                rule.add(lo, hi);
                rule.add(A, upper(hi));
                rule.add(lower(lo), z);
            }
        } else {
            rule.add(A, hi);
        }
    } else if (hi <= G) {  // lo from '[' to 'z'
        rule.add(lo, hi);
    } else if (hi <= y) {
        if (lo <= a) {
            rule.add(lo, hi);
            rule.add(A, upper(hi));
        } else {
            rule.add(lo, hi);
            rule.add(upper(lo), upper(hi));
        }
    } else {
        // lo from '[' to 'z', hi 'z' or later: the range, or a character whose
        // other case lies in it.
        rule.add(lo, hi);
        rule.otherCase = true;
    }
    (void)b;
    (void)Lb;
    return tablePred(rule);
}

CharPred rangesPredP(MatcherFlag flag, const std::vector<CharRange>& ranges) {
    std::vector<CharPred> preds;
    preds.reserve(ranges.size());
    for (CharRange r : ranges) preds.push_back(isCaseInsensitive(flag) ? noCaseRangeP(r) : exactRangeP(r));
    return classPredP({}, preds);
}

CharPred charsPredP(MatcherFlag flag, const std::string& chars) {
    if (!isCaseInsensitive(flag))
        return tablePred([&chars](unsigned char x) { return chars.find(static_cast<char>(x)) != std::string::npos; });
    return tablePred([&chars](unsigned char x) {
        for (char c : chars)
            if (toUpperByte(x) == toUpperByte(u8(c))) return true;
        return false;
    });
}

CharPred literalPredP(MatcherFlag flag, char c) {
    unsigned char cu = u8(c);
    if (!isCaseInsensitive(flag)) return [c](const char& x) { return x == c; };
    unsigned char other = cu;
    if (isLowerByte(cu))
        other = toUpperByte(cu);
    else if (isUpperByte(cu))
        other = toLowerByte(cu);
    return [cu, other](const char& x) { return u8(x) == cu || u8(x) == other; };
}

// ---------------------------------------------------------------------------
// Atoms

ParseResult<Tree> userMatcherAtomP(const F& fns, const A& as, const S& s) {
    if (s.tokens.substr(0, 2) != "<<") return std::nullopt;
    auto n = detail::readNumeral(detail::advance(s, 2), true);
    if (!n || n->second.tokens.substr(0, 2) != ">>") return std::nullopt;
    auto f = lookupUserMatcher(n->first)(fns, as, detail::advance(n->second, 2));
    if (!f) return std::nullopt;
    return std::make_pair(mkEl<char>(wrapMatcher<char>(f->first)), std::move(f->second));
}

ParseResult<Tree> dotAtomP(const F&, const A&, const S& s) {
    if (s.tokens.empty() || s.tokens[0] != '.') return std::nullopt;
    static const Matcher<char> any = matchAny<char>();
    static const Matcher<char> anyBut = matchAnyBut();
    bool single = flagOf(s, "line") == MatcherFlag::Single_Line;
    return std::make_pair(mkEl<char>(single ? any : anyBut), detail::advance(s, 1));
}

ParseResult<Tree> caseAtomP(const F& fns, const A& as, const S& s) {
    MatcherFlag flag = flagOf(s, "case").value_or(MatcherFlag::Case_Sensitive);
    auto leafOf = [](ParseResult<CharPred> r) -> ParseResult<Tree> {
        if (!r) return std::nullopt;
        return std::make_pair(mkEl<char>(matchEls<char>(std::move(r->first))), std::move(r->second));
    };
    if (auto r = bracketClassP(flag, fns, as, s)) return leafOf(std::move(r));
    if (auto r = shorthandClassP(fns, as, s)) return leafOf(std::move(r));
    if (auto r = litCharP(fns, as, s)) return leafOf(std::make_pair(literalPredP(flag, r->first), std::move(r->second)));
    return std::nullopt;
}

ParseResult<Tree> simpleAtomP(const F& fns, const A& as, const S& s) {
    S at = optionGroupsP(fns, as, s);
    auto r = userMatcherAtomP(fns, as, at);
    if (!r) r = dotAtomP(fns, as, at);
    if (!r) r = caseAtomP(fns, as, at);
    if (!r) return std::nullopt;
    r->second = optionGroupsP(fns, as, r->second);
    return r;
}

Tree joinPiecesP(const std::vector<Tree>& pieces) {
    if (pieces.empty()) throw InternalError("joinPieces: no piece");
    Tree t = pieces.front();
    for (std::size_t k = 1; k < pieces.size(); ++k) t = mkConcat<char>(std::move(t), pieces[k]);
    return t;
}

// ---------------------------------------------------------------------------
// Pieces and quantifiers

// The operand under its quantifier; with the non-greedy mark, the non-greedy
// form. A fused form CON(copies, repetition) of a leaf keeps the mark on its
// repetition, so that "a{2,}?" and "a{2,5}?" prefer fewer repetitions too.
Tree quantifiedTree(const Tree& t, const Repetition& q) {
    Tree r = mkRepetition<char>(q, t);
    if (!q.nonGreedy) return r;
    bool fused = isElem(t) && q.m >= 2 && (q.kind == RepetitionKind::Min || q.kind == RepetitionKind::MinMax);
    if (fused) return mkConcat<char>(left(r), mkNonGreedy<char>(right(r)));
    return mkNonGreedy<char>(r);
}

ParseResult<Tree> groupUnit(const TextFns& fns, const TextAsserts& as, const S& s);

// A unit's quantifier and optional non-greedy mark, if one follows. A count
// too large for 32 bits makes the pattern illegal.
ParseResult<Tree> quantify(const Tree& unit, const S& s) {
    auto q = repetitionOperator(s, detail::readNumeral);
    if (!q) return std::nullopt;
    return std::make_pair(quantifiedTree(unit, q->first), std::move(q->second));
}

// After an atom of a literal run: the run may take it only when the text left
// is empty or begins with neither a quantifier character nor a name prefix.
bool runMayTake(const TextFns& fns, const TextAsserts& as, const S& after) {
    if (after.tokens.empty()) return true;
    char c = after.tokens[0];
    if (c == '*' || c == '+' || c == '?' || c == '{') return false;
    return !subexpNameP(fns, as, after);
}

ParseResult<Tree> pieceBody(const TextFns& fns, const TextAsserts& as, const S& s) {
    // A group unit is parsed once: quantified if a quantifier follows, else
    // alone.
    if (auto g = groupUnit(fns, as, s)) {
        if (auto q = quantify(g->first, g->second)) return q;
        return g;
    }
    auto first = simpleAtomP(fns, as, s);
    if (!first) return std::nullopt;
    if (auto q = quantify(first->first, first->second)) return q;
    if (!runMayTake(fns, as, first->second)) return first;
    // The literal run: atoms merged into one leaf.
    std::vector<Matcher<char>> run;
    run.push_back(getElem(first->first));
    S at = first->second;
    for (;;) {
        auto next = simpleAtomP(fns, as, at);
        if (!next || !runMayTake(fns, as, next->second)) break;
        run.push_back(getElem(next->first));
        at = std::move(next->second);
    }
    return std::make_pair(mkEl<char>(regseqList<char>(std::move(run))), std::move(at));
}

// Consecutive assertion tokens as at most one zero-width leaf.
std::pair<std::optional<Tree>, S> assertionLeaf(const TextFns& fns, const TextAsserts& as, const S& s) {
    std::vector<Matcher<char>> ms;
    S at = s;
    while (auto a = assertTokenP(fns, as, at)) {
        ms.push_back(std::move(a->first));
        at = std::move(a->second);
    }
    if (ms.empty()) return {std::nullopt, at};
    return {mkEl<char>(regseqList<char>(std::move(ms))), at};
}

ParseResult<Tree> piece(const TextFns& fns, const TextAsserts& as, const S& s) {
    S at = optionGroupsP(fns, as, s);
    auto [lead, afterLead] = assertionLeaf(fns, as, at);
    auto body = pieceBody(fns, as, afterLead);
    if (!body) return std::nullopt;
    auto [trail, afterTrail] = assertionLeaf(fns, as, body->second);
    S end = optionGroupsP(fns, as, afterTrail);
    Tree t = body->first;
    if (trail) t = mkConcat<char>(std::move(t), *trail);
    if (lead) t = mkConcat<char>(*lead, std::move(t));
    return std::make_pair(std::move(t), std::move(end));
}

// ---------------------------------------------------------------------------
// Pattern structure

ParseResult<Tree> alternationRule(const TextFns& fns, const TextAsserts& as, const S& s);

// An anchor token: the line flag where it stands and '^', 'A', '$' or 'Z'.
struct Anchor {
    MatcherFlag line;
    char which;
};

ParseResult<Anchor> anchor(const S& s, char plain, char escaped) {
    MatcherFlag line = flagOf(s, "line").value_or(MatcherFlag::Default_Line);
    std::string_view t = s.tokens;
    if (!t.empty() && t[0] == plain) return std::make_pair(Anchor{line, plain}, detail::advance(s, 1));
    if (t.size() >= 2 && t[0] == '\\' && t[1] == escaped) return std::make_pair(Anchor{line, escaped}, detail::advance(s, 2));
    return std::nullopt;
}

Tree startLeaf(const Anchor& a) {
    if (a.which == '^' && a.line == MatcherFlag::Multi_Line) return mkEl<char>(doAssert<char>(bol));
    return withPrefixMark<char>(mkEl<char>(doAssert<char>(prefix<char>)));
}

Tree endLeaf(const Anchor& a) {
    if (a.which == '$' && a.line == MatcherFlag::Multi_Line) return mkEl<char>(doAssert<char>(eol));
    return mkEl<char>(doAssert<char>(suffix<char>));
}

ParseResult<Tree> branch(const TextFns& fns, const TextAsserts& as, const S& s) {
    S at = optionGroupsP(fns, as, s);
    std::optional<Anchor> pre;
    if (auto a = anchor(at, '^', 'A')) {
        pre = a->first;
        at = std::move(a->second);
    }
    std::vector<Tree> pieces;
    while (auto p = piece(fns, as, at)) {
        pieces.push_back(std::move(p->first));
        at = std::move(p->second);
    }
    if (pieces.empty()) return std::nullopt;
    Tree t = joinPiecesP(pieces);
    if (auto a = anchor(at, '$', 'Z')) {
        t = mkConcat<char>(std::move(t), endLeaf(a->first));
        at = std::move(a->second);
    }
    if (pre) t = mkConcat<char>(startLeaf(*pre), std::move(t));
    at = optionGroupsP(fns, as, at);
    return std::make_pair(std::move(t), std::move(at));
}

ParseResult<Tree> alternationRule(const TextFns& fns, const TextAsserts& as, const S& s) {
    auto first = branch(fns, as, s);
    if (!first) return std::nullopt;
    Tree t = std::move(first->first);
    S at = std::move(first->second);
    while (!at.tokens.empty() && at.tokens[0] == '|') {
        auto next = branch(fns, as, detail::advance(at, 1));
        if (!next) break;
        t = mkAlt<char>(std::move(t), std::move(next->first));
        at = std::move(next->second);
    }
    return std::make_pair(std::move(t), std::move(at));
}

// '(' alternation ')'
ParseResult<Tree> bracketed(const TextFns& fns, const TextAsserts& as, const S& s) {
    if (s.tokens.empty() || s.tokens[0] != '(') return std::nullopt;
    auto inner = alternationRule(fns, as, detail::advance(s, 1));
    if (!inner || inner->second.tokens.empty() || inner->second.tokens[0] != ')') return std::nullopt;
    return std::make_pair(std::move(inner->first), detail::advance(inner->second, 1));
}

ParseResult<Tree> namedGroup(const TextFns& fns, const TextAsserts& as, const S& s) {
    auto name = subexpNameP(fns, as, s);
    if (!name) return std::nullopt;
    auto inner = bracketed(fns, as, name->second);
    if (!inner) return std::nullopt;
    return std::make_pair(mkSub<char>(std::move(name->first), std::move(inner->first)), std::move(inner->second));
}

ParseResult<Tree> backReference(const TextFns&, const TextAsserts&, const S& s) {
    MatcherFlag flag = flagOf(s, "case").value_or(MatcherFlag::Case_Sensitive);
    std::string_view t = s.tokens;
    if (t.size() < 2 || t[0] != '$' || t[1] != '{') return std::nullopt;
    std::size_t i = 2;
    while (i < t.size() && isWordChar(t[i])) ++i;
    if (i == 2 || i >= t.size() || t[i] != '}') return std::nullopt;
    std::string name(t.substr(2, i - 2));
    BackrefBuilder<char> builder = isCaseInsensitive(flag)
                                       ? matchBackrefIgnoringCase()
                                       : matchBackref<char>([](const char& x, const char& y) { return x == y; });
    return std::make_pair(mkBackref<char>(std::move(name), std::move(builder)), detail::advance(s, i + 1));
}

ParseResult<Tree> groupUnit(const TextFns& fns, const TextAsserts& as, const S& s) {
    S at = optionGroupsP(fns, as, s);
    auto g = bracketed(fns, as, at);
    if (!g) g = namedGroup(fns, as, at);
    if (!g) g = backReference(fns, as, at);
    if (!g) return std::nullopt;
    g->second = optionGroupsP(fns, as, g->second);
    return g;
}

}  // namespace

// ---------------------------------------------------------------------------
// Entries of the lower layers for tests (TextSyntaxParserInternal.h)

const TextParser<char>& litChar() {
    static const TextParser<char> p = litCharP;
    return p;
}
const TextParser<char>& classChar() {
    static const TextParser<char> p = classCharP;
    return p;
}
const TextParser<CharPred>& shorthandClass() {
    static const TextParser<CharPred> p = shorthandClassP;
    return p;
}
const TextParser<std::string>& subexpName() {
    static const TextParser<std::string> p = subexpNameP;
    return p;
}
const TextParser<std::vector<std::string>>& optionGroup() {
    static const TextParser<std::vector<std::string>> p = optionGroupP;
    return p;
}
const TextParser<std::string>& flagName() {
    static const TextParser<std::string> p = flagNameP;
    return p;
}
const TextParser<Matcher<char>>& assertToken() {
    static const TextParser<Matcher<char>> p = assertTokenP;
    return p;
}

TextParser<CharPred> bracketClass(MatcherFlag caseFlag) {
    return [caseFlag](const TextFns& fns, const TextAsserts& as, const ParserState& s) {
        return bracketClassP(caseFlag, fns, as, s);
    };
}
TextParser<CharPred> classItem(MatcherFlag caseFlag) {
    return
        [caseFlag](const TextFns& fns, const TextAsserts& as, const ParserState& s) { return classItemP(caseFlag, fns, as, s); };
}
TextParser<CharPred> rangeRun(MatcherFlag caseFlag) {
    return
        [caseFlag](const TextFns& fns, const TextAsserts& as, const ParserState& s) { return rangeRunP(caseFlag, fns, as, s); };
}
TextParser<CharPred> charRun(MatcherFlag caseFlag) {
    return [caseFlag](const TextFns& fns, const TextAsserts& as, const ParserState& s) { return charRunP(caseFlag, fns, as, s); };
}

CharPred rangesPred(MatcherFlag caseFlag, const std::vector<CharRange>& ranges) { return rangesPredP(caseFlag, ranges); }
CharPred charsPred(MatcherFlag caseFlag, const std::string& chars) { return charsPredP(caseFlag, chars); }
CharPred literalPred(MatcherFlag caseFlag, char c) { return literalPredP(caseFlag, c); }
CharPred exactRange(CharRange r) { return exactRangeP(r); }
CharPred noCaseRange(CharRange r) { return noCaseRangeP(r); }
CharPred orPred(CharPred p, CharPred q) { return orPredP(std::move(p), std::move(q)); }

const TextParser<AbsTree<char>>& simpleAtom() {
    static const TextParser<AbsTree<char>> p = simpleAtomP;
    return p;
}
AbsTree<char> joinPieces(const std::vector<AbsTree<char>>& pieces) { return joinPiecesP(pieces); }

std::optional<AbsTree<char>> parseTextPattern(std::string_view pattern, const TextFns& fns, const TextAsserts& asserts,
                                              const std::vector<MatcherFlag>& flags) {
    if (pattern.empty()) return mkEnd<char>();
    auto r = initParser<char>(alternationRule, pattern, fns, asserts, initFlags(flags));
    if (!r || !r->second.empty()) return std::nullopt;
    return addEnd<char>(std::move(r->first));
}

}  // namespace axf::regex
