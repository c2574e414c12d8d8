// The whole run of a fixed filter over a fuzzed document. The first byte
// picks one of the filters below; the rest is the document text, handed to
// every inline source of the filter.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <variant>
#include <vector>

#include "app/FilterRun.h"
#include "app/FilterRunInternal.h"
#include "app/ResultPrinter.h"
#include "common/Output.h"
#include "filter/FilterParser.h"
#include "filter/RuleReading.h"
#include "fuzz/FuzzSupport.h"

using namespace axf;

namespace {

const char* const kFilters[] = {
    "filterAllBest item(name(X), location()) in 'x' where &X match [A-Z].*&",
    "filterOneBest person(name(X), age(Y)) in 'x' where &Y > 30&",
    "count 4 (filterAllBest $item($name()) in 'x')",
    "filterAllExact and(item(name()), person(age())) in 'x'",
    "filterAllBest or(person(name(X)), xor(item(), category())) in 'x' (N)",
    "filterBestExact site(people(person(X))) in 'x' where &let Q=1 in X > Q&",
    "filterAllBest name() in (filterAllExact person(name(X)) in 'x' where &X match .*a.*&)",
    "count (filterAllBest person(X) in 'x' where &X = X& (N))",
    "filterOneBest description(text(T), parlist(listitem(text()))) in 'x' where &T match [Bb].*&",
    "filterAllBest $articolo(nome(X), locazione(Y)) in 'x' where &X = Y ++ Y&, &Y match [a-z ]*&",
};
constexpr std::size_t kFilterCount = sizeof(kFilters) / sizeof(kFilters[0]);

// The rule with every inline source's text replaced by the document.
const xml::Tree* withDocument(const xml::Tree* t, const std::string& doc) {
    const auto* el = std::get_if<xml::ELNode>(&t->value);
    if (!el) return t;
    if (el->name == "xml") return xml::makeTree(t->value, {xml::text(doc)});
    if (el->name != "rule") return t;
    std::vector<const xml::Tree*> kids(t->children().begin(), t->children().end());
    if (kids.size() == 6) kids[2] = withDocument(kids[2], doc);
    return xml::makeTree(t->value, kids);
}

void runFilter(std::size_t which, const std::string& doc) {
    filter::ParseResult parsed = filter::parseFilter(kFilters[which]);
    const xml::Tree* rule = withDocument(std::get<filter::ParseOk>(parsed).tree, doc);
    app::ResultDocument result = app::evaluateRuleOnSource(filter::readRule(rule), true);
    StringSink sink;
    app::writeResultDocument(0, true, result, sink);
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    // Values the program caches across runs are made here, before any release.
    const std::string doc =
        "<site><people><person id='p1'><name>Anna</name><age>34</age></person></people>"
        "<regions><item><name>Pen</name><location>Rome</location></item></regions></site>";
    // A removal that takes the whole document makes the shared "empty text" leaf.
    fuzz::warmUp([] {
        StringSink sink;
        app::filterXML("filterAllBest person() in person(name('a')) (N)", sink);
    });
    for (std::size_t i = 0; i < kFilterCount; ++i) {
        if (!std::holds_alternative<filter::ParseOk>(filter::parseFilter(kFilters[i]))) {
            std::fprintf(stderr, "run_doc_fuzz: the fixed filter does not parse: %s\n", kFilters[i]);
            std::abort();
        }
        fuzz::warmUp([&] { runFilter(i, doc); });
    }
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) return 0;
    const std::size_t which = data[0] % kFilterCount;
    const std::string doc(fuzz::asText(data + 1, size - 1));
    fuzz::runInput([&] { runFilter(which, doc); });
    return 0;
}
