// Scanning speed of the XML scanner on a generated auction-style document
// (about 100 MB): tokens per second and MB/s, with and without reading every
// token's text.
#include <benchmark/benchmark.h>

#include <cstddef>
#include <string>

#include "xml/XMLScanner.h"

namespace {

// Auction-style markup: items with attributes, nested elements, text with
// references, comments and CDATA sections, indented by line.
std::string makeDocument(std::size_t bytes) {
    std::string doc = "<?xml version=\"1.0\"?>\n<!DOCTYPE site SYSTEM \"auction.dtd\">\n<site>\n<regions>\n";
    std::size_t i = 0;
    while (doc.size() < bytes) {
        doc += "  <item id=\"item";
        doc += std::to_string(i);
        doc += "\" featured=\"yes\">\n    <location>United States</location>\n    <quantity>1</quantity>\n";
        doc += "    <name>duteous nine eighteen </name>\n    <payment>Creditcard, Personal Check, Cash</payment>\n";
        doc += "    <description><text>gold promotions despair &amp; flight cheerful &#233;tat ";
        doc += "unrest sweetly rebuke wisely <emph>heard</emph> beating cause</text></description>\n";
        if (i % 8 == 0) doc += "    <!-- reviewed - twice -->\n    <note><![CDATA[a < b & c]]></note>\n";
        doc += "    <shipping>Will ship internationally</shipping>\n    <incategory category=\"category";
        doc += std::to_string(i % 1000);
        doc += "\"/>\n  </item>\n";
        ++i;
    }
    doc += "</regions>\n</site>\n";
    return doc;
}

const std::string& document() {
    static const std::string doc = makeDocument(std::size_t(100) << 20);
    return doc;
}

void BM_ScanTokens(benchmark::State& state) {
    const std::string& doc = document();
    std::size_t tokens = 0;
    for (auto _ : state) {
        axf::xml::XMLScanner sc(doc);
        tokens = 0;
        while (auto t = sc.next()) {
            benchmark::DoNotOptimize(t->kind());
            ++tokens;
        }
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * doc.size()));
    state.counters["tokens"] = static_cast<double>(tokens);
}
BENCHMARK(BM_ScanTokens)->Unit(benchmark::kMillisecond)->MinTime(2.0);

void BM_ScanAndReadTexts(benchmark::State& state) {
    const std::string& doc = document();
    for (auto _ : state) {
        axf::xml::XMLScanner sc(doc);
        std::size_t total = 0;
        while (auto t = sc.next())
            if (t->hasText()) total += t->view().size();
        benchmark::DoNotOptimize(total);
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * doc.size()));
}
BENCHMARK(BM_ScanAndReadTexts)->Unit(benchmark::kMillisecond)->MinTime(2.0);

}  // namespace
