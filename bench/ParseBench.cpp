// Event parsing speed on a generated auction-style document (about 100 MB,
// newlines removed as the indexer does): events per second and MB/s, with
// every attribute value read.
#include <benchmark/benchmark.h>

#include <cstddef>
#include <string>
#include <variant>

#include "xml/XMLParse.h"

namespace {

std::string makeDocument(std::size_t bytes) {
    std::string doc = "<?xml version=\"1.0\"?><!DOCTYPE site SYSTEM \"auction.dtd\"><site><regions>";
    std::size_t i = 0;
    while (doc.size() < bytes) {
        doc += "  <item id=\"item";
        doc += std::to_string(i);
        doc += "\" featured=\"yes\">    <location>United States</location>    <quantity>1</quantity>";
        doc += "    <name>duteous nine eighteen </name>    <payment>Creditcard, Personal Check, Cash</payment>";
        doc += "    <description><text>gold promotions despair &amp; flight cheerful &#233;tat ";
        doc += "unrest sweetly rebuke wisely <emph>heard</emph> beating cause</text></description>";
        if (i % 8 == 0) doc += "    <!-- reviewed - twice -->    <note><![CDATA[a < b & c]]></note>";
        doc += "    <shipping>Will ship internationally</shipping>    <incategory category=\"category";
        doc += std::to_string(i % 1000);
        doc += "\"/>  </item>";
        ++i;
    }
    doc += "</regions></site>";
    return doc;
}

const std::string& document() {
    static const std::string doc = makeDocument(std::size_t(100) << 20);
    return doc;
}

void BM_ParseEvents(benchmark::State& state) {
    const std::string& doc = document();
    std::size_t events = 0;
    for (auto _ : state) {
        auto evs = axf::xml::parseDocument(doc);
        events = 0;
        std::size_t bytes = 0;
        while (auto e = evs.next()) {
            ++events;
            if (auto* s = std::get_if<axf::xml::StartEvent>(&*e)) {
                for (const auto& a : s->attributes) bytes += a.second.get().size();
            } else if (auto* m = std::get_if<axf::xml::EmptyEvent>(&*e)) {
                for (const auto& a : m->attributes) bytes += a.second.get().size();
            }
        }
        benchmark::DoNotOptimize(bytes);
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * doc.size()));
    state.counters["events"] = static_cast<double>(events);
}
BENCHMARK(BM_ParseEvents)->Unit(benchmark::kMillisecond)->MinTime(2.0);

}  // namespace
