// Errors of the run. A fatal message of the system travels as axf::Fatal with
// its exact text; a state the system cannot reach travels as
// axf::InternalError. Only main catches them (see app/main.cpp and app/FilterRun.h).
#pragma once

#include <stdexcept>
#include <string>

namespace axf {

// A message that ends the run: main flushes stdout, writes the text and a
// newline to stderr and exits with status 1.
class Fatal : public std::runtime_error {
public:
    explicit Fatal(const std::string& text) : std::runtime_error(text) {}
};

// A state the program cannot reach; reported like Fatal. The text names the
// function that found it.
class InternalError : public std::logic_error {
public:
    explicit InternalError(const std::string& text) : std::logic_error(text) {}
};

}  // namespace axf
