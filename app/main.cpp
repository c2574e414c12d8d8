// axfilter FILTER: answers one approximate tree query over XML documents.
#include <cstdio>
#include <string>

#include "app/FilterRun.h"
#include "app/Platform.h"
#include "common/LargeStack.h"
#include "common/Output.h"

int main(int argc, char** argv) {
    axf::app::holdStandardDescriptors();
    if (argc < 2) {
        std::fputs("usage: axfilter FILTER\n", stderr);
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
