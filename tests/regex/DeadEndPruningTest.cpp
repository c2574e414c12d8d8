// The runner skips threads that cannot reach the end of the pattern (counted
// repetitions). Random small patterns with counted repetitions, nested
// counters, alternations, classes, stars, named groups and assertions, over
// random inputs: the pruned run must give the plain walk's result exactly
// (match place, matched range and every recorded sub-expression), with the
// tests unlimited, on the allowance the searches use, and on the least one
// (tests stopped and resumed at every step).
#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "regex/Compile.h"
#include "regex/Execute.h"

using namespace axf::regex;

namespace {

class PatternMaker {
public:
    explicit PatternMaker(std::uint32_t seed) : rng_(seed) {}

    int pick(int n) { return std::uniform_int_distribution<int>(0, n - 1)(rng_); }

    // The parts joined (appending, never a literal plus a temporary).
    template <class... T>
    static std::string cat(const T&... parts) {
        std::string s;
        (s.append(parts), ...);
        return s;
    }

    std::string bounds(int most) {
        int m = pick(most + 1);
        switch (pick(4)) {
            case 0: return cat("{", std::to_string(m), "}");
            case 1: return cat("{", std::to_string(m), ",}");
            default: return cat("{", std::to_string(m), ",", std::to_string(m + pick(most + 1)), "}");
        }
    }

    std::string atom() {
        static const char* atoms[] = {"a",     "b",        "c",        "[ab]",     "[a-c]",     "[^a]",         ".", "ab", "\\b",
                                      "(a|b)", "(a|[bc])", "(\\b|a)*", "(\\b*a)*", "(\\b*|b)+", "(\\b(\\b|c))*"};
        return atoms[pick(int(std::size(atoms)))];
    }

    std::string counted(int depth) {
        std::string body = depth > 0 && pick(2) ? cat("(", expr(depth - 1), ")") : atom();
        if (body.size() > 1 && body[0] != '(' && body[0] != '[' && body[0] != '\\') body = cat("(", body, ")");
        return cat(body, bounds(pick(3) ? 3 : 12), pick(4) ? "" : "?");
    }

    std::string piece(int depth) {
        switch (pick(9)) {
            case 0:
            case 1:
            case 2: return counted(depth);
            case 3: return cat(atom(), pick(2) ? "*" : "+", pick(3) ? "" : "?");
            case 4: return depth > 0 ? cat("(", expr(depth - 1), ")", pick(2) ? "?" : "*") : atom();
            case 5: return depth > 0 ? cat(" ", std::string(1, char('x' + pick(3))), "@(", expr(depth - 1), ")") : atom();
            default: return atom();
        }
    }

    std::string branch(int depth) {
        std::string s;
        for (int i = 0, n = 1 + pick(3); i < n; ++i) s += piece(depth);
        return s;
    }

    std::string expr(int depth) {
        std::string s = branch(depth);
        while (pick(4) == 0) (s += '|') += branch(depth);
        return s;
    }

    // Nests of counted repetitions over one class or alternation.
    std::string nest() {
        static const char* bodies[] = {"a", "[ab]", "(a|b)", "(a|[bc])", "."};
        std::string s = bodies[pick(int(std::size(bodies)))];
        for (int i = 0, n = 1 + pick(3); i < n; ++i) {
            s = cat(s, bounds(pick(2) ? 4 : 12), pick(4) ? "" : "?");
            if (i + 1 < n) s = cat("(", s, ")");
        }
        static const char* tails[] = {"", "c", "b", "$", "c|a", "[bc]c"};
        static const char* heads[] = {"", "c", "^", "\\b", "x@("};
        std::string head = heads[pick(int(std::size(heads)))];
        const std::string tail = tails[pick(int(std::size(tails)))];
        if (head == "x@(") return cat(" x@(", s, ")", tail);
        return cat(head, s, tail);
    }

    std::string input(int most) {
        static const char alphabet[] = "aabbc ";
        std::string s;
        for (int i = 0, n = pick(most + 1); i < n; ++i) s += alphabet[pick(6)];
        return s;
    }

    std::string run(int most) {
        std::string s = input(3);
        s += std::string(std::size_t(pick(most + 1)), pick(2) ? 'a' : 'b');
        return s + input(3);
    }

private:
    std::mt19937 rng_;
};

std::string show(const std::optional<MatchSpans>& m) {
    if (!m) return "no match";
    std::string s = std::to_string(m->start) + ".." + std::to_string(m->end);
    for (const auto& [name, range] : m->subexps)
        s += " " + name + "=" + std::to_string(range.first) + ".." + std::to_string(range.second);
    return s;
}

TEST(DeadEndPruning, AgreesWithThePlainWalk) {
    PatternMaker make(20261211);
    int compared = 0, matched = 0, pruned = 0;
    for (int i = 0; i < 2000; ++i) {
        std::string pattern = i % 2 ? make.expr(2) : make.nest();
        if (i % 5 == 0) pattern = PatternMaker::cat(make.nest(), make.expr(1));
        std::optional<CompiledRegex<char>> c = compileRegexpS(pattern, {}, {}, {});
        if (!c) continue;
        const bool counts = c->counterCount > 0;
        Program<char> plain(*c, DeadEndPruning::Off);
        Program<char> unlimited(*c, DeadEndPruning::Unlimited);
        Program<char> sparing(*c, DeadEndPruning::Sparing);
        Program<char> fast(std::move(*c));
        for (int k = 0; k < 12; ++k) {
            std::string input = k % 3 ? make.input(k < 6 ? 8 : 24) : make.run(k < 6 ? 10 : 40);
            std::optional<MatchSpans> want = plain.run(charSpan(input));
            for (const Program<char>* pruned : {&unlimited, &sparing, &fast}) {
                std::optional<MatchSpans> got = pruned->run(charSpan(input));
                ASSERT_EQ(show(got), show(want)) << "pattern '" << pattern << "' input '" << input << "'";
            }
            ++compared;
            matched += want.has_value();
            pruned += counts;
        }
    }
    // The table covers matches, failures and patterns that prune.
    EXPECT_GT(compared, 12000);
    EXPECT_GT(matched, compared / 5);
    EXPECT_LT(matched, compared - compared / 10);
    EXPECT_GT(pruned, compared / 2);
}

}  // namespace
