// The one buffered writer of standard output. Everything the program prints
// on stdout goes through it; it is flushed once at the end of the run, or
// before a fatal message is written to stderr.
//
// Every write to the stream and every flush is checked. The first failure
// (a full disk, a closed descriptor, a reader that went away) throws Fatal
// "axfilter: write error: REASON"; from then on the writer drops what it is
// given, so that the message can still be reported.
#pragma once

#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <string_view>

namespace axf {

class OutputWriter {
public:
    explicit OutputWriter(std::FILE* sink, std::size_t capacity = std::size_t(1) << 20);
    ~OutputWriter();
    OutputWriter(const OutputWriter&) = delete;
    OutputWriter& operator=(const OutputWriter&) = delete;

    // Most writes are a few bytes that fit in the buffer: they are copied
    // there and nothing else is done.
    void write(std::string_view text) {
        if (!failed_ && text.size() <= capacity_ - used_) {
            std::memcpy(buffer_.get() + used_, text.data(), text.size());
            used_ += text.size();
            return;
        }
        writeBeyond(text);
    }
    // n blanks, without building a string
    void spaces(std::size_t n) {
        if (!failed_ && n <= capacity_ - used_) {
            std::memset(buffer_.get() + used_, ' ', n);
            used_ += n;
            return;
        }
        spacesBeyond(n);
    }
    void flush();
    bool failed() const { return failed_; }

private:
    void writeBeyond(std::string_view text);  // a write that does not fit
    void spacesBeyond(std::size_t n);
    void send(std::string_view bytes);  // straight to the stream, checked
    void fail(int err);

    std::FILE* sink_;
    std::unique_ptr<char[]> buffer_;
    std::size_t used_ = 0;  // bytes of buffer_ waiting
    std::size_t capacity_;
    bool failed_ = false;
};

// The process-wide writer of stdout.
OutputWriter& out();

// Write sinks used by printers: a printer writes to a Sink, which is either
// the stdout writer or a string (for tests and for nested results).
class Sink {
public:
    virtual ~Sink() = default;
    virtual void write(std::string_view text) = 0;
    virtual void spaces(std::size_t n) {
        for (std::size_t i = 0; i < n; ++i) write(" ");
    }
};

class StringSink : public Sink {
public:
    void write(std::string_view text) override { text_.append(text); }
    void spaces(std::size_t n) override { text_.append(n, ' '); }
    const std::string& text() const { return text_; }
    std::string take() { return std::move(text_); }

private:
    std::string text_;
};

class StdoutSink : public Sink {
public:
    void write(std::string_view text) override { writer_.write(text); }
    void spaces(std::size_t n) override { writer_.spaces(n); }

private:
    OutputWriter& writer_ = out();
};

}  // namespace axf
