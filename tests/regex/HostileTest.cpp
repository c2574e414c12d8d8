// Patterns of hostile depth: 10,000 nested groups, plain and repeated, parsed
// and searched on the large stack.
#include <gtest/gtest.h>

#include <string>

#include "common/LargeStack.h"
#include "regex/Regexp.h"

namespace {

using namespace axf::regex;

TEST(Hostile, TenThousandNestedGroups) {
    const int n = 10000;
    axf::runWithLargeStack([&] {
        std::string plain = std::string(n, '(') + "a" + std::string(n, ')') + "b";
        EXPECT_EQ(wholeMatch(searchS(plain, {}, "xxaab")), "ab");
        // Each level repeated: matches the empty text at the first position.
        std::string starred = std::string(n, '(') + "a";
        for (int i = 0; i < n; ++i) starred += ")*";
        RegexResult r = searchS(starred + "b", {}, "xxaab");
        EXPECT_EQ(wholeMatch(r), "aab");
        EXPECT_EQ(beforeMatch(r), "xx");
        // Unbalanced: not a pattern.
        EXPECT_FALSE(legalRegexp(searchS(std::string(n, '(') + "a", {}, "a")));
    });
}

}  // namespace
