#include <gtest/gtest.h>

#include <pthread.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#include <csignal>
#include <cstdio>
#include <functional>
#include <new>
#include <stdexcept>
#include <string>
#include <vector>

#include "common/ByteClass.h"
#include "common/Common.h"
#include "common/DecimalInteger.h"
#include "common/Fatal.h"
#include "common/LargeStack.h"
#include "common/Lazy.h"
#include "common/MessageText.h"
#include "common/Output.h"
#include "xml/XML.h"

namespace {

using namespace axf;

TEST(ByteClass, SpaceAndLatin1Letters) {
    for (int c : {9, 10, 11, 12, 13, 32, 160}) EXPECT_TRUE(isSpaceByte(c)) << c;
    for (int c : {0, 8, 14, 31, 133, 95, 255}) EXPECT_FALSE(isSpaceByte(c)) << c;
    for (int c : {int('a'), int('Z'), 0xAA, 0xB5, 0xBA, 0xC0, 0xD6, 0xD8, 0xF6, 0xF8, 0xFF}) EXPECT_TRUE(isLetterByte(c)) << c;
    for (int c : {int('0'), int('_'), 0xD7, 0xF7, 0xB2, 0xA0, 0x80}) EXPECT_FALSE(isLetterByte(c)) << c;
    for (int c = 128; c < 256; ++c) EXPECT_FALSE(isDigitByte(c)) << c;
    EXPECT_EQ(toUpperByte('a'), 'A');
    EXPECT_EQ(toLowerByte(0xC9), 0xE9);
    EXPECT_EQ(toUpperByte(0xE9), 0xC9);
    EXPECT_EQ(toUpperByte(0xFF), 0xFF);
    EXPECT_EQ(toUpperByte(0xF7), 0xF7);
}

TEST(DecimalInteger, WholeTextRangeChecked) {
    struct Case {
        const char* text;
        DecimalRead read;
        std::int32_t value;
    };
    const Case cases[] = {
        {"0", DecimalRead::Ok, 0},
        {"007", DecimalRead::Ok, 7},
        {"-12", DecimalRead::Ok, -12},
        {"2147483647", DecimalRead::Ok, 2147483647},
        {"-2147483648", DecimalRead::Ok, -2147483647 - 1},
        {"2147483648", DecimalRead::OutOfRange, 0},
        {"99999999999999999999x", DecimalRead::OutOfRange, 0},  // too large wins over the text after it
        {"", DecimalRead::NotANumber, 0},
        {"+1", DecimalRead::NotANumber, 0},
        {" 1", DecimalRead::NotANumber, 0},
        {"1 ", DecimalRead::NotANumber, 0},
        {"12a", DecimalRead::NotANumber, 0},
        {"-", DecimalRead::NotANumber, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string("\"") + c.text + "\"");
        std::int32_t v = 0;
        EXPECT_EQ(readDecimal(c.text, v), c.read);
        if (c.read == DecimalRead::Ok) {
            EXPECT_EQ(v, c.value);
        }
    }
    std::int64_t wide = 0;
    EXPECT_EQ(readDecimal("9223372036854775807", wide), DecimalRead::Ok);
    EXPECT_EQ(wide, INT64_MAX);
    EXPECT_EQ(readDecimal("9223372036854775808", wide), DecimalRead::OutOfRange);
}

TEST(Lazy, RunsOnceAndKeepsItsException) {
    int calls = 0;
    auto l = makeLazy([&] {
        ++calls;
        return 42;
    });
    EXPECT_FALSE(l.isComputed());
    EXPECT_EQ(l.get(), 42);
    EXPECT_EQ(l.get(), 42);
    EXPECT_EQ(calls, 1);
    int fails = 0;
    auto bad = makeLazy([&]() -> int {
        ++fails;
        throw Fatal("boom");
    });
    auto copy = bad;
    EXPECT_THROW(bad.get(), Fatal);
    EXPECT_THROW(copy.get(), Fatal);
    EXPECT_EQ(fails, 1);
}

int depthOf(int n) { return n == 0 ? 0 : 1 + depthOf(n - 1); }

TEST(LargeStack, DeepRecursionAndExceptions) {
    int d = 0;
    runWithLargeStack([&] { d = depthOf(1000000); });
    EXPECT_EQ(d, 1000000);
    EXPECT_THROW(runWithLargeStack([] { throw Fatal("x"); }), Fatal);
}

TEST(LargeStack, SmallerStackWhenTheLargeOneCannotBeHad) {
    // 128 TiB is more than the address space: the worker starts on a stack
    // halved until it can be reserved.
    constexpr std::size_t kTooLarge = std::size_t(1) << 47;
    bool ran = false;
    runWithLargeStack([&] { ran = true; }, kTooLarge);
    EXPECT_TRUE(ran);
    // When no stack down to the smallest allowed can be had: out of memory.
    ran = false;
    EXPECT_THROW(runWithLargeStack([&] { ran = true; }, kTooLarge, kTooLarge / 2), std::bad_alloc);
    EXPECT_FALSE(ran);
}

#ifndef __SANITIZE_ADDRESS__  // the address sanitizer's shadow memory needs an unlimited address space
TEST(LargeStack, AnAddressSpaceLimitKeepsMostOfItForTheRun) {
    // In a child process limited to 512 MiB of address space the worker's
    // stack takes at most an eighth of it, not the largest half that fits.
    pid_t child = fork();
    ASSERT_NE(child, -1);
    if (child == 0) {
        rlimit limit{std::size_t(512) << 20, std::size_t(512) << 20};
        if (setrlimit(RLIMIT_AS, &limit) != 0) _exit(2);
        std::size_t stack = 0;
        try {
            runWithLargeStack([&] {
                pthread_attr_t attr;
                if (pthread_getattr_np(pthread_self(), &attr) == 0) {
                    pthread_attr_getstacksize(&attr, &stack);
                    pthread_attr_destroy(&attr);
                }
            });
        } catch (...) {
            _exit(3);
        }
        _exit(stack > 0 && stack <= (std::size_t(64) << 20) ? 0 : 1);
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0);
}
#endif

TEST(Lazy, ReadWhileBeingComputedIsAnInternalError) {
    std::function<int()> self;
    Lazy<int> l([&] { return self(); });
    self = [&] { return l.get(); };
    EXPECT_THROW(l.get(), InternalError);
}

TEST(Lazy, TakeMovesOnlyFromTheLastCopy) {
    auto shared = makeLazy([] { return std::vector<int>(1000, 7); });
    Lazy<std::vector<int>> other = shared;
    const int* data = shared.get().data();
    // Another copy may still read it: copied.
    EXPECT_EQ(shared.take().size(), 1000u);
    EXPECT_EQ(other.get().size(), 1000u);
    other = Lazy<std::vector<int>>();
    // The last copy: its storage handed over whole.
    std::vector<int> taken = shared.take();
    EXPECT_EQ(taken.data(), data);
    EXPECT_EQ(taken.size(), 1000u);
}

TEST(MessageText, QuotedInputIsCut) {
    EXPECT_EQ(cutForMessage(""), "");
    EXPECT_EQ(cutForMessage(std::string(40, 'a')), std::string(40, 'a'));
    EXPECT_EQ(cutForMessage(std::string(41, 'a')), std::string(40, 'a') + "...");
    EXPECT_EQ(cutForMessage(std::string(10000000, 'b')).size(), 43u);
    EXPECT_EQ(cutForMessage("abcdef", 3), "abc...");
}

// The writer's first failed write throws the write-error message; later
// writes and flushes are dropped without a second report.
TEST(Output, WriteErrorsAreReportedOnce) {
    std::FILE* full = std::fopen("/dev/full", "w");
    if (!full) GTEST_SKIP() << "no /dev/full";
    {
        OutputWriter w(full, 16);
        w.write("short");  // buffered
        try {
            w.flush();
            ADD_FAILURE() << "no write error";
        } catch (const Fatal& e) {
            EXPECT_STREQ(e.what(), "axfilter: write error: No space left on device");
        }
        EXPECT_TRUE(w.failed());
        EXPECT_NO_THROW(w.write(std::string(100, 'x')));
        EXPECT_NO_THROW(w.flush());
    }
    {
        // A text larger than the buffer goes straight to the stream.
        OutputWriter w(full, 16);
        EXPECT_THROW(
            {
                w.write(std::string(100, 'x'));
                w.flush();
            },
            Fatal);
    }
    std::fclose(full);
    // A pipe whose reader is gone, with SIGPIPE ignored.
    int fds[2];
    ASSERT_EQ(pipe(fds), 0);
    close(fds[0]);
    auto previous = std::signal(SIGPIPE, SIG_IGN);
    std::FILE* pipeEnd = fdopen(fds[1], "w");
    ASSERT_NE(pipeEnd, nullptr);
    {
        OutputWriter w(pipeEnd, 16);
        w.spaces(10);
        try {
            w.spaces(10);  // fills the buffer: the first part goes out
            w.flush();
            ADD_FAILURE() << "no write error";
        } catch (const Fatal& e) {
            EXPECT_STREQ(e.what(), "axfilter: write error: Broken pipe");
        }
    }
    std::fclose(pipeEnd);
    std::signal(SIGPIPE, previous);
}

TEST(Output, StringSinkAndSpaces) {
    StringSink s;
    s.write("a");
    s.spaces(3);
    s.write("b");
    EXPECT_EQ(s.text(), "a   b");
}

TEST(Tree, ArenaTreesShareSubtrees) {
    using namespace axf::xml;
    const Tree* d = text("d");
    const Tree* b = elem("b", {d});
    const Tree* a = elem("a", {b, elem("c")});
    const Tree* a2 = elem("a2", {b});
    ASSERT_EQ(treeChildren(a).size(), 2u);
    EXPECT_EQ(treeChildren(a)[0], treeChildren(a2)[0]);
    EXPECT_EQ(std::get<ELNode>(treeRoot(a)).name, "a");
    EXPECT_TRUE(treeChildren(d).empty());
}

}  // namespace
