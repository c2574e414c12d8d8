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

OutputWriter::OutputWriter(std::FILE* sink, std::size_t capacity) : sink_(sink), capacity_(capacity) {
    buffer_.reserve(capacity_);
}

OutputWriter::~OutputWriter() {
    // Whatever is left goes out quietly: a destructor has no one to report to.
    try {
        flush();
    } catch (...) {
    }
}

void OutputWriter::fail(int err) {
    failed_ = true;
    buffer_.clear();
    throw Fatal(writeErrorMessage(err ? err : EIO));
}

void OutputWriter::send(std::string_view bytes) {
    if (bytes.empty()) return;
    errno = 0;
    if (std::fwrite(bytes.data(), 1, bytes.size(), sink_) != bytes.size()) fail(errno);
}

void OutputWriter::write(std::string_view text) {
    if (failed_) return;
    if (buffer_.size() + text.size() > capacity_) {
        flush();
        if (text.size() >= capacity_) {
            send(text);
            return;
        }
    }
    buffer_.append(text);
}

void OutputWriter::spaces(std::size_t n) {
    if (failed_) return;
    while (n > 0) {
        if (buffer_.size() >= capacity_) flush();
        std::size_t k = std::min(n, capacity_ - buffer_.size());
        buffer_.append(k, ' ');
        n -= k;
    }
}

void OutputWriter::flush() {
    if (failed_) return;
    send(buffer_);
    buffer_.clear();
    errno = 0;
    if (std::fflush(sink_) != 0) fail(errno);
}

OutputWriter& out() {
    static OutputWriter writer(stdout);
    return writer;
}

}  // namespace axf
