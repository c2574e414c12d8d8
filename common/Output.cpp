#include "common/Output.h"

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "common/Fatal.h"

namespace axf {

namespace {

// The message of a failed write to standard output.
std::string writeErrorMessage(int err) { return std::string("axfilter: write error: ") + std::strerror(err); }

}  // namespace

OutputWriter::OutputWriter(std::FILE* sink, std::size_t capacity)
    : sink_(sink), buffer_(new char[capacity]), capacity_(capacity) {}

OutputWriter::~OutputWriter() {
    // Whatever is left goes out quietly: a destructor has no one to report to.
    try {
        flush();
    } catch (...) {
    }
}

void OutputWriter::fail(int err) {
    failed_ = true;
    used_ = 0;
    throw Fatal(writeErrorMessage(err ? err : EIO));
}

void OutputWriter::send(std::string_view bytes) {
    if (bytes.empty()) return;
    errno = 0;
    if (std::fwrite(bytes.data(), 1, bytes.size(), sink_) != bytes.size()) fail(errno);
}

void OutputWriter::writeBeyond(std::string_view text) {
    if (failed_) return;
    flush();
    if (text.size() >= capacity_) {
        send(text);
        return;
    }
    std::memcpy(buffer_.get(), text.data(), text.size());
    used_ = text.size();
}

void OutputWriter::spacesBeyond(std::size_t n) {
    if (failed_) return;
    while (n > 0) {
        if (used_ >= capacity_) flush();
        std::size_t k = std::min(n, capacity_ - used_);
        std::memset(buffer_.get() + used_, ' ', k);
        used_ += k;
        n -= k;
    }
}

void OutputWriter::flush() {
    if (failed_) return;
    send(std::string_view(buffer_.get(), used_));
    used_ = 0;
    errno = 0;
    if (std::fflush(sink_) != 0) fail(errno);
}

OutputWriter& out() {
    static OutputWriter writer(stdout);
    return writer;
}

}  // namespace axf
