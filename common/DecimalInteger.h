// The reader of decimal integers from user text (the query labels' own
// numbers are read by query/, where blanks around them are allowed). It reads the whole text as
// an optional '-' (for signed types) followed by digits: no '+', no blanks,
// nothing after the digits. A number outside the type's range is told apart
// from a text that is not a number, so that each caller gives its own
// message; a number never wraps.
#pragma once

#include <charconv>
#include <concepts>
#include <string_view>
#include <system_error>

namespace axf {

enum class DecimalRead {
    Ok,          // the whole text is a number in range
    NotANumber,  // empty, a byte that is not part of the number, or text after it
    OutOfRange,  // a number (perhaps followed by more text) too large for the type
};

// Reads `text` into `value`; `value` is meaningful only when the result is Ok.
template <std::integral T>
DecimalRead readDecimal(std::string_view text, T& value) {
    const char* end = text.data() + text.size();
    auto [stop, ec] = std::from_chars(text.data(), end, value);
    if (ec == std::errc::result_out_of_range) return DecimalRead::OutOfRange;
    if (ec != std::errc() || stop != end) return DecimalRead::NotANumber;
    return DecimalRead::Ok;
}

}  // namespace axf
