// Embedding search speed on generated auction documents of 10 MB and 100 MB:
// a two-level query and a three-level approximate query, searched as the
// driver does for an approximate statement (extended annotation, deletion
// cost 5). Reports wall time per search, the number of results and the peak
// resident memory of the process; indexing is timed separately.
#include <benchmark/benchmark.h>

#include <cstddef>
#include <cstdint>
#include <map>
#include <memory>
#include <string>

#include "bench/PeakRss.h"
#include "index/DocumentIndexer.h"
#include "query/Embedding.h"
#include "query/ExtendQuery.h"
#include "xml/XML.h"

namespace {

using namespace axf;

// Auction-style markup with the tag vocabulary only: regions of items, people,
// open and closed auctions, categories; descriptions nest parlist/listitem.
std::string makeDocument(std::size_t bytes) {
    static const char* regions[] = {"africa", "asia", "australia", "europe", "namerica", "samerica"};
    std::string d = "<?xml version=\"1.0\"?>\n<site>\n";
    std::size_t i = 0;
    const std::size_t part = bytes / 4;
    d += "<regions>\n";
    while (d.size() < part) {
        const char* region = regions[(i / 20) % 6];
        d += "<";
        d += region;
        d += ">\n";
        for (int k = 0; k < 20; ++k, ++i) {
            std::string n = std::to_string(i);
            d += "<item id=\"item" + n + "\"" + (i % 5 == 0 ? " featured=\"yes\"" : "") + ">";
            d += "<location>United States</location><quantity>1</quantity><name>duteous nine " + n + "</name>";
            d += "<payment>Creditcard, Cash</payment><description>";
            if (i % 3 == 0)
                d += "<parlist><listitem><text>gold <emph>heard</emph> beating</text></listitem>"
                     "<listitem><parlist><listitem><text>nested <keyword>cause</keyword></text></listitem>"
                     "</parlist></listitem></parlist>";
            else
                d += "<text>promotions despair <bold>flight</bold> cheerful</text>";
            d += "</description><shipping>Will ship internationally</shipping>";
            d += "<incategory category=\"category" + std::to_string(i % 1000) + "\"/></item>\n";
        }
        d += "</";
        d += region;
        d += ">\n";
    }
    d += "</regions>\n<people>\n";
    i = 0;
    while (d.size() < 2 * part) {
        std::string n = std::to_string(i);
        d += "<person id=\"person" + n + "\"><name>Person " + n + "</name>";
        if (i % 2 == 0) d += "<emailaddress>mailto:p" + n + "@example.com</emailaddress>";
        d += "<address><street>" + n +
             " Main St</street><city>Rome</city><country>Italy</country>"
             "<zipcode>00100</zipcode></address>";
        if (i % 4 == 0)
            d += "<profile income=\"" + std::to_string(20000 + i % 50000) +
                 "\"><interest category=\"category1\"/><education>College</education><age>30</age></profile>";
        d += "<watches><watch open_auction=\"open_auction" + std::to_string(i % 777) + "\"/></watches></person>\n";
        ++i;
    }
    d += "</people>\n<open_auctions>\n";
    i = 0;
    while (d.size() < 3 * part) {
        std::string n = std::to_string(i);
        d += "<open_auction id=\"open_auction" + n + "\"><initial>15.00</initial>";
        for (int b = 0; b < int(i % 4); ++b)
            d += "<bidder><date>06/12/2001</date><time>10:00:00</time><personref person=\"person" +
                 std::to_string((i + b) % 5000) + "\"/><increase>1.50</increase></bidder>";
        d += "<current>20.00</current><itemref item=\"item" + n + "\"/><seller person=\"person" + n +
             "\"/><annotation><author person=\"person" + n +
             "\"/><description><text>fine</text></description><happiness>7</happiness></annotation>"
             "<quantity>1</quantity><type>Regular</type><interval><start>01/01/2001</start>"
             "<end>02/02/2002</end></interval></open_auction>\n";
        ++i;
    }
    d += "</open_auctions>\n<closed_auctions>\n";
    i = 0;
    while (d.size() < bytes) {
        std::string n = std::to_string(i);
        d += "<closed_auction><seller person=\"person" + n + "\"/><buyer person=\"person" + n + "\"/><itemref item=\"item" + n +
             "\"/><price>42.00</price><date>03/03/2001</date>"
             "<quantity>1</quantity><type>Featured</type><annotation><author person=\"person" +
             n +
             "\"/><description><parlist><listitem><text>well</text></listitem></parlist></description>"
             "</annotation></closed_auction>\n";
        ++i;
    }
    d += "</closed_auctions>\n</site>\n";
    return d;
}

const index::IndexedDocument& document(std::size_t mb) {
    static std::map<std::size_t, std::unique_ptr<index::IndexedDocument>> docs;
    auto& slot = docs[mb];
    if (!slot) {
        std::string text = makeDocument(mb << 20);
        slot = std::make_unique<index::IndexedDocument>(index::parseText(text));
        slot->elementIndex.merged();
    }
    return *slot;
}

void runQuery(benchmark::State& state, const xml::Tree* query, query::SearchMode mode) {
    const index::IndexedDocument& doc = document(std::size_t(state.range(0)));
    query::QueryAnnotation a = query::extendQuery(query, 2);
    std::size_t results = 0;
    for (auto _ : state) {
        const query::SearchContext context{&a.mapping,     &a.deletionCosts, &a.searchTypes,       &doc.elementIndex,
                                           &doc.textIndex, &doc.mapping,     query::kDeletionCost, mode};
        query::SearchResult r = query::evaluateQuery(a.tree, context, 2);
        results = r.all().size();
        benchmark::DoNotOptimize(r);
    }
    state.counters["results"] = double(results);
    state.counters["peakRSS_MB"] = axf::bench::peakRssMiB();
}

// item over name: every item of every region.
void BM_TwoLevel(benchmark::State& state) { runQuery(state, xml::elem("item", {xml::elem("name")}), query::SearchMode::Best); }
BENCHMARK(BM_TwoLevel)->Arg(10)->Arg(100)->Unit(benchmark::kMillisecond)->MinTime(1.0);

// regions over item over text, mode all: a region level inserted above each
// item, texts below description and parlists, deletion alternatives for item.
void BM_ThreeLevelApprox(benchmark::State& state) {
    runQuery(state, xml::elem("regions", {xml::elem("item", {xml::elem("text")})}), query::SearchMode::All);
}
BENCHMARK(BM_ThreeLevelApprox)->Arg(10)->Arg(100)->Unit(benchmark::kMillisecond)->MinTime(1.0);

// The same three levels through translations: articolo and testo are the
// Italian names of item and text, searched with the "$" mark.
void BM_ThreeLevelTranslated(benchmark::State& state) {
    auto marked = [](const char* name, std::initializer_list<const xml::Tree*> kids) {
        return xml::makeTree(xml::ELNode{name, {{"type", "E"}}}, kids);
    };
    runQuery(state, xml::elem("site", {marked("articolo", {marked("testo", {})})}), query::SearchMode::Best);
}
BENCHMARK(BM_ThreeLevelTranslated)->Arg(10)->Arg(100)->Unit(benchmark::kMillisecond)->MinTime(1.0);

// Parsing and indexing the document text (for scale; not the search).
void BM_IndexDocument(benchmark::State& state) {
    std::string text = makeDocument(std::size_t(state.range(0)) << 20);
    for (auto _ : state) {
        index::IndexedDocument d = index::parseText(text);
        d.elementIndex.merged();
        benchmark::DoNotOptimize(d);
    }
    state.SetBytesProcessed(std::int64_t(state.iterations()) * std::int64_t(text.size()));
    state.counters["peakRSS_MB"] = axf::bench::peakRssMiB();
}
BENCHMARK(BM_IndexDocument)->Arg(10)->Unit(benchmark::kMillisecond)->Iterations(1);

}  // namespace
