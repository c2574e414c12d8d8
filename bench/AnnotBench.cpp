// Annotation time against query depth. The query is a root over a chain of
// k nested elements, the innermost over a text, as a filter such as
// site/regions/.../"x" gives it. The extended form grows to 3*2^k - 2 nodes
// below the root; its time per node should stay flat as k grows. The plain
// form of the same query (k + 2 nodes) is shown for comparison.
//
// Trees live in the run-long arena and are never freed, so every iteration
// adds its tree to the process; the runs are kept short to bound memory.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <string>

#include "bench/PeakRss.h"
#include "query/ExtendQuery.h"
#include "query/QueryAnnotation.h"
#include "xml/Arena.h"
#include "xml/XML.h"

namespace {

using axf::xml::Tree;

const Tree* chainQuery(int k) {
    const Tree* t = axf::xml::text("x");
    for (int i = k; i >= 1; --i) {
        std::string name(1, 'e');
        name.append(std::to_string(i));
        t = axf::xml::elem(std::move(name), {t});
    }
    return axf::xml::elem("root", {t});
}

void BM_ExtendQuery(benchmark::State& state) {
    const int k = int(state.range(0));
    const Tree* query = chainQuery(k);
    const std::int64_t nodes = 1 + 3 * (std::int64_t(1) << k) - 2;
    std::size_t arenaBefore = axf::xml::Arena::bytesUsed();
    for (auto _ : state) {
        axf::query::QueryAnnotation a = axf::query::extendQuery(query, 2);
        benchmark::DoNotOptimize(a.lastNumber);
    }
    state.SetComplexityN(nodes);
    state.counters["nodes"] = double(nodes);
    state.counters["per_node"] =
        benchmark::Counter(double(nodes), benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
    state.counters["arena_B_per_iter"] = double(axf::xml::Arena::bytesUsed() - arenaBefore) / double(state.iterations());
    state.counters["peak_rss_MiB"] = axf::bench::peakRssMiB();
}
BENCHMARK(BM_ExtendQuery)->DenseRange(4, 16)->MinTime(0.2)->Unit(benchmark::kMicrosecond)->Complexity(benchmark::oN);

void BM_VisitQuery(benchmark::State& state) {
    const int k = int(state.range(0));
    const Tree* query = chainQuery(k);
    for (auto _ : state) {
        axf::query::PlainAnnotation a = axf::query::plainAnnotation(query, 2);
        benchmark::DoNotOptimize(a.lastNumber);
    }
    state.counters["nodes"] = double(k + 2);
}
BENCHMARK(BM_VisitQuery)->DenseRange(4, 16, 4)->MinTime(0.2)->Unit(benchmark::kMicrosecond);

}  // namespace
