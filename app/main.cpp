// axfilter FILTER: answers one approximate tree query over XML documents.
// axfilter -h | --help: the usage text on stdout; --version: the version.
#include <cstdio>
#include <string>
#include <string_view>

#include "app/FilterRun.h"
#include "app/Installation.h"
#include "app/Platform.h"
#include "common/ByteClass.h"
#include "common/LargeStack.h"
#include "common/Output.h"

#ifndef AXF_VERSION
#define AXF_VERSION "unknown"
#endif

namespace {

// The usage lines and the form of a filter (exampleAndDocumentation follows).
constexpr const char* kUsageHelp =
    "usage: axfilter FILTER\n"
    "       axfilter -h | --help | --version\n"
    "\n"
    "A filter is one argument:\n"
    "  [count [N] (] STATEMENT QUERY in SOURCE [where &COND&, ...] [(P) | (N)] [)]\n"
    "STATEMENT: filterAllBest, filterOneBest, filterAllExact or filterBestExact.\n"
    "QUERY: a tree of tags, e.g. person(name(X), age()); upper-case names are variables.\n"
    "SOURCE: file 'doc.xml', an inline document such as site(people()), or (FILTER).\n"
    "File names hold only letters, digits, blanks and \\ : / . _; read any other file with\n"
    "  file '/dev/stdin' and axfilter \"FILTER\" < FILE.\n"
    "Documents use a fixed tag vocabulary of 114 names.\n"
    "The output ends with an empty line and two timing lines: | head -n -3 drops them.\n"
    "\n";

// One example over the example document, and where the language, the tag
// vocabulary and the messages are explained: the installed files when the
// program runs from an installation, else the source tree's.
std::string exampleAndDocumentation() {
    std::optional<std::string> folder = axf::app::installedDocumentationFolder();
    std::string document = (folder ? *folder + "/examples" : "examples") + "/auction.xml";
    // A file name in a filter holds only these bytes; another is read through standard input.
    bool quotable = true;
    for (unsigned char c : document)
        quotable = quotable && ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || axf::isDigitByte(c) || c == ' ' ||
                                c == '\\' || c == ':' || c == '/' || c == '.' || c == '_');
    std::string text = "Example:\n  axfilter \"filterAllBest people(person(name(), age())) in file '" +
                       (quotable ? document + "'\"" : std::string("/dev/stdin'\" < '") + document + "'") + "\n\n";
    if (folder)
        return text + "The language, the tag vocabulary and the messages are explained in man axfilter and in\n" + *folder +
               "/README.md (tag vocabulary: " + *folder + "/docs/vocabulary.md).\n";
    return text +
           "The language, the tag vocabulary and the messages are explained in README.md\n"
           "(tag vocabulary: docs/vocabulary.md; example documents: examples/) and in man axfilter.\n";
}

void writeUsage(std::FILE* to) {
    std::fputs(kUsageHelp, to);
    std::fputs(exampleAndDocumentation().c_str(), to);
}

}  // namespace

int main(int argc, char** argv) {
    axf::app::holdStandardDescriptors();
    if (argc < 2) {
        writeUsage(stderr);
        return 2;
    }
    // No filter begins with '-': these are options.
    const std::string_view first = argv[1];
    if (first == "-h" || first == "--help") {
        writeUsage(stdout);
        return std::fflush(stdout) == 0 && !std::ferror(stdout) ? 0 : 1;
    }
    if (first == "--version") {
        std::fputs("axfilter " AXF_VERSION "\n", stdout);
        return std::fflush(stdout) == 0 && !std::ferror(stdout) ? 0 : 1;
    }
    axf::app::RunNotes notes;
    // Notes explain a run that ended on its own (an empty result, a filter
    // that does not parse); after a failure its message alone is written.
    bool ranToTheEnd = false;
    const axf::app::RunEnd end = axf::app::runReportingFailures([&] {
        std::string filterText = argv[1];
        int runStatus = 0;
        axf::runWithLargeStack([&] {
            axf::StdoutSink sink;
            runStatus = axf::app::filterXML(filterText, sink, &notes);
        });
        axf::out().flush();
        ranToTheEnd = true;
        return runStatus;
    });
    std::fwrite(end.failureText.data(), 1, end.failureText.size(), stderr);
    if (ranToTheEnd)
        for (const std::string& line : notes) std::fprintf(stderr, "%s\n", line.c_str());
    std::fflush(stderr);
    return end.status;
}
