#include "app/Platform.h"

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>

#include "common/Fatal.h"

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

std::string readDocumentFile(const std::string& name) {
    std::FILE* f = std::fopen(name.c_str(), "rb");
    if (!f) throw Fatal(name + ": cannot open file: " + std::strerror(errno));
    std::string text;
    // A regular file is read into storage of its size at once; the loop
    // below still reads whatever follows (or all of a stream).
    if (std::fseek(f, 0, SEEK_END) == 0) {
        long size = std::ftell(f);
        if (size > 0) text.reserve(static_cast<std::size_t>(size) + 1);
        std::rewind(f);
    }
    char buf[1 << 16];
    for (;;) {
        std::size_t n = std::fread(buf, 1, sizeof buf, f);
        text.append(buf, n);
        if (n < sizeof buf) break;
    }
    bool failed = std::ferror(f) != 0;
    int err = errno;
    std::fclose(f);
    if (failed) throw Fatal(name + ": cannot read file: " + std::strerror(err));
    return dropCarriageReturns(std::move(text));
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
