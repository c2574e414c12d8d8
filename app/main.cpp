// axfilter FILTER: answers one approximate tree query over XML documents.
#include <cstdio>
#include <exception>
#include <new>
#include <string>

#include "app/Main.h"
#include "common/Fatal.h"
#include "common/LargeStack.h"
#include "common/Output.h"

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fputs("usage: axfilter FILTER\n", stderr);
        return 2;
    }
    std::string filterText = argv[1];
    int status = 0;
    auto fail = [](const char* text) {
        axf::out().flush();
        std::fprintf(stderr, "%s\n", text);
        return 1;
    };
    try {
        axf::runWithLargeStack([&] {
            axf::StdoutSink sink;
            status = axf::app::filterXML(filterText, sink);
        });
        axf::out().flush();
    } catch (const axf::Fatal& e) {
        return fail(e.what());
    } catch (const axf::InternalError& e) {
        return fail(e.what());
    } catch (const std::bad_alloc&) {
        return fail("out of memory");
    }
    return status;
}
