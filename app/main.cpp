// axfilter: approximate tree queries over XML documents.
#include <cstdio>
#include <exception>
#include <string>

#include "common/Fatal.h"
#include "common/LargeStack.h"
#include "common/Output.h"

namespace {

int run(int argc, char** /*argv*/) {
    if (argc < 2) {
        std::fputs("usage: axfilter FILTER\n", stderr);
        return 2;
    }
    std::fputs("axfilter: filters are not evaluated yet\n", stderr);
    return 1;
}

}  // namespace

int main(int argc, char** argv) {
    int status = 0;
    try {
        axf::runWithLargeStack([&] { status = run(argc, argv); });
        axf::out().flush();
    } catch (const axf::Fatal& e) {
        axf::out().flush();
        std::fprintf(stderr, "%s\n", e.what());
        return 1;
    } catch (const axf::InternalError& e) {
        axf::out().flush();
        std::fprintf(stderr, "%s\n", e.what());
        return 1;
    } catch (const std::bad_alloc&) {
        axf::out().flush();
        std::fputs("out of memory\n", stderr);
        return 1;
    }
    return status;
}
