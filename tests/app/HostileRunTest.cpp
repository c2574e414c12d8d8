// Filters of hostile size, run whole: a query 10,000 levels deep, and a
// condition over two variables bound to 1,000 values each.
#include <gtest/gtest.h>

#include <string>

#include "app/FilterRun.h"
#include "common/Fatal.h"
#include "common/LargeStack.h"
#include "common/Output.h"

namespace {

using axf::StringSink;

std::string nested(const std::string& tag, int levels) {
    std::string q;
    q.reserve(std::size_t(levels) * (tag.size() + 2));
    for (int i = 0; i < levels; ++i) q += tag + "(";
    q.append(std::size_t(levels), ')');
    return q;
}

TEST(Hostile, QueryTenThousandLevelsDeep) {
    const std::string deep = nested("item", 10000);
    axf::runWithLargeStack([&] {
        // Exact: searched, and nothing that deep is found.
        StringSink sink;
        EXPECT_EQ(axf::app::filterXML("filterAllExact " + deep + " in site(item(item(name('x'))))", sink), 0);
        EXPECT_EQ(sink.text().rfind("<Empty Result/>\n", 0), 0u) << sink.text().substr(0, 200);
        // Approximate: every deletion alternative of every level would be
        // searched; the run ends with a message instead.
        StringSink approx;
        try {
            axf::app::filterXML("filterAllBest " + deep + " in site(item())", approx);
            ADD_FAILURE() << "no failure";
        } catch (const axf::Fatal& f) {
            EXPECT_EQ(std::string(f.what()).rfind("Attention: the query is too deep", 0), 0u) << f.what();
        }
        // The same depth in the document source.
        StringSink source;
        EXPECT_EQ(axf::app::filterXML("count (filterAllExact item() in " + nested("item", 10000) + ")", source), 0);
        EXPECT_EQ(source.text().rfind("<Results Embedding Num=\"10000\"/>", 0), 0u) << source.text().substr(0, 200);
    });
}

TEST(Hostile, ConditionOverVariablesOfThousandValues) {
    // X is bound to the 1,000 persons 0..999, Y to the 1,000 items 0, 7, 14, ...
    // (mod 1000): a million combinations of values.
    std::string people, items;
    for (int i = 0; i < 1000; ++i) {
        people += (i ? ", person('" : "person('") + std::to_string(i) + "')";
        items += (i ? ", item('" : "item('") + std::to_string(i * 7 % 1000) + "')";
    }
    const std::string source = " in site(people(" + people + "), regions(" + items + "))";
    axf::runWithLargeStack([&] {
        StringSink none;
        EXPECT_EQ(axf::app::filterXML("filterAllExact site(people(X), regions(Y))" + source + " where &X + 1000 < Y&", none), 0);
        EXPECT_EQ(none.text().rfind("<Empty Result/>\n", 0), 0u) << none.text().substr(0, 200);
        // Equal values pair each person with the one item of its value.
        StringSink equal;
        EXPECT_EQ(axf::app::filterXML("filterAllExact site(people(X), regions(Y))" + source + " where &X = Y&", equal), 0);
        const std::string& out = equal.text();
        EXPECT_EQ(out.rfind("<Results>\n   <site>\n      <people>\n         0\n         7\n", 0), 0u) << out.substr(0, 200);
        EXPECT_NE(out.find("         993\n      </people>"), std::string::npos);
    });
}

}  // namespace
