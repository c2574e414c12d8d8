// A condition over two variables bound to 100 values each: 10,000
// combinations per result. Measured on one result (every combination
// evaluated), on 100 results with the same values (each distinct combination
// is evaluated once per condition, the rest come from the memo), and for a
// negated rule (the kept nodes removed from the document).
//
// Rebuilt trees come from the arena, which never frees, so the iteration
// count is fixed to keep the process small.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <string>

#include "filter/VariableBinding.h"
#include "query/NodeLabel.h"
#include "xml/XML.h"

namespace {

using namespace axf;

constexpr int kValues = 100;

// site^1 over x^2 (texts 0..99 at 3..102) and y^103 (texts 50..149 at
// 104..203): the variable X on x (query node 3), Y on y (query node 4).
struct Fixture {
    const xml::Tree* document;
    const xml::Tree* result;
};

const Fixture& fixture() {
    static const Fixture f = [] {
        xml::TreeList xs, ys;
        for (int i = 0; i < kValues; ++i) {
            xs.push_back(xml::text(query::makeLabel(std::to_string(i), 3 + i)));
            ys.push_back(xml::text(query::makeLabel(std::to_string(i + kValues / 2), 4 + kValues + i)));
        }
        const xml::Tree* x = xml::makeTree(xml::ELNode{query::makeLabel("x", 2), {}}, xs);
        const xml::Tree* y = xml::makeTree(xml::ELNode{query::makeLabel("y", 3 + kValues), {}}, ys);
        const xml::Tree* doc = xml::elem(query::makeLabel("site", 1), {x, y});
        const xml::Tree* result = xml::elem(query::makeLabel("site", 2, 1), {xml::elem(query::makeLabel("x", 3, 2)),
                                                                             xml::elem(query::makeLabel("y", 4, 3 + kValues))});
        return Fixture{doc, result};
    }();
    return f;
}

filter::RuleConditions condition() {
    filter::RuleConditions c;
    c.expressionConditions.push_back({"X * 2 > Y + 40"});
    return c;
}

void run(benchmark::State& state, int results, filter::Polarity polarity) {
    const Fixture& f = fixture();
    index::EntryList rs;
    for (int i = 0; i < results; ++i) {
        index::EmbeddingEntry e;
        e.position = 1;
        e.tree = f.result;
        rs.push_back(e);
    }
    const filter::QueryVariables vars = {{"3", "X"}, {"4", "Y"}};
    const filter::RuleConditions c = condition();
    for (auto _ : state) {
        index::EntryList out = filter::bindResults(rs, vars, f.document, c, polarity);
        benchmark::DoNotOptimize(out.data());
    }
    state.counters["combinations/s"] =
        benchmark::Counter(double(results) * kValues * kValues * double(state.iterations()), benchmark::Counter::kIsRate);
}

void BM_OneResult(benchmark::State& state) { run(state, 1, filter::Polarity::Positive); }
void BM_HundredResults(benchmark::State& state) { run(state, 100, filter::Polarity::Positive); }
void BM_Negated(benchmark::State& state) { run(state, 1, filter::Polarity::Negated); }

BENCHMARK(BM_OneResult)->Iterations(200)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_HundredResults)->Iterations(20)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Negated)->Iterations(200)->Unit(benchmark::kMicrosecond);

}  // namespace
