// Compiling hostile pattern shapes: deeply nested alternations, named groups
// and counted repetitions, and long patterns made of many short pieces. Each
// reports its peak RSS; compile time should grow near-linearly with the size.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <string>

#include "bench/PeakRss.h"
#include "common/LargeStack.h"
#include "regex/Compile.h"

using namespace axf::regex;

namespace {

char letter(std::int64_t i) { return char('a' + i % 26); }

// (a|(b|(c|...z)))
std::string nestedAlternations(std::int64_t n) {
    std::string p;
    for (std::int64_t i = 0; i < n; ++i) (p += '(') += letter(i), p += '|';
    p += 'z';
    p.append(std::size_t(n), ')');
    return p;
}

//  g@( g@( ... g@(a)...))b
std::string nestedNamedGroups(std::int64_t n) {
    std::string p;
    for (std::int64_t i = 0; i < n; ++i) p += " g@(";
    p += 'a';
    p.append(std::size_t(n), ')');
    return p + 'b';
}

// ((((ab|c){1,2}d){1,3}){1,2}...)
std::string nestedCountedRepetitions(std::int64_t n) {
    std::string p(std::size_t(n), '(');
    p += "ab|c";
    for (std::int64_t i = 0; i < n; ++i) p += i % 2 ? "){1,3}" : "){1,2}d";
    return p;
}

// A long branch of short pieces: stars, options, groups, classes, counts.
std::string shortPieces(std::int64_t bytes) {
    static const char* pieces[] = {"a*", "b?", "(cd)+", "[ef]", "g{2,3}", "(h|i)", "j", "k+?", " n@(l)", "m{2,}"};
    std::string p;
    for (std::int64_t i = 0; std::int64_t(p.size()) < bytes; ++i) p += pieces[i % 10];
    return p;
}

template <std::string (*Shape)(std::int64_t)>
void compileShape(benchmark::State& state) {
    std::string pattern = Shape(state.range(0));
    for (auto _ : state) {
        auto c = compileRegexpS(pattern, {}, {}, {});
        if (!c) state.SkipWithError("pattern does not parse");
        benchmark::DoNotOptimize(c);
    }
    state.SetComplexityN(state.range(0));
    state.counters["peakRSS_MiB"] = axf::bench::peakRssMiB();
}

void BM_CompileNestedAlternations(benchmark::State& state) { compileShape<nestedAlternations>(state); }
void BM_CompileNestedNamedGroups(benchmark::State& state) { compileShape<nestedNamedGroups>(state); }
void BM_CompileNestedCountedRepetitions(benchmark::State& state) { compileShape<nestedCountedRepetitions>(state); }
void BM_CompileShortPieces(benchmark::State& state) { compileShape<shortPieces>(state); }

BENCHMARK(BM_CompileNestedAlternations)->DenseRange(2500, 10000, 2500)->Complexity()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_CompileNestedNamedGroups)->DenseRange(2500, 10000, 2500)->Complexity()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_CompileNestedCountedRepetitions)->DenseRange(2500, 10000, 2500)->Complexity()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_CompileShortPieces)->DenseRange(10000, 40000, 10000)->Complexity()->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
    // Nested patterns recurse over their depth: run on the large stack.
    axf::runWithLargeStack([&] {
        benchmark::Initialize(&argc, argv);
        benchmark::RunSpecifiedBenchmarks();
        benchmark::Shutdown();
    });
    return 0;
}
