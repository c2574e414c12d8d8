// axfilter FILTER: answers one approximate tree query over XML documents.
#include <cstdio>
#include <string>

#include "app/FilterRun.h"
#include "app/Platform.h"
#include "common/LargeStack.h"
#include "common/Output.h"

namespace {

// Written when no filter is given: the usage line, then the form of a filter
// and one example.
constexpr const char* kUsageHelp =
    "usage: axfilter FILTER\n"
    "\n"
    "A filter is one argument:\n"
    "  [count [N] (] STATEMENT QUERY in SOURCE [where &COND&, ...] [(P) | (N)] [)]\n"
    "STATEMENT: filterAllBest, filterOneBest, filterAllExact or filterBestExact.\n"
    "QUERY: a tree of tags, e.g. person(name(X), age()); upper-case names are variables.\n"
    "SOURCE: file 'doc.xml', an inline document such as site(people()), or (FILTER).\n"
    "\n"
    "Example:\n"
    "  axfilter \"filterAllBest people(person(name(), age())) in file 'examples/auction.xml'\"\n"
    "\n"
    "The language, the tag vocabulary and the messages are explained in README.md.\n";

}  // namespace

int main(int argc, char** argv) {
    axf::app::holdStandardDescriptors();
    if (argc < 2) {
        std::fputs(kUsageHelp, stderr);
        return 2;
    }
    return axf::app::runReportingFailures([&] {
        std::string filterText = argv[1];
        int status = 0;
        axf::runWithLargeStack([&] {
            axf::StdoutSink sink;
            status = axf::app::filterXML(filterText, sink);
        });
        axf::out().flush();
        return status;
    });
}
