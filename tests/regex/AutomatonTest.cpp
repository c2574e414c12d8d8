// Construction of the position automaton: positions and follow sets, the
// counter and capture steps placed on each node, the compile record and the
// anchored test.
#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include "regex/Compile.h"
#include "regex/CompileInternal.h"
#include "tests/regex/RegexTestUtil.h"

using namespace axf::regex;

namespace {

using testutil::showSet;

std::string showStep(const CounterStep& step) {
    std::ostringstream o;
    if (auto* s = std::get_if<IntStart>(&step))
        o << "IntStart " << s->label;
    else if (auto* s = std::get_if<IntContinue>(&step))
        o << "IntContinue " << showSet(s->next);
    else if (auto* s = std::get_if<NGIntContinue>(&step))
        o << "NGIntContinue " << showSet(s->next);
    else if (auto* s = std::get_if<IntEnd>(&step))
        o << "IntEnd " << s->label << ' ' << s->m << ' ' << s->n << ' ' << showSet(s->loop) << ' ' << showSet(s->exit);
    else if (auto* s = std::get_if<NGIntEnd>(&step))
        o << "NGIntEnd " << s->label << ' ' << s->m << ' ' << s->n << ' ' << showSet(s->loop) << ' ' << showSet(s->exit);
    else if (auto* s = std::get_if<MinEnd>(&step))
        o << "MinEnd " << s->label << ' ' << s->m << ' ' << showSet(s->loop) << ' ' << showSet(s->exit);
    else if (auto* s = std::get_if<NGMinEnd>(&step))
        o << "NGMinEnd " << s->label << ' ' << s->m << ' ' << showSet(s->loop) << ' ' << showSet(s->exit);
    else if (auto* s = std::get_if<Reset>(&step))
        o << "Reset " << s->label;
    return o.str();
}

std::string showStep(const CaptureStep& step) {
    std::ostringstream o;
    if (auto* s = std::get_if<NFASubAdd>(&step))
        o << "Add " << s->name;
    else if (auto* s = std::get_if<NFASubContinue>(&step))
        o << "Continue " << showSet(s->next);
    else
        o << "End " << std::get<NFASubEnd>(step).name;
    return o.str();
}

template <class Step>
std::string showSteps(const std::vector<Step>& steps) {
    std::ostringstream o;
    for (std::size_t i = 0; i < steps.size(); ++i) o << (i ? "; " : "") << showStep(steps[i]);
    return o.str();
}

CompiledRegex<char> compile(const std::string& pattern, const std::vector<MatcherFlag>& flags = {}) {
    std::optional<CompiledRegex<char>> c = compileRegexpS(pattern, flags, {}, {});
    if (!c) throw std::runtime_error("pattern does not parse: " + pattern);
    return std::move(*c);
}

// One node as "kind nexts | counter steps | capture steps".
std::string showNode(const CompiledRegex<char>& c, Pos p) {
    const Node<char>& n = c.automaton.at(p);
    std::string kind = std::holds_alternative<NFAEl<char>>(n.elem)     ? "el"
                       : std::holds_alternative<NFABack<char>>(n.elem) ? "back"
                                                                       : "final";
    std::ostringstream o;
    o << kind << ' ' << showSet(n.nexts) << " | " << showSteps(n.counterSteps) << " | " << showSteps(n.captureSteps);
    return o.str();
}

}  // namespace

TEST(Automaton, CompileRecord) {
    struct Case {
        const char* pattern;
        Pos n;
        const char* starts;
        std::int32_t counters;
    };
    for (const Case& c : std::vector<Case>{
             {"", 1, "{1}", 0},
             {"a", 2, "{1}", 0},
             {"a*", 2, "{1,2}", 0},
             {"\\bx*", 3, "{1}", 0},  // a zero-width leaf is a position, never skipped
             {"a{3,}", 3, "{1}", 0},  // a leaf repeated: fused leaf then PLUS
             {"(a|b){3,}", 3, "{1,2}", 1},
             {"a*?", 3, "{1,2,3}", 2},  // the non-greedy star is built from counted nodes
             {"((a|b){2}c){3}", 4, "{1,2}", 2},
         }) {
        SCOPED_TRACE(c.pattern);
        CompiledRegex<char> r = compile(c.pattern);
        EXPECT_EQ(r.finalPosition, c.n);
        EXPECT_EQ(r.automaton.size(), c.n);
        EXPECT_EQ(showSet(r.startPositions), c.starts);
        EXPECT_EQ(r.counterCount, c.counters);
        std::ostringstream final;
        final << "final {" << c.n << "} |  | ";
        EXPECT_EQ(showNode(r, c.n), final.str());
    }
    EXPECT_FALSE(compileRegexpS("(a", {}, {}, {}).has_value());
}

TEST(Automaton, NodesOfWorkedExamples) {
    struct Case {
        const char* pattern;
        std::vector<std::string> nodes;  // positions 1..n
    };
    for (const Case& c : std::vector<Case>{
             {" x@(a{1,3})", {"el {1,2} | IntStart 1; IntEnd 1 1 3 {1} {2} | Add x; Continue {1}; End x", "final {2} |  | "}},
             // Nested counted repetitions: inner label 1, outer label 2.
             {"((a|b){2}c){3}",
              {"el {1,2,3} | IntStart 2; IntStart 1; IntEnd 1 2 2 {1,2} {3} | ",
               "el {1,2,3} | IntStart 2; IntStart 1; IntEnd 1 2 2 {1,2} {3} | ", "el {1,2,4} | IntEnd 2 3 3 {1,2} {4} | ",
               "final {4} |  | "}},
             // A star inside the body: continue steps; exit set from the root.
             {"(ab*){2,}",
              {"el {1,2,3} | IntStart 1; IntContinue {2}; MinEnd 1 2 {1} {3} | ",
               "el {1,2,3} | IntContinue {2}; MinEnd 1 2 {1} {3} | ", "final {3} |  | "}},
             // An enclosing star: the exit set holds the repetition's own first positions.
             {"((a|b){2})*",
              {"el {1,2,3} | IntStart 1; IntEnd 1 2 2 {1,2} {1,2,3} | ", "el {1,2,3} | IntStart 1; IntEnd 1 2 2 {1,2} {1,2,3} | ",
               "final {3} |  | "}},
             // Edge contributed inside and around the repetition.
             {"(((a|b)+){2,3})*",
              {"el {1,2,3} | IntStart 1; IntContinue {1,2}; IntEnd 1 2 3 {1,2} {1,2,3} | ",
               "el {1,2,3} | IntStart 1; IntContinue {1,2}; IntEnd 1 2 3 {1,2} {1,2,3} | ", "final {3} |  | "}},
             // Nested repetitions that end together.
             {"((a|b){2}){3}",
              {"el {1,2,3} | IntStart 2; IntStart 1; IntEnd 1 2 2 {1,2} {3}; IntEnd 2 3 3 {1,2} {3} | ",
               "el {1,2,3} | IntStart 2; IntStart 1; IntEnd 1 2 2 {1,2} {3}; IntEnd 2 3 3 {1,2} {3} | ", "final {3} |  | "}},
             // Non-greedy forms.
             {"(a|b){2,3}?",
              {"el {1,2,3} | IntStart 1; NGIntEnd 1 2 3 {1,2} {3} | ", "el {1,2,3} | IntStart 1; NGIntEnd 1 2 3 {1,2} {3} | ",
               "final {3} |  | "}},
             // A body that can match nothing: every pass end may leave.
             {"(b*){2,5}c",
              {"el {1,2} | IntStart 1; IntContinue {1}; IntEnd 1 0 5 {1} {2} | ", "el {3} |  | ", "final {3} |  | "}},
             // Captures.
             {" x@(a*)", {"el {1,2} |  | Add x; Continue {1}; End x", "final {2} |  | "}},
             {"( x@(a))*", {"el {1,2} |  | Add x; End x", "final {2} |  | "}},
             {" x@(a)( y@(b))*", {"el {2,3} |  | Add x; End x", "el {2,3} |  | Add y; End y", "final {3} |  | "}},
             {" x@((a)(b)*)",
              {"el {2,3} |  | Add x; Continue {2}; End x", "el {2,3} |  | Add x; Continue {2}; End x", "final {3} |  | "}},
             {" x@((a)*(b))", {"el {1,2} |  | Add x", "el {3} |  | Add x; End x", "final {3} |  | "}},
             {" y@( x@(a))", {"el {2} |  | Add y; Add x; End x; End y", "final {2} |  | "}},
             {" y@( x@(a)(b))c",
              {"el {2} |  | Add y; Add x; End x", "el {3} |  | Add y; End y", "el {4} |  | ", "final {4} |  | "}},
             {" x@(a)${x}", {"el {2} |  | Add x; End x", "back {3} |  | ", "final {3} |  | "}},
         }) {
        SCOPED_TRACE(c.pattern);
        CompiledRegex<char> r = compile(c.pattern);
        ASSERT_EQ(r.automaton.size(), Pos(c.nodes.size()));
        for (Pos p = 1; p <= r.automaton.size(); ++p) EXPECT_EQ(showNode(r, p), c.nodes[std::size_t(p - 1)]) << p;
    }
}

TEST(Automaton, FollowListsWithAndWithoutCountedLoops) {
    // (ab){1,3} with a and b separate leaves: the loop edge 2 -> 1 is counted,
    // so only the full follow list holds it.
    AbsTree<char> t = *augmentedTextTree("((a)(b)){1,3}");
    const AbsTree<char>& rep = left(t);
    ASSERT_TRUE(isMinmax(rep));
    EXPECT_EQ(followInfo(rep), (FollowList{{1, {2}}, {2, {1}}}));
    EXPECT_EQ(followInfoNoInt(rep), (FollowBagList{{1, {{2, 1}}}}));
    EXPECT_EQ(follows({2}, rep), (FollowList{{2, {1}}}));
    EXPECT_TRUE(followsWithoutInt({2}, rep).empty());
    EXPECT_EQ(followPos(2, rep), (PosSet{1}));
    EXPECT_TRUE(followPos(3, t).empty());

    // A star of a star contributes the loop edge twice.
    AbsTree<char> s = *augmentedTextTree("(a*)*");
    EXPECT_EQ(followInfoNoInt(left(s)), (FollowBagList{{1, {{1, 2}}}}));
    EXPECT_EQ(followInfo(s), (FollowList{{1, {1, 2}}}));
    EXPECT_TRUE(getNodePositions(left(s)).nullable);
    EXPECT_EQ(getPositionLabel(right(s)), std::optional<Pos>(2));
    EXPECT_FALSE(getPositionLabel(s).has_value());
}

TEST(Automaton, AnchoredOnlyWhenEveryWayStartsWithTheAnchor) {
    struct Case {
        const char* pattern;
        std::vector<MatcherFlag> flags;
        bool anchored;
    };
    for (const Case& c : std::vector<Case>{
             {"^abc", {}, true},
             {"abc", {}, false},
             {"^a|^b", {}, true},
             {"^a|b", {}, false},
             {"a|^b", {}, false},
             {"(^a)b", {}, true},
             {"(^a)+b", {}, true},
             {"(^a)?b", {}, false},
             {"(^a)*b", {}, false},
             {"(^a){0,2}b", {}, false},
             {"(^a){1,2}b", {}, true},
             {" x@(^a)b", {}, true},
             {"^a", {MatcherFlag::Multi_Line}, false},
             {"\\Aa", {MatcherFlag::Multi_Line}, true},
             {"", {}, false},
             {"${x}a", {}, false},
         }) {
        SCOPED_TRACE(c.pattern);
        EXPECT_EQ(compile(c.pattern, c.flags).anchored, c.anchored);
    }
}

TEST(Automaton, SameCompileTwiceGivesSameNodes) {
    CompiledRegex<char> a = compile("((a|b){2,3}c)*d{2,}");
    CompiledRegex<char> b = compile("((a|b){2,3}c)*d{2,}");
    ASSERT_EQ(a.automaton.size(), b.automaton.size());
    for (Pos p = 1; p <= a.automaton.size(); ++p) {
        SCOPED_TRACE(p);
        EXPECT_EQ(showNode(a, p), showNode(b, p));
    }
    EXPECT_EQ(a.counterCount, b.counterCount);
}

TEST(Automaton, NodeAccessorsAndChanges) {
    CompiledRegex<char> c = compile(" x@(a{1,3})");
    const Node<char>& n = c.automaton.at(1);
    EXPECT_TRUE(std::holds_alternative<NFAEl<char>>(getNfaElem(n)));
    EXPECT_EQ(showSet(getNexts(n)), "{1,2}");
    EXPECT_EQ(showSteps(getCounterSteps(n)), "IntStart 1; IntEnd 1 1 3 {1} {2}");
    EXPECT_EQ(showSteps(getCaptureSteps(n)), "Add x; Continue {1}; End x");
    // The changes replace one field and keep the others.
    Node<char> m = changeCounterSteps<char>({Reset{4}}, changeCaptureSteps<char>({NFASubEnd{"y"}}, n));
    EXPECT_EQ(showSteps(getCounterSteps(m)), "Reset 4");
    EXPECT_EQ(showSteps(getCaptureSteps(m)), "End y");
    EXPECT_EQ(showSet(getNexts(m)), "{1,2}");
    // alterNode puts a whole node in place; the automaton given by copy stays.
    NFA<char> a = alterNode<char>(m, 2, c.automaton);
    EXPECT_EQ(showSteps(getCounterSteps(a.at(2))), "Reset 4");
    EXPECT_TRUE(getCounterSteps(c.automaton.at(2)).empty());
    // followNodes: the union of the next sets of the nodes named.
    EXPECT_EQ(showSet(followNodes<char>(PosSet{1, 2}, c.automaton)), "{1,2}");
    EXPECT_EQ(showSet(followNodes<char>(PosSet{2}, c.automaton)), "{2}");
    EXPECT_EQ(showSet(followNodes<char>(PosSet{}, c.automaton)), "{}");
}
