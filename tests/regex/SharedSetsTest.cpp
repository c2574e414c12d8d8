// Position sets shared between the records of a tree, and the steps built from
// follow edges that nested constructs add with the same targets.
#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include "regex/Compile.h"
#include "tests/regex/RegexTestUtil.h"

using namespace axf::regex;

namespace {

using testutil::showSet;

// The counter and capture steps of a node, continue steps and exits only.
std::string showSteps(const Node<char>& n) {
    std::ostringstream o;
    for (const CounterStep& step : n.counterSteps) {
        if (auto* s = std::get_if<IntStart>(&step))
            o << "Start" << s->label << ' ';
        else if (auto* s = std::get_if<IntContinue>(&step))
            o << "Cont" << showSet(s->next) << ' ';
        else if (auto* s = std::get_if<IntEnd>(&step))
            o << "End" << s->label << showSet(s->exit) << ' ';
        else
            o << "? ";
    }
    for (const CaptureStep& step : n.captureSteps) {
        if (std::holds_alternative<NFASubAdd>(step))
            o << "Add ";
        else if (auto* s = std::get_if<NFASubContinue>(&step))
            o << "SubCont" << showSet(s->next) << ' ';
        else
            o << "SubEnd ";
    }
    return o.str();
}

TEST(SharedSets, StoreKeepsOrderedUnions) {
    PositionStore store;
    SetRef a = store.single(1);
    SetRef b = store.single(3);
    SetRef c = store.single(4);
    SetRef ab = store.concat(a, b);
    SetRef abc = store.concat(ab, c);
    EXPECT_EQ(store.toSet(abc), (PosSet{1, 3, 4}));
    EXPECT_EQ(store.concat(kEmptySet, ab), ab);
    EXPECT_EQ(store.concat(ab, kEmptySet), ab);
    EXPECT_TRUE(store.toSet(kEmptySet).empty());
    EXPECT_EQ(store.size(abc), 3);
    // Overlapping or reversed operands are not an ordered union.
    EXPECT_THROW(store.concat(c, ab), axf::InternalError);
    EXPECT_THROW(store.concat(ab, b), axf::InternalError);
    EXPECT_EQ(store.unionOf({abc, c, ab, abc}), (PosSet{1, 3, 4}));
    EXPECT_TRUE(store.unionOf({}).empty());
}

// Nested repetitions of one body add the same loop at several depths; a
// counted repetition among them continues with the loops inside it and leaves
// through those around it.
TEST(SharedSets, LoopsAroundAndInsideACountedRepetition) {
    struct Case {
        const char* pattern;
        std::vector<std::string> nodes;  // positions 1..n-1
    };
    for (const Case& c : std::vector<Case>{
             {"((a*)*){2}", {"Start1 Cont{1} End1{2} "}},
             {"(((a)*){2,3})*b", {"Start1 Cont{1} End1{1,2} ", ""}},
             {"((((a)*){2})*){3}c", {"Start2 Start1 Cont{1} End1{1,2} Cont{1} End2{2} ", ""}},
             {" x@((((a)(b)){2,3})*)", {"Start1 Add ", "End1{1,3} Add SubCont{1} SubEnd "}},
             {" x@((a*)*)b", {"Add SubCont{1} SubEnd ", ""}},
         }) {
        SCOPED_TRACE(c.pattern);
        std::optional<CompiledRegex<char>> r = compileRegexpS(c.pattern, {}, {}, {});
        ASSERT_TRUE(r.has_value());
        ASSERT_EQ(r->automaton.size(), Pos(c.nodes.size() + 1));
        for (Pos p = 1; p < r->automaton.size(); ++p) EXPECT_EQ(showSteps(r->automaton.at(p)), c.nodes[std::size_t(p - 1)]) << p;
    }
}

}  // namespace
