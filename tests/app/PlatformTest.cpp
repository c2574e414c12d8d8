#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <unistd.h>

#include "app/Platform.h"
#include "common/Fatal.h"

namespace {

using axf::app::dropCarriageReturns;
using axf::app::readDocumentFile;

TEST(Platform, DropCarriageReturnsOnlyBeforeLineFeeds) {
    const struct {
        std::string in, out;
    } cases[] = {
        {"", ""},
        {"<a>x</a>\n", "<a>x</a>\n"},
        {"a\r\nb\r\n", "a\nb\n"},
        {"\r\n\r\n", "\n\n"},
        {"a\rb", "a\rb"},          // a lone carriage return stays
        {"a\r", "a\r"},            // and so does one at the very end
        {"a\r\r\nb", "a\r\nb"},    // only the one right before the line feed goes
        {"x\ny\r\nz\r", "x\ny\nz\r"},
    };
    for (const auto& c : cases) EXPECT_EQ(dropCarriageReturns(c.in), c.out) << c.in;
}

TEST(Platform, ReadDocumentFileWholeAndWithoutCarriageReturns) {
    char name[] = "/tmp/axf_platform_XXXXXX";
    int fd = mkstemp(name);
    ASSERT_NE(fd, -1);
    // Longer than one read buffer, with a CR LF across the buffer boundary.
    std::string body(65535, 'a');
    body += "\r\n";
    body += std::string(70000, 'b');
    body += "\r\nend";
    ASSERT_EQ(write(fd, body.data(), body.size()), static_cast<ssize_t>(body.size()));
    close(fd);
    std::string want(65535, 'a');
    want += "\n" + std::string(70000, 'b') + "\nend";
    EXPECT_EQ(readDocumentFile(name), want);
    std::remove(name);
    EXPECT_THROW(readDocumentFile(name), axf::Fatal);
}

}  // namespace
