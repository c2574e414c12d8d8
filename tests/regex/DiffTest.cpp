// Differential check against a backtracking engine: data/diff_table.tsv holds
// generated patterns and inputs with the match a Perl-compatible engine found
// (made by gen_diff_table.pl, inside the subset of patterns where the two
// match policies agree). Every row must agree on whether there is a match and
// where it starts; rows of kind "T" (no two ways through the pattern consume
// the same character) on the matched text too.
#include <gtest/gtest.h>

#include <fstream>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "regex/Regexp.h"

using namespace axf::regex;

namespace {

struct Row {
    std::string pattern, input, expected, kind;
};

std::vector<Row> loadTable() {
    std::ifstream in(std::string(AXF_TEST_DATA) + "/diff_table.tsv");
    std::vector<Row> rows;
    std::string line;
    while (std::getline(in, line)) {
        std::size_t a = line.find('\t');
        std::size_t b = line.find('\t', a + 1);
        std::size_t c = line.find('\t', b + 1);
        if (a == std::string::npos || b == std::string::npos || c == std::string::npos) continue;
        rows.push_back({line.substr(0, a), line.substr(a + 1, b - a - 1), line.substr(b + 1, c - b - 1), line.substr(c + 1)});
    }
    return rows;
}

}  // namespace

TEST(DiffTest, AgreesWithBacktrackingEngine) {
    std::vector<Row> rows = loadTable();
    ASSERT_GT(rows.size(), 1000u);
    int failures = 0;
    std::size_t texts = 0;
    std::string compiledFor;
    std::optional<Regex> re;
    for (const Row& row : rows) {
        std::string expected = row.expected;
        if (row.kind == "T")
            ++texts;
        else
            expected = expected.substr(0, expected.find(','));
        std::string got = "-";
        try {
            // Rows of one pattern follow each other: compile it once.
            if (row.pattern != compiledFor) {
                compiledFor = row.pattern;
                re = Regex::compile(row.pattern);
            }
            RegexResult r = re ? re->search(row.input) : RegexResult::illegal();
            if (!legalRegexp(r))
                got = "illegal";
            else if (matchedAny(r)) {
                std::ostringstream out;
                out << beforeMatch(r).size();
                if (row.kind == "T") out << ',' << wholeMatch(r).size();
                got = out.str();
            }
        } catch (const std::exception& e) {
            got = std::string("exception ") + e.what();
        }
        if (got != expected) {
            ++failures;
            if (failures <= 30)
                ADD_FAILURE() << "pattern '" << row.pattern << "' input '" << row.input << "': got " << got << ", expected "
                              << expected;
        }
    }
    EXPECT_EQ(failures, 0);
    EXPECT_GT(texts, 1000u);
}
