// Errors of the run. A fatal message of the system travels as axf::Fatal with
// its exact text; a state the system cannot reach travels as
// axf::InternalError. Only main catches them (see app/main.cpp and app/FilterRun.h).
#pragma once

#include <stdexcept>
#include <string>
#include <utility>

namespace axf {

// A message that ends the run: main flushes stdout, writes the text and a
// newline to stderr and exits with status 1. A note, when there is one, is
// written on the lines after the text: it explains the message (which
// condition it comes from, where) and leaves the message's own text as it is.
class Fatal : public std::runtime_error {
public:
    explicit Fatal(const std::string& text) : std::runtime_error(text) {}
    Fatal(const std::string& text, std::string note) : std::runtime_error(text), note_(std::move(note)) {}

    const std::string& note() const { return note_; }

private:
    std::string note_;
};

// A state the program cannot reach; reported like Fatal. The text names the
// function that found it.
class InternalError : public std::logic_error {
public:
    explicit InternalError(const std::string& text) : std::logic_error(text) {}
};

}  // namespace axf
