#include "common/Output.h"

#include <algorithm>

namespace axf {

OutputWriter::OutputWriter(std::FILE* sink, std::size_t capacity) : sink_(sink), capacity_(capacity) {
    buffer_.reserve(capacity_);
}

OutputWriter::~OutputWriter() { flush(); }

void OutputWriter::write(std::string_view text) {
    if (buffer_.size() + text.size() > capacity_) {
        flush();
        if (text.size() >= capacity_) {
            std::fwrite(text.data(), 1, text.size(), sink_);
            return;
        }
    }
    buffer_.append(text);
}

void OutputWriter::put(char c) {
    if (buffer_.size() + 1 > capacity_) flush();
    buffer_.push_back(c);
}

void OutputWriter::spaces(std::size_t n) {
    while (n > 0) {
        if (buffer_.size() >= capacity_) flush();
        std::size_t k = std::min(n, capacity_ - buffer_.size());
        buffer_.append(k, ' ');
        n -= k;
    }
}

void OutputWriter::flush() {
    if (!buffer_.empty()) {
        std::fwrite(buffer_.data(), 1, buffer_.size(), sink_);
        buffer_.clear();
    }
    std::fflush(sink_);
}

OutputWriter& out() {
    static OutputWriter writer(stdout);
    return writer;
}

}  // namespace axf
