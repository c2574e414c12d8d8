// Parsing time of long filters: a long "," list inside a tag, a long list of
// conditions, deep nesting and a long inline literal. The time per byte
// should stay flat as the filter grows.
#include <benchmark/benchmark.h>

#include <string>

#include "filter/FilterParser.h"

namespace {

using axf::filter::parseFilter;
using axf::filter::ParseOk;

std::string wideFilter(std::size_t bytes) {
    std::string f = "filterAllBest site(person(name(X)), item(";
    while (f.size() < bytes) f += "location(), $price(Q), ";
    f += "quantity())) in site(regions(";
    while (f.size() < bytes * 2) f += "item('Italy'), ";
    f += "'end')) where &X match [A-Z]+&";
    while (f.size() < bytes * 3) f += ", &Q > 3&";
    return f;
}

std::string deepFilter(std::size_t bytes) {
    std::size_t depth = bytes / 8;
    std::string f = "filterOneBest ";
    for (std::size_t i = 0; i < depth; ++i) f += "a(";
    for (std::size_t i = 0; i < depth; ++i) f += ")";
    f += " in ";
    for (std::size_t i = 0; i < depth; ++i) f += "b(";
    f += "'x'";
    for (std::size_t i = 0; i < depth; ++i) f += ")";
    return f;
}

template <std::string (*Make)(std::size_t)>
void BM_Parse(benchmark::State& state) {
    std::string f = Make(static_cast<std::size_t>(state.range(0)));
    for (auto _ : state) {
        auto r = parseFilter(f);
        if (!std::holds_alternative<ParseOk>(r)) state.SkipWithError("filter does not parse");
        benchmark::DoNotOptimize(r);
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * f.size()));
    state.SetComplexityN(static_cast<int64_t>(f.size()));
}

BENCHMARK(BM_Parse<wideFilter>)->RangeMultiplier(2)->Range(25 << 10, 200 << 10)->Complexity(benchmark::oN);
BENCHMARK(BM_Parse<deepFilter>)->RangeMultiplier(2)->Range(25 << 10, 200 << 10)->Complexity(benchmark::oN);

}  // namespace
