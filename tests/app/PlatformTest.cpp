#include <gtest/gtest.h>

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <string>
#include <thread>

#include "app/Platform.h"
#include "app/PlatformInternal.h"
#include "common/Fatal.h"

namespace {

using axf::app::dropCarriageReturns;
using axf::app::readDocumentFile;
using axf::app::skipByteOrderMark;

// The message readDocumentFile fails with, or "" when it reads the file.
std::string readFailure(const std::string& name) {
    try {
        readDocumentFile(name);
    } catch (const axf::Fatal& f) {
        return f.what();
    }
    return "";
}

// A fresh folder for one test, removed with what it holds.
struct ScratchFolder {
    std::string path;
    ScratchFolder() {
        char name[] = "/tmp/axf_platform_dir_XXXXXX";
        path = mkdtemp(name) ? name : "";
    }
    ~ScratchFolder() {
        if (DIR* d = opendir(path.c_str())) {
            while (dirent* e = readdir(d))
                if (std::string(e->d_name) != "." && std::string(e->d_name) != "..") unlink((path + "/" + e->d_name).c_str());
            closedir(d);
        }
        rmdir(path.c_str());
    }
    std::string file(const std::string& name, const std::string& body) const {
        std::string p = path + "/" + name;
        std::FILE* f = std::fopen(p.c_str(), "wb");
        if (f) {
            std::fwrite(body.data(), 1, body.size(), f);
            std::fclose(f);
        }
        return p;
    }
};

TEST(Platform, DropCarriageReturnsOnlyBeforeLineFeeds) {
    const struct {
        std::string in, out;
    } cases[] = {
        {"", ""},
        {"<a>x</a>\n", "<a>x</a>\n"},
        {"a\r\nb\r\n", "a\nb\n"},
        {"\r\n\r\n", "\n\n"},
        {"a\rb", "a\rb"},        // a lone carriage return stays
        {"a\r", "a\r"},          // and so does one at the very end
        {"a\r\r\nb", "a\r\nb"},  // only the one right before the line feed goes
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

TEST(Platform, ReadDocumentFileErrorsNameTheFileAndTheReason) {
    ScratchFolder dir;
    ASSERT_FALSE(dir.path.empty());
    // A directory: its reported size is no size at all; nothing is read.
    EXPECT_EQ(readFailure(dir.path), dir.path + ": cannot read file: Is a directory");
    EXPECT_EQ(readFailure(dir.path + "/none.xml"), dir.path + "/none.xml: cannot open file: No such file or directory");
    // An empty file is an empty text.
    EXPECT_EQ(readDocumentFile(dir.file("empty.xml", "")), "");
    // A file that may not be read (root reads every file).
    const std::string locked = dir.file("locked.xml", "<a/>");
    chmod(locked.c_str(), 0);
    if (geteuid() != 0) {
        EXPECT_EQ(readFailure(locked), locked + ": cannot open file: Permission denied");
    }
    // A long name is cut in the message.
    const std::string longName = dir.path + "/" + std::string(300, 'n');
    EXPECT_EQ(readFailure(longName), longName.substr(0, 256) + "...: cannot open file: File name too long");
}

TEST(Platform, ReadDocumentFileFromAPipeAndCharacterDevices) {
    ScratchFolder dir;
    ASSERT_FALSE(dir.path.empty());
    const std::string fifo = dir.path + "/pipe.xml";
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    // A writer larger than the pipe holds, with carriage returns to drop.
    std::string body;
    for (int i = 0; i < 20000; ++i) body += "<a>" + std::to_string(i) + "</a>\r\n";
    std::thread writer([&] {
        int fd = open(fifo.c_str(), O_WRONLY);
        if (fd < 0) return;
        for (std::size_t at = 0; at < body.size();) {
            ssize_t n = write(fd, body.data() + at, std::min<std::size_t>(body.size() - at, 1000));
            if (n <= 0) break;
            at += static_cast<std::size_t>(n);
        }
        close(fd);
    });
    const std::string text = readDocumentFile(fifo);
    writer.join();
    EXPECT_EQ(text, dropCarriageReturns(body));
    EXPECT_EQ(readDocumentFile("/dev/null"), "");
    // A block device, where one can be opened, is refused.
    if (DIR* d = opendir("/dev")) {
        while (dirent* e = readdir(d)) {
            const std::string dev = std::string("/dev/") + e->d_name;
            struct stat st;
            if (stat(dev.c_str(), &st) != 0 || !S_ISBLK(st.st_mode)) continue;
            int fd = open(dev.c_str(), O_RDONLY);
            if (fd < 0) continue;
            close(fd);
            EXPECT_EQ(readFailure(dev), dev + ": cannot read file: not a regular file, pipe or character device");
            break;
        }
        closedir(d);
    }
}

TEST(Platform, SkipByteOrderMarkOnlyAtTheStart) {
    const struct {
        std::string in, out;
    } cases[] = {
        {"", ""},
        {"\xEF\xBB\xBF", ""},
        {"\xEF\xBB\xBF<a/>", "<a/>"},
        {"\xEF\xBB\xBF\xEF\xBB\xBF<a/>", "\xEF\xBB\xBF<a/>"},  // one mark only
        {"<a>\xEF\xBB\xBF</a>", "<a>\xEF\xBB\xBF</a>"},        // not inside
        {" \xEF\xBB\xBF<a/>", " \xEF\xBB\xBF<a/>"},            // not after a blank
        {"\xEF\xBB<a/>", "\xEF\xBB<a/>"},                      // not a part of one
    };
    for (const auto& c : cases) EXPECT_EQ(skipByteOrderMark(c.in), c.out) << c.in;
}

}  // namespace
