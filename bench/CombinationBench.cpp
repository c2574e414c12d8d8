// Combination of two result lists of up to 100,000 entries each, in every
// operator and mode, at query nodes and between whole queries. The sizes step
// up to 100,000 so that the fitted complexity shows the cost is linear.
//
// Joined trees come from the arena, which never frees, so the iteration count
// is fixed to keep the process small; arena bytes per iteration are reported.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdint>
#include <random>
#include <string>

#include "query/Combination.h"
#include "query/CombinationSteps.h"
#include "query/WholeQueryCombinationInternal.h"
#include "xml/Arena.h"
#include "xml/XML.h"

namespace {

using namespace axf::query;

// Two lists as the search hands them to a boolean node: matches of one parent
// element at ascending positions, one to three embeddings each, costs 0..3.
// About half of the positions of each list also occur in the other.
// Between whole queries the second list is dearer, so that `or` keeps the
// first list's cheapest run instead of pairing two runs of 25,000 entries.
struct Lists {
    EntryList first, second, secondDearer;
};

EntryList makeList(std::int64_t count, std::uint32_t seed) {
    std::mt19937 rng(seed);
    const axf::xml::Tree* child = axf::xml::elem("b^3^9");
    EntryList out;
    out.reserve(static_cast<std::size_t>(count));
    std::int64_t pos = 1;
    while (static_cast<std::int64_t>(out.size()) < count) {
        pos += 1 + static_cast<std::int64_t>(rng() % 2);
        const std::int64_t copies = 1 + static_cast<std::int64_t>(rng() % 3);
        const axf::xml::Tree* tree = axf::xml::elem("a^2^" + std::to_string(pos), {child});
        for (std::int64_t k = 0; k < copies && static_cast<std::int64_t>(out.size()) < count; ++k)
            out.push_back({pos, 2, pos + 4, 0, static_cast<std::int64_t>(rng() % 4), tree});
    }
    return out;
}

const Lists& lists(std::int64_t n) {
    static std::int64_t made = -1;
    static Lists l;
    if (made != n) {
        l.first = sortByPositionThenCost(makeList(n, 1));
        l.second = sortByPositionThenCost(makeList(n, 2));
        l.secondDearer = l.second;
        for (EmbeddingEntry& e : l.secondDearer) e.cost += 10;
        made = n;
    }
    return l;
}

template <EntryList (*F)(EntrySpan, EntrySpan, std::int64_t)>
void nodeLevel(benchmark::State& state) {
    const Lists& l = lists(state.range(0));
    const std::size_t before = axf::xml::Arena::bytesUsed();
    std::size_t produced = 0;
    for (auto _ : state) {
        EntryList r = F(l.first, l.second, 5);
        produced = r.size();
        benchmark::DoNotOptimize(r.data());
    }
    state.SetComplexityN(state.range(0));
    state.counters["entries"] = static_cast<double>(produced);
    state.counters["arenaBytesPerIter"] =
        static_cast<double>(axf::xml::Arena::bytesUsed() - before) / static_cast<double>(state.iterations());
}

template <EntryList (*F)(EntrySpan, EntrySpan)>
void wholeQuery(benchmark::State& state) {
    const Lists& l = lists(state.range(0));
    for (auto _ : state) {
        EntryList r = F(l.first, l.secondDearer);
        benchmark::DoNotOptimize(r.data());
    }
    state.SetComplexityN(state.range(0));
}

// Unsorted input: the orderings sort once; sorted input is only checked.
void orderingUnsorted(benchmark::State& state) {
    EntryList in = makeList(state.range(0), 3);
    std::mt19937 rng(4);
    std::shuffle(in.begin(), in.end(), rng);
    for (auto _ : state) {
        EntryList r = sortByPositionThenCost(in);
        benchmark::DoNotOptimize(r.data());
    }
    state.SetComplexityN(state.range(0));
}

void orderingSorted(benchmark::State& state) {
    const Lists& l = lists(state.range(0));
    for (auto _ : state) {
        EntryList r = sortByPositionThenCost(l.first);
        benchmark::DoNotOptimize(r.data());
    }
    state.SetComplexityN(state.range(0));
}

#define AXF_SIZES RangeMultiplier(2)->Range(12500, 100000)->Iterations(20)->Unit(benchmark::kMicrosecond)

BENCHMARK(nodeLevel<combineAndBest>)->AXF_SIZES->Complexity(benchmark::oN);
BENCHMARK(nodeLevel<combineAndAll>)->AXF_SIZES->Complexity(benchmark::oN);
BENCHMARK(nodeLevel<combineOrBest>)->AXF_SIZES->Complexity(benchmark::oN);
BENCHMARK(nodeLevel<combineOrAll>)->AXF_SIZES->Complexity(benchmark::oN);
BENCHMARK(nodeLevel<combineXorBest>)->AXF_SIZES->Complexity(benchmark::oN);
BENCHMARK(nodeLevel<combineXorAll>)->AXF_SIZES->Complexity(benchmark::oN);
BENCHMARK(wholeQuery<combineQueriesAndBest>)->AXF_SIZES->Complexity(benchmark::oN);
BENCHMARK(wholeQuery<combineQueriesOrBest>)->AXF_SIZES->Complexity(benchmark::oN);
BENCHMARK(wholeQuery<combineQueriesOrAll>)->AXF_SIZES->Complexity(benchmark::oN);
BENCHMARK(wholeQuery<combineQueriesXorBest>)->AXF_SIZES->Complexity(benchmark::oN);
BENCHMARK(wholeQuery<combineQueriesXorAll>)->AXF_SIZES->Complexity(benchmark::oN);
BENCHMARK(orderingSorted)->AXF_SIZES->Complexity(benchmark::oN);
BENCHMARK(orderingUnsorted)->AXF_SIZES->Complexity(benchmark::oNLogN);

}  // namespace
