// Regular-expression search: a condition pattern over large texts, ambiguous
// repetitions, counted repetitions with large bounds (single, over a class or
// an alternation, nested) on failing inputs and on inputs matched only from
// the last starts within the bounds, counted repetitions with a short match
// at hand on long inputs, and parsing of long and deeply nested patterns.
// Each search reports its peak RSS.
#include <benchmark/benchmark.h>

#include <string>

#include "bench/PeakRss.h"
#include "regex/Compile.h"
#include "regex/Execute.h"
#include "regex/Regexp.h"

using namespace axf::regex;

namespace {

// Auction-like prose without a match until the very end.
std::string text(std::size_t bytes) {
    static const char* words[] = {"auction ", "item ", "bidder ", "closed ", "price ", "Milano ", "date ", "seller "};
    std::string s;
    s.reserve(bytes + 16);
    for (std::size_t i = 0; s.size() < bytes; ++i) s += words[(i * 7 + i / 3) % 8];
    s += "12.50 EUR";
    return s;
}

void BM_ConditionPattern(benchmark::State& state) {
    std::string input = text(std::size_t(state.range(0)));
    std::optional<Regex> re = Regex::compile("[0-9]+\\.[0-9][0-9] (EUR|USD)");
    for (auto _ : state) {
        std::optional<MatchSpans> m = re->find(input);
        benchmark::DoNotOptimize(m);
    }
    state.SetBytesProcessed(std::int64_t(state.iterations()) * state.range(0));
    state.SetComplexityN(state.range(0));
    state.counters["peakRSS_MiB"] = axf::bench::peakRssMiB();
}
BENCHMARK(BM_ConditionPattern)->RangeMultiplier(4)->Range(1 << 14, 1 << 20)->Complexity();

// The same through searchS, compiling each time, as the rest of the program calls it.
void BM_ConditionSearchS(benchmark::State& state) {
    std::string input = text(std::size_t(state.range(0)));
    for (auto _ : state) {
        RegexResult r = searchS(".*closed.*EUR", {}, input);
        benchmark::DoNotOptimize(r);
    }
    state.SetComplexityN(state.range(0));
    state.counters["peakRSS_MiB"] = axf::bench::peakRssMiB();
}
BENCHMARK(BM_ConditionSearchS)->RangeMultiplier(4)->Range(1 << 14, 1 << 20)->Complexity();

void BM_AmbiguousRepetition(benchmark::State& state) {
    std::string input(std::size_t(state.range(0)), 'a');
    std::optional<Regex> re = Regex::compile("(aa|a)*b");
    for (auto _ : state) {
        std::optional<MatchSpans> m = re->find(input);
        benchmark::DoNotOptimize(m);
    }
    state.SetComplexityN(state.range(0));
    state.counters["peakRSS_MiB"] = axf::bench::peakRssMiB();
}
BENCHMARK(BM_AmbiguousRepetition)->RangeMultiplier(2)->Range(1250, 10000)->Complexity();

void BM_NestedRepetition(benchmark::State& state) {
    std::string input(std::size_t(state.range(0)), 'a');
    std::optional<Regex> re = Regex::compile("((aa)*a)*b");
    for (auto _ : state) {
        std::optional<MatchSpans> m = re->find(input);
        benchmark::DoNotOptimize(m);
    }
    state.SetComplexityN(state.range(0));
    state.counters["peakRSS_MiB"] = axf::bench::peakRssMiB();
}
BENCHMARK(BM_NestedRepetition)->RangeMultiplier(2)->Range(1250, 10000)->Complexity();

// A counted repetition costs input length times bound on a failing input.
void BM_CountedRepetition(benchmark::State& state) {
    std::string input(std::size_t(state.range(0)), 'a');
    std::optional<Regex> re = Regex::compile("a{1,1000}b");
    for (auto _ : state) {
        std::optional<MatchSpans> m = re->find(input);
        benchmark::DoNotOptimize(m);
    }
    state.SetComplexityN(state.range(0));
    state.counters["peakRSS_MiB"] = axf::bench::peakRssMiB();
}
BENCHMARK(BM_CountedRepetition)->RangeMultiplier(2)->Range(500, 4000)->Complexity()->Unit(benchmark::kMillisecond);

// Counted repetitions with large bounds on failing inputs: the search should
// cost the input length times the automaton size, whatever the bounds.
std::string letters(std::size_t bytes) {
    std::string s;
    for (std::size_t i = 0; i < bytes; ++i) s += char('a' + (i * 7 + i / 26) % 26);
    return s;
}

std::string letterAlternation() {
    std::string p = "(";
    for (char c = 'a'; c <= 'z'; ++c) {
        if (c != 'a') p += '|';
        p += c;
    }
    return p + "){1,1000}0";
}

void runFailing(benchmark::State& state, const std::string& pattern, const std::string& input) {
    std::optional<Regex> re = Regex::compile(pattern);
    for (auto _ : state) {
        std::optional<MatchSpans> m = re->find(input);
        if (m) state.SkipWithError("unexpected match");
        benchmark::DoNotOptimize(m);
    }
    state.SetComplexityN(std::int64_t(input.size()));
    state.counters["peakRSS_MiB"] = axf::bench::peakRssMiB();
}

void BM_CountedAlternationOfLetters(benchmark::State& state) {
    runFailing(state, letterAlternation(), letters(std::size_t(state.range(0))));
}
BENCHMARK(BM_CountedAlternationOfLetters)->Arg(650)->Arg(2600)->Complexity()->Unit(benchmark::kMillisecond);

void BM_CountedLetterClass(benchmark::State& state) { runFailing(state, "[a-z]{1,1000}0", letters(std::size_t(state.range(0)))); }
BENCHMARK(BM_CountedLetterClass)->Arg(650)->Arg(2600)->Complexity()->Unit(benchmark::kMillisecond);

void BM_ThreeNestedCounters(benchmark::State& state) {
    runFailing(state, "((a{1,1000}){1,1000}){1,1000}b", std::string(std::size_t(state.range(0)), 'a'));
}
BENCHMARK(BM_ThreeNestedCounters)->Arg(25)->Arg(50)->Arg(100)->Complexity()->Unit(benchmark::kMillisecond);

void BM_TwoNestedCounters(benchmark::State& state) {
    runFailing(state, "(a{1,100}){1,100}b", std::string(std::size_t(state.range(0)), 'a'));
}
BENCHMARK(BM_TwoNestedCounters)->Arg(250)->Arg(500)->Arg(1000)->Complexity()->Unit(benchmark::kMillisecond);

// Matches only from the last start positions within the bounds: every earlier
// start is a dead end that only the counters show. The second argument 0 runs
// the plain walk (no dead-end pruning), 1 the runner as the searches use it.
void runFar(benchmark::State& state, const std::string& pattern, const std::string& input) {
    std::optional<CompiledRegex<char>> c = compileRegexpS(pattern, {}, {}, {});
    const Program<char> prog(std::move(*c), state.range(1) != 0 ? DeadEndPruning::WithinWalkCost : DeadEndPruning::Off);
    for (auto _ : state) {
        std::optional<MatchSpans> m = prog.run(charSpan(input));
        if (!m) state.SkipWithError("no match");
        benchmark::DoNotOptimize(m);
    }
    state.counters["peakRSS_MiB"] = axf::bench::peakRssMiB();
}

void BM_CountedLetterClassFarMatch(benchmark::State& state) {
    runFar(state, "[a-z]{1,1000}0", letters(std::size_t(state.range(0))) + "0");
}
BENCHMARK(BM_CountedLetterClassFarMatch)->Args({2600, 0})->Args({2600, 1})->Unit(benchmark::kMillisecond);

void BM_TwoNestedCountersFarMatch(benchmark::State& state) {
    runFar(state, "(a{1,30}){1,30}b", std::string(std::size_t(state.range(0)), 'a') + "b");
}
BENCHMARK(BM_TwoNestedCountersFarMatch)->Args({1000, 0})->Args({1000, 1})->Unit(benchmark::kMillisecond);

// A match at hand: the first start matches after a few elements, so the
// search costs about the match, not the run of input the repetition could
// consume.
void BM_CountedShortMatchSearchS(benchmark::State& state) {
    std::string input(std::size_t(state.range(0)), 'a');
    for (auto _ : state) {
        RegexResult r = searchS("a{2,5}", {}, input);
        benchmark::DoNotOptimize(r);
    }
    state.counters["peakRSS_MiB"] = axf::bench::peakRssMiB();
}
BENCHMARK(BM_CountedShortMatchSearchS)->Arg(100000)->Unit(benchmark::kMillisecond);

void runMatching(benchmark::State& state, const std::string& pattern, const std::string& input) {
    std::optional<Regex> re = Regex::compile(pattern);
    for (auto _ : state) {
        std::optional<MatchSpans> m = re->find(input);
        if (!m) state.SkipWithError("no match");
        benchmark::DoNotOptimize(m);
    }
    state.counters["peakRSS_MiB"] = axf::bench::peakRssMiB();
}

void BM_NestedCountersShortMatch(benchmark::State& state) {
    runMatching(state, "(a{2,5}){3,7}", std::string(std::size_t(state.range(0)), 'a'));
}
BENCHMARK(BM_NestedCountersShortMatch)->Arg(1000000)->Unit(benchmark::kMillisecond);

// (ab){1,N}$ over abab...: every start up to the last N pairs runs through
// its N passes and fails at the end anchor.
void BM_CountedPairAtEnd(benchmark::State& state) {
    std::string input;
    for (std::int64_t i = 0; i < state.range(0) / 2; ++i) input += "ab";
    runMatching(state, "(ab){1," + std::to_string(state.range(1)) + "}$", input);
}
BENCHMARK(BM_CountedPairAtEnd)->Args({2600, 10})->Args({2600, 100})->Unit(benchmark::kMillisecond);

// Parsing and compiling: a long run of literals and pieces, and nested groups.
void BM_CompileLongPattern(benchmark::State& state) {
    std::string pattern;
    for (std::int64_t k = 0; pattern.size() < std::size_t(state.range(0)); ++k) pattern += k % 3 ? "ab" : "c*";
    for (auto _ : state) {
        std::optional<Regex> re = Regex::compile(pattern);
        benchmark::DoNotOptimize(re);
    }
    state.SetComplexityN(state.range(0));
}
BENCHMARK(BM_CompileLongPattern)->RangeMultiplier(4)->Range(625, 10000)->Complexity();

void BM_CompileNestedGroups(benchmark::State& state) {
    const std::size_t depth = std::size_t(state.range(0));
    std::string pattern = std::string(depth, '(') + "a" + std::string(depth, ')') + "b";
    for (auto _ : state) {
        std::optional<Regex> re = Regex::compile(pattern);
        benchmark::DoNotOptimize(re);
    }
    state.SetComplexityN(state.range(0));
}
BENCHMARK(BM_CompileNestedGroups)->RangeMultiplier(4)->Range(64, 1024)->Complexity();

}  // namespace
