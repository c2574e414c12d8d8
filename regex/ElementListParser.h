// Internal: for this folder, its tests and benchmarks (the interface is
// Regexp.h).
//
// Element-list patterns, range form: regular expressions over sequences of
// elements of any type E, written as text.
//
// The caller supplies the element type's operations: a reader that turns the
// text written between '<' and '>' into one element (it throws axf::Fatal with
// its own message when it refuses the text), an equality and, for this form,
// an ordering (greater-or-equal and less-or-equal, used by element ranges in
// classes). parseElementListPattern gives CON(tree, END), END alone for the empty pattern,
// or nothing when the text is not a pattern as a whole.
//
// Syntax (no blank is skipped, no escape outside element literals):
//   pattern  = branch ('|' branch)*                 ALT nested from the left
//   branch   = ['^'] piece+ ['$']                   CON nested from the left
//   piece    = asserts unit [op ['?']] asserts
//   asserts  = ("(?=" N ")")*                       user assertion N, one leaf
//   unit     = '(' pattern ')' | ' ' name '@(' pattern ')' | "${" name '}' | atom
//   atom     = "<<" N ">>"                          user matcher N
//            | '.'                                  any element
//            | '[' ['^'] (<a>-<b>)* <e>* ']'        class (at least one item)
//            | '<' text '>'                         element literal ('\' escapes)
//   op       = '*' | '+' | '?' | '{' n '}' | '{' m ',' [n] '}'
//
// Every parser commits to its first result and never gives back what a
// repetition took. Groups nest without recursion (the open groups are kept on
// an explicit stack), so any nesting depth reads on an ordinary stack.
// Element literals are read lazily: the reader runs the first time a search
// compares the literal with an input element, at most once. An interval whose
// maximum is below its minimum parses; the tree carries it and the automaton
// construction raises "Invalid interval in Regular Expression".
#pragma once

#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "common/Lazy.h"
#include "regex/Assertions.h"
#include "regex/Matchers.h"
#include "regex/ParserCombinators.h"
#include "regex/PatternTree.h"

namespace axf::regex {

// Text between '<' and '>' to one element; throws axf::Fatal on refusal.
template <class E>
using ElemReader = std::function<E(const std::string&)>;

// The ordering of the range form: greaterEq(x, y) is x >= y, lessEq(x, y) is
// x <= y.
template <class E>
struct ElemOrder {
    std::function<bool(const E&, const E&)> greaterEq;
    std::function<bool(const E&, const E&)> lessEq;
};

// The ordering given by the type's own >= and <=.
template <class E>
ElemOrder<E> naturalOrder() {
    return ElemOrder<E>{[](const E& x, const E& y) { return x >= y; }, [](const E& x, const E& y) { return x <= y; }};
}

// The four entry rules of one form: a piece, a unit, a whole pattern and a
// branch.
template <class E>
struct PatternRuleParsers {
    PatternParser<E, AbsTree<E>> parsePiece;
    PatternParser<E, AbsTree<E>> parseUnit;
    PatternParser<E, AbsTree<E>> parseRegexp;
    PatternParser<E, AbsTree<E>> parseBranch;
};

// The rules of both element-list forms; callers use the entries after this
// namespace.
namespace elementlist {

template <class E>
using Fns = std::vector<UserMatcher<E>>;
template <class E>
using Asserts = std::vector<Assertion<E>>;
using S = ParserState;

// The operations of one form; without an ordering, classes have no ranges.
template <class E>
struct Ops {
    ElemReader<E> reader;
    ElemEq<E> eq;
    std::optional<ElemOrder<E>> ord;
};

inline bool startsWith(const S& s, std::string_view w) { return s.tokens.substr(0, w.size()) == w; }

// A numeral; one beyond the 32-bit range reads as no numeral.
ParseResult<std::int32_t> numeral(const S& s, bool positive);

// A name of one or more word characters.
ParseResult<std::string> wordName(const S& s);

// '<' text '>': the element, read on first use.
template <class E>
ParseResult<Lazy<E>> elementLiteral(const Ops<E>& o, const S& s) {
    std::string_view t = s.tokens;
    if (t.empty() || t[0] != '<') return std::nullopt;
    std::string text;
    std::size_t i = 1;
    while (i < t.size() && t[i] != '>') {
        if (t[i] == '\\') {
            if (i + 1 >= t.size()) break;
            text += t[i + 1];
            i += 2;
        } else {
            text += t[i];
            ++i;
        }
    }
    if (i >= t.size() || t[i] != '>') return std::nullopt;
    ElemReader<E> reader = o.reader;
    Lazy<E> e(std::function<E()>([reader, text] { return reader(text); }));
    return std::make_pair(std::move(e), detail::advance(s, i + 1));
}

// The class predicate: the items tried in order, the first that holds wins;
// negated as a whole under '^'.
template <class E>
ElemPred<E> classPred(bool negated, std::vector<ElemPred<E>> items) {
    return [negated, items = std::move(items)](const E& x) {
        bool any = false;
        for (const ElemPred<E>& p : items)
            if (p(x)) {
                any = true;
                break;
            }
        return any != negated;
    };
}

template <class E>
ElemPred<E> rangeRunPred(const ElemOrder<E>& ord, std::vector<std::pair<Lazy<E>, Lazy<E>>> ranges) {
    return [ord, ranges = std::move(ranges)](const E& x) {
        for (const auto& [lo, hi] : ranges)
            if (ord.greaterEq(x, lo.get()) && ord.lessEq(x, hi.get())) return true;
        return false;
    };
}

template <class E>
ElemPred<E> singleRunPred(const ElemEq<E>& eq, std::vector<Lazy<E>> elems) {
    return [eq, elems = std::move(elems)](const E& x) {
        for (const Lazy<E>& e : elems)
            if (eq(x, e.get())) return true;
        return false;
    };
}

// '[' ['^'] items ']'
template <class E>
ParseResult<AbsTree<E>> elementClass(const Ops<E>& o, const S& s) {
    if (!startsWith(s, "[")) return std::nullopt;
    S at = detail::advance(s, 1);
    bool negated = false;
    if (startsWith(at, "^")) {
        negated = true;
        at = detail::advance(at, 1);
    }
    std::vector<ElemPred<E>> items;
    for (;;) {
        if (o.ord) {
            std::vector<std::pair<Lazy<E>, Lazy<E>>> ranges;
            for (;;) {
                auto lo = elementLiteral(o, at);
                if (!lo || !startsWith(lo->second, "-")) break;
                auto hi = elementLiteral(o, detail::advance(lo->second, 1));
                if (!hi) break;
                ranges.emplace_back(std::move(lo->first), std::move(hi->first));
                at = std::move(hi->second);
            }
            if (!ranges.empty()) {
                items.push_back(rangeRunPred<E>(*o.ord, std::move(ranges)));
                continue;
            }
        }
        std::vector<Lazy<E>> elems;
        while (auto e = elementLiteral(o, at)) {
            elems.push_back(std::move(e->first));
            at = std::move(e->second);
        }
        if (elems.empty()) break;
        items.push_back(singleRunPred<E>(o.eq, std::move(elems)));
    }
    if (items.empty() || !startsWith(at, "]")) return std::nullopt;
    return std::make_pair(mkEl<E>(matchEls<E>(classPred<E>(negated, std::move(items)))), detail::advance(at, 1));
}

// "<<" N ">>" naming an existing user matcher.
template <class E>
ParseResult<AbsTree<E>> userMatcherRef(const Fns<E>& fns, const S& s) {
    if (!startsWith(s, "<<")) return std::nullopt;
    auto n = numeral(detail::advance(s, 2), true);
    if (!n || !startsWith(n->second, ">>")) return std::nullopt;
    if (std::size_t(n->first) > fns.size()) return std::nullopt;
    return std::make_pair(mkEl<E>(wrapMatcher<E>(fns[std::size_t(n->first) - 1])), detail::advance(n->second, 2));
}

template <class E>
ParseResult<AbsTree<E>> atom(const Ops<E>& o, const Fns<E>& fns, const S& s) {
    if (auto r = userMatcherRef<E>(fns, s)) return r;
    if (startsWith(s, ".")) return std::make_pair(mkEl<E>(matchAny<E>()), detail::advance(s, 1));
    if (auto r = elementClass<E>(o, s)) return r;
    auto e = elementLiteral<E>(o, s);
    if (!e) return std::nullopt;
    ElemPred<E> pred = [eq = o.eq, x = std::move(e->first)](const E& y) { return eq(x.get(), y); };
    return std::make_pair(mkEl<E>(matchEls<E>(std::move(pred))), std::move(e->second));
}

// Zero or more "(?=N)" naming existing user assertions: no leaf, or one leaf
// testing them in written order. Always succeeds.
template <class E>
std::pair<std::optional<AbsTree<E>>, S> assertionList(const Asserts<E>& as, const S& s) {
    std::vector<Matcher<E>> ms;
    S at = s;
    while (startsWith(at, "(?=")) {
        auto n = numeral(detail::advance(at, 3), true);
        if (!n || !startsWith(n->second, ")") || std::size_t(n->first) > as.size()) break;
        ms.push_back(doAssert<E>(as[std::size_t(n->first) - 1]));
        at = detail::advance(n->second, 1);
    }
    if (ms.empty()) return {std::nullopt, std::move(at)};
    return {mkEl<E>(regseqList<E>(std::move(ms))), std::move(at)};
}

// The pattern grammar, read without recursion: a group nested in a piece
// opens a new level on an explicit stack, so a pattern may nest groups as
// deep as it is long. Each level keeps the state of the rules in progress
// there: the alternation built so far, the current branch and the current
// piece. A rule's result, and where it fails, are those of the grammar above
// read top-down.
enum class Rule { Regexp, Branch, Piece, Unit };

// The units that nest no pattern: a back reference "${" name '}' or an atom.
template <class E>
ParseResult<AbsTree<E>> leafUnit(const Ops<E>& o, const Fns<E>& fns, const S& s) {
    if (startsWith(s, "${")) {
        auto name = wordName(detail::advance(s, 2));
        if (!name || !startsWith(name->second, "}")) return std::nullopt;
        return std::make_pair(mkBackref<E>(std::move(name->first), matchBackref<E>(o.eq)), detail::advance(name->second, 1));
    }
    return atom<E>(o, fns, s);
}

// The reader of one rule: the stack of levels and the step it stands at, with
// one member per step. Each step either moves on (false) or finishes the rule
// (true, the result kept for read()).
template <class E>
class RuleReader {
public:
    using Result = ParseResult<AbsTree<E>>;

    RuleReader(Rule rule, const Ops<E>& o, const Fns<E>& fns, const Asserts<E>& as, const S& s)
        : rule_(rule), o_(o), fns_(fns), as_(as), env_(s.env), at_(s), levels_(1) {
        if (rule == Rule::Piece) step_ = Step::BeginPiece;
        if (rule == Rule::Unit) step_ = Step::BeginUnit;
    }

    // Runs the steps until the rule's result is known.
    Result read() {
        for (;;) {
            bool finished = false;
            switch (step_) {
                case Step::BeginBranch: beginBranch(); break;
                case Step::BeginPiece: beginPiece(); break;
                case Step::BeginUnit: beginUnit(); break;
                case Step::UnitRead: finished = unitRead(); break;
                case Step::BranchEnded: finished = branchEnded(); break;
                case Step::LevelEnded: finished = levelEnded(); break;
            }
            if (finished) return std::move(result_);
        }
    }

private:
    struct Level {
        std::optional<std::string> subName;  // the level of a " name@(" group
        std::optional<AbsTree<E>> alternation;
        std::string_view alternationEnd;  // the text after the last branch read
        bool anchoredStart = false;
        std::optional<AbsTree<E>> branch;
        std::string_view branchEnd;  // the text after the last piece read
        std::optional<AbsTree<E>> leadAsserts;
    };
    // What comes next at the innermost level.
    enum class Step { BeginBranch, BeginPiece, BeginUnit, UnitRead, BranchEnded, LevelEnded };

    // The grammar never changes the flag environment.
    S state(std::string_view rest) const { return S{env_, rest}; }
    // Whether the rule asked for is r and the walk stands at the outermost
    // level, where r's result is the reader's.
    bool finishes(Rule r) const { return rule_ == r && levels_.size() == 1; }
    bool finish(Result r) {
        result_ = std::move(r);
        return true;
    }

    // ['^'] at the start of a branch.
    void beginBranch() {
        Level& level = levels_.back();
        level.anchoredStart = startsWith(at_, "^");
        if (level.anchoredStart) at_ = detail::advance(at_, 1);
        level.branch.reset();
        level.branchEnd = at_.tokens;
        step_ = Step::BeginPiece;
    }

    // The assertions that lead a piece.
    void beginPiece() {
        auto [lead, after] = assertionList<E>(as_, at_);
        levels_.back().leadAsserts = std::move(lead);
        at_ = std::move(after);
        step_ = Step::BeginUnit;
    }

    // A group opens a new level; any other unit is read at once.
    void beginUnit() {
        if (startsWith(at_, "(")) {
            at_ = detail::advance(at_, 1);
            levels_.emplace_back();
            step_ = Step::BeginBranch;
        } else if (startsWith(at_, " ")) {
            auto name = wordName(detail::advance(at_, 1));
            if (!name || !startsWith(name->second, "@(")) {
                read_.reset();
                step_ = Step::UnitRead;
                return;
            }
            at_ = detail::advance(name->second, 2);
            levels_.emplace_back().subName = std::move(name->first);
            step_ = Step::BeginBranch;
        } else {
            read_ = leafUnit<E>(o_, fns_, at_);
            step_ = Step::UnitRead;
        }
    }

    // The unit t, ending before `end`, with its operator and the assertions
    // around it: the piece, and the text after it.
    std::pair<AbsTree<E>, S> completePiece(Level& level, AbsTree<E> t, S end) {
        // unit [op ['?']]; a count too large for 32 bits is no count.
        if (auto op = repetitionOperator(end, numeral)) {
            t = mkRepetition<E>(op->first, std::move(t));
            if (op->first.nonGreedy) t = mkNonGreedy<E>(t);
            end = std::move(op->second);
        }
        auto [trail, afterTrail] = assertionList<E>(as_, end);
        if (trail) t = mkConcat<E>(std::move(t), std::move(*trail));
        if (level.leadAsserts) t = mkConcat<E>(std::move(*level.leadAsserts), std::move(t));
        level.leadAsserts.reset();
        return {std::move(t), std::move(afterTrail)};
    }

    // The unit read (or none) makes a piece of the current branch, or ends it.
    bool unitRead() {
        if (finishes(Rule::Unit)) return finish(std::move(read_));
        if (!read_) {  // no piece here: the branch ends before it
            if (finishes(Rule::Piece)) return finish(std::nullopt);
            step_ = Step::BranchEnded;
            return false;
        }
        Level& level = levels_.back();
        auto [t, afterTrail] = completePiece(level, std::move(read_->first), std::move(read_->second));
        if (finishes(Rule::Piece)) return finish(std::make_pair(std::move(t), std::move(afterTrail)));
        level.branch = level.branch ? mkConcat<E>(std::move(*level.branch), std::move(t)) : std::move(t);
        level.branchEnd = afterTrail.tokens;
        at_ = std::move(afterTrail);
        step_ = Step::BeginPiece;
        return false;
    }

    // The level's branch with its anchors, and the text after it.
    std::pair<AbsTree<E>, S> anchoredBranch(Level& level) {
        AbsTree<E> t = std::move(*level.branch);
        S end = state(level.branchEnd);
        if (startsWith(end, "$")) {
            t = mkConcat<E>(std::move(t), mkEl<E>(doAssert<E>(suffix<E>)));
            end = detail::advance(end, 1);
        }
        if (level.anchoredStart) t = mkConcat<E>(withPrefixMark<E>(mkEl<E>(doAssert<E>(prefix<E>))), std::move(t));
        return {std::move(t), std::move(end)};
    }

    // The branch joins the level's alternation; a '|' begins the next one.
    bool branchEnded() {
        Level& level = levels_.back();
        if (!level.branch) {  // no piece: no branch
            if (finishes(Rule::Branch)) return finish(std::nullopt);
            // A branch that fails after '|' ends the alternation before the '|'.
            if (level.alternation)
                read_ = std::make_pair(std::move(*level.alternation), state(level.alternationEnd));
            else
                read_.reset();
            step_ = Step::LevelEnded;
            return false;
        }
        auto [t, end] = anchoredBranch(level);
        if (finishes(Rule::Branch)) return finish(std::make_pair(std::move(t), std::move(end)));
        level.alternation = level.alternation ? mkAlt<E>(std::move(*level.alternation), std::move(t)) : std::move(t);
        level.alternationEnd = end.tokens;
        if (startsWith(end, "|")) {
            at_ = detail::advance(end, 1);
            step_ = Step::BeginBranch;
        } else {
            read_ = std::make_pair(std::move(*level.alternation), std::move(end));
            step_ = Step::LevelEnded;
        }
        return false;
    }

    // The level's pattern (or none) closes its group, the unit of the
    // enclosing level.
    bool levelEnded() {
        if (levels_.size() == 1) return finish(std::move(read_));
        std::optional<std::string> subName = std::move(levels_.back().subName);
        levels_.pop_back();
        // The group is the unit of the enclosing level's piece when ')' closes it.
        if (read_ && startsWith(read_->second, ")")) {
            if (subName) read_->first = mkSub<E>(std::move(*subName), std::move(read_->first));
            read_->second = detail::advance(read_->second, 1);
        } else {
            read_.reset();
        }
        step_ = Step::UnitRead;
        return false;
    }

    const Rule rule_;
    const Ops<E>& o_;
    const Fns<E>& fns_;
    const Asserts<E>& as_;
    std::shared_ptr<const FlagEnv> env_;
    S at_;
    std::deque<Level> levels_;
    Step step_ = Step::BeginBranch;
    Result read_;    // the unit read (UnitRead) or the level's pattern (LevelEnded)
    Result result_;  // the rule's, once finished
};

// Reads one `rule` at s.
template <class E>
ParseResult<AbsTree<E>> readRule(Rule rule, const Ops<E>& o, const Fns<E>& fns, const Asserts<E>& as, const S& s) {
    return RuleReader<E>(rule, o, fns, as, s).read();
}

template <class E>
PatternRuleParsers<E> makeParsers(std::shared_ptr<const Ops<E>> o) {
    using P = PatternParser<E, AbsTree<E>>;
    auto wrap = [&o](auto rule) -> P {
        return [o, rule](const Fns<E>& fns, const Asserts<E>& as, const S& s) { return rule(*o, fns, as, s); };
    };
    auto ruleOf = [](Rule rule) {
        return [rule](const Ops<E>& o, const Fns<E>& fns, const Asserts<E>& as, const S& s) {
            return readRule<E>(rule, o, fns, as, s);
        };
    };
    return PatternRuleParsers<E>{wrap(ruleOf(Rule::Piece)), wrap(ruleOf(Rule::Unit)), wrap(ruleOf(Rule::Regexp)),
                                 wrap(ruleOf(Rule::Branch))};
}

template <class E>
std::optional<AbsTree<E>> runEntry(const PatternRuleParsers<E>& g, std::string_view pattern, const Fns<E>& fns,
                                   const Asserts<E>& as) {
    if (pattern.empty()) return mkEnd<E>();
    auto r = initParser<E>(g.parseRegexp, pattern, fns, as, {});
    if (!r || !r->second.empty()) return std::nullopt;
    return addEnd<E>(std::move(r->first));
}

}  // namespace elementlist

// The parsers of the range form for these operations.
template <class E>
PatternRuleParsers<E> regexpParsers(ElemReader<E> reader, ElemEq<E> eq, ElemOrder<E> ord) {
    return elementlist::makeParsers<E>(
        std::make_shared<const elementlist::Ops<E>>(elementlist::Ops<E>{std::move(reader), std::move(eq), std::move(ord)}));
}

// One element atom of the range form: an EL leaf.
template <class E>
PatternParser<E, AbsTree<E>> parseAtom(ElemReader<E> reader, ElemEq<E> eq, ElemOrder<E> ord) {
    elementlist::Ops<E> o{std::move(reader), std::move(eq), std::move(ord)};
    return [o](const elementlist::Fns<E>& fns, const elementlist::Asserts<E>&, const ParserState& s) {
        return elementlist::atom<E>(o, fns, s);
    };
}

// One element literal: the element, read on first use.
template <class E>
PatternParser<E, Lazy<E>> parseElementLiteral(ElemReader<E> reader) {
    elementlist::Ops<E> o{std::move(reader), nullptr, std::nullopt};
    return [o](const elementlist::Fns<E>&, const elementlist::Asserts<E>&, const ParserState& s) {
        return elementlist::elementLiteral<E>(o, s);
    };
}

// The range-form pattern as a tree closed by END; nothing when the text is not
// a pattern as a whole.
template <class E>
std::optional<AbsTree<E>> parseElementListPattern(ElemReader<E> reader, ElemEq<E> eq, ElemOrder<E> ord, std::string_view pattern,
                                                  const std::vector<UserMatcher<E>>& fns,
                                                  const std::vector<Assertion<E>>& asserts) {
    return elementlist::runEntry<E>(regexpParsers<E>(std::move(reader), std::move(eq), std::move(ord)), pattern, fns, asserts);
}

}  // namespace axf::regex
