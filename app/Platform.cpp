#include "app/Platform.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>

#include "app/PlatformInternal.h"
#include "common/Fatal.h"
#include "common/MessageText.h"
#include "common/PageMemory.h"

namespace axf::app {

std::string dropCarriageReturns(std::string text) {
    // Most documents hold no carriage return: find the first one before
    // moving any byte.
    const char* data = text.data();
    const void* cr = std::memchr(data, '\r', text.size());
    if (!cr) return text;
    std::size_t out = static_cast<std::size_t>(static_cast<const char*>(cr) - data);
    for (std::size_t i = out; i < text.size(); ++i) {
        if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') continue;
        text[out++] = text[i];
    }
    text.resize(out);
    return text;
}

namespace {

[[noreturn]] void cannotRead(const std::string& name, const std::string& reason) {
    throw Fatal(cutForMessage(name, kQuotedPathBytes) + ": cannot read file: " + reason);
}

// Closes the descriptor however the reading ends.
struct FileDescriptor {
    int fd;
    ~FileDescriptor() { ::close(fd); }
};

}  // namespace

std::string readDocumentFile(const std::string& name) {
    FileDescriptor file{::open(name.c_str(), O_RDONLY | O_CLOEXEC)};
    if (file.fd < 0) throw Fatal(cutForMessage(name, kQuotedPathBytes) + ": cannot open file: " + std::strerror(errno));
    struct stat info;
    if (::fstat(file.fd, &info) != 0) cannotRead(name, std::strerror(errno));
    if (S_ISDIR(info.st_mode)) cannotRead(name, std::strerror(EISDIR));
    if (!S_ISREG(info.st_mode) && !S_ISFIFO(info.st_mode) && !S_ISCHR(info.st_mode))
        cannotRead(name, "not a regular file, pipe or character device");
    // The size a regular file claims only sizes the first storage (one byte
    // more, so that its end is seen without growing); the reading goes on to
    // the end of the file whatever it holds.
    constexpr std::size_t kChunk = std::size_t(1) << 16;
    std::string text;
    if (S_ISREG(info.st_mode) && info.st_size > 0) {
        // A large file's buffer is faulted in by huge pages where the
        // system allows it: far fewer page faults while it is filled.
        text.reserve(static_cast<std::size_t>(info.st_size) + 1);
        adviseHugePages(text.data(), text.capacity());
        text.resize(static_cast<std::size_t>(info.st_size) + 1);
    }
    std::size_t used = 0;
    for (;;) {
        if (used == text.size()) text.resize(std::max(kChunk, text.size() * 2));
        ssize_t n = ::read(file.fd, text.data() + used, text.size() - used);
        if (n < 0) {
            if (errno == EINTR) continue;
            cannotRead(name, std::strerror(errno));
        }
        if (n == 0) break;
        used += static_cast<std::size_t>(n);
    }
    text.resize(used);
    return dropCarriageReturns(std::move(text));
}

std::string skipByteOrderMark(std::string text) {
    if (text.size() >= 3 && text.compare(0, 3, "\xEF\xBB\xBF") == 0) text.erase(0, 3);
    return text;
}

void holdStandardDescriptors() {
    for (int fd = 0; fd <= 2; ++fd) {
        if (::fcntl(fd, F_GETFD) != -1 || errno != EBADF) continue;
        int held = ::open("/dev/null", O_RDONLY | O_CLOEXEC);
        if (held >= 0 && held != fd) {
            ::dup2(held, fd);
            ::close(held);
        }
    }
}

ClockTime getClockTime() {
    using namespace std::chrono;
    auto ms = duration_cast<milliseconds>(system_clock::now().time_since_epoch()).count();
    ClockTime t;
    t.seconds = ms / 1000;
    t.picoseconds = (ms % 1000) * 1000000000LL;
    return t;
}

std::string timeDiffText(const ClockTime& first, const ClockTime& second) {
    return "TimeDiff {tdYear = 0, tdMonth = 0, tdDay = 0, tdHour = 0, tdMin = 0, tdSec = " +
           std::to_string(second.seconds - first.seconds) +
           ", tdPicosec = " + std::to_string(second.picoseconds - first.picoseconds) + "}";
}

}  // namespace axf::app
