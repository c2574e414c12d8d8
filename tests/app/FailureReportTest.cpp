// How the run ends on whatever it throws: one line on the error stream and
// status 1, the same way for the program's own errors and for any other
// exception.
#include <gtest/gtest.h>

#include <cstdio>
#include <functional>
#include <new>
#include <stdexcept>
#include <string>

#include "app/FilterRun.h"
#include "common/CheckedSize.h"
#include "common/Fatal.h"
#include "common/Lazy.h"

namespace {

struct Outcome {
    int status;
    std::string errors;
};

Outcome runCaptured(const std::function<int()>& run) {
    axf::app::RunEnd end = axf::app::runReportingFailures(run);
    return {end.status, end.failureText};
}

TEST(FailureReport, EveryExceptionEndsTheRunWithOneLine) {
    const struct {
        const char* name;
        std::function<int()> run;
        int status;
        std::string errors;
    } cases[] = {
        {"success", [] { return 0; }, 0, ""},
        {"status of the run", [] { return 1; }, 1, ""},
        {"fatal", []() -> int { throw axf::Fatal("Attention: x"); }, 1, "Attention: x\n"},
        {"fatal with a note", []() -> int { throw axf::Fatal("Parse error", "axfilter: where"); }, 1,
         "Parse error\naxfilter: where\n"},
        {"internal", []() -> int { throw axf::InternalError("f: state"); }, 1, "f: state\n"},
        {"allocation", []() -> int { throw std::bad_alloc(); }, 1, "out of memory\n"},
        {"size past what a container holds", []() -> int { throw std::length_error("basic_string::_M_create"); }, 1,
         "out of memory\n"},
        {"size of a product", []() -> int { return int(axf::checkedProduct(std::size_t(1) << 40, std::size_t(1) << 30)); }, 1,
         "out of memory\n"},
        {"library", []() -> int { throw std::runtime_error("some failure"); }, 1, "axfilter: unexpected error: some failure\n"},
        {"not an exception", []() -> int { throw 7; }, 1, "axfilter: unexpected error\n"},
        {"lazy value read while it is computed",
         []() -> int {
             std::function<int()> self;
             axf::Lazy<int> l([&] { return self(); });
             self = [&] { return l.get(); };
             return l.get();
         },
         1, "Lazy::get: value re-entered while being computed\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Outcome o = runCaptured(c.run);
        EXPECT_EQ(o.status, c.status);
        EXPECT_EQ(o.errors, c.errors);
    }
}

}  // namespace
