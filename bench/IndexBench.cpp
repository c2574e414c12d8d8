// Indexing of generated auction documents (only names of the tag vocabulary,
// English and Italian mixed): wall time per document size and peak memory.
// Run one size per process for a clean peak, e.g.
//   bench_IndexBench --benchmark_filter=IndexAuction/100
#include <benchmark/benchmark.h>

#include <cstdint>
#include <string>
#include <vector>

#include "bench/PeakRss.h"
#include "index/DocumentIndexer.h"
#include "xml/Arena.h"

namespace {

class AuctionWriter {
public:
    explicit AuctionWriter(std::size_t targetBytes) : target_(targetBytes) {}

    std::string build() {
        out_.reserve(target_ + target_ / 8);
        out_ += "<?xml version=\"1.0\" standalone=\"yes\"?>\n<site>\n";
        // Sections in turn until the size is reached; each round adds a
        // little of everything so that every size has the same mix.
        std::size_t round = 0;
        while (out_.size() < target_) {
            open(1, "regions");
            for (const char* region : {"africa", "asia", "australia", "europe", "namerica", "samerica"}) {
                open(2, region);
                for (int i = 0; i < 4; ++i) item(round);
                close(2, region);
            }
            close(1, "regions");
            open(1, "categories");
            for (int i = 0; i < 3; ++i) category();
            close(1, "categories");
            open(1, "catgraph");
            for (int i = 0; i < 3; ++i) out_ += "  <edge from=\"category" + num() + "\" to=\"category" + num() + "\"/>\n";
            close(1, "catgraph");
            open(1, round % 3 ? "people" : "persone");
            for (int i = 0; i < 8; ++i) person(round);
            close(1, round % 3 ? "people" : "persone");
            open(1, "open_auctions");
            for (int i = 0; i < 4; ++i) openAuction();
            close(1, "open_auctions");
            open(1, "closed_auctions");
            for (int i = 0; i < 3; ++i) closedAuction();
            close(1, "closed_auctions");
            ++round;
        }
        out_ += "</site>\n";
        return std::move(out_);
    }

private:
    std::uint64_t next() {
        state_ = state_ * 6364136223846793005ULL + 1442695040888963407ULL;
        return state_ >> 33;
    }
    std::string num() { return std::to_string(next() % 100000); }
    std::string word() {
        static const char* words[] = {"gold",  "pen",     "black", "nib",   "leather", "notebook", "tea",   "set",
                                      "rare",  "vintage", "lamp",  "clock", "antique", "silver",   "blue",  "wooden",
                                      "chair", "table",   "mint",  "boxed", "signed",  "first",    "print", "map"};
        return words[next() % (sizeof words / sizeof *words)];
    }
    std::string words(int n) {
        std::string s;
        for (int i = 0; i < n; ++i) {
            if (i) s += ' ';
            s += word();
        }
        return s;
    }
    void indent(int level) { out_.append(static_cast<std::size_t>(2 * level), ' '); }
    void open(int level, const std::string& name) {
        indent(level);
        out_ += "<" + name + ">\n";
    }
    void close(int level, const std::string& name) {
        indent(level);
        out_ += "</" + name + ">\n";
    }
    void leaf(int level, const std::string& name, const std::string& text) {
        indent(level);
        out_ += "<" + name + ">" + text + "</" + name + ">\n";
    }
    void description(int level) {
        open(level, "description");
        indent(level + 1);
        out_ += "<text>" + words(6) + " <keyword>" + words(2) + "</keyword> " + words(8) + " <bold>" + word() + "</bold>\n" +
                words(5) + " <emph>" + words(2) + "</emph> " + words(4) + "</text>\n";
        close(level, "description");
    }
    void item(std::size_t round) {
        bool italian = round % 4 == 1;
        const char* tag = italian ? "articolo" : "item";
        indent(3);
        out_ += std::string("<") + tag + (italian ? " codice=\"item" : " id=\"item") + num() + "\">\n";
        leaf(4, italian ? "locazione" : "location", word());
        leaf(4, italian ? "quantita" : "quantity", std::to_string(1 + next() % 5));
        leaf(4, italian ? "nome" : "name", words(3));
        leaf(4, italian ? "pagamento" : "payment", "Creditcard, Cash");
        description(4);
        leaf(4, "shipping", "Will ship internationally");
        indent(4);
        out_ += "<incategory category=\"category" + num() + "\"/>\n";
        open(4, "mailbox");
        open(5, "mail");
        leaf(6, "from", words(2) + " mailto:" + word() + "@example.com");
        leaf(6, "to", words(2));
        leaf(6, "date", "07/05/2000");
        leaf(6, "text", words(12));
        close(5, "mail");
        close(4, "mailbox");
        close(3, tag);
    }
    void category() {
        indent(2);
        out_ += "<category id=\"category" + num() + "\">\n";
        leaf(3, "name", words(2));
        description(3);
        close(2, "category");
    }
    void person(std::size_t round) {
        bool italian = round % 3 == 0;
        const char* tag = italian ? "persona" : "person";
        indent(2);
        out_ += std::string("<") + tag + " id=\"person" + num() + "\">\n";
        leaf(3, "name", words(2));
        leaf(3, italian ? "indirizzo_email" : "emailaddress", "mailto:" + word() + "@example.com");
        leaf(3, "phone", "+39 " + num());
        open(3, "address");
        leaf(4, "street", num() + " " + word() + " St");
        leaf(4, "city", word());
        leaf(4, "country", "Italy");
        leaf(4, "zipcode", num());
        close(3, "address");
        indent(3);
        out_ += "<profile income=\"" + num() + ".00\">\n";
        indent(4);
        out_ += "<interest category=\"category" + num() + "\"/>\n";
        leaf(4, "education", "College");
        leaf(4, "gender", next() % 2 ? "male" : "female");
        leaf(4, "business", "Yes");
        leaf(4, "age", std::to_string(18 + next() % 60));
        close(3, "profile");
        open(3, "watches");
        indent(4);
        out_ += "<watch open_auction=\"open_auction" + num() + "\"/>\n";
        close(3, "watches");
        close(2, tag);
    }
    void annotation(int level) {
        open(level, "annotation");
        indent(level + 1);
        out_ += "<author person=\"person" + num() + "\"/>\n";
        description(level + 1);
        leaf(level + 1, "happiness", std::to_string(next() % 10));
        close(level, "annotation");
    }
    void openAuction() {
        indent(2);
        out_ += "<open_auction id=\"open_auction" + num() + "\">\n";
        leaf(3, "initial", num() + ".50");
        leaf(3, "reserve", num() + ".00");
        for (int b = 0; b < 3; ++b) {
            open(3, "bidder");
            leaf(4, "date", "11/02/2001");
            leaf(4, "time", "12:43:19");
            indent(4);
            out_ += "<personref person=\"person" + num() + "\"/>\n";
            leaf(4, "increase", num() + ".00");
            close(3, "bidder");
        }
        leaf(3, "current", num() + ".00");
        indent(3);
        out_ += "<itemref item=\"item" + num() + "\"/>\n";
        indent(3);
        out_ += "<seller person=\"person" + num() + "\"/>\n";
        annotation(3);
        leaf(3, "quantity", "1");
        leaf(3, "type", "Regular");
        open(3, "interval");
        leaf(4, "start", "01/01/2000");
        leaf(4, "end", "12/31/2001");
        close(3, "interval");
        close(2, "open_auction");
    }
    void closedAuction() {
        open(2, "closed_auction");
        indent(3);
        out_ += "<seller person=\"person" + num() + "\"/>\n";
        indent(3);
        out_ += "<buyer person=\"person" + num() + "\"/>\n";
        indent(3);
        out_ += "<itemref item=\"item" + num() + "\"/>\n";
        leaf(3, "price", num() + ".00");
        leaf(3, "date", "04/20/2000");
        leaf(3, "quantity", "1");
        leaf(3, "type", "Featured");
        annotation(3);
        close(2, "closed_auction");
    }

    std::size_t target_;
    std::string out_;
    std::uint64_t state_ = 20260101;
};

void IndexAuction(benchmark::State& state) {
    const std::size_t megabytes = static_cast<std::size_t>(state.range(0));
    const std::string text = AuctionWriter(megabytes << 20).build();
    std::size_t arenaBefore = axf::xml::Arena::bytesUsed();
    std::int64_t nodes = 0;
    for (auto _ : state) {
        axf::index::IndexedDocument doc = axf::index::parseText(text);
        // The first element lookup merges and classifies.
        benchmark::DoNotOptimize(axf::index::getRef(doc.elementIndex, "item", axf::index::LookupKind::WithTranslations).size());
        nodes = static_cast<std::int64_t>(doc.mapping.size()) - 1;
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * text.size()));
    state.counters["doc_MB"] = static_cast<double>(text.size()) / (1 << 20);
    state.counters["nodes"] = static_cast<double>(nodes);
    state.counters["arena_MB"] = static_cast<double>(axf::xml::Arena::bytesUsed() - arenaBefore) / (1 << 20);
    state.counters["peak_rss_MB"] = axf::bench::peakRssMiB();
}

// One iteration each: the tree arena keeps every document for the run.
BENCHMARK(IndexAuction)->Arg(10)->Arg(100)->Iterations(1)->Unit(benchmark::kMillisecond);

}  // namespace
