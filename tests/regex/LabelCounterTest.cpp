// The label counter and the walks that thread it.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "regex/LabelCounter.h"
#include "tests/regex/RegexTestUtil.h"

namespace axf::regex {
namespace {

using T = AbsTree<char>;

T leaf(char c) {
    return mkEl<char>(matchEls<char>([c](const char& x) { return x == c; }));
}

// One character per node: C/A for the binary nodes, * for a star, and the
// label taken at a leaf.
struct Trace {
    std::string operator()(const T& t, std::string acc, LabelCounter& counter) const {
        if (isConcat(t)) return acc + 'C';
        if (isAlt(t)) return acc + 'A';
        if (isStar(t)) return acc + '*';
        return acc + std::to_string(counter.nextLabel());
    }
};

TEST(LabelWalk, PreAndPostOrderFolds) {
    T t = mkConcat(mkStar(leaf('a')), mkAlt(leaf('b'), leaf('c')));
    Trace f;
    auto pre = runWithLabels([&](LabelCounter& c) { return foldPreWithLabels<char>(f, std::string(), t, c); }, 1);
    EXPECT_EQ(pre.first, "C*1A23");
    EXPECT_EQ(pre.second, 3);
    auto post = runWithLabels([&](LabelCounter& c) { return foldPostWithLabels<char>(f, std::string(), t, c); }, 1);
    EXPECT_EQ(post.first, "1*23AC");
    EXPECT_EQ(post.second, 3);
}

TEST(LabelWalk, FoldOverASequenceAndSequencing) {
    auto step = [](int x, std::vector<int> acc, LabelCounter& c) {
        acc.push_back(x * 100 + c.nextLabel());
        return acc;
    };
    auto r = runWithLabels(
        [&](LabelCounter& c) {
            return foldListWithLabels(step, std::vector<int>(), std::vector<int>{1, 2, 3}, c);
        },
        5);
    EXPECT_EQ(r.first, (std::vector<int>{105, 206, 307}));
    EXPECT_EQ(r.second, 7);
    auto empty =
        runWithLabels([&](LabelCounter& c) { return foldListWithLabels(step, std::vector<int>{9}, std::vector<int>(), c); }, 5);
    EXPECT_EQ(empty.first, std::vector<int>{9});
    EXPECT_EQ(empty.second, 4);  // nothing taken

    auto seq = runWithLabels(
        [](LabelCounter& c) {
            return thenWithLabels([](LabelCounter& k) { return k.nextLabel(); }, [](LabelCounter& k) { return k.nextLabel(); },
                                  c);
        },
        1);
    EXPECT_EQ(seq.first, 2);  // the first label is dropped
    EXPECT_EQ(seq.second, 2);
}

}  // namespace
}  // namespace axf::regex
